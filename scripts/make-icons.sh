#!/usr/bin/env bash
# Rebuilds the icon PNGs of src/resources/icons from scripts/make-icons/makeicons.cpp.
# Usage: make-icons.sh [OUTPUT_DIR]   (default: src/resources/icons)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/src/resources/icons}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck disable=SC2046
g++ -std=c++17 -O1 -fPIC -o "$work/makeicons" "$root/scripts/make-icons/makeicons.cpp" \
    $(pkg-config --cflags --libs Qt5Gui)
QT_QPA_PLATFORM=offscreen "$work/makeicons" "$out"
echo "icons written to $out"
