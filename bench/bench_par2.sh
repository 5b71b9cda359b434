#!/usr/bin/env bash
# The PAR2 component's throughput: the i686 build under Wine (what
# velmora.exe runs) and the native build (what velmora-join runs).
set -euo pipefail
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/cmake/wine-env.sh"
echo "-- i686 under Wine"
wine "$build/bin/par2_bench.exe" </dev/null 2>/dev/null | tr -d '\r'
cmake -S "$root/tests/par2" -B "$build/par2-host" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/par2-host" -j 2 --target par2_bench -- --no-print-directory >/dev/null
echo "-- native"
"$build/par2-host/par2_bench"
