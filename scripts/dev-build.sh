#!/usr/bin/env bash
# Configures and builds one of the presets into a private build folder, so
# that several people (or agents) can build the same checkout at once:
#   scripts/dev-build.sh NAME native|win32|native-release [targets...]
set -euo pipefail
cd "$(dirname "$0")/.."
name="$1"; preset="$2"; shift 2
dir="build/dev-$name-$preset"
[ -f "$dir/build.ninja" ] || cmake --preset "$preset" -B "$dir" >/dev/null
if [ $# -gt 0 ]; then cmake --build "$dir" --target "$@"; else cmake --build "$dir"; fi
echo "built in $dir"
