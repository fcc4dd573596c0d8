#!/usr/bin/env bash
# Builds the test executables and the fuzz-corpus replayers with
# AddressSanitizer and UndefinedBehaviorSanitizer (g++, -O1) in build-asan and
# runs them: every unit and end-to-end test, then every file of the fuzzing
# corpus through its target. Any sanitizer report fails the script.
#
#   scripts/sanitize.sh            build and run everything
#   scripts/sanitize.sh --tests    only the test executables
#   scripts/sanitize.sh --replay   only the corpus replay
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. scripts/packages.sh
need_packages build tests
jobs=$(nproc)
what=${1:-all}
passed=0
failed=0

flags="-O1 -g -Wno-maybe-uninitialized -fno-omit-frame-pointer -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

if [ "$what" = all ] || [ "$what" = --tests ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=None -DVOK_BUILD_TESTS=ON -DVOK_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
  # Test executables only: the program itself is exercised in-process by them.
  mapfile -t targets < <(cmake --build build-asan --target help | sed -n 's/^\.\.\. \(test_[a-z0-9_]*\).*/\1/p')
  cmake --build build-asan -j"$jobs" --target "${targets[@]}"
  for t in "${targets[@]}"; do
    echo "== $t (address, undefined)"
    log=build-asan/$t.log
    status=0
    ./build-asan/"$t" --gtest_brief=1 >"$log" 2>&1 || status=$?
    cat "$log"
    good=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" | tail -1)
    bad=$(grep -c '^\[  FAILED  \] .*([0-9]* ms)$' "$log" || true)
    # A sanitizer report ends the executable early: count it as one failure.
    if [ "$status" -ne 0 ] && [ "$bad" -eq 0 ]; then bad=1; fi
    passed=$((passed + ${good:-0}))
    failed=$((failed + bad))
    [ "$status" -eq 0 ] || echo "!! $t failed under the sanitizers (status $status)"
  done
fi

if [ "$what" = all ] || [ "$what" = --replay ]; then
  # The fuzz targets linked to a main that feeds them every corpus file.
  # They link the library of the test build above, compiled with the same flags.
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=None -DVOK_BUILD_TESTS=ON -DVOK_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
  cmake --build build-asan -j"$jobs" --target vokprogram
  cmake -S fuzz -B build-asan/fuzz -DCMAKE_BUILD_TYPE=None -DVOK_FUZZ_ENGINE=replay \
    -DVOK_CORE_LIBRARY="$root/build-asan/libvokprogram.a" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
  cmake --build build-asan/fuzz -j"$jobs"
  "$root"/fuzz/replay.sh build-asan/fuzz || failed=$((failed + 1))
fi
echo "sanitizers: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
