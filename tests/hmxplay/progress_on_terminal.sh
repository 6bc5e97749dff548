#!/usr/bin/env bash
# hmxplay render on a terminal (a pseudo-terminal from script(1)) shows the
# position against the song's length and a percentage, and clears the line.
#   progress_on_terminal.sh HMXPLAY SETTINGS INSTRUMENT SONG
set -uo pipefail
: > "$2"
out=$(script -qec "'$1' --settings '$2' --set 'VSTiPath_x86=$3' render '$4' --max-seconds 5" /dev/null) || {
    echo "render failed: $out"; exit 1; }
grep -aqE $'\r +[0-9]+\\.[0-9] / 6[0-9]\\.[0-9] s +[0-9]+%' <<<"$out" || { echo "no progress line in: $out"; exit 1; }
grep -aqE $'\r {40}\r' <<<"$out" && grep -aq 'frames: 220500' <<<"$out" || { echo "progress line not cleared before the end: $out"; exit 1; }
