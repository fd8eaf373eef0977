#!/usr/bin/env bash
# Sets up the machine, builds every preset and runs every test:
# natively, natively under AddressSanitizer and UndefinedBehaviorSanitizer,
# and the Windows build under wine; then builds the release twice and
# compares its bytes, and runs every fuzz target for 20 s.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

for preset in native native-sanitize windows; do
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
