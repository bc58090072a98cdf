#!/usr/bin/env bash
# Runs the desktop hand-off test on a real X server with a recording
# xdg-open first on PATH and no session bus to reach a file manager.
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/runtime" && chmod 700 "$work/runtime"
cat >"$work/bin/xdg-open" <<'SCRIPT'
#!/bin/sh
printf '%s\n' "$*" >>"$STUBFORGE_XDG_OPEN_RECORD"
SCRIPT
chmod +x "$work/bin/xdg-open"
export PATH="$work/bin:$PATH" STUBFORGE_XDG_OPEN_RECORD="$work/xdg-open.log" XDG_RUNTIME_DIR="$work/runtime"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
# Qt picks a desktop's own opener when it knows the desktop.
unset QT_QPA_PLATFORM XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID
exec xvfb-run -a -s "-screen 0 1280x800x24" "$program"
