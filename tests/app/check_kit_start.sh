#!/usr/bin/env bash
# The program starts the analytics kit before its window: with -HLODebugEnabled
# it prints the kit's first debug line, and without an options file it prints
# why analytics are off. Either way it keeps running.
set -euo pipefail
program=$1
resources=$(dirname "$program")/../share/stubforge
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime
export HOME=$work/home QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_RUNTIME_DIR" "$HOME" && chmod 700 "$XDG_RUNTIME_DIR"

# Runs the program until its log holds the line `expected` (a minute at
# most, however busy the machine); fails when it ends by itself.
run() {
  local log=$1 expected=$2
  shift 2
  "$@" 2>"$log" >/dev/null &
  local pid=$!
  for _ in $(seq 600); do
    grep -Fqx "$expected" "$log" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "stubforge ended by itself:" >&2
    cat "$log" >&2
    exit 1
  fi
  kill "$pid"
  wait "$pid" || true
}

configuring='11.9.0 - [HaloCore][I-COR000001] Configuring the default app.'
run "$work/debug.log" "$configuring" "$program" -HLODebugEnabled
grep -Fqx "$configuring" "$work/debug.log" || {
  echo "no configuration line:" >&2
  cat "$work/debug.log" >&2
  exit 1
}

# The same resources without the options file.
mkdir "$work/resources"
for entry in "$resources"/*; do
  [ "$(basename "$entry")" = LumenService-Info.plist ] || ln -s "$(readlink -f "$entry")" "$work/resources/"
done
expected='Stubforge: analytics are off: com.halo.core: `HaloApp.configure()` could not find a valid LumenService-Info.plist in your project. Please download one from .'
STUBFORGE_RESOURCES=$work/resources run "$work/missing.log" "$expected" "$program"
grep -Fqx "$expected" "$work/missing.log" || {
  echo "no configure error:" >&2
  cat "$work/missing.log" >&2
  exit 1
}
echo "ok"
