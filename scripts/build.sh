#!/usr/bin/env bash
# Sets up the machine and builds the native and the Windows preset.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
for preset in native windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
echo "Built: build/native and build/windows"
