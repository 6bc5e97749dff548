#!/usr/bin/env bash
# Builds real open-source VST 2 plug-ins as 32-bit and 64-bit Windows DLLs for the
# Windows tests, from Debian's source package zam-plugins (plug-ins on the
# DISTRHO Plugin Framework, whose framework comes from the package
# dpf-source): ZamSynth and ZamPiano (stereo synths) and ZamCompX2 (an
# effect the plug-in must refuse). Their editors are left out: without the
# framework's OpenGL defines the framework builds the sound engine alone.
#
# The 32-bit DLLs land in build/windows-instruments/, the 64-bit ones in
# build/windows-instruments/x64/ (a stamp marks a finished build, so a
# second run does nothing). Source packages need deb-src
# entries: they are derived from the machine's own apt sources (deb822 files
# and one-line lists), so no archive address is written anywhere here.
set -euo pipefail
cd "$(dirname "$0")/.."

out="$PWD/build/windows-instruments"
plugins=(ZamSynth ZamPiano ZamCompX2)
stamp="$out/.built"
built="${plugins[*]} x86 x64"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$built" ]; then exit 0; fi

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

say() { echo "build-windows-instruments: $*"; }

has_source() {
  local n
  n=$(apt-cache showsrc zam-plugins 2>/dev/null | grep -c '^Package: zam-plugins' || true)
  [ "${n:-0}" -gt 0 ]
}

# deb-src entries mirroring every enabled deb entry, written once.
add_source_entries() {
  local deb822=/etc/apt/sources.list.d/tavren-deb-src.sources
  local oneline=/etc/apt/sources.list.d/tavren-deb-src.list
  has_source && return 0
  if [ -f "$deb822" ] || [ -f "$oneline" ]; then
    bash scripts/apt-update.sh
    return 0
  fi
  local stanzas="" lines=""
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # Each enabled paragraph whose Types has "deb", with Types rewritten to deb-src.
    stanzas+=$(awk 'BEGIN { RS = "" }
      { n = split($0, line, "\n"); types = ""; enabled = 1
        for (i = 1; i <= n; i++) {
          if (line[i] ~ /^Types:/) types = line[i]
          if (line[i] ~ /^Enabled:[ \t]*no/) enabled = 0
        }
        if (!enabled || types !~ /[: \t]deb([ \t]|$)/) next
        for (i = 1; i <= n; i++) print (line[i] ~ /^Types:/ ? "Types: deb-src" : line[i])
        print "" }' "$f")
    stanzas+=$'\n'
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    lines+=$(sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' "$f")
    lines+=$'\n'
  done
  if [ -n "${stanzas//[[:space:]]/}" ]; then printf '%s\n' "$stanzas" | $SUDO tee "$deb822" >/dev/null; fi
  if [ -n "${lines//[[:space:]]/}" ]; then printf '%s\n' "$lines" | $SUDO tee "$oneline" >/dev/null; fi
  say "added deb-src entries for the machine's apt sources"
  bash scripts/apt-update.sh
}

if ! dpkg-query -W -f='${Status}' dpf-source 2>/dev/null | grep -q "install ok installed"; then
  say "installing dpf-source"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends dpf-source >/dev/null
fi
dpf=/usr/share/dpf/distrho

mkdir -p "$out/src"
tarball=$(ls "$out"/src/zam-plugins_*.orig.tar.* 2>/dev/null | head -1 || true)
if [ -z "$tarball" ]; then
  add_source_entries
  say "downloading the source of zam-plugins"
  # Only the upstream tarball is needed; it also avoids Debian's patch archive.
  (cd "$out/src" && apt-get source --download-only --tar-only zam-plugins >/dev/null 2>&1) || true
  tarball=$(ls "$out"/src/zam-plugins_*.orig.tar.* 2>/dev/null | head -1 || true)
  if [ -z "$tarball" ]; then
    say "could not download the source package zam-plugins"
    exit 1
  fi
fi

top=$(tar tf "$tarball" | awk -F/ 'NR == 1 { print $1 }')
rm -rf "$out/src/$top"
tar xf "$tarball" -C "$out/src" $(printf "$top/plugins/%s " "${plugins[@]}")

# arch, compiler, objdump, folder and flags for each width.
for arch in x86 x64; do
  if [ "$arch" = x86 ]; then
    cxx=i686-w64-mingw32-g++-posix objdump=i686-w64-mingw32-objdump dest="$out" flags=(-msse2 -mfpmath=sse)
  else
    cxx=x86_64-w64-mingw32-g++-posix objdump=x86_64-w64-mingw32-objdump dest="$out/x64" flags=()
  fi
  mkdir -p "$dest"
  for p in "${plugins[@]}"; do
    dir="$out/src/$top/plugins/$p"
    files=$(sed -n '/^FILES_DSP/,/^$/p' "$dir/Makefile" | grep -oE '[A-Za-z0-9_+-]+\.cpp' | sed "s|^|$dir/|")
    say "building $p.dll ($arch)"
    $cxx -std=gnu++11 -O2 "${flags[@]}" -w -DNDEBUG -DDISTRHO_PLUGIN_TARGET_VST2 \
      -I"$dir" -I"$dpf" -I"$dpf/src" "$dpf/DistrhoPluginMain.cpp" $files \
      -shared -static -static-libgcc -static-libstdc++ -o "$dest/$p.dll.tmp"
    exports=$($objdump -p "$dest/$p.dll.tmp")
    if ! grep -qE '\] VSTPluginMain$' <<<"$exports"; then
      say "$p.dll ($arch) exports no VSTPluginMain"
      exit 1
    fi
    mv "$dest/$p.dll.tmp" "$dest/$p.dll"
  done
done
rm -rf "$out/src/$top"
echo "$built" > "$stamp"
say "done: ${plugins[*]} in $out (32-bit) and $out/x64 (64-bit)"
