#!/usr/bin/env bash
# Runs a Windows program of the build under Wine in the checkout's own prefix.
here="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# A crash must end the process, not wait in Wine's debugger.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winedbg.exe=d;mscoree=d;mshtml=d}"
# Wall-clock bounds in the tests stretch where 32-bit code is emulated.
# Benchmarks say which way they ran.
export TAVREN_I386_PATH="${TAVREN_I386_PATH:-$(bash "$here/scripts/i386-exec.sh" --path)}"
if [ -z "${TAVREN_TIME_SCALE:-}" ]; then
  TAVREN_TIME_SCALE=1
  [ "$TAVREN_I386_PATH" = emulated ] && TAVREN_TIME_SCALE=10
  export TAVREN_TIME_SCALE
fi
exec wine "$@"
