#!/usr/bin/env bash
# Takes the screenshots in docs/: the creator's progress dialog in English
# and in German, on a virtual display. Needs the demo's build (scripts/demo.sh)
# and, beyond the project's own packages, x11-apps, imagemagick and fonts-wine,
# which it installs. The creator runs through the wine runner, on a display
# of this script's own size.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh x11-apps imagemagick fonts-wine

demo=$(realpath build/demo)
[ -f "$demo/PackageCreator.exe" ] || { echo "run scripts/demo.sh first" >&2; exit 1; }
# A large file keeps the dialog on screen long enough. Wine's own desktop
# draws the title bar, which a bare X display would leave out.
head -c 200000000 /dev/urandom >"$demo/product/Data/large.bin"
trap 'rm -f "$demo/product/Data/large.bin"' EXIT

Xvfb :77 -nolisten tcp -screen 0 640x200x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
for shot in en_US:creator-dialog-en de_DE:creator-dialog-de; do
  lang=${shot%%:*}
  name=${shot#*:}
  LANG=$lang.UTF-8 LC_ALL=$lang.UTF-8 scripts/wine-run.sh --prefix build/windows/wine-prefix \
      --display :77 explorer /desktop=shots,640x200 "$demo/PackageCreator.exe" &
  creator=$!
  sleep 4
  # The desktop around the dialog goes: a border of its colour, then a trim.
  xwd -root -display :77 -out "$demo/screen.xwd"
  desktop=$(convert "$demo/screen.xwd" -format '%[pixel:p{639,199}]' info:)
  convert "$demo/screen.xwd" -bordercolor "$desktop" -border 1 -trim +repage "docs/$name.png"
  rm -f "$demo/screen.xwd"
  wait "$creator" || true
done
kill "$xvfb"
