#!/usr/bin/env bash
# A machine without velmora: a fresh Wine prefix, with no WINEPATH and no
# WINEDLLPATH, where vornex.dll lies nowhere but in build/bin (beside
# velmora.exe and the test programs, which load it from their own folder) and
# beside the sets the cases write. The cases that make sets with velmora.exe
# /split (plain, compressed, a library already there, /nolibrary) and on a
# 1440 KiB drive A: with automatic size run here, each first piece started
# from another folder with nothing on its PATH.
#   fresh_prefix_check.sh BUILD
set -u
build=$1
export VELMORA_BUILD=$build WINEARCH=win32 WINEDEBUG=-all
unset WINEPATH WINEDLLPATH WINEDLLOVERRIDES
export WINEPREFIX
WINEPREFIX=$(mktemp -d "$build/fresh-prefix.XXXXXX")
floppy=$WINEPREFIX-floppy
out=$(mktemp)
cleanup() {
  wineserver -k 2>/dev/null
  mountpoint -q "$floppy" && umount "$floppy"
  rm -rf "$WINEPREFIX" "$floppy" "$out"
}
trap cleanup EXIT
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1
if [ -n "$(find "$WINEPREFIX" -iname vornex.dll)" ]; then
  echo "the fresh prefix already holds a vornex.dll"; exit 1
fi
win() { printf 'Z:%s' "${1//\//\\}"; }
export VELMORA_TESTDATA=$(win "$build/testdata") VELMORA_BIN=$(win "$build/bin")

# Runs the cases of one test program that `filter` names; all `count` of
# them must pass, none skipped.
rc=0
run_cases() {  # PROGRAM FILTER COUNT
  wine "$build/bin/$1.exe" --gtest_filter="$2" </dev/null >"$out" 2>&1
  local code=$?
  tr -d '\r' <"$out"
  if [ $code -ne 0 ] || ! grep -q "^\[  PASSED  \] $3 test" "$out" || grep -q '^\[  SKIPPED \]' "$out"; then
    echo "FAILED in the fresh prefix: $1 $2"; rc=1
  fi
}
run_cases split_command_line_tests 'Sets/LibraryBesideTheSet.*' 4

mkdir -p "$floppy"
if mount -t tmpfs -o size=1440k tmpfs "$floppy" 2>/dev/null; then
  ln -sfn "$floppy" "$WINEPREFIX/dosdevices/a:"
  run_cases split_floppy_tests 'Floppy.TheLibraryAndTheFirstPieceShareTheFirstDisk' 1
else
  echo "mounting a tmpfs was refused: the floppy case was not run in the fresh prefix"
fi
exit $rc
