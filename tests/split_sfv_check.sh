#!/usr/bin/env bash
# Sets made by the real velmora.exe /split under Wine, checked from the
# Linux side by tools that share no code with it: cksfv accepts each set's
# checksum file and rejects it once a piece is damaged; Python's zlib finds
# the integrity record's payload CRC, length and header CRC right, with the
# payload cut out of the pieces by the block rule.
set -euo pipefail
build=$1
export VELMORA_BUILD=$build
source "$(dirname "$0")/../cmake/wine-env.sh"
wine_env_prepare >/dev/null 2>&1
wine_scratch sfvcheck

check_record() {  # FIRST-PIECE SOURCE
  python3 - "$1" "$2" <<'PY'
import os, struct, sys, zlib
first, source = sys.argv[1], sys.argv[2]
folder = os.path.dirname(first)
data = open(first, 'rb').read()
header = data[6656:6656 + 272]
payload_size, = struct.unpack_from('<I', header, 0)
name = header[4:264].split(b'\0')[0]
piece_count, = struct.unpack_from('<i', header, 264)
compressed = header[268]
record = header[4 + 228:4 + 260]
sig, version, flags, _, count, length, crc, t_low, t_high, header_crc = struct.unpack('<4sBBHiIIIII', record)
def area(blob, at):
    _, blocks, last = struct.unpack_from('<Iii', blob, at)
    n = 0 if blocks == 0 else 2048 * (blocks - 1) + last
    assert at + 12 + n == len(blob), 'data area does not fit its file'
    return blob[at + 12:at + 12 + n]
payload = area(data, 6928)
stem = first[:-3]
for k in range(piece_count - 1):
    payload += area(open(stem + '%03d' % k, 'rb').read(), 0)
problems = []
if sig != b'VRXC' or version != 1: problems.append('no record')
if count != piece_count: problems.append('piece count %d != %d' % (count, piece_count))
if length != len(payload) or length != payload_size: problems.append('length %d' % length)
if crc != zlib.crc32(payload): problems.append('payload CRC %08X != zlib %08X' % (crc, zlib.crc32(payload)))
if flags != 0: problems.append('flags %d' % flags)
guarded = struct.pack('<I', payload_size) + name + b'\0' + struct.pack('<iB', piece_count, compressed) + record[:28]
if header_crc != zlib.crc32(guarded): problems.append('header CRC')
mtime = os.stat(source).st_mtime_ns // 100 + 116444736000000000
if (t_high << 32 | t_low) != mtime: problems.append('write time %d != %d' % (t_high << 32 | t_low, mtime))
if problems:
    print(first + ': ' + '; '.join(problems)); sys.exit(1)
print('%s: %d pieces, %d payload bytes, CRC %08X = zlib' % (os.path.basename(first), piece_count, length, crc))
PY
}

# One case: NAME BYTES SECTION [/compress]
split_case() {
  local name=$1 src=$work/$1 set=$work/set_$1
  mkdir "$set"
  WINEPATH=$(win "$build/bin") wine "$build/bin/velmora.exe" /split "$(win "$src")" "$(win "$set")" \
    "$2" ${3:-} </dev/null >/dev/null 2>&1 || { echo "$name: split failed: $?"; exit 1; }
  local first; first=$(ls "$set"/*VRAX.exe)
  local sfv=${first%exe}sfv
  [ -f "$sfv" ] || { echo "$name: no checksum file"; exit 1; }
  (cd "$set" && cksfv -q -f "$(basename "$sfv")") || { echo "$name: cksfv rejects the set"; exit 1; }
  check_record "$first" "$src"
  # One byte changed in the last piece: cksfv must now refuse the set.
  local last; last=$(ls "$set"/*VRAX.[0-9]* | sort | tail -1)
  printf '\xff' | dd of="$last" bs=1 seek=20 conv=notrunc status=none
  if (cd "$set" && cksfv -q -f "$(basename "$sfv")") >/dev/null 2>&1; then
    echo "$name: cksfv accepts a damaged piece"; exit 1
  fi
}

head -c 1000000 /dev/urandom > "$work/plain.bin"
split_case plain.bin 100000
# The payload ends on a block boundary inside a later piece.
head -c $((3 * 2048 + 6940 + 3 * 2048 - 12 + 2 * 2048)) /dev/urandom > "$work/whole blocks.dat"
split_case "whole blocks.dat" $((6940 + 3 * 2048))
{ for i in $(seq 1 30000); do echo "record $i: some text that compresses"; done
  head -c 200000 /dev/urandom; } > "$work/notes.log"
split_case notes.log 100000 /compress
echo "cksfv accepts every set and rejects damaged copies; zlib agrees with every record"
