#!/usr/bin/env bash
# dialog_screenshot.sh BUILD_DIR OUT.png
# Opens velmora.exe under Wine, photographs the screen once its dialog is up,
# crops the dialog into OUT.png and ends the program. Fails when the dialog
# does not appear or the picture is empty; exit 77 (skipped) without a display.
set -u
build=$1 out=$2
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  echo "no X display: no screenshot (./run test provides one)"; exit 77
fi
export VELMORA_BUILD=$build
source "$(dirname "$0")/../cmake/wine-env.sh"
wine_env_prepare >/dev/null 2>&1
wine "$build/bin/velmora.exe" </dev/null >/dev/null 2>&1 &
program=$!
trap 'kill $program 2>/dev/null; wait $program 2>/dev/null' EXIT

geometry=
for _ in $(seq 100); do
  info=$(xwininfo -name "File splitting dialog" 2>/dev/null) && {
    x=$(awk '/Absolute upper-left X/{print $4}' <<<"$info")
    y=$(awk '/Absolute upper-left Y/{print $4}' <<<"$info")
    w=$(awk '/Width:/{print $2}' <<<"$info")
    h=$(awk '/Height:/{print $2}' <<<"$info")
    geometry=${w}x${h}+${x}+${y}
    break
  }
  sleep 0.1
done
[ -n "$geometry" ] || { echo "the dialog did not appear"; exit 1; }
sleep 0.5  # let it finish painting
import -window root "$out.full.png" && /usr/bin/convert "$out.full.png" -crop "$geometry" +repage "$out"
rm -f "$out.full.png"
size=$(identify -format '%wx%h' "$out") colours=$(identify -format '%k' "$out")
echo "dialog $geometry, screenshot $out: $size, $colours colours"
[ "$size" = "${w}x${h}" ] && [ "$colours" -gt 16 ] || { echo "the screenshot looks wrong"; exit 1; }
