#!/usr/bin/env bash
# Reads every cabinet that the builder tests left in DIR with two readers
# independent of ours and compares with the expectations written beside it
# (see tests/built_cabinets.h for the .expect format):
#   cabextract -t passes; cabextract -l and gcab -t list exactly the expected
#   stored names; cabextract -p gives each file's bytes; gcab -l shows the
#   expected DOS attributes and time. An empty .expect asks for a cabinet
#   with no files (cabextract refuses those, so gcab and the header decide).
#   gcab refuses a cabinet in which two files share a name (which the format
#   allows and name mode 2 makes), so such cabinets are left to cabextract.
# Usage: check_built_cabinets.sh DIR
set -uo pipefail
export LC_ALL=C
dir=$1
failures=0
checked=0

fail() {
  echo "FAIL $1: $2"
  failures=$((failures + 1))
}

# A little-endian 16-bit number at a byte offset of a file.
u16_at() { od -An -tu2 -j "$2" -N 2 "$1" | tr -d ' '; }

# "name<TAB>date time<TAB>attrs" for every file that gcab -l lists.
gcab_details() {
  gcab -l "$1" | while IFS= read -r line; do
    local rest=$line attrs time date
    attrs=${rest##* }; rest=${rest% *}
    time=${rest##* }; rest=${rest% *}
    date=${rest##* }; rest=${rest% *}
    rest=${rest% *}  # the size
    printf '%s\t%s %s\t%s\n' "$rest" "$date" "$time" "$attrs"
  done
}

shopt -s nullglob
for expect in "$dir"/*.expect; do
  tag=$(basename "${expect%.expect}")
  cab=${expect%.expect}.cab
  checked=$((checked + 1))
  if [ ! -f "$cab" ]; then fail "$tag" "the cabinet is missing"; continue; fi
  if [ "$(head -c 4 "$cab")" != MSCF ]; then fail "$tag" "no cabinet signature"; continue; fi

  want=$(cut -f1 "$expect" | sort)
  repeated=$(uniq -d <<<"$want")
  if [ -n "$repeated" ]; then
    gcab_names=$want
  else
    gcab_names=$(gcab -t "$cab" | sort) || fail "$tag" "gcab cannot list it"
  fi
  if [ ! -s "$expect" ]; then
    [ -z "$gcab_names" ] || fail "$tag" "expected no files, gcab lists: $gcab_names"
    [ "$(u16_at "$cab" 28)" = 0 ] || fail "$tag" "the header counts files"
    continue
  fi

  cabextract -q -t "$cab" >/dev/null 2>&1 || fail "$tag" "cabextract -t reports errors"
  [ "$gcab_names" = "$want" ] || fail "$tag" "gcab lists [$gcab_names], expected [$want]"
  cab_names=$(cabextract -l "$cab" | awk 'seen && NF { sub(/^[^|]*\|[^|]*\| /, ""); print } /^-----/ { seen = 1 }' |
              sed '/^All done/d' | sort)
  want_slash=$(cut -f1 "$expect" | tr '\\' / | sort)
  [ "$cab_names" = "$want_slash" ] || fail "$tag" "cabextract lists [$cab_names], expected [$want_slash]"

  details=
  [ -n "$repeated" ] || details=$(gcab_details "$cab")
  while IFS=$'\t' read -r name ref attrs time; do
    if [ "$ref" != - ]; then
      if ! cabextract -q -p -F "${name//\\//}" "$cab" 2>/dev/null | cmp -s - "$dir/$ref"; then
        fail "$tag" "cabextract gives other bytes for $name"
      fi
    fi
    got=$(awk -F '\t' -v n="$name" '$1 == n { print $2 "\t" $3 }' <<<"$details" | head -n 1)
    if [ "$time" != - ] && [ "${got%%$'\t'*}" != "$time" ]; then
      fail "$tag" "$name has time ${got%%$'\t'*}, expected $time"
    fi
    if [ "$attrs" != - ] && [ "${got##*$'\t'}" != "$attrs" ]; then
      fail "$tag" "$name has attributes ${got##*$'\t'}, expected $attrs"
    fi
  done <"$expect"
done

echo "$checked cabinets checked, $failures failures"
[ "$checked" -gt 0 ] || { echo "no cabinets to check in $dir"; exit 1; }
[ "$failures" -eq 0 ]
