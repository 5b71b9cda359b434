#!/usr/bin/env bash
# A machine without velmora: a fresh Wine prefix (no WINEPATH, no WINEDLLPATH)
# where vornex.dll lies only in build/bin and beside the sets the cases write.
# The library cases of /split and of drive A: (a 1440 KiB tmpfs) run there,
# each first piece started from another folder.   fresh_prefix_check.sh BUILD
set -u
build=$1
export WINEARCH=win32 WINEDEBUG=-all WINEPREFIX
unset WINEPATH WINEDLLPATH WINEDLLOVERRIDES
WINEPREFIX=$(mktemp -d "$build/fresh-prefix.XXXXXX")
floppy=$WINEPREFIX-floppy out=$WINEPREFIX.out rc=0
trap 'wineserver -k 2>/dev/null; mountpoint -q "$floppy" && umount "$floppy"; rm -rf "$WINEPREFIX" "$floppy" "$out"' EXIT
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1
win() { printf 'Z:%s' "${1//\//\\}"; }
export VELMORA_TESTDATA=$(win "$build/testdata") VELMORA_BIN=$(win "$build/bin")
run_cases() {  # PROGRAM FILTER COUNT: all COUNT cases pass, none skipped
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
  echo "mounting a tmpfs was refused: the floppy case did not run in the fresh prefix"
fi
exit $rc
