#!/usr/bin/env bash
# Builds vok and vok-plot (as needed, installing the Debian packages they need
# when missing) and runs vok on the shipped example in examples/.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
need_packages build plot
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVOK_BUILD_TESTS=OFF -DVOK_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target vok vok-plot
cd examples
status=0
../build/vok || status=$?
echo
echo "vok finished with exit status $status; its outputs are in examples/ (*.out, *.csv, *.graph, Vok-error.out)."
exit $status
