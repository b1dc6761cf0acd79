#!/bin/sh
# Renders the program's icon, data/icons/hicolor/scalable/apps/velmora.svg, into the 48, 128
# and 256 pixel PNGs beside it (the window icon and the desktop's fixed-size icons). The PNGs
# are committed; run this after changing the SVG. Needs rsvg-convert (Debian: librsvg2-bin).
# Usage: tools/icon/make-icons.sh
set -e
cd "$(dirname "$0")/../.."
icons=data/icons/hicolor
command -v rsvg-convert >/dev/null || { echo "rsvg-convert is missing (apt-get install librsvg2-bin)" >&2; exit 1; }
for size in 48 128 256; do
  mkdir -p "$icons/${size}x${size}/apps"
  rsvg-convert --width "$size" --height "$size" --keep-aspect-ratio \
    "$icons/scalable/apps/velmora.svg" --output "$icons/${size}x${size}/apps/velmora.png"
done
