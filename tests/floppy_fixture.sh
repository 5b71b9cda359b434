#!/usr/bin/env bash
# Drive A: for the floppy tests: a 1440 KiB tmpfs mapped into the Wine prefix
# (1,474,560 free bytes; the free space follows the files written to it).
#   floppy_fixture.sh setup BUILD | cleanup BUILD
# Mounting needs root; where it is refused the tests skip with a message.
set -u
mode=$1 build=$2
export VELMORA_BUILD=$build
source "$(dirname "$0")/../cmake/wine-env.sh"
dir=$build/floppy
case $mode in
  setup)
    wine_env_prepare >/dev/null 2>&1
    mkdir -p "$dir"
    mountpoint -q "$dir" && umount "$dir"
    if mount -t tmpfs -o size=1440k tmpfs "$dir" 2>/dev/null; then
      ln -sfn "$dir" "$WINEPREFIX/dosdevices/a:"
      echo "drive A: is a 1440 KiB tmpfs at $dir"
    else
      rm -f "$WINEPREFIX/dosdevices/a:"
      echo "mounting a tmpfs was refused: the floppy tests will skip"
    fi ;;
  cleanup)
    rm -f "$WINEPREFIX/dosdevices/a:"
    mountpoint -q "$dir" && umount "$dir"
    rmdir "$dir" 2>/dev/null
    true ;;
esac
