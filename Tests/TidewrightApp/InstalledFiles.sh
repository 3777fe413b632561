#!/bin/sh
# usage: InstalledFiles.sh BUILD-FOLDER CMAKE
set -eu
build=$1
cmake=$2
destdir=$(mktemp -d)
trap 'rm -rf "$destdir"' EXIT
fail() { echo "InstalledFiles: $*" >&2; exit 1; }

DESTDIR="$destdir" "$cmake" --install "$build" --prefix /usr >/dev/null
root="$destdir/usr"

[ -x "$root/bin/tidewright" ] || fail "no program in bin"

desktop="$root/share/applications/tidewright.desktop"
[ -f "$desktop" ] || fail "no launcher"
desktop-file-validate "$desktop" || fail "the launcher is not valid"
grep -qx 'MimeType=inode/directory;' "$desktop" || fail "the launcher does not open folders"
grep -qx 'Exec=/usr/bin/tidewright %U' "$desktop" || fail "the launcher runs something else"
grep -qx 'Icon=tidewright' "$desktop" || fail "the launcher names another icon"

service="$root/share/dbus-1/services/org.freedesktop.FileManager1.service"
[ -f "$service" ] || fail "no file manager service"
grep -qx '\[D-BUS Service\]' "$service" || fail "the service file has no service group"
grep -qx 'Name=org.freedesktop.FileManager1' "$service" || fail "the service has another name"
grep -qx 'Exec=/usr/bin/tidewright --service' "$service" || fail "the service runs something else"

icons="$root/share/icons/hicolor"
grep -q '<svg' "$icons/scalable/apps/tidewright.svg" || fail "no scalable icon"
for size in 16 22 24 32 48 64 128 256; do
    png="$icons/${size}x${size}/apps/tidewright.png"
    [ -f "$png" ] || fail "no ${size}-pixel icon"
    # The PNG signature, then the header's width and height as 32-bit big-endian numbers.
    signature=$(od -An -tx1 -N8 "$png" | tr -d ' \n')
    [ "$signature" = "89504e470d0a1a0a" ] || fail "the ${size}-pixel icon is not a PNG"
    width=$(od -An -tu1 -j16 -N4 "$png" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }')
    height=$(od -An -tu1 -j20 -N4 "$png" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }')
    [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "the ${size}-pixel icon is ${width} × ${height}"
done
echo "InstalledFiles: all files in place"
