#!/usr/bin/env bash
# Sets up the machine, builds the trees and runs every test: the native
# unit tests (ASan + UBSan), the 32-bit and the 64-bit Windows tests under
# Wine, and a bounded fuzzing run of every fuzz target (scripts/fuzz.sh).
set -uo pipefail
cd "$(dirname "$0")/.."
began=$SECONDS
bash scripts/setup.sh || exit 1
echo "== setup took $((SECONDS - began)) s"

export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
# Start the prefix's server and its service processes detached before any
# test runs: services started from inside a captured test run inherit its
# output pipe, and the run then waits for them until it times out.
wineserver -p >/dev/null 2>&1 </dev/null &
sleep 1
scripts/wine-run.sh cmd /c exit >/dev/null 2>&1 </dev/null || true

# Where 32-bit code runs emulated (about ten times slower), the time bounds
# of the tests that run it grow by this factor: the 32-bit tree's, and the
# 64-bit tree's tests labelled other-arch. Native code keeps native bounds
# (a hang is then waited for 10 s, not 100).
scale=1
[ "$(bash scripts/i386-exec.sh --path)" = emulated ] && scale=10

fail=0
for preset in native win32 win64; do
  echo "== build $preset"
  started=$SECONDS
  { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; } > "build/build-$preset.log" 2>&1 \
    || { tail -50 "build/build-$preset.log"; echo "build $preset failed"; fail=1; }
  echo "== build $preset took $((SECONDS - started)) s"
done

# An instrument of the other architecture plays through the host program of
# that architecture, which a player installs beside its plug-in file: each
# Windows tree gets the other's.
[ -f build/win32/bin/tavren_host_x86.exe ] && cp -f build/win32/bin/tavren_host_x86.exe build/win64/bin/ 2>/dev/null
[ -f build/win64/bin/tavren_host_x64.exe ] && cp -f build/win64/bin/tavren_host_x64.exe build/win32/bin/ 2>/dev/null

# Each Windows tree tests the other's probe as an instrument it cannot load:
# both trees are built by now, so a missing one is a failure, not a skip.
export TAVREN_REQUIRE_OTHER_ARCH=1
passed=0; failed=0
# Each run: preset, the time scale its tests run at, how many tests at once,
# ctest's label filter. Native tests run two at a time, one a core: none
# counts or looks for another's processes, windows or files. Under Wine they
# run one at a time: once, with two at a time, a settings command that takes
# a second stalled for nine minutes.
for run in "native 1 2" "win32 $scale 1" "win64 1 1 -LE other-arch" "win64 $scale 1 -L other-arch"; do
  read -r preset run_scale jobs filter <<<"$run"
  [ -d "build/$preset" ] || continue
  log="build/test-$preset${filter:+-${filter#-}}.log"
  log=${log// /-}
  echo "== test $preset${filter:+ ($filter)}"
  started=$SECONDS
  # shellcheck disable=SC2086 # the filter is two words
  TAVREN_TIME_SCALE=$run_scale ctest --preset "$preset" $filter -j "$jobs" --timeout $((300 * run_scale)) 2>&1 | tee "$log" |
    grep -vE '^ +[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed'
  echo "== test $preset${filter:+ ($filter)} took $((SECONDS - started)) s"
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  if [ -z "$line" ]; then fail=1; continue; fi
  passed=$((passed + total - bad)); failed=$((failed + bad))
done

# The host thread and the cache under ThreadSanitizer: any data race fails
# the program (its exit status is then non-zero).
echo "== thread sanitizer"
started=$SECONDS
if { cmake --preset native-tsan >/dev/null &&
     cmake --build --preset native-tsan --target vsthost_tests playback_tests misbehaving_tests probe probe_main_only notaplugin; } \
     > build/build-native-tsan.log 2>&1; then
  # The misbehaving suite once more with the instrument in a host process.
  for run in vsthost_tests playback_tests misbehaving_tests misbehaving_tests:2; do
    t=${run%%:*}; bridge=${run#"$t"}; bridge=${bridge#:}
    # ThreadSanitizer runs the code several times slower: bounds stretch by 3.
    if TAVREN_TIME_SCALE=3 TAVREN_TEST_BRIDGE="$bridge" TSAN_OPTIONS="halt_on_error=0 exitcode=66" "build/native-tsan/bin/$t" --gtest_brief=1 \
         > "build/tsan-$t$bridge.log" 2>&1; then
      passed=$((passed + 1)); echo "$t${bridge:+ (host process)}: no data race"
    else
      failed=$((failed + 1)); tail -40 "build/tsan-$t$bridge.log"
    fi
  done
else
  tail -50 build/build-native-tsan.log; echo "build native-tsan failed"; fail=1
fi
echo "== thread sanitizer took $((SECONDS - started)) s"

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzz"
  started=$SECONDS
  if bash scripts/fuzz.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  echo "== fuzz took $((SECONDS - started)) s"
fi

# Only CI owns the machine: elsewhere other runs may share the prefix.
[ "${CI:-}" = true ] && wineserver -k >/dev/null 2>&1 || true
echo "$passed passed, $failed failed ($((SECONDS - began)) s)"
[ "$failed" -eq 0 ] && [ "$fail" -eq 0 ]
