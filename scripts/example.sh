#!/usr/bin/env bash
# Builds vok and vok-plot (as needed, installing the Debian packages they need
# when missing), runs vok on the shipped example in examples/ and writes the
# page of its first run with vok-plot --html.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
need_packages build plot
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVOK_BUILD_TESTS=OFF -DVOK_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target vok vok-plot
cd examples
status=0
../build/vok --results || status=$?
echo
echo "vok finished with exit status $status; its outputs are in examples/ (*.out, *.csv, *.json, *.graph, Vok-error.out)."
if [ -f runA_1-_2.csv ] && ../build/vok-plot --html runA_1-_2 >/dev/null; then
  echo "The page of run A: examples/runA_1-_2.html (open it in a browser: $(pwd)/runA_1-_2.html)"
fi
exit $status
