#!/usr/bin/env bash
# The set-up script's decisions without the network: apt-get, dpkg-query, dpkg
# and id are stubs on PATH, each case a row of the table below.
set -u
script=$(cd "$(dirname "$0")/.." && pwd)/cmake/setup-debian.sh
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cat >"$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
n=$(cat "$STATE/$1" 2>/dev/null || echo 0); n=$((n + 1)); echo $n >"$STATE/$1"
fetch_fail='E: Failed to fetch http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?'
case $1 in
  update) [ "$UPDATE_FAILS" = always ] || [ $n -le "$UPDATE_FAILS" ] && { echo "$fetch_fail"; exit 100; }; exit 0 ;;
  install)
    case $INSTALL in
      ok) exit 0 ;;
      missing) echo "E: Unable to locate package par2"; exit 100 ;;
      download) echo "E: Failed to fetch http://deb.example/pool/w/wine.deb  Connection reset"; exit 100 ;;
      broken) # resolves only with the failed suite held below the others
        pref=$(printf '%s\n' "$@" | sed -n 's/^Dir::Etc::PreferencesParts=//p')
        grep -qs 'n=bookworm-security' "$pref"/*.pref && exit 0
        echo "E: Unable to correct problems, you have held broken packages."; exit 100 ;;
    esac ;;
esac
STUB
printf '#!/bin/sh\n[ -n "$PRESENT" ] && echo "install ok installed"\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\necho i386\n' >"$work/bin/dpkg"
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
chmod +x "$work/bin"/*

passed=0 failed=0
# label | update fails | install | packages present | exit code | updates | installs | a line printed
while IFS='|' read -r label fails install present rc updates installs line; do
  state="$work/$label"; mkdir "$state"
  out=$(PATH="$work/bin:$PATH" STATE="$state" UPDATE_FAILS=$fails INSTALL=$install PRESENT=$present \
        VELMORA_SETUP_PAUSE=0 bash "$script" 2>&1); got=$?
  u=$(cat "$state/update" 2>/dev/null || echo 0); i=$(cat "$state/install" 2>/dev/null || echo 0)
  if [ "$got" = "$rc" ] && [ "$u" = "$updates" ] && [ "$i" = "$installs" ] && { [ -z "$line" ] && [ -z "$out" ] || [ -n "$line" ] && grep -qF -- "$line" <<<"$out"; }; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $label: exit $got (want $rc), $u updates (want $updates), $i installs (want $installs), output:"; echo "$out"
  fi
done <<'TABLE'
update_fails_twice_then_succeeds|2|ok||0|3|1|try 2 of 4
update_always_fails_install_goes_on|always|ok||0|4|1|installing with those that did
missing_index_breaks_resolution_retried_with_suite_held|always|broken||0|4|2|without bookworm-security
install_fails_for_good_is_not_retried|0|missing||1|1|1|Unable to locate package par2
failed_download_retried_once_only|0|download||1|2|2|trying the install once more
everything_present_is_silent|0|ok|1|0|0|0|
TABLE
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
