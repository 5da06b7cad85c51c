#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz and runs each for SECONDS (60)
# on a copy of its seed corpus (tests/fuzz/<target>/). Prints executions per
# second and libFuzzer's coverage figures per target; exits 1 when a target
# found a crash, a leak, a time-out or an out-of-memory input.
#   tests/fuzz/run_all.sh [BUILD_DIR] [SECONDS]
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$ROOT/build-fuzz
if [ $# -gt 0 ] && ! [[ $1 =~ ^[0-9]+$ ]]; then
  BUILD=$(cd "$ROOT" && realpath -m "$1")
  shift
fi
SECONDS_PER_TARGET=${1:-60}
JOBS=${JOBS:-2}

# FUZZ_ONLY="fuzz_a fuzz_b" runs just those targets.
targets=()
for dir in "$ROOT"/tests/fuzz/*/; do
  name=$(basename "$dir")
  [[ $name == fuzz_* ]] || continue
  [ -z "${FUZZ_ONLY:-}" ] || [[ " $FUZZ_ONLY " == *" $name "* ]] || continue
  targets+=("$name")
done

if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DKORVEL_FUZZ=ON -DKORVEL_BUILD_TESTS=OFF \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null || exit 2
fi
built=()
for t in "${targets[@]}"; do
  # A target whose sources are not in this tree yet (package reader) is skipped.
  if cmake --build "$BUILD" --target help | grep -q "^$t:"; then built+=("$t"); fi
done
cmake --build "$BUILD" --target "${built[@]}" -j "$JOBS" || exit 2

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
WORK=$BUILD/fuzz-work
findings=0
printf '%-24s %10s %10s %8s %8s %s\n' target execs exec/s cov ft result
for t in "${built[@]}"; do
  dir=$WORK/$t
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  cp "$ROOT/tests/fuzz/$t/"* "$dir/corpus/"
  (cd "$dir" && "$BUILD/$(cd "$BUILD" && find . -name "$t" -type f -perm -u+x | head -1)" \
      -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$dir/artifacts/" corpus >"$dir/log" 2>&1)
  status=$?
  stats=$(grep -E '^#[0-9]+' "$dir/log" | grep -E 'cov: ' | tail -1)
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$stats")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$stats")
  execs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$dir/log" | tail -1)
  rate=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+).*/\1/p' "$dir/log" | tail -1)
  artifacts=$(ls "$dir/artifacts" 2>/dev/null)
  result=ok
  if [ $status -ne 0 ] || [ -n "$artifacts" ]; then
    result="FINDING (exit $status) ${artifacts//$'\n'/ } see $dir/log"
    findings=$((findings + 1))
  fi
  printf '%-24s %10s %10s %8s %8s %s\n' "$t" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$result"
done
[ $findings -eq 0 ]
