#!/usr/bin/env bash
# Installs everything the builds and tests need on a fresh Debian 12 machine,
# and prepares the Wine prefix the Windows tests run in. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

need_pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev
           libbenchmark-dev g++-mingw-w64-i686 wine wine32:i386 python3
           g++-mingw-w64-x86-64 wine64)
# The C peer that smfdump's benchmark measures itself against.
need_pkgs+=(midicsv)
# A real WAV reader (libsndfile) for the tests of hmxplay's WAV files.
need_pkgs+=(python3-soundfile)
# Real VST 2 instruments for the tests.
need_pkgs+=(amsynth zynaddsubfx-vst dpf-plugins-vst)
# A mirror whose i386 security index fails to download (seen here: a size
# mismatch for days) leaves i386 libraries older than their amd64 twins,
# and Multi-Arch pairs must match exactly. Then the release's own suite is
# preferred, and each i386 library the resolver cannot pair is installed at
# its i386 version for both architectures (a downgrade of the amd64 twin).
install_matching_i386() {
  local codename extra=() out new p v
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  for _ in 1 2 3 4 5 6 7 8; do
    if out=$($SUDO apt-get install -s --no-install-recommends --allow-downgrades -t "$codename" "$@" "${extra[@]}" 2>&1); then
      echo "setup: pairing i386 libraries with their amd64 twins: ${extra[*]:-nothing to pair}"
      DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends --allow-downgrades \
        -t "$codename" "$@" "${extra[@]}" >/dev/null
      return
    fi
    new=$(grep -oE "Depends: [a-z0-9.+-]+:i386" <<<"$out" | sed 's/Depends: //; s/:i386$//' | sort -u)
    [ -n "$new" ] || break
    for p in $new; do
      v=$(apt-cache policy "$p:i386" | awk '/Candidate:/ { print $2 }')
      [ -n "$v" ] && [ "$v" != "(none)" ] && extra+=("$p=$v" "$p:i386=$v")
    done
  done
  grep -A12 "unmet dependencies" <<<"$out" >&2 || true
  echo "setup: cannot install $*" >&2
  return 1
}

missing=()
for p in "${need_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  bash scripts/apt-update.sh
  if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    install_matching_i386 "${missing[@]}"
  fi
fi

# Wine runs the Windows build as 32-bit programs: natively where the kernel
# can, else through a registered emulator.
bash scripts/i386-exec.sh

# One Wine prefix per checkout, shared by both presets' Windows runs.
export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
mkdir -p build
# A prefix made before 64-bit Wine was installed runs only 32-bit programs;
# the 64-bit tests need one made with it (it runs both).
if [ -f "$WINEPREFIX/.tavren-ready" ] && [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ] &&
   [ -x /usr/lib/wine/wine64 ]; then
  echo "setup: the Wine prefix is 32-bit only; making it anew for both architectures"
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
fi
if [ ! -f "$WINEPREFIX/.tavren-ready" ]; then
  echo "setup: creating Wine prefix at $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null || true
  # Without a display no window can be created; the null driver gives
  # hidden windows, timers and cross-thread SendMessage without an X server.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null
  wineserver -w
  touch "$WINEPREFIX/.tavren-ready"
fi
# Real Windows instruments for the Windows tests, built once from Debian's sources.
bash scripts/build-windows-instruments.sh || echo "setup: warning: the Windows instruments could not be built; their tests will fail"
echo "setup: done"
