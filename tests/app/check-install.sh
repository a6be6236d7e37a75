#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the desktop integration:
# the program, its launcher entry with the video types it opens, and its icon.
set -euo pipefail
build=$1
prefix=$build/install-check
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/orvel"
desktop=$prefix/share/applications/orvel.desktop
grep -qx 'Exec=orvel %f' "$desktop"
grep -qx 'Icon=orvel' "$desktop"
for type in video/mp4 video/x-matroska video/quicktime video/webm video/mpeg video/x-msvideo video/x-flv \
    video/x-m4v video/x-ms-wmv video/mp2t application/mxf video/3gpp video/ogg video/dv; do
  grep -q "^MimeType=.*$type;" "$desktop" || { echo "missing $type" >&2; exit 1; }
done
file "$prefix/share/icons/hicolor/256x256/apps/orvel.png" | grep -q 'PNG image data, 256 x 256'
"$prefix/bin/orvel" --version | grep -q '^Orvel 1.4.1$'
rm -rf "$prefix"
