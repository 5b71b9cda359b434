#!/usr/bin/env bash
# make_dist.sh ROOT BUILD
# Writes BUILD/velmora-win32.zip for Windows users: velmora.exe, vornex.dll
# and README.txt (how to use them, with Windows line ends). The joiner needs
# no file of its own: velmora.exe carries it.
set -euo pipefail
root=$1 build=$2
bin=$build/bin
for f in velmora.exe vornex.dll; do
  [ -f "$bin/$f" ] || { echo "make_dist: $bin/$f is missing; build first" >&2; exit 1; }
done
stage=$build/dist
rm -rf "$stage" && mkdir -p "$stage"
cp "$bin/velmora.exe" "$bin/vornex.dll" "$stage/"
sed 's/$/\r/' "$root/cmake/dist_readme.txt" >"$stage/README.txt"
zip_file=$build/velmora-win32.zip
rm -f "$zip_file"
(cd "$stage" && zip -q -X "$zip_file" velmora.exe vornex.dll README.txt)
echo "wrote $zip_file:"
zip -sf "$zip_file"
