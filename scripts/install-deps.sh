#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and those
# named as arguments (the benchmark's and the screenshots' own tools).
# Idempotent: prints nothing and changes nothing when everything is present.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  zlib1g-dev googletest
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine wine64 xvfb osslsigncode openssl
  clang libclang-rt-14-dev llvm
 "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
