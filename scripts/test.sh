#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
# ORVEL_SANITIZE=address runs the suite in the AddressSanitizer/UndefinedBehaviorSanitizer build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
dir=$root/build
case ${ORVEL_SANITIZE:-} in
  address) dir=$root/build-asan ;;
  thread) dir=$root/build-tsan ;;
esac
"$root/scripts/build.sh" "$dir"
cd "$dir"
exec ctest --output-on-failure -j"$(nproc)" "$@"
