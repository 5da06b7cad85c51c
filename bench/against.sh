#!/usr/bin/env bash
# bench/against.sh NAME REV [--build-only]: runs benchmark NAME (download or
# install) with this tree's build and with a build of commit REV in the same
# run, their runs interleaved so that a change of load strikes both, and
# prints the ratios. REV's sources are exported with `git archive` (no
# worktree is registered, nothing in the repository changes) into
# build-against/<commit>/src and built in build-against/<commit>/build, both
# kept for the next comparison; `rm -rf build-against` removes them.
# --build-only prepares and builds both sides and prints the benchmark
# command instead of running it. RUNS and SCENARIOS are the benchmarks' own.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
usage() { echo "usage: bench/against.sh download|install REV [--build-only]" >&2; exit 2; }
[ $# -ge 2 ] || usage
NAME=$1 REV=$2 BUILD_ONLY=${3:-}
[ -z "$BUILD_ONLY" ] || [ "$BUILD_ONLY" = --build-only ] || usage
case "$NAME" in
  download) TARGETS=(korvel-fetch korvel-mirror) ;;
  install) TARGETS=(bench_install korvel-pack korvel-demo-app korvel-demo-deployment) ;;
  *) echo "bench/against.sh: only download and install compare two builds, not '$NAME'" >&2; exit 2 ;;
esac
SHA=$(git rev-parse --verify --quiet "$REV^{commit}") || {
  echo "bench/against.sh: '$REV' names no commit" >&2; exit 2; }
DIR=${BENCH_AGAINST_DIR:-$ROOT/build-against}/${SHA:0:12}
SRC=$DIR/src BASE_BUILD=$DIR/build

if [ ! -f "$SRC/.exported" ]; then
  rm -rf "$SRC" && mkdir -p "$SRC"
  git archive --format=tar "$SHA" | tar -x -C "$SRC"
  touch "$SRC/.exported"
fi
echo "against: $REV = ${SHA:0:12}, sources $SRC, build $BASE_BUILD"
if [ ! -f "$BASE_BUILD/build.ninja" ]; then
  cmake -S "$SRC" -B "$BASE_BUILD" -G Ninja >/dev/null
fi
cmake --build "$BASE_BUILD" -j "${JOBS:-$(nproc)}" --target "${TARGETS[@]}"
BUILD=${BUILD:-$ROOT/build}
cmake --build "$BUILD" -j "${JOBS:-$(nproc)}" --target "${TARGETS[@]}"

if [ "$BUILD_ONLY" = --build-only ]; then
  echo "built both; the comparison would run: BUILD=$BUILD BUILD_AGAINST=$BASE_BUILD" \
       "AGAINST_NAME=${SHA:0:12} bench/$NAME.sh"
  exit 0
fi
export BUILD BUILD_AGAINST=$BASE_BUILD AGAINST_NAME=${SHA:0:12}
exec "bench/$NAME.sh"
