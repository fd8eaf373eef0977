#!/usr/bin/env bash
# Lays out a release and packs it so that two builds of one commit give the
# same bytes:
#   make-release.sh windows VERSION BIN_DIR OUT_DIR
#       installer-toolkit-VERSION-windows-x64.zip: PackageCreator.exe,
#       Stampel\StampelLib.exe, Extractor.exe, the example, README, LICENSE
#   make-release.sh native VERSION SFXTOOL OUT_DIR EXTRACTOR
#       sfxtool-VERSION-linux-x86_64.tar.gz: sfxtool with Extractor.exe
#       beside it (where `sfxtool pack` looks for it), README, LICENSE
# Every file gets the time of the source's last commit (SOURCE_DATE_EPOCH
# when set; 1980-01-01 outside a git checkout) and a fixed mode; the
# archive lists its files in byte order and keeps no owner, no extra time
# fields and no time of its own.
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: make-release.sh windows|native VERSION INPUT OUT_DIR [EXTRACTOR]" >&2; exit 2; }
kind=$1 version=$2 input=$3 out=$4 extractor=${5:-}
source_dir=$(cd "$(dirname "$0")/.." && pwd)

epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || echo 315532800)}

case $kind in
  windows) name=installer-toolkit-$version-windows-x64 ;;
  native)
    name=sfxtool-$version-linux-x86_64
    if [ ! -f "$extractor" ]; then
      echo "make-release.sh: no extractor at '$extractor': build the windows preset first" \
        "(cmake --preset windows && cmake --build --preset windows)" >&2
      exit 1
    fi
    ;;
  *) echo "make-release.sh: unknown kind $kind" >&2; exit 2 ;;
esac
stage=$out/$name
rm -rf "$stage" "$out/$name.zip" "$out/$name.tar.gz"
mkdir -p "$stage"
cp "$source_dir/README.md" "$source_dir/LICENSE" "$stage/"
if [ "$kind" = windows ]; then
  mkdir -p "$stage/Stampel"
  cp "$input/PackageCreator.exe" "$input/Extractor.exe" "$stage/"
  cp "$input/Stampel/StampelLib.exe" "$stage/Stampel/"
  cp -r "$source_dir/examples" "$stage/example"
else
  cp "$input" "$stage/sfxtool"
  cp "$extractor" "$stage/Extractor.exe"
fi

find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
find "$stage" -type f \( -name '*.exe' -o -name sfxtool \) -exec chmod 755 {} +
find "$stage" -exec touch -h -d "@$epoch" {} +

cd "$out"
if [ "$kind" = windows ]; then
  # zip keeps local times: in UTC they do not depend on the machine.
  find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X -D "$name.zip" -@
  echo "$out/$name.zip"
else
  find "$name" -print0 | LC_ALL=C sort -z |
    tar --no-recursion --null -T - --owner=0 --group=0 --numeric-owner --mtime="@$epoch" \
      --format=gnu -cf - | gzip -9 -n >"$name.tar.gz"
  echo "$out/$name.tar.gz"
fi
