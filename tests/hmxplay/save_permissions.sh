#!/usr/bin/env bash
# Saves and whose files they are. Run as root: a save over another user's
# file keeps its owner, group and mode. Run as root too, through setpriv: a
# user whose folder is not theirs to write gets an error that names the
# folder, and the file stays as it was.
#   save_permissions.sh HMXPLAY WORKDIR
set -uo pipefail
[ "$(id -u)" = 0 ] || { echo "skipped: needs root to own files as another user"; exit 77; }
dir="$2/save_permissions"
rm -rf "$dir" && mkdir -p "$dir/theirs" || exit 1
chmod 755 "$dir" "$dir/theirs"
failures=0

printf 'Volume_x86=90\n' > "$dir/theirs/settings"
chown nobody:nogroup "$dir/theirs/settings" && chmod 640 "$dir/theirs/settings"
"$1" --settings "$dir/theirs/settings" apply Volume_x86 80 > "$dir/out" 2>&1 || { cat "$dir/out"; failures=$((failures + 1)); }
grep -qx 'Volume_x86=80' "$dir/theirs/settings" || { echo "not saved"; failures=$((failures + 1)); }
owner=$(stat -c '%U:%G %a' "$dir/theirs/settings")
[ "$owner" = "nobody:nogroup 640" ] || { echo "the file became $owner"; failures=$((failures + 1)); }

# The folder is root's; nobody may write the file but not the folder.
chmod 666 "$dir/theirs/settings"
out=$(setpriv --reuid=nobody --regid=nogroup --clear-groups "$1" --settings "$dir/theirs/settings" apply Volume_x86 70 2>&1)
rc=$?
[ "$rc" = 2 ] || { echo "exit $rc, expected 2"; failures=$((failures + 1)); }
grep -q "cannot save settings file .*: cannot create a file in its folder $dir/theirs: Permission denied" <<<"$out" ||
    { echo "unclear error: $out"; failures=$((failures + 1)); }
grep -qx 'Volume_x86=80' "$dir/theirs/settings" || { echo "the file changed"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] && echo ok
