#!/usr/bin/env bash
# Runs both programs on the shipped examples, the way a host runs them: a
# control file in the working directory, then the program without arguments.
#   examples/run_demo.sh [build]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp "$top"/examples/*.dat "$top"/examples/*.kin "$demo"/
cd "$demo"

# tarvel control file: window, listing switch, four capacities, then data file,
# listing, model, format, traits, missing values, print options.
run_tarvel() {  # data listing print-options
  printf '0 1 0 0 0 0\n%s\n%s\n\n\n\n\n%s\n' "$1" "$2" "$3" > 'tanv~tm0.$$$'
  "$build/tarvel/tarvel"
}
# kirv control file: window, listing switch, then data file, listing, switches,
# relationship, genetic group, reference, minimum eigenvalue.
run_kirv() {  # data listing relationship group
  printf '0 1\n%s\n%s\n\n%s\n%s\n\n\n' "$1" "$2" "$3" "$4" > 'tanv~tm3.$$$'
  "$build/kirv/kirv"
}

run_tarvel sows.dat sows.lst ""
run_tarvel halfsib.dat halfsib.lst "SS,MS,VC,CR,KIRV"
cp KIRV.IN_ halfsib.kin
run_kirv halfsib.kin halfsib_kirv.lst 0.25 2     # the sires (effect 2) are the genetic groups
run_kirv bending.kin bending.lst "" ""          # settings from the file: bending towards the identity

# A flock book's export, read from a shell: model and traits by column name,
# and the genetic group by its name.
cp "$top/examples/lambs.csv" .
"$build/tarvel/tarvel" lambs.csv -o lambs.lst --model "flock + sex + sire + dam|sire" --traits bwt,wwt,fat --print kirv
"$build/kirv/kirv" KIRV.IN_ -o lambs_kirv.lst --genetic-group sire

echo "Listings in $demo:"
for f in sows.lst halfsib.lst halfsib_kirv.lst bending.lst lambs.lst lambs_kirv.lst; do
  printf '  %-18s %6d lines\n' "$f" "$(wc -l < "$f")"
done
echo
echo "Heritabilities of the half-sib example (individual level), from halfsib_kirv.lst:"
grep -A5 'INDIVIDUAL HERITABILITIES' halfsib_kirv.lst | tr -d '\r' | tail -4
