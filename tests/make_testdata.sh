#!/usr/bin/env bash
# Makes the reader tests' inputs on the Linux side with gcab, a cabinet writer
# independent of ours: plain and MSZIP cabinets with stored directories, a
# larger multi-block cabinet, and damaged or foreign files; and the inputs
# the bad-input campaign keeps.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$1
rm -rf "$out"
mkdir -p "$out/src/sub"
cd "$out/src"
printf 'alpha file\r\n' > a.txt
printf 'bravo in a subdirectory\n' > sub/b.txt
# A larger member: text that compresses and random bytes that do not.
{ for i in $(seq 1 4000); do echo "line $i of the larger member"; done; } > big.txt
head -c 200000 /dev/urandom > noise.bin
# An old stored time, to tell it from the time of an extraction.
touch -d '2001-02-03 04:05:06' a.txt sub/b.txt

gcab -c ../two.cab a.txt sub/b.txt
gcab -c -z ../two_mszip.cab a.txt sub/b.txt
gcab -c -z ../big.cab big.txt noise.bin a.txt
cd ..

# Independent reader agrees these are sound cabinets with the expected names.
cabextract -t two.cab >/dev/null
cabextract -t two_mszip.cab >/dev/null
cabextract -t big.cab >/dev/null
cabextract -l two.cab | grep -q 'sub/b.txt'

printf 'This is plainly not a cabinet.\n' > not_a_cabinet.txt
size=$(stat -c %s big.cab)
head -c $((size / 2)) big.cab > truncated.cab
head -c 60 two_mszip.cab > header_only.cab
# Damage the compressed data of big.cab well past its headers.
cp big.cab flipped.cab
printf '\xff\x00\xff\x00\xff\x00\xff\x00\xff\x00\xff\x00\xff\x00\xff\x00' |
  dd of=flipped.cab bs=1 seek=$((size / 3)) conv=notrunc status=none
# A header that claims far more files and folders than the file holds.
cp two_mszip.cab lying_counts.cab
printf '\xff\x7f\xff\x7f' | dd of=lying_counts.cab bs=1 seek=26 conv=notrunc status=none

# Inputs the bad-input campaign keeps as cases of their own.
mkdir -p kept
cp "$here"/campaign_kept/*.cab kept/
