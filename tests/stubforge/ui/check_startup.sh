#!/usr/bin/env bash
# The program starts on a real X server, shows its window, keeps running,
# and ends cleanly when the user quits with Ctrl+Q.
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
exec xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  set -euo pipefail
  "$0" & pid=$!
  window=$(timeout 60 xdotool search --sync --onlyvisible --name "^Stubforge$" | head -n 1)
  echo "window $window"
  sleep 1
  kill -0 "$pid" || { echo "stubforge ended by itself" >&2; exit 1; }
  xdotool windowfocus --sync "$window"
  xdotool key --clearmodifiers ctrl+q
  status=0
  timeout 60 tail --pid="$pid" -f /dev/null || { echo "stubforge did not quit" >&2; kill "$pid"; exit 1; }
  wait "$pid" || status=$?
  echo "exit status $status"
  exit "$status"
' "$program"
