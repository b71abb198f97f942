#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: unit tests and real-window tests,
# then the unit and window tests again under AddressSanitizer+UBSan and ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
jobs=$(nproc)

run_suite() {   # build dir, build type, ctest label filter (empty for all)
  local dir=$1 type=$2 labels=$3
  echo "== $type build in $dir"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" >/dev/null
  cmake --build "$dir" -j"$jobs"
  if [ -n "$labels" ]; then
    ctest --test-dir "$dir" --output-on-failure --timeout 300 -j"$jobs" -L "$labels"
  else
    ctest --test-dir "$dir" --output-on-failure --timeout 300 -j"$jobs"
  fi
}

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tools/tsan.supp

run_suite build RelWithDebInfo ""
run_suite build-asan Asan ""
run_suite build-tsan Tsan ""
echo "== all tests passed"
