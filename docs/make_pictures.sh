#!/usr/bin/env bash
# Remakes the pictures of the reports in docs/ from the programs' own output
# on the examples, with headless Chromium (apt-get install -y chromium). Not
# part of the build or the tests.
#   docs/make_pictures.sh [build]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$top"/examples/lambs.csv "$top"/examples/bending.kin "$work"/
cd "$work"
"$build/tarvel/tarvel" lambs.csv -o lambs.lst --model "flock + sex + sire + dam|sire" --traits bwt,wwt,fat \
  --report lambs.html 2>/dev/null
"$build/kirv/kirv" bending.kin -o bending.lst --report bending.html

shoot() {  # page picture width height
  rm -rf profile && mkdir profile
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile" --hide-scrollbars --window-size="$3,$4" \
    --screenshot="$2" "file://$work/$1" 2>/dev/null
}
shoot lambs.html "$top/docs/report-tarvel.png" 1000 1500
shoot bending.html "$top/docs/report-kirv.png" 1000 1900
