#!/usr/bin/env bash
# scripts/i386-exec.sh against stand-ins: 32-bit test programs that start or
# are refused, apt source folders of both formats, a binfmt_misc folder of
# our own. apt-get and mount are replaced by stubs that record any call, so a
# step that escapes --dry-run fails the test instead of changing the machine.
#   i386_exec_test.sh SOURCE_DIR
set -uo pipefail
src="$1"
script="$src/scripts/i386-exec.sh"
work=$(mktemp -d "$PWD/i386-exec-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
passed=0; failed=0

mkdir -p "$work/bin"
for tool in apt-get mount; do
    printf '#!/bin/sh\necho "%s $*" >> "%s/escaped"\nexit 1\n' "$tool" "$work" > "$work/bin/$tool"
    chmod +x "$work/bin/$tool"
done
stand_in() {  # stand_in NAME STATUS: a program that exits with STATUS
    printf '#!/bin/sh\nexit %s\n' "$2" > "$work/$1"
    chmod +x "$work/$1"
    echo "$work/$1"
}
starts=$(stand_in starts 42)
refused=$(stand_in refused 126)
crashes=$(stand_in crashes 139)
printf '#!/bin/sh\necho "qemu-i386 version 10.0.2 (Debian)"\n' > "$work/bin/qemu-new"
printf '#!/bin/sh\necho "qemu-i386 version 7.2.19 (Debian)"\n' > "$work/bin/qemu-old"
chmod +x "$work/bin/qemu-new" "$work/bin/qemu-old"
printf 'VERSION_CODENAME=bookworm\n' > "$work/os-release"

# A fresh machine's state: an apt folder with FILES (name=content), an
# unmounted binfmt_misc folder.
machine() {
    rm -rf "$work/apt" "$work/binfmt" "$work/escaped"
    mkdir -p "$work/apt/sources.list.d" "$work/binfmt"
    local spec
    for spec in "$@"; do printf '%b' "${spec#*=}" > "$work/apt/${spec%%=*}"; done
}
mounted() { : > "$work/binfmt/register"; : > "$work/binfmt/status"; }

out=""; rc=0
printf 'proc /proc proc rw 0 0\n' > "$work/mounts"  # nothing mounted noexec
run() {  # run [ENV=VALUE...] -- ARGS...: the script with the stand-ins
    local env=()
    while [ "$1" != -- ]; do env+=("$1"); shift; done
    shift
    rc=0
    out=$(env PATH="$work/bin:$PATH" TAVREN_APT_ETC="$work/apt" TAVREN_BINFMT_DIR="$work/binfmt" \
          TAVREN_OS_RELEASE="$work/os-release" TAVREN_QEMU=qemu-missing TAVREN_MOUNTS="$work/mounts" "${env[@]}" \
          bash "$script" "$@" 2>&1) || rc=$?
}

problems=()
expect() { grep -qE -- "$1" <<<"$out" || problems+=("output lacks /$1/"); }
reject() { ! grep -qE -- "$1" <<<"$out" || problems+=("output has /$1/"); }
expect_rc() { [ "$rc" = "$1" ] || problems+=("exit status $rc, expected $1"); }
untouched() {  # nothing written, nothing run
    [ ! -e "$work/escaped" ] || problems+=("ran for real: $(cat "$work/escaped")")
    [ -z "$(ls "$work/apt/sources.list.d" | grep tavren)" ] || problems+=("wrote an apt source")
    [ ! -e "$work/binfmt/qemu-i386" ] || problems+=("registered an entry")
}
check() {  # check NAME: reports the problems found since the last check
    if [ ${#problems[@]} -eq 0 ]; then
        passed=$((passed + 1)); echo "ok   $1"
    else
        failed=$((failed + 1)); echo "FAIL $1"; printf '     %s\n' "${problems[@]}"; echo "$out" | sed 's/^/     | /'
    fi
    problems=()
}

debian_sources='Types: deb\n# a comment inside the stanza\nURIs: http://archive.example/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/archive.gpg\n\nTypes: deb\nURIs: http://archive.example/debian-security\nSuites: bookworm-security\nComponents: main\n'

# The script's own 32-bit program, on this machine: whichever way 32-bit
# code runs here, the program starts and the script says how, in one line.
machine "sources.list.d/debian.sources=$debian_sources"
run -- --dry-run
expect_rc 0
expect '^setup: 32-bit programs run (natively|through the emulator registered as .*)$'
[ "$(wc -l <<<"$out")" = 1 ] || problems+=("more than one line")
untouched
check "own test program starts here"

machine "sources.list.d/debian.sources=$debian_sources"
run TAVREN_I386_PROBE="$starts" -- --dry-run
expect_rc 0; expect '^setup: 32-bit programs run natively$'; untouched
check "a program that starts: native path"

machine; mounted
printf 'enabled\ninterpreter /usr/bin/qemu-i386\nflags: F\noffset 0\nmagic 7f454c4601010100000000000000000002000300\nmask fffffffffffefe00fffffffffffffffffeffffff\n' \
    > "$work/binfmt/qemu-i386-other"
run -- --probe "$starts"
expect_rc 0; expect 'run through the emulator registered as .*qemu-i386-other'
run -- --path
expect '^emulated$'
sed -i 's/^enabled$/disabled/' "$work/binfmt/qemu-i386-other"
run -- --path
expect '^native$'
check "an emulator already registered is recognised; a disabled one is not"

machine "sources.list.d/debian.sources=$debian_sources"
run -- --dry-run --probe "$refused"
expect_rc 0
expect '^setup: this machine cannot start 32-bit programs .*status 126.*emulation'
expect "^would write $work/apt/sources.list.d/tavren-backports.sources:"
expect '^    URIs: http://archive.example/debian$'
expect '^    Suites: bookworm-backports$'
expect '^    Signed-By: /usr/share/keyrings/archive.gpg$'
reject 'debian-security'
expect '^would run: apt-get update'
expect '^would run: .*apt-get install .*-t bookworm-backports qemu-user-static$'
expect "^would run: mount -t binfmt_misc binfmt_misc $work/binfmt$"
expect "^would write to $work/binfmt/register: :qemu-i386:M::\\\\x7fELF\\\\x01\\\\x01\\\\x01(\\\\x00){9}\\\\x02\\\\x00\\\\x03\\\\x00:\\\\xff.*:/usr/bin/qemu-missing:F$"
untouched
check "a refused program: emulation path from a deb822 source, dry run"

machine "sources.list=# deb http://commented.example/debian bookworm main\ndeb http://archive.example/debian-security bookworm-security main\n  deb [arch=amd64 signed-by=/etc/k.gpg] http://mirror.example/debian bookworm main contrib\n"
run -- --dry-run --probe "$refused"
expect_rc 0; expect '^    URIs: http://mirror.example/debian$'; expect '^    Signed-By: /etc/k.gpg$'; untouched
machine "sources.list.d/disabled.sources=Types: deb\nURIs: http://off.example/debian\nSuites: bookworm\nEnabled: no\n" \
        "sources.list.d/other.list=deb http://list.example/debian bookworm main\n"
run -- --dry-run --probe "$refused"
expect_rc 0; expect '^    URIs: http://list.example/debian$'; reject 'off.example|Signed-By'; untouched
check "one-line sources, options, comments and a disabled deb822 stanza"

machine "sources.list.d/debian.sources=$debian_sources" \
        "sources.list.d/bp.list=deb http://archive.example/debian bookworm-backports main\n"
mounted
printf 'enabled\ninterpreter /x\nflags: F\noffset 0\nmagic 7f454c4601010100000000000000000002000300\n' > "$work/binfmt/i386"
run -- --dry-run --probe "$refused"
expect_rc 0; expect 'bookworm-backports suite is already among'; reject 'would write|apt-get update|mount'
expect 'already registered as .*/binfmt/i386$'; expect '^would run: .*apt-get install .*qemu-user-static$'
untouched
run TAVREN_QEMU=qemu-new -- --dry-run --probe "$refused"
expect_rc 0; expect '^qemu: qemu-i386 version 10.0.2'; reject 'apt-get'; untouched
run TAVREN_QEMU=qemu-old -- --dry-run --probe "$refused"
expect '^would run: .*apt-get install .*-t bookworm-backports qemu-user-static$'
check "steps already taken are not taken again; an old qemu is replaced"

# Not a dry run, with qemu already installed and binfmt_misc "mounted" (a
# folder of plain files here): the registration is written, and a program
# that is refused once and then starts makes the script succeed.
machine; mounted
printf '#!/bin/sh\nif [ -e "%s/once" ]; then exit 42; fi\n: > "%s/once"\nexit 126\n' "$work" "$work" > "$work/second"
chmod +x "$work/second"
rm -f "$work/once"
run TAVREN_QEMU=qemu-new -- --probe "$work/second"
expect_rc 0; expect '^setup: 32-bit programs now start through .*/bin/qemu-new$'
grep -q "^:qemu-i386:M::.*:$work/bin/qemu-new:F\$" "$work/binfmt/register" || problems+=("registration not written")
[ ! -e "$work/escaped" ] || problems+=("ran for real: $(cat "$work/escaped")")
machine; mounted
run TAVREN_QEMU=qemu-new -- --probe "$refused"
expect_rc 1; expect 'still cannot start through .*qemu-new .*status 126'
check "registration written; the program is started again, and a refusal after it fails"

machine "sources.list.d/debian.sources=Types: deb\nURIs: http://archive.example/debian-security\nSuites: bookworm-security\n"
run -- --dry-run --probe "$refused"
expect_rc 1; expect "no enabled 'bookworm' source in"; untouched
machine
run -- --dry-run --probe "$crashes"
expect_rc 1; expect 'started but ended with status 139 .*not installing emulation'; untouched
run -- --dry-run --probe "$work/nonexistent"
expect_rc 1; expect 'nonexistent was not found'; untouched
check "no archive to add backports for; a program that crashes or is missing"

# Status 126 from a program that cannot start anywhere: no execute
# permission, or a file system mounted noexec. No emulation is installed.
machine "sources.list.d/debian.sources=$debian_sources"
cp "$refused" "$work/not-executable" && chmod -x "$work/not-executable"
run -- --dry-run --probe "$work/not-executable"
expect_rc 1; expect 'has no execute permission'; reject 'would run'; untouched
printf 'proc /proc proc rw 0 0\n/dev/sda1 / ext4 rw 0 0\ntmpfs %s tmpfs rw,nosuid,noexec,relatime 0 0\n' "$work" > "$work/noexec-mounts"
run TAVREN_MOUNTS="$work/noexec-mounts" -- --dry-run --probe "$refused"
expect_rc 1; expect 'lies on a file system mounted noexec'; reject 'would run'; untouched
printf '/dev/sda1 / ext4 rw,noexec 0 0\n/dev/sda2 %s ext4 rw 0 0\n' "$work" > "$work/noexec-mounts"
run TAVREN_MOUNTS="$work/noexec-mounts" -- --dry-run --probe "$refused"
expect_rc 0; expect 'would run: .*apt-get install'
check "status 126 without execute permission or on a noexec mount installs nothing"

# An archive whose qemu is older than needed: said after installing, and
# nothing is registered with it.
mkdir -p "$work/okbin"
printf '#!/bin/sh\necho "apt-get $*" >> "%s/apt-calls"\nexit 0\n' "$work" > "$work/okbin/apt-get"
chmod +x "$work/okbin/apt-get"
machine "sources.list.d/debian.sources=$debian_sources"; mounted
rm -f "$work/apt-calls"
run PATH="$work/okbin:$work/bin:$PATH" TAVREN_QEMU=qemu-old -- --probe "$refused"
expect_rc 1; expect 'qemu-old is version 7 after installing qemu-user-static from bookworm-backports; version 10 or later'
grep -q 'install .*qemu-user-static' "$work/apt-calls" 2>/dev/null || problems+=("apt-get install was not run")
[ ! -s "$work/binfmt/register" ] || problems+=("registered: $(cat "$work/binfmt/register")")
check "an emulator older than needed after installing fails before registering"

run -- --frobnicate
expect_rc 2; expect "unknown argument '--frobnicate'"
run -- --help
expect_rc 0; expect '^usage: bash scripts/i386-exec.sh'
check "arguments and --help"

echo "i386-exec: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
