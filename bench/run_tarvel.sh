#!/usr/bin/env bash
# Whole tarvel runs on generated data: wall time and peak memory, beside the
# floors measured on the same data in the same run (bench_floors: parsing the
# text, the passes over the scratch file, one dense factorization of the
# system the run reduces) and the machine's load.
#   bench/run_tarvel.sh [build] [medium|large|wide|huge ...] [-- tarvel options]
# The generator's model is herd + sire + sex + dam within sire (A + B + D + C|B):
# the dam effect, which holds most of the columns, comes last, so that the
# absorbed reduction takes it. (Before it came last the order was
# A + B + C|B + D, with sex last.)
#   medium: 10^6 cases, 100 herds, 400 sires, 6 dams each: p = 2,903
#   large:  10^7 cases, 200 herds, 500 sires, 19 dams each: p = 10,203
#   wide:   10^5 cases, 500 herds, 1,000 sires, 19 dams each: about 18,000 dams used, p about 19,500
#   huge:   5*10^6 cases, 2,000 herds, 5,000 sires, 20 dams each: 100,000 dams, p = 107,003
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
sizes=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do sizes+=("$1"); shift; done
[ $# -gt 0 ] && shift
options=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(medium)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
for size in "${sizes[@]}"; do
  case $size in
    medium) args=(--cases 1000000 --herds 100 --sires 400 --dams 6) ;;
    large)  args=(--cases 10000000 --herds 200 --sires 500 --dams 19) ;;
    wide)   args=(--cases 100000 --herds 500 --sires 1000 --dams 19) ;;
    huge)   args=(--cases 5000000 --herds 2000 --sires 5000 --dams 20) ;;
    *) echo "unknown size $size" >&2; exit 2 ;;
  esac
  "$build/bench/gen_cases" "${args[@]}" > "$size.dat"
  cat "$size.dat" > /dev/null  # in the page cache for both measurements
  /usr/bin/time -f "%e %M" -o time.txt "$build/tarvel/tarvel" "$size.dat" -o "$size.lst" --json "$size.json" \
    ${options[@]+"${options[@]}"}
  read -r seconds kilobytes < time.txt
  read -r columns path dense kernel threads < <(python3 -c "import json,sys; d=json.load(open('$size.json')); c=d['computation']; \
print(d['design_columns'], c['reduction'], c['dense_columns'], c['blas_kernel'], c['blas_threads'])")
  awk -v s="$size" -v t="$seconds" -v k="$kilobytes" -v p="$columns" -v b="$(stat -c %s "$size.dat")" \
      -v path="$path" -v q="$dense" -v kern="$kernel" -v th="$threads" 'BEGIN {
    printf "tarvel %-6s: p = %6d, %6.0f MB of data, %s path (dense order %d), %s x %d: %7.2f s wall, peak %7.0f MB\n",
           s, p, b / 1e6, path, q, kern, th, t, k / 1024 }'
  "$build/bench/bench_floors" "$size.dat" 0 "$path" | sed 's/^/                /'
  rm -f "$size.dat" "$size.lst" "$size.json"
done
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
