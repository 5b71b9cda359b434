# Sourced by the run script and the CTest wrapper: one Wine prefix per build
# tree (32-bit), made on first use, with a persistent wineserver so that a
# program starts in tens of milliseconds instead of seconds.
export WINEPREFIX="$VELMORA_BUILD/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all

wine_env_prepare() {
  if [ ! -f "$WINEPREFIX/.velmora-ready" ]; then
    (
      flock 9
      if [ ! -f "$WINEPREFIX/.velmora-ready" ]; then
        rm -rf "$WINEPREFIX"
        WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1
        # No window manager under Xvfb: without this every window close waits ~2 s.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
        # Debian's Wine does not find the fonts of fonts-wine in its data
        # directory; linked into the prefix, Tahoma is there for the dialog.
        if [ -d /usr/share/wine/fonts ]; then
          ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
        fi
        wineserver -w
        touch "$WINEPREFIX/.velmora-ready"
      fi
    ) 9>"$VELMORA_BUILD/.wineprefix.lock"
  fi
  # A persistent server for this prefix, with its services started once
  # (`wineserver -k0` only tests whether that server is running).
  if ! wineserver -k0 2>/dev/null; then
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
  fi
}

# For the scripts that drive the programs: the Windows spelling of a Linux
# path (drive Z:), and a scratch folder `work` under the build directory,
# removed when the script exits.
win() { printf 'Z:%s' "${1//\//\\}"; }
wine_scratch() {
  work=$(mktemp -d "$VELMORA_BUILD/$1.XXXXXX")
  trap 'rm -rf "$work"' EXIT
}
