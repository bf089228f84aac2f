#!/usr/bin/env bash
# Checks the tables of a Windows plug-in that the host's loader and Windows read:
#   - the export table names exactly the entry points, by default the one function
#     _AvisynthPluginInit2@4 of the 32-bit classic plug-in, the name that the classic host and
#     hosts built with Microsoft's compiler look up;
#   - the DLL imports only KERNEL32.dll and msvcrt.dll, the system libraries every Windows
#     has, so that no mingw runtime DLL must sit beside the host.
# Usage: check-dll-tables.sh path/to/BasinLift.dll
#        check-dll-tables.sh path/to/BasinLiftC.dll pei-x86-64 avisynth_c_plugin_init ...
set -euo pipefail

if [[ $# -ne 1 && $# -lt 3 ]]; then
  echo "usage: $0 DLL [FORMAT EXPORT...]" >&2
  exit 2
fi
dll=$1
format=${2:-pei-i386}
expected=("${@:3}")
[[ ${#expected[@]} -gt 0 ]] || expected=(_AvisynthPluginInit2@4)
case $format in
  pei-x86-64) objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump} ;;
  *) objdump=${OBJDUMP:-i686-w64-mingw32-objdump} ;;
esac

if [[ ! -f $dll ]]; then
  echo "FAIL: $dll does not exist" >&2
  exit 1
fi

dump=$("$objdump" -p "$dll")

if ! grep -q "file format $format\$" <<<"$dump"; then
  echo "FAIL: $dll is not a $format image" >&2
  exit 1
fi

# Export names: the entries under "[Ordinal/Name Pointer] Table", up to the next blank line.
mapfile -t exports < <(awk '
  /^\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
  inside && /^[[:space:]]*$/ { inside = 0 }
  inside && /^[[:space:]]*\[[[:space:]]*[0-9]+\]/ { sub(/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]*/, ""); print }
' <<<"$dump")

# Imported libraries.
mapfile -t imports < <(awk '/DLL Name:/ { print $3 }' <<<"$dump")

status=0
if [[ $(printf '%s\n' "${exports[@]}" | sort) != $(printf '%s\n' "${expected[@]}" | sort) ]]; then
  echo "FAIL: exports are [${exports[*]:-}], expected exactly [${expected[*]}]" >&2
  status=1
fi

if [[ ${#imports[@]} -eq 0 ]]; then
  echo "FAIL: no import table found" >&2
  status=1
fi
for lib in "${imports[@]}"; do
  case ${lib,,} in
    kernel32.dll | msvcrt.dll) ;;
    *)
      echo "FAIL: imports $lib; only KERNEL32.dll and msvcrt.dll are allowed" >&2
      status=1
      ;;
  esac
done

if [[ $status -eq 0 ]]; then
  echo "OK: $dll exports [${exports[*]}], imports [${imports[*]}]"
fi
exit $status
