#!/usr/bin/env bash
# Links the resource-editing test fixture (tests/unit/package/pe_fixtures/
# tiny.exe) from tiny.c and tiny.rc beside it, with the mingw-w64 compiler
# and resource compiler: a 6 KiB program whose sections, relocations and
# resource tree are a real linker's. The .exe is kept in the repository, so
# that the native build needs no Windows compiler; run this after changing
# a source.
set -euo pipefail
cd "$(dirname "$0")/../tests/unit/package/pe_fixtures"
x86_64-w64-mingw32-windres -O coff -i tiny.rc -o tiny.res.o
x86_64-w64-mingw32-gcc -Os -nostdlib -e start -s -Wl,--dynamicbase -Wl,--no-insert-timestamp \
  -o tiny.exe tiny.c tiny.res.o
rm tiny.res.o
