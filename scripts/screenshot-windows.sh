#!/bin/sh
# A picture of codekiln.exe running under Wine: a virtual X display (Xvfb)
# with a window manager (openbox), the window started in the build's prefix,
# and the screen taken once it has drawn. Not run by CI.
# Usage: screenshot-windows.sh <windows build> <png file>
set -e

win_build=$(cd "${1:-build-win}" && pwd)
out=${2:-docs/window-wine.png}
for p in xvfb openbox imagemagick; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    [ "$(id -u)" -eq 0 ] || { echo "screenshot-windows: $p missing" >&2; exit 1; }
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $p >/dev/null
  fi
done

display=:$((90 + $$ % 9))
Xvfb "$display" -screen 0 1024x700x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $wm $xvfb 2>/dev/null || true' EXIT
sleep 2
DISPLAY=$display openbox >/dev/null 2>&1 &
wm=$!
sleep 1
# Started from a scratch folder, so the backup folders it may create stay out of the tree.
mkdir -p "$win_build/screenshot"
cd "$win_build/screenshot"
DISPLAY=$display "$win_build/wine-run.sh" "$win_build/src/app/codekiln.exe" >/dev/null 2>&1 &
app=$!
sleep "${SCREENSHOT_WAIT:-45}"
cd - >/dev/null
DISPLAY=$display import -window root png:- | convert - -trim +repage "$out"  # the window alone
echo "screenshot-windows: $out"
