#!/usr/bin/env bash
# Runs a 64-bit Windows test host (avs_host.exe or vs_host.exe) with a 64-bit plug-in DLL inside
# the Windows build of its frame server, under wine, on the cases, and compares every file it
# writes (frames, properties, refusal texts) with what the Linux plug-in wrote for the same
# cases: they must be identical. The host's exit status is the first verdict.
# Usage: run-under-wine.sh HOST_EXE PLUGIN_DLL HOST_DLL CASES LINUX_OUT WORK
#   HOST_DLL   the frame server's DLL (AviSynth.dll, VapourSynth.dll), put beside the program
#   LINUX_OUT  what the Linux host program wrote for the same cases
#   WORK       a folder of the build tree for the Windows results and, unless BASINLIFT_WINEPREFIX
#              names one to share (by runs that do not overlap), the wine prefix
set -euo pipefail
if [[ $# -ne 6 ]]; then
  echo "usage: $0 HOST_EXE PLUGIN_DLL HOST_DLL CASES LINUX_OUT WORK" >&2
  exit 2
fi
host=$1 plugin=$2 hostdll=$3 cases=$4 linux=$5 work=$6

export WINEPREFIX=${BASINLIFT_WINEPREFIX:-$work/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$work/bin"
rm -rf "$work/out" && mkdir -p "$work/out"
# The frame server's DLL beside the program, where Windows looks for it first.
cp "$host" "$hostdll" "$work/bin/"
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "creating the wine prefix (once per build folder, a few seconds)"
  wineboot -i >/dev/null 2>&1 || true
fi
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

# Wine leaves helper processes behind (rpcss, winedevice) that inherit the output of the wine
# command that started them: every wine command writes to a file, not to the pipe of whoever
# runs this script (ctest), which would otherwise stay open after the script ends and hold
# ctest until its timeout.
log=$work/wine-output.txt
: >"$log"
windows() { winepath -w "$1" 2>>"$log" </dev/null; }
wine_status=0
wine "$work/bin/$(basename "$host")" "$(windows "$plugin")" "$(windows "$cases")" \
  "$(windows "$work/out")" </dev/null >>"$log" 2>&1 || wine_status=$?
cat "$log"
[[ $wine_status -eq 0 ]] || exit "$wine_status"

status=0
count=0
for expected in "$linux"/*; do
  name=$(basename "$expected")
  [[ -f $expected ]] || continue
  count=$((count + 1))
  if [[ ! -f $work/out/$name ]]; then
    echo "FAIL: the Windows run wrote no $name"
    status=1
  elif ! cmp -s "$expected" "$work/out/$name"; then
    echo "FAIL: $name differs between Windows and Linux"
    status=1
  fi
done
for got in "$work/out"/*; do
  [[ -f $linux/$(basename "$got") ]] || { echo "FAIL: only the Windows run wrote $(basename "$got")"; status=1; }
done
if [[ $count -eq 0 ]]; then
  echo "FAIL: no Linux results to compare with in $linux"
  status=1
fi
[[ $status -eq 0 ]] && echo "OK: $count files identical between the Windows DLL under wine and the Linux plug-in"
exit $status
