#!/usr/bin/env bash
# Installs what is missing, builds, and starts Orvel. With no arguments it
# opens a generated demo clip; otherwise the arguments go to the program
# ([file [rangeStart [rangeEnd]]]).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
if [ $# -eq 0 ]; then
  "$root/scripts/make-test-clips.sh" "$root/build/test-clips"
  set -- "$root/build/test-clips/h264_1080p25.mp4"
fi
exec "$root/build/src/app/orvel" "$@"
