#!/usr/bin/env bash
# A save through a settings file that is a symbolic link replaces the file
# it leads to, keeps the link, and keeps the file's permissions; a link
# whose file does not exist yet stays a link, and the save makes the file.
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
[ -z "$(ls "$dir/real" | grep -vxE 'settings|settings\.lock')" ] || { echo "a temporary file was left"; exit 1; }

# A dangling link, through a second link: both stay links.
ln -s not-yet/settings "$dir/real/second"
ln -s real/second "$dir/dangling"
mkdir "$dir/real/not-yet"
"$1" --settings "$dir/dangling" apply Volume_x86 70 > "$dir/out" 2>&1 || { echo "apply failed:"; cat "$dir/out"; exit 1; }
[ -L "$dir/dangling" ] && [ -L "$dir/real/second" ] || { echo "a dangling link was replaced by a file"; exit 1; }
grep -qx 'Volume_x86=70' "$dir/real/not-yet/settings" || { echo "the file the links lead to was not made"; exit 1; }
echo ok
