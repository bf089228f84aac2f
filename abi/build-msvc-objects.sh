#!/usr/bin/env bash
# Compiles the host side of the conformance test for Microsoft's C++ ABI, into ELF objects
# that link with the GCC-built plug-in into one 32-bit Linux program.
#
# Microsoft's mangled names contain "@@", which ELF linkers read as a symbol version: both
# ld.bfd and ld.lld would then bind different functions with the same name before the "@@"
# to one another, silently. So every symbol with an "@" is renamed ("@" -> "."), in all the
# objects alike, except stdcall C names of the form _name@N: those are how the plug-in's
# entry point is named on both sides.
#
# Usage: build-msvc-objects.sh OUTDIR CLANG++ SOURCE... [-- EXTRA-FLAGS...]
set -euo pipefail

outdir=$1
clang=$2
shift 2
sources=()
while [[ $# -gt 0 && $1 != -- ]]; do
  sources+=("$1")
  shift
done
[[ ${1:-} == -- ]] && shift
extra=("$@")

flags=(--target=i686-pc-windows-msvc-elf -std=c++17 -O2 -Wall
  -fno-exceptions -fno-rtti -fno-threadsafe-statics -mno-stack-arg-probe "${extra[@]}")

mkdir -p "$outdir"
objects=()
for src in "${sources[@]}"; do
  obj=$outdir/$(basename "${src%.*}").o
  "$clang" "${flags[@]}" -c "$src" -o "$obj.tmp"
  objects+=("$obj")
done

nm -P "${objects[@]/%/.tmp}" | awk '$1 ~ /@/ && $1 !~ /^_[A-Za-z0-9_]+@[0-9]+$/ {
  n = $1; gsub(/@/, ".", n); print $1, n }' | sort -u >"$outdir/msvc-symbols.map"
for obj in "${objects[@]}"; do
  objcopy --redefine-syms="$outdir/msvc-symbols.map" "$obj.tmp" "$obj"
  rm -f "$obj.tmp"
done
