#!/usr/bin/env bash
# floppy_drive.sh BUILD_DIR setup|cleanup
# Drive A: of the tests' Wine prefix as a floppy: a 1440k tmpfs mounted in
# the build tree and linked as dosdevices/a:. Mounting needs root; where it is
# refused the set-up says so and succeeds, and the tests that need drive A:
# skip with their own message.
set -u
build=$1
mount_dir=$build/floppy_a
export VELMORA_BUILD=$build
source "$(dirname "$0")/../cmake/wine-env.sh"

case ${2:-} in
  setup)
    wine_env_prepare >/dev/null 2>&1
    mkdir -p "$mount_dir"
    mountpoint -q "$mount_dir" && umount "$mount_dir"
    if ! mount -t tmpfs -o size=1440k tmpfs "$mount_dir" 2>/dev/null; then
      echo "floppy: mounting a tmpfs was refused; the drive A: tests will skip"
      exit 0
    fi
    ln -sfn "$mount_dir" "$WINEPREFIX/dosdevices/a:"
    echo "floppy: drive A: is a 1440k tmpfs at $mount_dir" ;;
  cleanup)
    if [ -L "$WINEPREFIX/dosdevices/a:" ] && [ "$(readlink "$WINEPREFIX/dosdevices/a:")" = "$mount_dir" ]; then
      rm -f "$WINEPREFIX/dosdevices/a:"
    fi
    if mountpoint -q "$mount_dir"; then umount "$mount_dir"; fi
    exit 0 ;;
  *)
    echo "usage: floppy_drive.sh BUILD_DIR setup|cleanup" >&2; exit 2 ;;
esac
