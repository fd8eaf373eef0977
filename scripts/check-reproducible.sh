#!/usr/bin/env bash
# Builds the release twice from scratch, in two build folders, and compares
# the archives byte for byte: the Windows ZIP (preset windows) and the
# native tool's tar.gz (preset release). Exits non-zero when they differ.
set -euo pipefail
cd "$(dirname "$0")/.."

for side in a b; do
  for preset in windows release; do
    dir=build/reproducible-$side/$preset
    rm -rf "$dir"
    # The native release takes its extractor from this side's windows build.
    cmake --preset "$preset" -B "$dir" -DTOOLKIT_WINDOWS_BUILD="$PWD/build/reproducible-$side/windows" \
      >/dev/null
    cmake --build "$dir" --target package >/dev/null
  done
done

failed=0
for archive in build/reproducible-a/*/release/*.zip build/reproducible-a/*/release/*.tar.gz; do
  twin=build/reproducible-b/${archive#build/reproducible-a/}
  if cmp -s "$archive" "$twin"; then
    echo "same bytes: $(basename "$archive") ($(sha256sum "$archive" | cut -c1-16)...)"
  else
    echo "DIFFERENT: $archive and $twin" >&2
    failed=1
  fi
done
exit $failed
