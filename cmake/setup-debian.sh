#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (run as root).
# Idempotent: when everything is present it does nothing and prints nothing.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
pkgs=(g++-mingw-w64-i686 binutils-mingw-w64-i686 cmake make googletest wine wine32:i386
      xvfb fonts-wine gcab cabextract cksfv python3 imagemagick zip x11-utils)
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done
[ ${#need[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages: ${need[*]} (run as root to install them)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
echo "setup: installing ${need[*]}" >&2
apt-get update -qq >/dev/null
apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
