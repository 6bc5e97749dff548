#!/usr/bin/env bash
# The main job: set up, build the Windows plug-in and tools, and run the
# plug-in under Wine through hmxplay.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
cmake --preset win32 >/dev/null
cmake --build --preset win32
scripts/wine-run.sh build/win32/bin/hmxplay.exe info
