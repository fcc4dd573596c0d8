#!/usr/bin/env bash
# Builds the program, its tests and the Python package (as needed, installing
# the Debian packages they need when missing) and runs the whole test suite,
# the Python package's tests and the R package's check included.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
need_packages build tests python cluster pip r
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVOK_BUILD_TESTS=ON -DVOK_BUILD_BENCH=OFF \
  -DVOK_BUILD_PYTHON=ON -DVOK_BUILD_R=ON >/dev/null
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure --no-tests=error -j"$(nproc)"
