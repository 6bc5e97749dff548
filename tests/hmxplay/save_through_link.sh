#!/usr/bin/env bash
# A save through a settings file that is a symbolic link replaces the file
# it leads to, keeps the link, and keeps the file's permissions.
#   save_through_link.sh HMXPLAY WORKDIR
set -uo pipefail
dir="$2/save_through_link"
rm -rf "$dir" && mkdir -p "$dir/real" || exit 1
printf '# mine\r\nVSTiPath_x86=C:\\VSTi\\synth.dll\r\n' > "$dir/real/settings"
chmod 600 "$dir/real/settings"
ln -s real/settings "$dir/link"
"$1" --settings "$dir/link" apply Volume_x86 80 > "$dir/out" 2>&1 || { echo "apply failed:"; cat "$dir/out"; exit 1; }
[ -L "$dir/link" ] || { echo "the link was replaced by a file"; exit 1; }
grep -q '^Volume_x86=80' "$dir/real/settings" || { echo "the linked file was not saved:"; cat "$dir/real/settings"; exit 1; }
grep -q '^VSTiPath_x86=C:\\VSTi\\synth.dll' "$dir/real/settings" || { echo "the path was rewritten"; exit 1; }
mode=$(stat -c %a "$dir/real/settings")
[ "$mode" = 600 ] || { echo "permissions became $mode"; exit 1; }
[ -z "$(ls "$dir/real" | grep -v '^settings$')" ] || { echo "a temporary file was left"; exit 1; }
echo ok
