#!/usr/bin/env bash
# Bounded fuzz run of the MIDI file reader (libFuzzer needs clang, which the
# CMake trees do not use): builds build/fuzz/smf_reader with address and
# undefined-behaviour sanitizers, replays the kept regression inputs, then
# fuzzes for FUZZ_SECONDS (default 60) from the seed corpus. Exits non-zero
# on any crash, leak, sanitizer report or timeout, with a one-line summary.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
out=build/fuzz
mkdir -p "$out/corpus" "$out/artifacts"
flags=(-std=c++17 -g -O1 -Isrc -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
if ! clang++ "${flags[@]}" src/midi/*.cpp fuzz/smf_reader/harness.cpp -o "$out/smf_reader" 2>"$out/build.log"; then
    cat "$out/build.log" >&2
    echo "fuzz smf_reader: FAILED to build"
    exit 1
fi
clang++ -std=c++17 -O1 fuzz/smf_reader/make_seeds.cpp -o "$out/make_seeds" && "$out/make_seeds" "$out/corpus" || {
    echo "fuzz smf_reader: FAILED to write the seed corpus"
    exit 1
}
# Inputs that once failed stay as regression tests.
regressions=(fuzz/smf_reader/regressions/*)
if [ -e "${regressions[0]}" ]; then
    if ! "$out/smf_reader" "${regressions[@]}" >"$out/regressions.log" 2>&1; then
        tail -n 30 "$out/regressions.log" >&2
        echo "fuzz smf_reader: FAILED on a kept regression input"
        exit 1
    fi
fi
"$out/smf_reader" "$out/corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -artifact_prefix="$out/artifacts/" -print_final_stats=1 >"$out/fuzz.log" 2>&1
status=$?
runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$out/fuzz.log" | grep -o '[0-9]*$')
if [ $status -ne 0 ]; then
    grep -E 'ERROR|runtime error|Test unit written' "$out/fuzz.log" | head -n 5 >&2
    echo "fuzz smf_reader: FAILED after ${runs:-?} runs (see $out/fuzz.log, input in $out/artifacts)"
    exit 1
fi
echo "fuzz smf_reader: ${runs:-?} runs in ${seconds}s, no failures"
