#!/usr/bin/env bash
# The main job on the bundled example: sets up the machine, builds, runs the
# package creator under wine on examples/, and shows the package it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
for preset in windows native; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# The creator works on the files beside itself: its description, its
# splash image and the stamping tool's folder.
demo=build/demo
rm -rf "$demo"
mkdir -p "$demo/Stampel"
cp build/windows/bin/PackageCreator.exe "$demo/"
cp build/windows/bin/Stampel/StampelLib.exe "$demo/Stampel/"
cp -r examples/product "$demo/"
cp examples/TempSplashImage.gif "$demo/"
# Under wine, drive Z: is the Linux root.
windows_dir="Z:$(realpath "$demo" | tr '/' '\\')"
sed "s|@DIR@|${windows_dir//\\/\\\\}|g" examples/PackageCreator.txt >"$demo/PackageCreator.txt"

echo "== running $demo/PackageCreator.exe under wine"
set +e
scripts/wine-run.sh --prefix build/windows/wine-prefix "$demo/PackageCreator.exe"
code=$?
set -e
echo "== the creator ended with exit code $code (0: a complete package was written)"

package="$demo/out/ExampleProduct.exe"
if [ -f "$package" ]; then
  echo "== the package: $package"
  build/native/tools/sfxtool/sfxtool list "$package"
  build/native/tools/sfxtool/sfxtool verify "$package"
fi

# The same package built on Linux without wine: the description with Linux
# paths, the splash beside it, the extractor from the Windows build.
native="$demo/native"
mkdir -p "$native"
cp examples/TempSplashImage.gif "$native/"
sed -e "s|@DIR@|$(realpath "$demo")|g" -e '/^\(filepath\|filepathroot\|folderpath\|folderpathroot\|target\)=/s|\\|/|g' \
  -e "s|/out/ExampleProduct.exe|/native/ExampleProduct.exe|" examples/PackageCreator.txt >"$native/PackageCreator.txt"
echo "== the same package from sfxtool pack on Linux: $native/ExampleProduct.exe"
build/native/tools/sfxtool/sfxtool pack --stub build/windows/bin/Extractor.exe "$native/PackageCreator.txt"
exit "$code"
