#!/usr/bin/env bash
# Configures and builds Orvel. Usage: build.sh [BUILD_DIR [extra cmake arguments...]]
# ORVEL_SANITIZE=address|thread picks a sanitizer build (default folder build-asan / build-tsan).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sanitize=${ORVEL_SANITIZE:-}
default_dir=$root/build
case $sanitize in
  address) default_dir=$root/build-asan ;;
  thread) default_dir=$root/build-tsan ;;
esac
dir=${1:-$default_dir}
shift || true
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEL_SANITIZE="$sanitize" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
