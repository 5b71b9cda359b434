#!/usr/bin/env bash
# A larger run of the bad-input campaign than ./run test makes (seed 1, scale
# 1): other seeds and more random cuts and scrambles per cabinet.
#   tests/run_campaign.sh [SEED [SCALE]]       e.g. tests/run_campaign.sh 7 20
# Builds first; the full-disk cases need drive A: (mounting needs root), and
# are skipped without it. Inputs that crash the engine are kept in
# build/campaign_kept.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export VELMORA_BUILD=${VELMORA_BUILD:-$root/build}
"$root/run" build >/dev/null
bash "$root/tests/floppy_fixture.sh" setup "$VELMORA_BUILD"
trap 'bash "$root/tests/floppy_fixture.sh" cleanup "$VELMORA_BUILD"' EXIT
bash "$root/tests/make_testdata.sh" "$VELMORA_BUILD/testdata"
"$root/cmake/wine-run.sh" "$VELMORA_BUILD/bin/damage_campaign.exe" "${1:-1}" "${2:-1}"
