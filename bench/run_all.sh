#!/usr/bin/env bash
# Runs every benchmark script in this folder (bench_*.sh) with the build
# directory as argument. Benchmarks print figures; they are not tests.
# BENCH=NAME runs only bench_NAME.sh (e.g. BENCH=split ./run bench).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
found=0
for b in "$here"/bench_${BENCH:-*}.sh; do
  [ -e "$b" ] || continue
  found=1
  echo "== $(basename "$b")"
  bash "$b" "$build"
done
[ $found -eq 1 ] || echo "no benchmarks yet"
