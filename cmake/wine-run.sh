#!/usr/bin/env bash
# Runs one Windows program under Wine for CTest. Standard input comes from
# /dev/null and the output is captured into files and printed afterwards:
# background Wine services inherit the pipes of whoever starts them, and a
# plain `wine` under ctest can then keep ctest waiting forever.
# Console output from Wine ends its lines with CRLF; the CR is stripped.
set -u
here=$(cd "$(dirname "$0")" && pwd)
: "${VELMORA_BUILD:?VELMORA_BUILD must name the build directory}"
source "$here/wine-env.sh"
wine_env_prepare >/dev/null 2>&1 || { echo "wine-run: cannot prepare the Wine prefix" >&2; exit 1; }
# Where the tests find the Linux-side test data and the deliverables, as
# Windows paths (the Linux root is drive Z: under Wine).
winpath() { printf 'Z:%s' "${1//\//\\}"; }
export VELMORA_TESTDATA=$(winpath "$VELMORA_BUILD/testdata")
export VELMORA_BIN=$(winpath "$VELMORA_BUILD/bin")
out=$(mktemp) err=$(mktemp)
wine "$@" </dev/null >"$out" 2>"$err"
rc=$?
tr -d '\r' <"$out"
tr -d '\r' <"$err" >&2
rm -f "$out" "$err"
exit $rc
