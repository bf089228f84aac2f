#!/usr/bin/env bash
# Checks the tables of the 32-bit Windows plug-in that the host's loader and Windows read:
#   - the export table names exactly one function, _AvisynthPluginInit2@4, the name that the
#     classic host and hosts built with Microsoft's compiler look up;
#   - the DLL imports only KERNEL32.dll and msvcrt.dll, the system libraries every Windows
#     has, so that no mingw runtime DLL must sit beside the host.
# Usage: check-dll-tables.sh path/to/BasinLift.dll
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 BasinLift.dll" >&2
  exit 2
fi
dll=$1
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}

if [[ ! -f $dll ]]; then
  echo "FAIL: $dll does not exist" >&2
  exit 1
fi

dump=$("$objdump" -p "$dll")

if ! grep -q 'file format pei-i386' <<<"$dump"; then
  echo "FAIL: $dll is not a 32-bit x86 PE image" >&2
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
if [[ ${#exports[@]} -ne 1 || ${exports[0]:-} != "_AvisynthPluginInit2@4" ]]; then
  echo "FAIL: exports are [${exports[*]:-}], expected exactly [_AvisynthPluginInit2@4]" >&2
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
