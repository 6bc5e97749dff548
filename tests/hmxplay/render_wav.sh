#!/usr/bin/env bash
# WAV files as a real reader (libsndfile, through python3-soundfile) sees
# them: a whole render; one killed halfway, whose header already counts most
# of what was written; one ended by each of SIGNALS (SIGINT is Ctrl+C under
# Wine too), which exits 130 with a complete file. The probe sleeps in every
# block, so that a render takes seconds of wall time.
#   render_wav.sh WORKDIR INSTRUMENT SONG SIGNALS [EMULATOR] HMXPLAY
# INSTRUMENT: the setting that names the probe, VSTiPath_x86=PATH (or _x64);
# SIGNALS: comma-separated names, e.g. INT,TERM.
set -uo pipefail
dir="$1/render_wav" instrument="$2" song="$3" signals="${4//,/ }"
shift 4
py=/usr/bin/python3  # Debian's, which has the soundfile module
rm -rf "$dir" && mkdir -p "$dir" || exit 1
failures=0
fail() { echo "$*"; failures=$((failures + 1)); }
# "FRAMES RATE CHANNELS BYTES" of a WAV file of floats, as the reader sees it
# (BYTES: bytes per frame).
read_wav() {
    "$py" -c 'import soundfile, sys
i = soundfile.info(sys.argv[1])
print(i.frames, i.samplerate, i.channels, {"FLOAT": 8, "DOUBLE": 16}.get(i.subtype, i.subtype))' "$1" 2>&1
}
render() {  # render NAME [hmxplay render options]: in the background, SIGINT not ignored
    local name="$1"; shift
    env --default-signal=INT "$@" --settings "$dir/settings" --set "$instrument" render "$song" \
        -o "$dir/$name.wav" "${options[@]}" > "$dir/$name.out" 2> "$dir/$name.err" &
    pid=$!
}
# Waits until a second of audio is in the file (the program may take long to start).
started() {
    for _ in $(seq 600); do
        [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -gt 352800 ] && return 0
        sleep 0.2
    done
    return 1
}

options=(--max-seconds 2)
render whole "$@"
wait "$pid" || fail "whole render failed: $(cat "$dir/whole.err")"
read -r frames rate channels bytes <<<"$(read_wav "$dir/whole.wav")"
[ "$frames $rate $channels" = "88200 44100 2" ] && [[ "$bytes" =~ ^(8|16)$ ]] ||
    fail "whole render reads as: $(read_wav "$dir/whole.wav")"

export PROBE_SLEEP_MS=20  # about 50 blocks of 1024 frames a second
options=(--max-seconds 600)
render killed "$@"
started "$dir/killed.wav" || fail "the render did not start"
sleep 2.5
kill -KILL "$pid"; wait "$pid" 2>/dev/null
size=$(stat -c %s "$dir/killed.wav")
read -r frames rest <<<"$(read_wav "$dir/killed.wav")"
# Written at least once a second: more than a second of what was written,
# never more than that.
[ "${frames:-0}" -gt 44100 ] 2>/dev/null && [ $((94 + frames * bytes)) -le "$size" ] ||
    fail "killed render: the header counts ${frames:-?} frames of $(( (size - 94) / bytes ))"
[ "$rest" = "44100 2 $bytes" ] || fail "killed render reads as: $frames $rest"

for signal in $signals; do
    render "$signal" "$@"
    started "$dir/$signal.wav" || fail "SIG$signal: the render did not start"
    kill -"$signal" "$pid"; wait "$pid"; rc=$?
    [ "$rc" = 130 ] || fail "SIG$signal: exit $rc, expected 130"
    printed=$(sed -n 's/^frames: //p' "$dir/$signal.out" | tr -d '\r')
    read -r frames rest <<<"$(read_wav "$dir/$signal.wav")"
    [ -n "$printed" ] && [ "$frames" = "$printed" ] && [ "$rest" = "44100 2 $bytes" ] ||
        fail "SIG$signal: printed ${printed:-no} frames, the file reads as: $frames $rest"
    [ "$(stat -c %s "$dir/$signal.wav")" = $((94 + bytes * ${frames:-0})) ] || fail "SIG$signal: bytes beyond the header's count"
    grep -q 'interrupted' "$dir/$signal.err" || fail "SIG$signal: not said: $(cat "$dir/$signal.err")"
done
[ "$failures" -eq 0 ] && echo ok
