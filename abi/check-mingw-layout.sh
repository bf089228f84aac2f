#!/usr/bin/env bash
# Checks, on the mingw-w64 i686 compiler that builds the DLL, that the interface header lays
# out the host's structures and vtables the way the host (built with Microsoft's compiler)
# reads and calls them.
#
# mingw_layout_probe.cpp holds static_asserts on sizes and field offsets, and classes that
# implement the interface; the compiler's assembly lists each vtable in slot order, one
# ".long symbol" per slot, after two header words (offset to top, type information). Each
# symbol is demangled to its method name, with the stdcall decoration "@N" kept: N is the
# number of bytes of stack arguments including `this`, which the callee pops; thiscall and
# cdecl members have no decoration. The lists are then compared with the host's vtables:
#   IClip              7 slots, the deleting destructor (thiscall) last; GCC's own two
#                      destructor entries may only follow them
#   IScriptEnvironment 25 slots, the deleting destructor first, nothing after slot 24
#
# Usage: check-mingw-layout.sh [--stamp FILE] [COMPILER]
#   COMPILER defaults to i686-w64-mingw32-g++-posix; FILE is touched on success (for builds).
set -euo pipefail

stamp=
if [[ ${1:-} == --stamp ]]; then
  stamp=$2
  shift 2
fi
cxx=${1:-i686-w64-mingw32-g++-posix}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The static_asserts fire here.
"$cxx" -std=c++17 -O2 -Wall -Wextra -Werror -I"$root/avs" -S "$here/mingw_layout_probe.cpp" \
  -o "$work/probe.s"

# "Class index symbol" for every vtable entry after the two header words.
awk '
  /^__ZTV[0-9]+[A-Za-z_0-9]+:$/ {
    cls = $0; sub(/^__ZTV[0-9]+/, "", cls); sub(/:$/, "", cls); n = -2; next
  }
  cls != "" && $1 == ".long" { if (n >= 0) print cls, n, $2; n++; next }
  { cls = "" }
' "$work/probe.s" >"$work/entries"

# Demangle: drop the leading underscore of COFF symbols and the stdcall suffix, then keep the
# unqualified name of the function and put the suffix back.
while read -r cls idx sym; do
  base=${sym#_}
  suffix=
  if [[ $base =~ ^(.*)(@[0-9]+)$ ]]; then
    base=${BASH_REMATCH[1]}
    suffix=${BASH_REMATCH[2]}
  fi
  name=$(c++filt "$base")
  name=${name%%(*}
  name=${name##*::}
  [[ $name == ~* ]] && name="~"
  echo "$cls $idx $name$suffix"
done <"$work/entries" >"$work/slots"

clip_slots="GetVersion@4 GetFrame_@16 GetParity@8 GetAudio@28 SetCacheHints@12 GetVideoInfo@4 DeletingDtor_"
env_slots="DeletingDtor_ GetCPUFlags@4 SaveString@12 Sprintf VSprintf@12 ThrowError AddFunction@20
FunctionExists@8 Invoke_@24 GetVar_@12 SetVar@12 SetGlobalVar@12 PushContext@8 PopContext@4
NewVideoFrame_@16 MakeWritable@8 BitBlt@28 AtExit@12 CheckVersion@8 Subframe_@28 SetMemoryMax@8
SetWorkingDir@8 ManageCache@12 PlanarChromaAlignment@8 SubframePlanar_@40"

status=0
# check CLASS "EXPECTED SLOTS" "ALLOWED TRAILING ENTRIES"
check() {
  local cls=$1 expected=$2 trailing=$3
  local actual
  actual=$(awk -v c="$cls" '$1 == c { print $3 }' "$work/slots" | tr '\n' ' ' | sed 's/ $//')
  local want
  want=$(echo $expected $trailing)
  if [[ $actual != "$want" ]]; then
    echo "FAIL: vtable of $cls" >&2
    echo "  expected: $want" >&2
    echo "  actual:   $actual" >&2
    paste <(tr ' ' '\n' <<<"$want") <(tr ' ' '\n' <<<"$actual") | awk '{ printf "  slot %2d  %-24s %s%s\n", NR - 1, $1, $2, ($1 == $2 ? "" : "   <--") }' >&2
    status=1
  else
    echo "OK: vtable of $cls: $(wc -w <<<"$expected") host slots in order"
  fi
}
check ProbeClip "$clip_slots" "~ ~"
check GenericVideoFilter "$clip_slots" "~ ~"
check ProbeFilter "$clip_slots" "~ ~"
check ProbeEnv "$env_slots" ""

if [[ $status -eq 0 && -n $stamp ]]; then
  touch "$stamp"
fi
exit $status
