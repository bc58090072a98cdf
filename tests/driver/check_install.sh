#!/usr/bin/env bash
# The installed program finds its resources and identity the same way as in
# the build tree: share/stubforge beside bin/.
set -euo pipefail
build_dir=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
test -f "$prefix/share/stubforge/Info.plist"
test -f "$prefix/share/stubforge/document.xlsx"
test ! -e "$prefix/bin/stubforge-driver"
output=$(env -u STUBFORGE_RESOURCES "$prefix/bin/stubforge" --version)
case "$output" in
  "Stubforge v"*" ("*")") echo "installed: $output" ;;
  *) echo "unexpected output: $output" >&2; exit 1 ;;
esac
test -f "$prefix/share/applications/org.stubforge.Stubforge.desktop"
test -f "$prefix/share/icons/hicolor/scalable/apps/org.stubforge.Stubforge.svg"
grep -qx 'Exec=stubforge' "$prefix/share/applications/org.stubforge.Stubforge.desktop"
grep -qx 'Icon=org.stubforge.Stubforge' "$prefix/share/applications/org.stubforge.Stubforge.desktop"
