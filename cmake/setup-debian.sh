#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (run as root).
# Idempotent: when everything is present it does nothing and prints nothing.
#
# Package mirrors are in the middle of a sync several times a day, and one
# index of one architecture may then come with the wrong size. So the index
# update is tried a few times with a pause between tries, and when some index
# still fails the install goes on with the indexes that did arrive: a package
# that is missing for that reason is named by the install itself. The install
# is tried once more after a failed download, never in a loop without end.
# VELMORA_SETUP_PAUSE sets the pause in seconds (the tests set 0).
set -euo pipefail

update_tries=4
pause=${VELMORA_SETUP_PAUSE:-15}

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
pkgs=(g++-mingw-w64-i686 binutils-mingw-w64-i686 cmake make googletest wine wine32:i386
      xvfb fonts-wine gcab cabextract imagemagick zip x11-utils g++ libmspack-dev
      python3 cksfv par2)
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

# apt-get update exits non-zero when any index failed; its errors are kept and
# shown only when the last try fails too.
log=$(mktemp)
pins=$(mktemp -d)
trap 'rm -rf "$log" "$pins"' EXIT
updated=0
for try in $(seq 1 $update_tries); do
  if apt-get update -qq >"$log" 2>&1; then updated=1; break; fi
  if [ "$try" -lt $update_tries ]; then
    echo "setup: apt-get update failed (try $try of $update_tries; a mirror may be syncing), again in ${pause}s" >&2
    sleep "$pause"
  fi
done
# The suites whose indexes did not arrive, from "Failed to fetch .../dists/SUITE/...".
failed_suites=""
if [ $updated -eq 0 ]; then
  grep -E '^(E|W):' "$log" | head -n 5 >&2 || true
  echo "setup: some package indexes did not arrive; installing with those that did" >&2
  failed_suites=$(grep -oE 'Failed to fetch [^ ]*/dists/[^/ ]+/' "$log" | sed -E 's|.*/dists/([^/]+)/$|\1|' | sort -u | tr '\n' ' ')
fi

install() { apt-get install -y -qq --no-install-recommends -o Dir::Etc::PreferencesParts="$pins" "${need[@]}" >"$log" 2>&1; }
if ! install; then
  # One more try, never more. When a suite's index for one architecture is
  # missing, the other architecture's newer versions from that suite cannot be
  # matched (wine32:i386 needs the same versions of the shared libraries as the
  # machine's own): the suite is then held below the others for this install.
  # A failed download (a mirror in mid-sync, a dropped connection) is worth
  # fresh indexes. Anything else (a package that does not exist) is final.
  retry=0
  if [ -n "$failed_suites" ] && grep -qE 'held broken packages|unmet dependencies|Unable to correct problems' "$log"; then
    for suite in $failed_suites; do
      printf 'Package: *\nPin: release n=%s\nPin-Priority: 100\n\n' "$suite" >>"$pins/velmora-setup.pref"
    done
    echo "setup: the install could not be resolved without $failed_suites; trying once more with the indexes that arrived preferred" >&2
    retry=1
  elif grep -qE '^E: (Failed to fetch|Unable to fetch)' "$log"; then
    echo "setup: a download failed; trying the install once more" >&2
    sleep "$pause"
    apt-get update -qq >/dev/null 2>&1 || true
    retry=1
  fi
  if [ $retry -eq 0 ] || ! install; then
    grep -vE '^(Selecting|Preparing|Unpacking|Setting up|Processing)' "$log" | tail -n 20 >&2
    exit 1
  fi
fi
