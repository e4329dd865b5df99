#!/usr/bin/env bash
# Renders assets/orvantisicon.svg into the multi-size Windows icon
# assets/orvantisicon.ico. Needs rsvg-convert (librsvg2-bin) and icotool
# (icoutils).
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pngs=()
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" assets/orvantisicon.svg -o "$work/icon-$size.png"
  pngs+=("$work/icon-$size.png")
done
# The 256 pixel image is stored as PNG, the smaller ones as bitmaps.
icotool -c -o assets/orvantisicon.ico -r "$work/icon-256.png" "${pngs[@]:0:6}"
