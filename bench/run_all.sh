#!/usr/bin/env bash
# Runs every benchmark executable of a build (make bench). Benchmarks are never
# part of the tests; they print the figures that the targets are checked against.
set -euo pipefail
build=${1:-build}
status=0
for exe in "$build"/bench/bench_*; do
  [ -x "$exe" ] || continue
  echo "== $(basename "$exe")"
  "$exe" || status=1
done
"$(dirname "$0")/run_tarvel.sh" "$build" medium || status=1
exit $status
