#!/usr/bin/env bash
# Sets up the machine, builds every preset and runs every test: the Windows
# build under wine, natively, and natively under AddressSanitizer and
# UndefinedBehaviorSanitizer; then builds the release twice and compares its
# bytes, and runs every fuzz target for 20 s.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

# The windows preset comes first: the native build's parity tests (sfxtool
# pack against PackageCreator.exe under wine) take its programs from
# build/windows and skip when they are missing. Here they must be there, so
# that a broken windows build fails those tests rather than skipping them.
export TOOLKIT_REQUIRE_WINDOWS_BUILD=1
for preset in windows native native-sanitize; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

# A short fuzzing run of every fuzz target (the preset 'fuzz', clang).
echo "== reproducible release"
bash scripts/check-reproducible.sh

echo "== fuzz"
bash scripts/run-fuzzers.sh 20
