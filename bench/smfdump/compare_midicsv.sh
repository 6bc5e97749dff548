#!/usr/bin/env bash
# smfdump against a C peer that parses and prints every event (midicsv),
# side by side on one file of about 8 million events, both writing to
# /dev/null, with the optimised build. Prints the best of three runs each.
#   bash bench/smfdump/compare_midicsv.sh [EVENTS]
set -euo pipefail
cd "$(dirname "$0")/../.."
events="${1:-8000000}"
command -v midicsv >/dev/null || { echo "compare_midicsv: midicsv is missing (bash scripts/setup.sh installs it)" >&2; exit 2; }
echo "== build native-release smfdump"
cmake --preset native-release >/dev/null
cmake --build --preset native-release --target smfdump >/dev/null
mkdir -p build/bench
song=build/bench/smfdump-$events.mid
if [ ! -f "$song" ]; then
  echo "== writing $song"
  python3 - "$song" "$events" <<'PY'
import struct, sys
path, events = sys.argv[1], int(sys.argv[2])
tracks = 16
pairs = events // (2 * tracks)
def track(ch):
    # A note on and its note off one tick apart, over and over, then a few
    # controller and program events so that more than notes are printed.
    body = bytes([0x00, 0xC0 | ch, ch, 0x00, 0xB0 | ch, 7, 100])
    body += bytes([0x01, 0x90 | ch, 60 + ch, 100, 0x01, 0x80 | ch, 60 + ch, 0]) * pairs
    body += b'\x00\xff\x2f\x00'
    return b'MTrk' + struct.pack('>I', len(body)) + body
with open(path, 'wb') as f:
    f.write(b'MThd' + struct.pack('>IHHH', 6, 1, tracks, 480))
    for ch in range(tracks):
        f.write(track(ch))
PY
fi
best() {  # best NAME COMMAND...: the shortest of three wall-clock times
  local t b=""
  for _ in 1 2 3; do
    t=$( { /usr/bin/env TIMEFORMAT=%R bash -c 'time "$@" >/dev/null' _ "$@"; } 2>&1 | tail -1)
    if [ -z "$b" ] || awk -v a="$t" -v b="$b" 'BEGIN { exit !(a < b) }'; then b=$t; fi
  done
  echo "$b"
}
echo "run path: 64-bit code, native"
dump=$(best build/native-release/bin/smfdump "$song")
peer=$(best midicsv "$song")
lines=$(build/native-release/bin/smfdump "$song" | head -1 || true)  # head ends the dump early
echo "file: $song ($(stat -c %s "$song") bytes, $lines)"
printf 'smfdump %6.2f s\nmidicsv %6.2f s\nsmfdump takes %.2f of midicsv'"'"'s time (goal <= 1)\n' "$dump" "$peer" \
  "$(awk -v a="$dump" -v b="$peer" 'BEGIN { print a / b }')"
