#!/usr/bin/env bash
# Regenerates the README's pictures of the shipped example: builds vok and
# vok-plot, runs the example in a scratch copy of examples/ and copies the
# PNG pictures of run A to docs/. Installs gnuplot when it is missing.
# VOK_BUILD_DIR names another build directory than build/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/packages.sh
need_packages build plot
build="$root/${VOK_BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target vok vok-plot
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp examples/Runvok.cnl examples/runA.cnl examples/runB.cnl examples/example.dat "$scratch"/
(cd "$scratch" && "$build"/vok >/dev/null && "$build"/vok-plot runA_1-_2 >/dev/null)
cp "$scratch"/runA_1-_2-pvalues.png docs/example-pvalues.png
cp "$scratch"/runA_1-_2-xy.png docs/example-xy.png
echo "wrote docs/example-pvalues.png and docs/example-xy.png"
