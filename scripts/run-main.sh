#!/usr/bin/env bash
# The main job: set up the machine, build the Windows plug-in, hmxplay and
# the bundled instrument tone, and render the demo song through the plug-in
# under Wine into build/demo.wav.
#
#   bash scripts/run-main.sh [--x64] [SONG.mid [OUT.wav]]
#
# --x64 uses the 64-bit build (tavren_x64.hmx, under 64-bit Wine) instead of
# the 32-bit one (tavren_x86.hmx). SONG and OUT are taken as given: a
# relative path from the folder the command is started in.
set -euo pipefail
preset=win32
case "${1:-}" in
  --x64) preset=win64; shift ;;
  -h|--help) sed -n '2,11s/^# \{0,1\}//p' "$0"; exit 0 ;;
esac
[ $# -le 2 ] || { echo "run-main: at most a song and an output file, not: $*" >&2; exit 2; }
repo="$(cd "$(dirname "$0")/.." && pwd)"
# The user's paths, made absolute before anything changes folder.
absolute() { case "$1" in /*) printf '%s\n' "$1" ;; *) printf '%s\n' "$PWD/$1" ;; esac; }
song="$(absolute "${1:-$repo/assets/demo.mid}")"
out="$(absolute "${2:-$repo/build/demo.wav}")"
# Said now rather than after minutes of setting up and building.
[ -f "$song" ] || { echo "run-main: cannot read ${1:-$song}: no such file" >&2; exit 2; }
[ -d "$(dirname "$out")" ] || { echo "run-main: cannot write ${2:-$out}: its folder does not exist" >&2; exit 2; }

cd "$repo"
bash scripts/setup.sh
export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target hmxplay tavren_plugin tone
# A settings file of its own, so that no instrument path the user stored
# elsewhere applies: without one, hmxplay plays through tone.
settings="$PWD/build/main-job.settings"
: > "$settings"
scripts/wine-run.sh "build/$preset/bin/hmxplay.exe" --settings "$settings" render "$song" -o "$out"
echo "wrote $out"
