#!/bin/sh
# Renders every picture *.svg here into NAME.png (48 px) and its greyed twin NAME_disabled.png.
# Needs ImageMagick; the PNGs are committed, so building does not.
set -e
cd "$(dirname "$0")"
for svg in *.svg; do
  name=${svg%.svg}
  convert -background none -density 96 "$svg" -resize 48x48 -strip "PNG32:$name.png"
  convert "$name.png" -strip -colorspace Gray -fill white -colorize 45% -channel A -evaluate multiply 0.7 +channel \
    "PNG32:${name}_disabled.png"
done
