#!/usr/bin/env bash
# Saves screenshots of the main window (pdf, txt, csv with its column editor
# open and after a refused template, dark mode with the pin on, the file
# list, Preferences) into the given folder, for a person to look at.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$root/build/screenshots}
mkdir -p "$out"
cmake --build "$root/build" -t stubforge-ui-screenshots >/dev/null
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/bin/stubforge-ui-screenshots" "$out"
