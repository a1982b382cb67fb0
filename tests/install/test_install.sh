#!/bin/sh
# Installs the build into a temporary prefix and checks what a desktop
# needs to list the program: the executable, a valid .desktop file, and an
# icon of each hicolor size that is a PNG of that size.
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/pelmor" || { echo "no $prefix/bin/pelmor"; exit 1; }
desktop-file-validate "$prefix/share/applications/pelmor.desktop"
grep -q '^Icon=pelmor$' "$prefix/share/applications/pelmor.desktop"
for size in 16 32 48 64 128 256; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/pelmor.png"
    test -s "$icon" || { echo "no $icon"; exit 1; }
    magic=$(od -An -tx1 -N8 "$icon" | tr -d ' \n')
    [ "$magic" = 89504e470d0a1a0a ] || { echo "$icon is no PNG"; exit 1; }
    width=$(od -An -tu1 -j16 -N4 "$icon" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
    [ "$width" = "$size" ] || { echo "$icon is $width pixels wide"; exit 1; }
done
echo "installed and valid"
