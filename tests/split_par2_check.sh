#!/usr/bin/env bash
# Recovery volumes written by the real velmora.exe /split under Wine, checked
# by Debian's par2 (par2cmdline), which shares no code with velmora: par2
# verify accepts every set; one generator of losses takes k files of the
# PAR2 set (the first piece always among them, and the vornex.dll beside it
# where the set has one: a lost first disk), deleted or one of them damaged,
# and par2 repair and velmora.exe /repair each rebuild them byte for byte
# from the k volumes; with one loss more both refuse and change nothing. A
# target where no volume can be written ends with result 14 and a set that
# is still whole.
set -euo pipefail
build=$1
export VELMORA_BUILD=$build
source "$(dirname "$0")/../cmake/wine-env.sh"
wine_env_prepare >/dev/null 2>&1
wine_scratch par2check
# `floppy`: only the set that split_floppy_tests writes to drive A: with
# automatic size and two volumes, gathered from its disks: a disk's piece
# and the first piece lost, both rebuilt by par2.
only=${2:-}

fail() { echo "$*"; exit 1; }
split() {  # SOURCE SET SECTION OPTIONS...
  local src=$1 set=$2 section=$3; shift 3
  WINEPATH=$(win "$build/bin") wine "$build/bin/velmora.exe" /split "$(win "$src")" "$(win "$set")" \
    "$section" "$@" </dev/null 2>/dev/null | tr -d '\r'
}
# The pieces, the first piece first.
pieces_of() { ls "$1" | grep -iE 'VRAX\.exe$' || true; ls "$1" | grep -E 'VRAX\.[0-9]+$' | sort; }
library_of() { ls "$1" | grep -m1 -ix vornex.dll || true; }

# Losses: NAME SET K DAMAGE EXPECT [WITH] - k files of the set lost: the
# first piece, then WITH (default: the library where the set has one and k
# is 2 or more; "-" for none), then others chosen by the case's own seed;
# the last one damaged when DAMAGE is 1, the rest deleted. Then par2 repair
# and velmora.exe /repair, each on a copy of its own, which EXPECT says must
# work.
lose_and_repair() {
  local name=$1 set=$2 k=$3 damage=$4 expect=$5 with=${6:-}
  mapfile -t all < <(pieces_of "$set")
  local library; library=$(library_of "$set")
  [ -n "$with" ] || { [ -n "$library" ] && [ "$k" -gt 1 ] && with=$library || with=-; }
  local lost=("${all[0]}"); [ "$with" = - ] || lost+=("$with")
  mapfile -t -O ${#lost[@]} lost < <(printf '%s\n' "${all[@]:1}" | grep -vxF "$with" |
    shuf --random-source=<(yes "$name") | head -n $((k - ${#lost[@]})))
  local tool copy before rc n file out
  for tool in par2 velmora; do
    copy=$work/${name}_$tool; rm -rf "$copy"; cp -r "$set" "$copy"
    n=0
    for file in "${lost[@]}"; do
      n=$((n + 1))
      if [ $n -le $((k - damage)) ]; then rm -f "$copy/$file"
      else printf 'damage' | dd of="$copy/$file" bs=1 seek=30 conv=notrunc status=none; fi
    done
    before=$(cd "$copy" && md5sum * | sort)
    rc=0
    if [ $tool = par2 ]; then
      out=$(cd "$copy" && par2 repair -q "$(ls | grep -m1 -E 'VRAX\..*par2$')" 2>&1) || rc=$?
    else
      out=$(WINEPATH=$(win "$build/bin") wine "$build/bin/velmora.exe" /repair "$(win "$copy/${all[0]}")" \
        </dev/null 2>/dev/null | tr -d '\r'; exit "${PIPESTATUS[0]}") || rc=$?
    fi
    if [ "$expect" = repaired ]; then
      [ $rc -eq 0 ] || fail "$name: $tool repair of ${lost[*]} failed ($rc): $out"
      for file in "${all[@]}" $library; do
        cmp -s "$set/$file" "$copy/$file" || fail "$name: $tool did not rebuild $file byte for byte"
      done
    else
      [ $rc -ne 0 ] || fail "$name: $tool repair claims to repair $k losses"
      [ "$(cd "$copy" && md5sum * | sort)" = "$before" ] || fail "$name: a refused $tool repair changed the set"
    fi
    rm -rf "$copy"
  done
}

# One case: NAME SOURCE SECTION VOLUMES(expected; P% for a share) OPTIONS...
check_case() {
  local name=$1 src=$2 section=$3 volumes=$4; shift 4
  local set=$work/set_$name; mkdir "$set"
  local text; text=$(split "$src" "$set" "$section" "$@") || fail "$name: split failed: $text"
  local count; count=$(pieces_of "$set" | wc -l)
  case $volumes in *%) volumes=$(( (${volumes%\%} * count + 99) / 100 )) ;; esac
  [ -z "$(library_of "$set")" ] || count=$((count + 1))
  local made; made=$(ls "$set" | grep -c -E 'VRAX\.vol[0-9]+\+[0-9]+\.par2$' || true)
  [ "$made" -eq "$volumes" ] || fail "$name: $made volumes written, $volumes asked for"
  local index; index=$(ls "$set" | grep -E 'VRAX\.par2$')
  (cd "$set" && par2 verify -q "$index" >/dev/null) || fail "$name: par2 verify rejects the set"
  # Any one volume alone describes the set.
  local lone=$work/lone_$name; mkdir "$lone"; cp "$set"/*VRAX.exe "$lone"/
  cp "$(ls "$set"/*VRAX.vol*.par2 | tail -1)" "$lone"/
  local alone; alone=$(cd "$lone" && par2 verify "$(ls | grep par2)" 2>&1 || true)
  grep -q "There are $count recoverable files" <<<"$alone" ||
    fail "$name: a volume alone does not describe the set"
  lose_and_repair "$name" "$set" "$volumes" $((volumes > 1 ? 1 : 0)) repaired
  lose_and_repair "$name-more" "$set" $((volumes + 1)) 0 refused
  echo "$name: $count files, $volumes volumes: verified, $volumes losses repaired, one more refused"
}

if [ "$only" = floppy ]; then
  gathered=$work/set_floppy; mkdir "$gathered"
  out=$(VELMORA_RECOVERY_SET=$(win "$gathered") VELMORA_BIN=$(win "$build/bin") WINEPATH=$(win "$build/bin") \
    wine "$build/bin/split_floppy_tests.exe" --gtest_filter='Floppy.RecoveryVolumes*' </dev/null 2>&1 | tr -d '\r') ||
    fail "floppy: the split's test failed: $out"
  if grep -q "is not a 1440 KiB tmpfs" <<<"$out"; then echo "floppy: drive A: is not there; skipped"; exit 0; fi
  (cd "$gathered" && par2 verify -q bigVRAX.par2 >/dev/null) || fail "floppy: par2 verify rejects the set"
  lose_and_repair floppy "$gathered" 2 0 repaired
  lose_and_repair floppy-later "$gathered" 2 0 repaired bigVRAX.000
  echo "floppy: a set of $(pieces_of "$gathered" | wc -l) disks and 2 volume disks; the first disk (first piece and library) lost, rebuilt; the first and a later disk's pieces lost, rebuilt"
  exit 0
fi

head -c 1000000 /dev/urandom > "$work/plain.bin"
head -c $((3 * 2048 + 6940 + 3 * 2048 - 12 + 2 * 2048)) /dev/urandom > "$work/whole blocks.dat"
{ for i in $(seq 1 30000); do echo "record $i: some text that compresses"; done
  head -c 200000 /dev/urandom; } > "$work/notes.log"

check_case one "$work/plain.bin" 100000 1 /recovery 1
check_case three "$work/plain.bin" 100000 3 /RECOVERY 3
check_case share "$work/plain.bin" 70000 20% /recovery 20%
check_case blocks "$work/whole blocks.dat" $((6940 + 3 * 2048)) 2 /recovery 2
check_case compressed "$work/notes.log" 100000 2 /compress /recovery 2
check_case nolibrary "$work/plain.bin" 100000 2 /nolibrary /recovery 2

# The library beside the first piece in the set, the split's own copy or a
# file of that name it kept: written by the engine's own test into folders
# of ours, then the library and the first piece lost together.
extras=$work/set_extras; mkdir "$extras"
VELMORA_RECOVERY_SET=$(win "$extras") VELMORA_BIN=$(win "$build/bin") WINEPATH=$(win "$build/bin") \
  wine "$build/bin/split_engine_tests.exe" --gtest_filter='*RecoveryVolumes.*' </dev/null >/dev/null 2>&1 ||
  fail "extras: the engine's test failed"
for kind in placed kept; do
  (cd "$extras/$kind" && par2 verify -q reportVRAX.par2 >/dev/null) || fail "extras $kind: par2 verify rejects the set"
  lose_and_repair "extras-$kind" "$extras/$kind" 2 0 repaired
  echo "extras $kind: $(library_of "$extras/$kind") and the first piece lost together, both rebuilt"
done

# No volume can be written: result 14, the set whole without them.
set=$work/set_blocked; mkdir "$set"
for i in $(seq 0 255); do mkdir "$set/$(printf 'vp%02X.tmp' "$i")"; done
rc=0; text=$(split "$work/plain.bin" "$set" 100000 /recovery 2) || rc=$?
[ $rc -eq 14 ] || fail "blocked: exit code $rc, not 14"
echo "$text" | grep -q "The set is complete without its recovery volumes" || fail "blocked: text '$text'"
! ls "$set" | grep -q par2 || fail "blocked: a PAR2 file was left"
WINEPATH=$(win "$build/bin") wine "$build/bin/velmora.exe" /verify "$(win "$set/plainVRAX.exe")" \
  </dev/null >/dev/null 2>&1 || fail "blocked: the set is not whole"
echo "blocked: result 14, the set verified without its volumes"
