#!/usr/bin/env bash
# Runs saving one settings file at the same time, round after round: every
# run's key arrives, every line the user wrote stays, no line is torn or
# doubled, and nothing but the lock file is left beside the settings.
#   concurrent_saves.sh WORKDIR ROUNDS RUNS [EMULATOR] HMXPLAY
set -uo pipefail
dir="$1/concurrent_saves" rounds="$2" runs="$3"
shift 3
[ "$#" -ge 1 ] || { echo "usage: concurrent_saves.sh WORKDIR ROUNDS RUNS [EMULATOR] HMXPLAY"; exit 2; }
rm -rf "$dir" && mkdir -p "$dir" || exit 1
user_lines=$'# written by hand\nVolume_x86=90\nnot a setting'
failures=0
for round in $(seq 1 "$rounds"); do
    printf '%s\n' "$user_lines" > "$dir/settings"
    pids=()
    for k in $(seq 1 "$runs"); do
        "$@" --settings "$dir/settings" apply "Round_$k" "value $round.$k" > "$dir/out.$k" 2>&1 &
        pids+=($!)
    done
    for k in $(seq 1 "$runs"); do
        wait "${pids[$((k - 1))]}" && grep -q '^result 0' "$dir/out.$k" ||
            { echo "round $round: run $k failed:"; cat "$dir/out.$k"; failures=$((failures + 1)); }
    done
    expected=$(printf '%s\n' "$user_lines"; for k in $(seq 1 "$runs"); do echo "Round_$k=value $round.$k"; done)
    if [ "$(sort "$dir/settings")" != "$(sort <<<"$expected")" ]; then
        echo "round $round: the settings file holds:"; cat "$dir/settings"
        failures=$((failures + 1))
    fi
    left=$(cd "$dir" && ls | grep -vxE 'settings|settings\.lock|out\.[0-9]+')
    [ -z "$left" ] || { echo "round $round: left beside the settings: $left"; failures=$((failures + 1)); }
done
echo "$rounds rounds of $runs runs: $failures failures"
[ "$failures" -eq 0 ]
