#!/usr/bin/env bash
# Regenerates the README's pictures of the shipped example: builds vok and
# vok-plot, runs the example in a scratch copy of examples/, copies the PNG
# pictures of run A to docs/ and a screenshot of run A's page (vok-plot
# --html, taken by headless Chromium) to docs/example-page.png. Installs
# gnuplot and chromium when they are missing. VOK_BUILD_DIR names another
# build directory than build/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/packages.sh
need_packages build plot tests
build="$root/${VOK_BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target vok vok-plot
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp examples/Runvok.cnl examples/runA.cnl examples/runB.cnl examples/example.dat "$scratch"/
(cd "$scratch" && "$build"/vok --results >/dev/null && "$build"/vok-plot runA_1-_2 >/dev/null &&
  "$build"/vok-plot --html runA_1-_2 >/dev/null)
cp "$scratch"/runA_1-_2-pvalues.png docs/example-pvalues.png
cp "$scratch"/runA_1-_2-xy.png docs/example-xy.png
mkdir "$scratch/profile"
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --disable-dev-shm-usage --user-data-dir="$scratch/profile" --hide-scrollbars \
  --window-size=1100,2800 --screenshot="$root/docs/example-page.png" \
  "file://$scratch/runA_1-_2.html" 2>/dev/null
echo "wrote docs/example-pvalues.png, docs/example-xy.png and docs/example-page.png"
