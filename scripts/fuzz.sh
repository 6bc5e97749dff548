#!/usr/bin/env bash
# Fuzzes every door of the plug-in with libFuzzer, under AddressSanitizer and
# UBSan. libFuzzer needs clang, which the CMake trees do not use, so the
# targets are built here into build/fuzz (through a generated ninja file, so
# that a second run rebuilds only what changed):
#   smf_reader  MIDI file bytes through the reader
#   song        a song, its settings and a script of host actions, played end
#               to end through the plug-in's export with probe or tone
#   settings    a settings file through hmxplay's store and the plug-in's
#               settings reader, under both architectures' key names
#   config      sequences of configuration commands through the export
#   bridge_reply  what a host process answers, through the player's reader
# Each target first replays its kept regression inputs (fuzz/NAME/regressions),
# then fuzzes from the seed corpus its own program writes (fuzz/NAME/make_seeds.cpp)
# and the corpus kept in build/fuzz/NAME/corpus. A finding (crash, leak,
# sanitizer report, broken invariant, timeout) prints one line naming the
# target and the input, and the exit status is 1.
set -uo pipefail
cd "$(dirname "$0")/.."

usage() {
    cat <<'EOF'
usage: scripts/fuzz.sh [--target NAME] [--minutes N]
  (no options)      every target, each for its share of FUZZ_SECONDS seconds
                    (default 120 in all)
  --target NAME     only this target (smf_reader, song, settings, config, bridge_reply),
                    for FUZZ_SECONDS seconds unless --minutes is given
  --minutes N       fuzz for N minutes (a long campaign), printing runs per
                    second and coverage every minute
  --help            this text
Exit status: 0 no finding, 1 a finding or a failed build, 2 a usage error.
EOF
}

# Name and share of FUZZ_SECONDS (in parts of the sum) of every target.
targets=(smf_reader song settings config bridge_reply)
declare -A weight=([smf_reader]=1 [song]=2 [settings]=1 [config]=1 [bridge_reply]=1)

only=""
minutes=""
while [ $# -gt 0 ]; do
    case "$1" in
        --target) only="${2-}"; shift 2 || { usage >&2; exit 2; } ;;
        --minutes) minutes="${2-}"; shift 2 || { usage >&2; exit 2; } ;;
        -h|--help) usage; exit 0 ;;
        *) echo "fuzz.sh: unknown argument '$1'" >&2; usage >&2; exit 2 ;;
    esac
done
if [ -n "$only" ] && [ -z "${weight[$only]+x}" ]; then
    echo "fuzz.sh: no target '$only' (targets: ${targets[*]})" >&2
    exit 2
fi
if [ -n "$minutes" ] && ! [[ "$minutes" =~ ^[1-9][0-9]{0,4}$ ]]; then
    echo "fuzz.sh: --minutes takes a whole number of minutes from 1, not '$minutes'" >&2
    exit 2
fi
if [ -n "$minutes" ] && [ -z "$only" ]; then
    echo "fuzz.sh: --minutes needs --target" >&2
    exit 2
fi
total="${FUZZ_SECONDS:-120}"
if ! [[ "$total" =~ ^[1-9][0-9]{0,6}$ ]]; then
    echo "fuzz.sh: FUZZ_SECONDS must be a whole number of seconds from 1, not '$total'" >&2
    exit 2
fi
[ -n "$only" ] && targets=("$only")

out=build/fuzz
mkdir -p "$out"

# --- build ------------------------------------------------------------------

common="-std=c++17 -g -O2 -fno-omit-frame-pointer -Wall -Wextra"
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
includes="-Isrc -Ifuzz -Itools/hmxplay -Itests/support -Itests/playback -Itests/config -Itests/midi"
# The plug-in code under fuzzing carries coverage; "64" is the same code
# compiled as the 64-bit plug-in's (its keys end in "_x64"), under other
# namespaces so that both live in one program.
declare -A flags=(
    [fuzz]="$common $sanitize -fsanitize=fuzzer-no-link $includes"
    [fuzz64]="$common $sanitize -fsanitize=fuzzer-no-link $includes -DTAVREN_ARCH_X64 -Dtavren=tavren_x64 -Dhmxplay=hmxplay_x64 -Dhmx_CreateInstance=hmx_CreateInstance_x64"
    # Instruments are loaded at run time: the same sanitizer runtime as the
    # fuzzer (it lives in the fuzzer), no coverage (they come and go).
    [instrument]="$common $sanitize -fPIC -fvisibility=hidden -Isrc -Iinstruments/probe -DPROBE_WITH_VSTPLUGINMAIN -DPROBE_WITH_MAIN"
    [tool]="-std=c++17 -O1 $includes"
)

build_lines=""
# add_objects VARIANT SOURCES...: a build line for the object of each source.
add_objects() {
    local variant="$1" src
    shift
    for src in "$@"; do
        build_lines+="build $out/obj/$variant/${src%.cpp}.o: cxx $src"$'\n'"  flags = ${flags[$variant]}"$'\n'
    done
}
# object_paths VARIANT SOURCES...: their objects, each after a space.
object_paths() {
    local variant="$1" src list=""
    shift
    for src in "$@"; do list+=" $out/obj/$variant/${src%.cpp}.o"; done
    echo "$list"
}

# The plug-in's code, as the CMake tree takes it: every .cpp under src/ but
# another platform's. Archives, so that each program takes what it uses.
mapfile -t core < <(find src -name '*.cpp' ! -name '*_win32.cpp' | sort)
mapfile -t hmxplay < <(find tools/hmxplay -name '*.cpp' ! -name '*_win32.cpp' ! -name main.cpp | sort)
mapfile -t probe < <(find instruments/probe -name '*.cpp' ! -name '*_win32.cpp' | sort)
mapfile -t tone < <(find instruments/tone -name '*.cpp' | sort)

add_objects fuzz "${core[@]}" "${hmxplay[@]}" fuzz/*/harness.cpp fuzz/settings/check.cpp
add_objects fuzz64 "${core[@]}" "${hmxplay[@]}" fuzz/settings/check.cpp
add_objects instrument "${probe[@]}" "${tone[@]}"
libs="$out/libcore.a $out/libhmxplay.a"
libs64="$out/libcore64.a $out/libhmxplay64.a"
instruments="$out/probe.so $out/tone.so"

{
    echo "builddir = $out"
    echo "rule cxx"
    echo "  command = clang++ \$flags -MMD -MF \$out.d -c \$in -o \$out"
    echo "  depfile = \$out.d"
    echo "  deps = gcc"
    echo "  description = compile \$in"
    echo "rule ar"
    echo "  command = rm -f \$out && ar crs \$out \$in"
    echo "  description = archive \$out"
    echo "rule fuzzer"
    echo "  command = clang++ $common $sanitize -fsanitize=fuzzer \$in -Wl,--start-group \$libs -Wl,--end-group -ldl -lpthread -o \$out"
    echo "  description = link \$out"
    echo "rule shared"
    echo "  command = clang++ $common $sanitize -shared \$in -o \$out"
    echo "  description = link \$out"
    echo "rule program"
    echo "  command = clang++ ${flags[tool]} -MMD -MF \$out.d \$in -o \$out"
    echo "  depfile = \$out.d"
    echo "  deps = gcc"
    echo "  description = build \$out"
    printf '%s' "$build_lines"
    echo "build $out/libcore.a: ar$(object_paths fuzz "${core[@]}")"
    echo "build $out/libcore64.a: ar$(object_paths fuzz64 "${core[@]}")"
    echo "build $out/libhmxplay.a: ar$(object_paths fuzz "${hmxplay[@]}")"
    echo "build $out/libhmxplay64.a: ar$(object_paths fuzz64 "${hmxplay[@]}")"
    echo "build $out/probe.so: shared$(object_paths instrument "${probe[@]}")"
    echo "build $out/tone.so: shared$(object_paths instrument "${tone[@]}")"
    echo "build $out/smf_reader/fuzzer: fuzzer$(object_paths fuzz fuzz/smf_reader/harness.cpp) | $libs"
    echo "  libs = $libs"
    echo "build $out/song/fuzzer: fuzzer$(object_paths fuzz fuzz/song/harness.cpp) | $libs || $instruments"
    echo "  libs = $libs"
    echo "build $out/settings/fuzzer: fuzzer$(object_paths fuzz fuzz/settings/harness.cpp fuzz/settings/check.cpp)$(object_paths fuzz64 fuzz/settings/check.cpp) | $libs $libs64"
    echo "  libs = $libs $libs64"
    echo "build $out/config/fuzzer: fuzzer$(object_paths fuzz fuzz/config/harness.cpp) | $libs || $instruments"
    echo "  libs = $libs"
    echo "build $out/bridge_reply/fuzzer: fuzzer$(object_paths fuzz fuzz/bridge_reply/harness.cpp) | $libs"
    echo "  libs = $libs"
    for t in smf_reader song settings config bridge_reply; do
        echo "build $out/$t/make_seeds: program fuzz/$t/make_seeds.cpp"
    done
} > "$out/build.ninja.new"
mv "$out/build.ninja.new" "$out/build.ninja"

wanted=()
for t in "${targets[@]}"; do wanted+=("$out/$t/fuzzer" "$out/$t/make_seeds"); done
echo "fuzz: building ${targets[*]} (log in $out/build.log)"
if ! nice ninja -f "$out/build.ninja" -j 2 "${wanted[@]}" > "$out/build.log" 2>&1; then
    grep -E 'error|FAILED' "$out/build.log" | head -n 20 >&2
    echo "fuzz: FAILED to build (see $out/build.log)"
    exit 1
fi

# --- run --------------------------------------------------------------------

# Bounds of one input per target: its size, and the time it may take.
declare -A max_len=([smf_reader]=4096 [song]=4096 [settings]=4096 [config]=2048 [bridge_reply]=8192)
declare -A timeout=([smf_reader]=10 [song]=30 [settings]=10 [config]=30 [bridge_reply]=10)

# The last status line libFuzzer printed, as "N runs, N runs/s, cov N, ft N, corpus N".
status_of() {
    grep -E '^#[0-9]+' "$1" | tail -n 1 |
        sed -nE 's/^#([0-9]+).*cov: ([0-9]+) ft: ([0-9]+) corp: ([0-9]+).*exec\/s: ([0-9]+).*/\1 runs, \5 runs\/s, cov \2, ft \3, corpus \4/p'
}
# The coverage part of it alone.
coverage_of() {
    status_of "$1" | sed -E 's/^[^,]*, [^,]*, //'
}

# run_target NAME SECONDS: gives 0 when nothing was found.
run_target() {
    local name="$1" seconds="$2" dir="$out/$1"
    local bin="$dir/fuzzer"
    mkdir -p "$dir/corpus" "$dir/seeds" "$dir/artifacts"
    if ! "$dir/make_seeds" "$dir/seeds" > "$dir/seeds.log" 2>&1; then
        cat "$dir/seeds.log" >&2
        echo "fuzz $name: FAILED to write the seed corpus"
        return 1
    fi
    # Inputs that once failed stay as regression tests, replayed first, each
    # in a process of its own (a leak shows only when the process ends).
    local input
    for input in fuzz/"$name"/regressions/*; do
        [ -e "$input" ] || continue
        if ! "$bin" -timeout="${timeout[$name]}" -rss_limit_mb=2048 "$input" > "$dir/regressions.log" 2>&1; then
            grep -E 'ERROR|runtime error|invariant broken' "$dir/regressions.log" | head -n 5 >&2
            echo "fuzz $name: FAILED on kept regression input $input (see $dir/regressions.log)"
            return 1
        fi
    done
    # Findings of earlier runs stay where they are: a report names this run's own.
    local started=$SECONDS
    "$bin" "$dir/corpus" "$dir/seeds" -max_total_time="$seconds" -timeout="${timeout[$name]}" -rss_limit_mb=2048 \
        -max_len="${max_len[$name]}" -artifact_prefix="$dir/artifacts/" -print_final_stats=1 > "$dir/fuzz.log" 2>&1 &
    local pid=$!
    if [ -n "$minutes" ]; then
        local next=60
        while kill -0 "$pid" 2>/dev/null; do
            sleep 1
            if [ $((SECONDS - started)) -ge $next ] && kill -0 "$pid" 2>/dev/null; then
                echo "fuzz $name: $((next / 60)) min, $(status_of "$dir/fuzz.log")"
                next=$((next + 60))
            fi
        done
    fi
    wait "$pid"
    local result=$?
    local runs
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/fuzz.log" | grep -o '[0-9]*$')
    local elapsed=$(( SECONDS - started > 0 ? SECONDS - started : 1 ))
    if [ $result -ne 0 ]; then
        input=$(grep -o 'Test unit written to .*' "$dir/fuzz.log" | tail -n 1 | sed 's/^Test unit written to //')
        grep -E 'ERROR|runtime error|invariant broken|Test unit written' "$dir/fuzz.log" | head -n 5 >&2
        echo "fuzz $name: FAILED after ${runs:-?} runs on ${input:-an input not written} (see $dir/fuzz.log)"
        return 1
    fi
    local summary="${runs:-?} runs in ${elapsed}s ($(( ${runs:-0} / elapsed )) runs/s)"
    [ -n "$minutes" ] && summary+=", $(coverage_of "$dir/fuzz.log")"
    echo "fuzz $name: $summary, no failures"
}

weights=0
for t in "${targets[@]}"; do weights=$((weights + weight[$t])); done
failed=0
for t in "${targets[@]}"; do
    if [ -n "$minutes" ]; then
        seconds=$((minutes * 60))
    else
        seconds=$((total * weight[$t] / weights))
        [ "$seconds" -lt 1 ] && seconds=1
    fi
    run_target "$t" "$seconds" || failed=1
done
exit $failed
