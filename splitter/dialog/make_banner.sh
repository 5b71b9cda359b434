#!/usr/bin/env bash
# Draws the dialog's banner (335 x 57, 24-bit BMP) into banner.bmp beside this
# script. Run by hand when the picture changes; banner.bmp is committed.
# /usr/bin/convert is ImageMagick's (a stand-in may shadow it in PATH).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
/usr/bin/convert -size 57x335 gradient:'#16324f-#3f7cac' -rotate -90 \
  -fill '#f4f1de' -stroke '#16324f' -strokewidth 1 \
  -draw 'rectangle 14,10 38,46' -draw 'line 14,22 38,22' -draw 'line 14,34 38,34' \
  -fill none -stroke '#e07a5f' -strokewidth 2 -draw 'line 8,28 44,28' \
  -stroke none -fill '#f4f1de' -font DejaVu-Sans-Bold -pointsize 24 -annotate +56+32 'velmora' \
  -font DejaVu-Sans -pointsize 11 -annotate +58+48 'cuts a file into pieces that rebuild it' \
  -type TrueColor -compress None "BMP3:$here/banner.bmp"
