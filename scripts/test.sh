#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest: first in
# the normal build (build/), then in the AddressSanitizer/UndefinedBehaviorSanitizer
# build (build-asan/). Fails when either run fails; the last lines are CTest's
# summaries of both runs.
#
# ORVEL_SANITIZE picks one build only: none (normal), address or thread (build-tsan/).
# Arguments go to ctest (scripts/test.sh -R engine).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" || exit 1

case ${ORVEL_SANITIZE-both} in
  both) builds=(none address) ;;
  none | "") builds=(none) ;;
  address | thread) builds=("$ORVEL_SANITIZE") ;;
  *)
    echo "test.sh: ORVEL_SANITIZE must be none, address or thread, not '$ORVEL_SANITIZE'" >&2
    exit 2
    ;;
esac

build_dir() {
  case $1 in
    none) echo "$root/build" ;;
    address) echo "$root/build-asan" ;;
    thread) echo "$root/build-tsan" ;;
  esac
}

build_label() {
  case $1 in
    none) echo "normal build" ;;
    address) echo "AddressSanitizer build" ;;
    thread) echo "ThreadSanitizer build" ;;
  esac
}

status=0
summaries=()
for build in "${builds[@]}"; do
  dir=$(build_dir "$build")
  label=$(build_label "$build")
  sanitize=$build
  [ "$sanitize" = none ] && sanitize=
  echo "== $label ($dir)"
  if ! ORVEL_SANITIZE=$sanitize "$root/scripts/build.sh" "$dir"; then
    summaries+=("$label: the build failed")
    status=1
    continue
  fi
  log=$(mktemp)
  (cd "$dir" && ctest --output-on-failure -j"$(nproc)" "$@") 2>&1 | tee "$log"
  result=${PIPESTATUS[0]}
  [ "$result" -eq 0 ] || status=1
  summary=$(grep -E '^[0-9]+% tests passed' "$log" | tail -1)
  summaries+=("$label: ${summary:-no test summary (ctest exit $result)}")
  # Name the failing test functions, so a short excerpt of the log still says what failed.
  while IFS= read -r failure; do
    summaries+=("  $failure")
  done < <(grep -E '^(FAIL!|QFATAL)' "$log" | head -20)
  rm -f "$log"
done

echo "== summary"
printf '%s\n' "${summaries[@]}"
exit $status
