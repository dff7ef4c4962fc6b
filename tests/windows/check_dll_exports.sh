#!/usr/bin/env bash
# Fails when sarvik.dll exports anything beyond the functions declared in the public header and
# the class CTqBaseException, when one of those is missing, or when the DLL needs a library that
# Windows does not bring itself (the C and C++ runtimes are linked in).
set -euo pipefail
library=$1
header=$2
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

declared=$(grep -oE 'SARVIK_EXPORT [a-z0-9_ ]+\*? *([A-Za-z]+)\(' "$header" | sed -E 's/.* \*?([A-Za-z]+)\($/\1/' | sort -u)
[ -n "$declared" ] || { echo "no exports found in $header"; exit 1; }

dump=$("$objdump" -p "$library")
# The names of the export table: the lines "[ n] Name" after "[Ordinal/Name Pointer] Table".
exported=$(awk '/\[Ordinal\/Name Pointer\] Table/ {table = 1; next} table && /^\s*$/ {table = 0} table {print $NF}' <<<"$dump")
[ -n "$exported" ] || { echo "no export table in $library"; exit 1; }

status=0
while read -r symbol; do
  [ -n "$symbol" ] || continue
  if grep -qx "$symbol" <<<"$declared"; then continue; fi
  if c++filt "$symbol" | grep -q '\bCTqBaseException\b'; then continue; fi
  echo "unexpected export: $symbol ($(c++filt "$symbol"))"
  status=1
done <<<"$exported"

while read -r required; do
  grep -qx "$required" <<<"$exported" || { echo "missing export: $required"; status=1; }
done <<<"$declared"
for member in _ZN16CTqBaseExceptionD1Ev _ZTV16CTqBaseException _ZTI16CTqBaseException; do
  grep -qx "$member" <<<"$exported" || { echo "missing export: $member ($(c++filt "$member"))"; status=1; }
done

# Only libraries of Windows itself; no libstdc++, libgcc or winpthread beside the DLL.
while read -r needed; do
  case "${needed,,}" in
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | ole32.dll | oleaut32.dll | wininet.dll | msvcrt.dll | \
      shell32.dll | comctl32.dll | comdlg32.dll | ws2_32.dll | api-ms-win-*) ;;
    *) echo "needs a library beside it: $needed"; status=1 ;;
  esac
done < <(awk '/DLL Name:/ {print $3}' <<<"$dump")

[ $status -eq 0 ] && echo "exports: $(wc -l <<<"$exported") symbols, all declared"
exit $status
