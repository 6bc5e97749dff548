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

# A 64-bit program goes straight to 64-bit Wine: the "wine" launcher would
# start the 32-bit loader first, which machines without 32-bit execution
# cannot run. The PE header's machine field says which it is (0x8664: x64).
is_x64() {
  [ -f "$1" ] || return 1
  local pe machine
  pe=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$pe" ] || return 1
  machine=$(od -An -t x2 -j $((pe + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ')
  [ "$machine" = 8664 ]
}
for wine64 in /usr/lib/wine/wine64 "$(command -v wine64)"; do
  if [ -x "$wine64" ] && is_x64 "${1:-}"; then
    export WINELOADER="$wine64"
    exec "$wine64" "$@"
  fi
done
exec wine "$@"
