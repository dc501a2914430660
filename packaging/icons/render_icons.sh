#!/bin/sh
# Renders the PNG sizes of the application icon from codekiln.svg. Run it by
# hand after changing the drawing (needs rsvg-convert, Debian's librsvg2-bin)
# and commit the PNGs with it; the build itself never renders.
set -e
cd "$(dirname "$0")"
for size in 48 256; do
  rsvg-convert --width "$size" --height "$size" codekiln.svg --output "codekiln-$size.png"
done
