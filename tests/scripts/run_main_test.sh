#!/usr/bin/env bash
# scripts/run-main.sh started from another folder, with the song and the
# output given as absolute and as relative paths: the render gets the files
# the user named. It runs in a copy of the scripts folder whose setup.sh and
# wine-run.sh are stand-ins (wine-run.sh plays hmxplay: it reads the song
# and writes the output), with a cmake that does nothing.
#   run_main_test.sh SOURCE_DIR
set -uo pipefail
work=$(mktemp -d "$PWD/run-main-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/repo/scripts" "$work/repo/assets" "$work/repo/build" "$work/bin" "$work/home/me/songs" "$work/home/me/out"
cp "$1/scripts/run-main.sh" "$work/repo/scripts/"
printf '#!/bin/sh\necho setup >> "%s/calls"\n' "$work" > "$work/repo/scripts/setup.sh"
printf '#!/bin/sh\nexit 0\n' > "$work/bin/cmake"
cat > "$work/repo/scripts/wine-run.sh" <<'STAND_IN'
#!/usr/bin/env bash
# hmxplay.exe --settings FILE render SONG -o OUT
[ -f "$5" ] || { echo "hmxplay: cannot read $5: no such file" >&2; exit 2; }
cp "$5" "$7" && echo "rendered $5 into $7"
STAND_IN
chmod +x "$work/repo/scripts/wine-run.sh" "$work/bin/cmake"
echo demo > "$work/repo/assets/demo.mid"
echo song > "$work/home/me/songs/song.mid"

passed=0; failed=0
check() {  # check NAME EXPECTED_FILE ARGS...: from the user's folder
    local name="$1" expected="$2"; shift 2
    rm -f "$work/calls"
    local out rc=0
    out=$(cd "$work/home/me" && PATH="$work/bin:$PATH" bash "$work/repo/scripts/run-main.sh" "$@" 2>&1) || rc=$?
    if [ "$rc" = 0 ] && [ -f "$expected" ] && [ "$(cat "$expected")" = "$(cat "${song_file:-/dev/null}")" ]; then
        passed=$((passed + 1)); echo "ok   $name"
    else
        failed=$((failed + 1)); echo "FAIL $name (exit $rc, expected $expected)"; echo "$out" | sed 's/^/     | /'
    fi
}
song_file="$work/home/me/songs/song.mid"
check "absolute song and output" "$work/home/me/out/a.wav" "$work/home/me/songs/song.mid" "$work/home/me/out/a.wav"
check "relative song and output" "$work/home/me/out/b.wav" songs/song.mid out/b.wav
check "relative with .." "$work/home/me/c.wav" ../me/songs/song.mid ../me/c.wav
song_file="$work/repo/assets/demo.mid"
check "no arguments: the demo into build/demo.wav" "$work/repo/build/demo.wav"

# A song that is not there is said before any setting up, by the name given.
rm -f "$work/calls"
out=$(cd "$work/home/me" && PATH="$work/bin:$PATH" bash "$work/repo/scripts/run-main.sh" songs/missing.mid out/d.wav 2>&1)
rc=$?
if [ "$rc" = 2 ] && grep -qx 'run-main: cannot read songs/missing.mid: no such file' <<<"$out" && [ ! -e "$work/calls" ]; then
    passed=$((passed + 1)); echo "ok   a missing song"
else
    failed=$((failed + 1)); echo "FAIL a missing song (exit $rc)"; echo "$out" | sed 's/^/     | /'
fi
echo "run-main: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
