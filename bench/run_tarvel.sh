#!/usr/bin/env bash
# Whole tarvel runs on generated data: wall time and peak memory.
#   bench/run_tarvel.sh [build] [medium|large|wide ...]
#   medium: 10^6 cases, herd + sire + dam within sire + sex, about 3,000 columns
#   large:  10^7 cases, about 10,000 columns
#   wide:   10^5 cases, about 20,000 columns
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
sizes=("${@:-medium}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
for size in "${sizes[@]}"; do
  case $size in
    medium) args=(--cases 1000000 --herds 100 --sires 400 --dams 6) ;;
    large)  args=(--cases 10000000 --herds 200 --sires 500 --dams 19) ;;
    wide)   args=(--cases 100000 --herds 500 --sires 1000 --dams 19) ;;
    *) echo "unknown size $size" >&2; exit 2 ;;
  esac
  "$build/bench/gen_cases" "${args[@]}" > "$size.dat"
  printf '0 1 0 0 0 0\n%s.dat\n%s.lst\n\n\n\n\n\n' "$size" "$size" > 'tanv~tm0.$$$'
  /usr/bin/time -f "%e %M" -o time.txt "$build/tarvel/tarvel"
  read -r seconds kilobytes < time.txt
  columns=$(grep -o '^ *[0-9]* Effects with' "$size.lst" | head -1 | awk '{print $1}')
  awk -v s="$size" -v t="$seconds" -v k="$kilobytes" -v p="$columns" -v b="$(stat -c %s "$size.dat")" 'BEGIN {
    limit = 1.1 * p * p * 8 / 1e6
    printf "tarvel %-6s: %5d columns, %6.0f MB of data: %7.2f s wall, peak %7.0f MB (1.1 p^2 8 bytes = %.0f MB)\n",
           s, p, b / 1e6, t, k / 1024, limit }'
  rm -f "$size.dat" "$size.lst" 'tanv~tm1.$$$'
done
