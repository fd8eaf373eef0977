#!/usr/bin/env bash
# Sets up the machine, builds every preset and runs every test:
# natively, natively under AddressSanitizer and UndefinedBehaviorSanitizer,
# and the Windows build under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

for preset in native native-sanitize windows; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
