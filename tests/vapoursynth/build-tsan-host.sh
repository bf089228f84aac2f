#!/usr/bin/env bash
# Builds VapourSynth from its source archive with ThreadSanitizer, once, and prints the install
# prefix (the only thing on standard output). A race report is only believable when the host's
# own threads are instrumented too: against a normal build TSan flags the host's internal
# synchronisation.
#
#   build-tsan-host.sh ARCHIVE [CACHE]
#
# ARCHIVE is a VapourSynth source archive (.tar.xz); CACHE defaults to
# ${XDG_CACHE_HOME:-$HOME/.cache}/basinlift-hosts. The build is kept under a name that includes
# the archive's checksum and reused while the archive is unchanged; a lock keeps two runs from
# building it at once. Progress goes to standard error.
# Debian 12 packages: g++ pkg-config autoconf automake libtool libzimg-dev.
set -euo pipefail
archive=${1:?usage: build-tsan-host.sh ARCHIVE [CACHE]}
archive=$(cd "$(dirname "$archive")" && pwd)/$(basename "$archive")
cache=${2:-${XDG_CACHE_HOME:-$HOME/.cache}/basinlift-hosts}
sum=$(sha256sum "$archive" | cut -c1-12)
prefix=$cache/vapoursynth-tsan-$sum
mkdir -p "$cache"
exec 9>"$cache/vapoursynth-tsan.lock"
flock 9
if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi
rm -rf "$prefix" "$prefix.work"
mkdir -p "$prefix.work"
tar -xJf "$archive" -C "$prefix.work"
src=$(find "$prefix.work" -mindepth 1 -maxdepth 1 -type d)
echo "building VapourSynth with ThreadSanitizer into $prefix (about 3-6 minutes on 2 cores)" >&2
cd "$src"
# This release names one transfer function that zimg added in 3.0.5; Debian 12 has 3.0.4,
# which is otherwise enough. Drop that one table entry and the version floor.
if ! pkg-config --atleast-version=3.0.5 zimg; then
  sed -i '/"st428", *ZIMG_TRANSFER_ST428/d' src/core/vsresize.cpp
  export ZIMG_CFLAGS="-I/usr/include" ZIMG_LIBS="-lzimg"
fi
./autogen.sh >&2
./configure --prefix="$prefix" --disable-static --disable-vsscript --disable-vspipe \
  --disable-python-module CFLAGS="-O1 -g -fsanitize=thread" CXXFLAGS="-O1 -g -fsanitize=thread" \
  LDFLAGS="-fsanitize=thread" >&2
# libtool drops -fsanitize from the link of the shared library; name the runtime directly.
make -j"$(nproc)" LIBS=-ltsan >&2
make install >&2
rm -rf "$prefix.work"
touch "$prefix/.complete"
echo "$prefix"
