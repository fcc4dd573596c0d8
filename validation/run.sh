#!/usr/bin/env bash
# The full size and power simulation: builds the Python package (installing
# the Debian packages it and the peers need when missing) and writes
# validation/results/. Arguments go to validate.py (--quick --check for the
# quick checks, --frames, --resamples, --seed, --processes).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
need_packages build python validation
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVOK_BUILD_PYTHON=ON >/dev/null
cmake --build build -j"$(nproc)" --target _vok
exec /usr/bin/python3 validation/validate.py --build build "$@"
