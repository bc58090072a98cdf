#!/usr/bin/env bash
# Renders page 1 of every content document in both forms to PNG, for a person
# to look at: tools/render-documents.sh [output folder] [seed]. Not a test.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
driver=${STUBFORGE_DRIVER:-$root/build/bin/stubforge-driver}
out=$(realpath -m "${1:-$root/build/rendered}")
seed=${2:-1}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
for kind in "Contract" "B2B Contract" "CV" "Meeting Notes" "Pitch Deck" "Invoice" "Receipt" "Fund Portfolio"; do
  for form in small large; do
    if ! pdf=$("$driver" generate --ext pdf --content "$kind" --form "$form" --seed "$seed" 2>"$work/err"); then
      echo "$kind $form: $(cat "$work/err")" >&2
      continue
    fi
    name=$(echo "$kind" | tr 'A-Z ' 'a-z_')_$form
    pdftoppm -png -r 60 -f 1 -l 1 -singlefile "$pdf" "$out/$name"
    echo "$out/$name.png"
  done
done
