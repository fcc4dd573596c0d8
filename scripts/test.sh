#!/usr/bin/env bash
# Builds everything (as needed) and runs the whole test suite, the Python
# package's tests included (they need the Debian packages below, installed
# here when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
python_packages="pybind11-dev python3-dev python3-numpy python3-pandas python3-matplotlib python3-pytest"
missing=()
for pkg in $python_packages; do
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null)" = installed ] || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages; install them as root with:" >&2
    echo "  apt-get install ${missing[*]}" >&2
    exit 1
  fi
  apt-get update -q >/dev/null && apt-get install -y -q "${missing[@]}" >/dev/null
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVOK_BUILD_BENCH=ON -DVOK_BUILD_PYTHON=ON >/dev/null
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
