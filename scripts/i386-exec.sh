#!/usr/bin/env bash
# Makes sure this machine can start 32-bit (i386) programs: Wine runs the
# Windows plug-in, its tests and hmxplay.exe as i386 processes. Some kernels
# have 32-bit execution switched off; there every i386 program is run through
# qemu's user-mode emulator, registered with the kernel's binfmt_misc (about
# ten times slower than native, but every program runs unchanged). Whether
# the machine can start them is found out by starting one, never guessed.
# Safe to run again. Prints one line saying which way 32-bit programs run.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    cat <<'EOF'
usage: bash scripts/i386-exec.sh [--dry-run] [--probe PROGRAM]
       bash scripts/i386-exec.sh --path

Starts a small 32-bit program. Where it cannot start, installs
qemu-user-static from the backports suite of the Debian archive the machine
already uses, registers it for i386 programs with binfmt_misc, and starts
the program again.

  --dry-run        print the steps the emulation would take, change nothing
  --probe PROGRAM  start PROGRAM instead of the script's own 32-bit program
                   (it counts as started when it exits with status 42);
                   the environment variable TAVREN_I386_PROBE does the same
  --path           print "emulated" when an i386 emulator is registered with
                   binfmt_misc, else "native"; change nothing
  --help           this text

Exit status: 0 when 32-bit programs start (or, with --dry-run, when the
steps could be planned), 1 when they cannot, 2 for a bad argument.
EOF
}

dry_run=0
mode=ensure
probe="${TAVREN_I386_PROBE:-}"
# Where the machine's state lives; tests point these at folders of their own.
apt_etc="${TAVREN_APT_ETC:-/etc/apt}"
binfmt="${TAVREN_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}"
qemu="${TAVREN_QEMU:-qemu-i386-static}"
os_release="${TAVREN_OS_RELEASE:-/etc/os-release}"
mounts="${TAVREN_MOUNTS:-/proc/self/mounts}"

while [ $# -gt 0 ]; do
    case "$1" in
        --dry-run) dry_run=1 ;;
        --probe)
            [ $# -ge 2 ] || { echo "i386-exec: --probe needs a program" >&2; exit 2; }
            probe="$2"; shift ;;
        --path) mode=path ;;
        -h|--help) usage; exit 0 ;;
        *) echo "i386-exec: unknown argument '$1' (see --help)" >&2; exit 2 ;;
    esac
    shift
done

say() { echo "setup: $*"; }
fail() { echo "setup: $*" >&2; exit 1; }

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

# Runs a command that changes the machine (its chatter dropped, its errors
# shown), or only says it would.
run() {
    if [ "$dry_run" = 1 ]; then echo "would run: $*"; else $SUDO "$@" >/dev/null; fi
}
# Writes standard input into a file that belongs to the system.
write_root() { $SUDO tee "$1" >/dev/null; }

# The i386 ELF header as binfmt_misc matches it.
readonly magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
readonly mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# An enabled binfmt_misc entry that hands i386 ELF programs to an interpreter.
i386_entry() {
    local f
    [ -d "$binfmt" ] || return 1
    for f in "$binfmt"/*; do
        case "${f##*/}" in register|status) continue ;; esac
        [ -f "$f" ] || continue
        if grep -qx enabled "$f" && grep -qx 'offset 0' "$f" &&
           grep -q '^magic 7f454c4601010100000000000000000002000300$' "$f"; then
            echo "$f"
            return 0
        fi
    done
    return 1
}

if [ "$mode" = path ]; then
    if i386_entry >/dev/null; then echo emulated; else echo native; fi
    exit 0
fi

# The smallest i386 Linux program: one loadable segment whose code is
# "mov ebx, 42; mov eax, 1 (exit); int 0x80". Written into the build folder,
# which (unlike /tmp on some machines) is not mounted noexec.
write_probe() {
    local file=build/i386-probe
    mkdir -p build
    {
        printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'  # 32-bit, little-endian
        printf '\x02\x00\x03\x00\x01\x00\x00\x00'                          # executable, i386, version 1
        printf '\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00'          # entry, program headers, no sections
        printf '\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'  # flags, sizes, one program header
        printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'  # PT_LOAD of the whole file
        printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'  # 96 bytes, read + execute
        printf '\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80'          # exit(42)
    } > "$file.$$"
    chmod +x "$file.$$"
    mv -f "$file.$$" "$file"  # whole, even with two setups at once
    echo "$PWD/$file"
}

# Exit status of the probe; 42 means it started and ran.
probe_status() {
    local rc=0
    "$probe" >/dev/null 2>&1 </dev/null || rc=$?
    echo "$rc"
}

[ -n "$probe" ] || probe=$(write_probe)
status=$(probe_status)
if [ "$status" = 42 ]; then
    if entry=$(i386_entry); then
        say "32-bit programs run through the emulator registered as $entry (about ten times slower than native)"
    else
        say "32-bit programs run natively"
    fi
    exit 0
fi
# The mount options of the file system that holds file $1: those of the
# longest mount point its folder lies under.
mount_options() {
    local dir
    dir=$(cd "$(dirname "$1")" 2>/dev/null && pwd -P) || return 1
    [ -r "$mounts" ] || return 1
    awk -v dir="$dir" '
        BEGIN { best = -1 }
        {
            point = $2; gsub(/\\040/, " ", point)
            prefix = point == "/" ? "/" : point "/"
            if ((dir == point || index(dir "/", prefix) == 1) && length(point) > best) { best = length(point); options = $4 }
        }
        END { if (best < 0) exit 1; print options }' "$mounts"
}

# Only "cannot execute" (126) can mean the kernel refused a 32-bit program;
# any other status means it started and something else is wrong, which
# emulation would not mend and must not be installed for.
if [ "$status" = 127 ]; then
    fail "the 32-bit test program $probe was not found"
elif [ "$status" != 126 ]; then
    fail "the 32-bit test program $probe started but ended with status $status instead of 42; not installing emulation"
fi
# 126 is also what a file without execute permission, or one on a file
# system mounted noexec, gives: there no program starts, 32-bit or not.
if [ ! -x "$probe" ]; then
    fail "the 32-bit test program $probe has no execute permission (status 126 says nothing of 32-bit support); not installing emulation"
fi
if options=$(mount_options "$probe") && [[ ",$options," == *,noexec,* ]]; then
    fail "the 32-bit test program $probe lies on a file system mounted noexec, where no program starts (status 126 says nothing of 32-bit support); not installing emulation"
fi

say "this machine cannot start 32-bit programs (test program exit status $status); running them through qemu-i386 user-mode emulation, about ten times slower"

# The Debian archive the machine already uses: the first enabled source of
# suite $1, from one-line .list files or deb822 .sources files. Prints
# "URI<TAB>KEYRING" (the keyring path may be empty).
find_source() {
    local suite="$1" files=()
    [ -f "$apt_etc/sources.list" ] && files+=("$apt_etc/sources.list")
    for f in "$apt_etc"/sources.list.d/*.list "$apt_etc"/sources.list.d/*.sources; do
        [ -f "$f" ] && files+=("$f")
    done
    [ ${#files[@]} -gt 0 ] || return 1
    awk -v suite="$suite" '
        function flush() {
            if (types ~ /(^| )deb( |$)/ && enabled !~ /^(no|false)$/ && (" " suites " ") ~ (" " suite " ") && uris != "") {
                split(uris, u, " "); print u[1] "\t" (keyring ~ /^\// ? keyring : ""); found = 1; exit
            }
            types = uris = suites = keyring = enabled = ""; field = ""
        }
        FNR == 1 { if (deb822) flush(); deb822 = FILENAME ~ /\.sources$/ }
        !deb822 {
            if ($1 != "deb") next
            line = $0; opts = ""
            if (match(line, /\[[^]]*\]/)) { opts = substr(line, RSTART + 1, RLENGTH - 2); line = substr(line, 1, RSTART - 1) substr(line, RSTART + RLENGTH) }
            n = split(line, w, /[ \t]+/); i = 1; while (w[i] == "") i++
            if (w[i + 2] == suite) {
                key = ""; m = split(opts, o, /[ \t]+/)
                for (j = 1; j <= m; j++) if (o[j] ~ /^signed-by=\//) key = substr(o[j], 11)
                print w[i + 1] "\t" key; found = 1; exit
            }
            next
        }
        /^[ \t]*#/ { next }
        /^[ \t]*$/ { flush(); next }
        /^[ \t]/ { next }  # continuation of a multi-line field (an inline key)
        {
            name = tolower($1); sub(/:.*/, "", name); value = $0; sub(/^[^:]*:[ \t]*/, "", value)
            if (name == "types") types = value
            else if (name == "uris") uris = value
            else if (name == "suites") suites = value
            else if (name == "signed-by") keyring = value
            else if (name == "enabled") enabled = tolower(value)
        }
        END { if (!found && deb822) flush(); if (!found) exit 1 }
    ' "${files[@]}"
}

codename=bookworm
if [ -r "$os_release" ]; then
    codename=$(. "$os_release" && echo "${VERSION_CODENAME:-bookworm}")
fi
backports="$codename-backports"

# qemu before 8 makes every Wine start take about a minute: only a recent one will do.
qemu_major() {
    local v
    v=$("$qemu" --version 2>/dev/null | sed -nE '1s/.*version ([0-9]+)\..*/\1/p') || true
    echo "${v:-0}"
}

if [ "$(qemu_major)" -ge 10 ]; then
    echo "qemu: $($qemu --version | head -1) is already installed"
else
    if find_source "$backports" >/dev/null; then
        echo "apt: the $backports suite is already among the machine's sources"
    else
        source_line=$(find_source "$codename") ||
            fail "no enabled '$codename' source in $apt_etc/sources.list or $apt_etc/sources.list.d: cannot add $backports"
        uri="${source_line%%$'\t'*}"
        keyring="${source_line#*$'\t'}"
        target="$apt_etc/sources.list.d/tavren-backports.sources"
        text="Types: deb
URIs: $uri
Suites: $backports
Components: main"
        [ -n "$keyring" ] && text="$text
Signed-By: $keyring"
        if [ "$dry_run" = 1 ]; then
            echo "would write $target:"
            echo "$text" | sed 's/^/    /'
        else
            echo "$text" | write_root "$target"
        fi
        run apt-get update -qq || say "warning: apt-get update reported errors (a mirror mid-sync?); going on with the lists it has"
    fi
    # Only qemu from backports (with what it needs from there); nothing else moves.
    run env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends -t "$backports" qemu-user-static
    # The archive may have held an older one than this script needs.
    if [ "$dry_run" = 1 ]; then
        echo "would check that $qemu is version 10 or later"
    elif command -v "$qemu" >/dev/null 2>&1 && [ "$(qemu_major)" -lt 10 ]; then
        fail "$qemu is version $(qemu_major) after installing qemu-user-static from $backports; version 10 or later is needed (older ones take about a minute for every Wine start)"
    fi
fi

interpreter=$(command -v "$qemu" 2>/dev/null || true)
if [ -n "$interpreter" ]; then
    interpreter=$(readlink -f "$interpreter")
elif [ "$dry_run" = 1 ]; then
    interpreter="/usr/bin/$qemu"
else
    fail "$qemu is not on PATH after installing qemu-user-static from $backports"
fi

if [ ! -e "$binfmt/register" ]; then
    run mount -t binfmt_misc binfmt_misc "$binfmt"
fi
if entry=$(i386_entry); then
    echo "binfmt_misc: i386 programs are already registered as $entry"
else
    # F: the kernel opens the interpreter once, now, so it works in every
    # mount namespace and chroot, Wine's included.
    registration=":qemu-i386:M::$magic:$mask:$interpreter:F"
    if [ "$dry_run" = 1 ]; then
        echo "would write to $binfmt/register: $registration"
    else
        printf '%s' "$registration" | write_root "$binfmt/register" ||
            fail "cannot register $interpreter for i386 programs in $binfmt/register"
    fi
fi

if [ "$dry_run" = 1 ]; then
    echo "would start the 32-bit test program again"
    exit 0
fi
status=$(probe_status)
[ "$status" = 42 ] ||
    fail "32-bit programs still cannot start through $interpreter (test program exit status $status): the Windows build cannot run on this machine"
say "32-bit programs now start through $interpreter"
