#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each one for a bounded time.
#
# Usage: fuzz.sh [SECONDS_PER_TARGET [TARGET...]]    (default: 60 seconds, every target)
#
# Each target first replays its past findings (tests/fuzz/regressions/<name>/),
# then fuzzes from its seeds (tests/fuzz/corpus/<name>/). The growing corpus is
# kept in build-fuzz/fuzz/corpus/<target>/, crash, leak and timeout inputs in
# build-fuzz/fuzz/artifacts/<target>/, the logs in build-fuzz/fuzz/logs/.
# Exits non-zero when any target finds anything. ORVEL_FUZZ_BUILD_DIR picks
# another build folder. Targets that open clips get the generated clip corpus
# (scripts/make-test-clips.sh) in the build folder's test-clips/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "fuzz.sh: seconds per target must be a positive whole number, not '$seconds'" >&2
  exit 2
fi
dir=${ORVEL_FUZZ_BUILD_DIR:-$root/build-fuzz}

CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVEL_FUZZ=ON -DORVEL_SANITIZE=address -DORVEL_BUILD_BENCH=OFF >/dev/null

manifest=$dir/fuzz/targets.txt
declare -a names programs seeds regressions dictionaries
needs_clips=0
while IFS=$'\t' read -r name program seed regression clips dictionary; do
  [ -n "$name" ] || continue
  if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx -e "$name" -e "${name#fuzz_}"; then
    continue
  fi
  names+=("$name"); programs+=("$program"); seeds+=("$seed")
  regressions+=("$regression"); dictionaries+=("$dictionary")
  if [ "$clips" = clips ]; then needs_clips=1; fi
done <"$manifest"
if [ ${#names[@]} -eq 0 ]; then
  echo "fuzz.sh: no fuzz target matches: $*" >&2
  exit 2
fi

cmake --build "$dir" -j2 --target "${names[@]}"
if [ $needs_clips -eq 1 ]; then
  "$root/scripts/make-test-clips.sh" "$dir/test-clips"
  export ORVEL_TEST_CLIPS=$dir/test-clips
fi

# A smaller quarantine than the default keeps long runs far from the memory limit.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:quarantine_size_mb=64}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp}
export QT_QPA_PLATFORM=offscreen

failed=0
summary=()
for i in "${!names[@]}"; do
  name=${names[$i]}
  corpus=$dir/fuzz/corpus/$name
  artifacts=$dir/fuzz/artifacts/$name
  log=$dir/fuzz/logs/$name.log
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"

  mapfile -t past < <(find "${regressions[$i]}" -type f ! -name '.*' 2>/dev/null | sort)
  if [ ${#past[@]} -gt 0 ]; then
    echo "== $name: replaying ${#past[@]} past findings"
    if ! "${programs[$i]}" "${past[@]}" >"$dir/fuzz/logs/$name.regressions.log" 2>&1; then
      echo "$name: a past finding fails again, see $dir/fuzz/logs/$name.regressions.log"
      summary+=("$name: FAILED (past finding)")
      failed=1
      continue
    fi
  fi

  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$artifacts/")
  [ -n "${dictionaries[$i]}" ] && options+=(-dict="${dictionaries[$i]}")
  echo "== $name: fuzzing for $seconds s"
  status=0
  "${programs[$i]}" "${options[@]}" "$corpus" "${seeds[$i]}" >"$log" 2>&1 || status=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)
  if [ $status -ne 0 ] || grep -q -e 'ERROR: AddressSanitizer' -e 'ERROR: LeakSanitizer' \
      -e 'runtime error:' -e '==ERROR' "$log"; then
    tail -n 40 "$log"
    summary+=("$name: FAILED (exit $status), artifacts in $artifacts")
    failed=1
  else
    summary+=("$name: ok, ${runs:-?} runs in $seconds s, coverage ${coverage:-?}, corpus $(find "$corpus" -type f | wc -l) inputs")
  fi
done

echo "== fuzzing summary"
printf '%s\n' "${summary[@]}"
exit $failed
