#!/usr/bin/env bash
# apt-get update that survives a mirror caught mid-sync: it tries again a
# few times, and when some index still fails it goes on with the indexes it
# has (the install that follows says clearly if a package is then missing).
set -uo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
for attempt in 1 2 3; do
  if $SUDO apt-get update -qq >/tmp/tavren-apt-update.log 2>&1; then exit 0; fi
  [ "$attempt" -lt 3 ] && sleep $((attempt * 5))
done
grep -E '^(E|W):' /tmp/tavren-apt-update.log | head -3 >&2
echo "setup: warning: apt-get update failed three times; installing from the package lists it could fetch" >&2
exit 0
