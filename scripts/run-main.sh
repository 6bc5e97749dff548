#!/usr/bin/env bash
# The main job: set up the machine, build the Windows plug-in, hmxplay and
# the bundled instrument tone, and render the demo song through the plug-in
# under Wine into build/demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target hmxplay tavren_plugin tone
song="${1:-assets/demo.mid}"
out="${2:-build/demo.wav}"
# A settings file of its own, so that no instrument path the user stored
# elsewhere applies: without one, hmxplay plays through tone.
settings="build/main-job.settings"
: > "$settings"
scripts/wine-run.sh build/win32/bin/hmxplay.exe --settings "$PWD/$settings" render "$PWD/$song" -o "$PWD/$out"
echo "wrote $PWD/$out"
