#!/usr/bin/env bash
# Builds vok (as needed) and runs it on the shipped example in examples/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target vok
cd examples
status=0
../build/vok || status=$?
echo
echo "vok finished with exit status $status; its outputs are in examples/ (*.out, *.csv, *.graph, Vok-error.out)."
exit $status
