#!/usr/bin/env bash
# The main job: set up the machine, build the Windows plug-in, hmxplay and
# the bundled instrument tone, and render the demo song through the plug-in
# under Wine into build/demo.wav.
#
#   bash scripts/run-main.sh [--x64] [SONG.mid [OUT.wav]]
#
# --x64 uses the 64-bit build (tavren_x64.hmx, under 64-bit Wine) instead of
# the 32-bit one (tavren_x86.hmx).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=win32
case "${1:-}" in
  --x64) preset=win64; shift ;;
  -h|--help) sed -n '2,9s/^# \{0,1\}//p' "$0"; exit 0 ;;
esac
bash scripts/setup.sh
export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target hmxplay tavren_plugin tone
song="${1:-assets/demo.mid}"
out="${2:-build/demo.wav}"
# A settings file of its own, so that no instrument path the user stored
# elsewhere applies: without one, hmxplay plays through tone.
settings="build/main-job.settings"
: > "$settings"
scripts/wine-run.sh "build/$preset/bin/hmxplay.exe" --settings "$PWD/$settings" render "$PWD/$song" -o "$PWD/$out"
echo "wrote $PWD/$out"
