#!/usr/bin/env bash
# Runs a Windows test program under Wine in the build's own prefix (created by ./sarvik test
# windows), quietly: Wine's own diagnostics are switched off, and no Mono or Gecko is wanted.
set -euo pipefail
program=$1
shift
build_dir=$(cd "$(dirname "$program")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$build_dir/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$program" "$@"
