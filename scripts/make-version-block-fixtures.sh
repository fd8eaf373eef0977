#!/usr/bin/env bash
# Compiles the version-block test fixtures (tests/unit/package/
# version_block_fixtures/*.rc) into the .res files beside them, with the
# mingw-w64 resource compiler, whose layout the tests hold the reader to.
# The .res files are kept in the repository, so that the native build needs
# no Windows resource compiler; run this after changing an .rc file.
set -euo pipefail
cd "$(dirname "$0")/../tests/unit/package/version_block_fixtures"
for rc in *.rc; do
  x86_64-w64-mingw32-windres -O res -i "$rc" -o "${rc%.rc}.res"
done
