#!/usr/bin/env bash
# Takes the screenshots in docs/: the creator's progress dialog in English
# and in German, then the package it wrote: its splash window, and its main
# dialog in English and in German, on a virtual display. Needs the demo's
# build (scripts/demo.sh) and, beyond the project's own packages, x11-apps,
# imagemagick and fonts-wine, which it installs. The programs run through
# the wine runner, on a display of this script's own size.
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
# shoot NAME WIDTH HEIGHT: the screen, without the desktop around the window
# (a border of the desktop's colour, then a trim).
shoot() {
  xwd -root -display :77 -out "$demo/screen.xwd"
  desktop=$(convert "$demo/screen.xwd" -format "%[pixel:p{$(($2 - 1)),$(($3 - 1))}]" info:)
  convert "$demo/screen.xwd" -bordercolor "$desktop" -border 1 -trim +repage "docs/$1.png"
  rm -f "$demo/screen.xwd"
}

for shot in en_US:creator-dialog-en de_DE:creator-dialog-de; do
  lang=${shot%%:*}
  name=${shot#*:}
  LANG=$lang.UTF-8 LC_ALL=$lang.UTF-8 scripts/wine-run.sh --prefix build/windows/wine-prefix \
      --display :77 explorer /desktop=shots,640x200 "$demo/PackageCreator.exe" &
  creator=$!
  sleep 4
  shoot "$name" 640 200
  wait "$creator" || true
done
kill "$xvfb"

# The package: its splash while it checks its 200 MB, then its main dialog
# (the example has a read-me, so the package asks first). The splash is
# taken in English only. The package is written anew by a creator started
# on its own, which finds its splash image beside itself.
scripts/wine-run.sh --prefix build/windows/wine-prefix "$demo/PackageCreator.exe"
Xvfb :77 -nolisten tcp -screen 0 800x450x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
for shot in en_US:extractor-dialog-en:extractor-splash de_DE:extractor-dialog-de:; do
  IFS=: read -r lang name splash <<<"$shot"
  LANG=$lang.UTF-8 LC_ALL=$lang.UTF-8 TMP='C:\windows\temp' \
    scripts/wine-run.sh --prefix build/windows/wine-prefix --display :77 \
      explorer /desktop=shots,800x450 "$demo/out/ExampleProduct.exe" &
  package=$!
  if [ -n "$splash" ]; then
    # The splash shows while the package checks itself: the first shot in
    # which the trimmed screen is the size of the example's splash image.
    for _ in $(seq 1 300); do
      shoot "$splash" 800 450 2>/dev/null || continue
      [ "$(identify -format '%wx%h' "docs/$splash.png")" = "160x60" ] && break
    done
  fi
  sleep 6
  shoot "$name" 800 450
  # The dialog waits for the user: end the package with its wineserver.
  WINEPREFIX=$(realpath build/windows/wine-prefix) wineserver -k || true
  wait "$package" || true
done
kill "$xvfb"
