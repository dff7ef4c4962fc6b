#!/usr/bin/env bash
# Fails when the plug-in exports anything beyond the functions declared in its public header
# and the class CTqBaseException.
set -euo pipefail
library=$1
header=$2

declared=$(grep -oE 'SARVIK_EXPORT [a-z0-9_ ]+\*? *([A-Za-z]+)\(' "$header" | sed -E 's/.* \*?([A-Za-z]+)\($/\1/' | sort -u)
[ -n "$declared" ] || { echo "no exports found in $header"; exit 1; }

status=0
while read -r symbol; do
  [ -n "$symbol" ] || continue
  if grep -qx "$symbol" <<<"$declared"; then continue; fi
  if c++filt "$symbol" | grep -q 'CTqBaseException'; then continue; fi
  echo "unexpected export: $symbol ($(c++filt "$symbol"))"
  status=1
done < <(nm -D --defined-only "$library" | awk '{print $3}')

for required in InitMonitor TerminateMonitor SetMonitorRate TestMachine BrowseMonitor CancelAdd GetMeasurementsCollection GetUserDataStr \
    ActivateMeasurement DeActivateMeasurement GetNewData FreeMonitorStringAllocation; do
  nm -D --defined-only "$library" | awk '{print $3}' | grep -qx "$required" || { echo "missing export: $required"; status=1; }
done
[ $status -eq 0 ] && echo "exports: $(nm -D --defined-only "$library" | wc -l) symbols, all declared"
exit $status
