#!/bin/sh
# Renders the icon's PNG sizes from krt6-setting-tool.svg (after a change to the drawing; the PNGs
# are committed). Needs rsvg-convert (Debian librsvg2-bin).
set -eu
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  mkdir -p "${size}x${size}"
  rsvg-convert -w "$size" -h "$size" krt6-setting-tool.svg -o "${size}x${size}/krt6-setting-tool.png"
done
