#!/usr/bin/env bash
# A player that dies leaves no instrument host process behind: hmxplay plays
# a long render with the instrument in a host process, is killed outright,
# and the host process must end by itself within two seconds (times
# TAVREN_TIME_SCALE where the Windows side is emulated).
#   orphan_host_test.sh HMXPLAY SONG KEY [EMULATOR]
# KEY is the bridge setting's key (VSTiBridge_x86 or _x64), which names the
# host program's architecture.
set -uo pipefail
hmxplay=$1 song=$2 key=$3 emulator=${4:-}
# Made here, not given: a name on this script's command line would match it.
host="tavren_host_${key##*_}"
scale=${TAVREN_TIME_SCALE:-1}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Ours are told from other runs' by a mark in the environment they inherit
# from the player. An ended one may linger unreaped as a zombie (its
# parent, the player, is gone) until the system's first process reaps it.
mark="TAVREN_ORPHAN_TEST=$$.$(date +%s%N)"
export "${mark?}"
hosts() {
    local pid
    for pid in $(pgrep -f -- "$host"); do
        [ "$(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null)" = Z ] && continue
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF -- "$mark" && echo "$pid"
    done
}

# Eight ports, a thousand times over: minutes of rendering, far past the kill.
$emulator "$hmxplay" --settings "$out/hmxplay.settings" --set "$key=2" render "$song" -o "$out/song.wav" --loops 1000 --max-seconds 0 \
    >"$out/stdout" 2>&1 &
player=$!
for _ in $(seq $((200 * scale))); do [ -n "$(hosts)" ] && break; sleep 0.05; done
[ -n "$(hosts)" ] || { echo "no $host started"; cat "$out/stdout"; kill -9 $player; exit 1; }
sleep 0.5  # playing by now
# The player's own process (under Wine the loader runs it under the same pid).
kill -9 "$player"
wait "$player" 2>/dev/null
started=$(date +%s%N)
limit=$((2000 * scale))
while [ -n "$(hosts)" ]; do
    elapsed=$((($(date +%s%N) - started) / 1000000))
    if [ $elapsed -gt $limit ]; then
        echo "the host process outlived its player by more than $limit ms"
        kill -9 $(hosts) 2>/dev/null
        exit 1
    fi
    sleep 0.02
done
echo "the host process ended $((($(date +%s%N) - started) / 1000000)) ms after its player was killed"
