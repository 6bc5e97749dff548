#!/usr/bin/env bash
# Runs a Windows program of the build under Wine in the checkout's own prefix.
here="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# A crash must end the process, not wait in Wine's debugger.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winedbg.exe=d;mscoree=d;mshtml=d}"
exec wine "$@"
