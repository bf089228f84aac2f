#!/usr/bin/env bash
# Builds the 32-bit Windows DLL twice, from scratch, in two build directories of different
# names, and fails unless the two DLLs are identical byte for byte: no timestamp, build path
# or other accident of the build may end up in the released file.
# Usage: check-dll-reproducible.sh [JOBS]
set -euo pipefail

jobs=${1:-2}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build() {
  cmake -S "$root" -B "$1" -G Ninja --toolchain "$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBASINLIFT_PLUGIN_ONLY=ON >/dev/null
  cmake --build "$1" --target BasinLift -j "$jobs" >/dev/null
}
build "$work/first"
build "$work/second-build"

a=$work/first/bin/BasinLift.dll
b=$work/second-build/bin/BasinLift.dll
if cmp -s "$a" "$b"; then
  echo "OK: two builds give identical DLLs ($(sha256sum <"$a" | cut -c1-16)..., $(stat -c %s "$a") bytes)"
else
  echo "FAIL: two builds of BasinLift.dll differ:" >&2
  cmp -l "$a" "$b" | head -5 >&2 || true
  exit 1
fi
