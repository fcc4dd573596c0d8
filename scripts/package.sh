#!/usr/bin/env bash
# Builds the Debian packages vok and python3-vok (cpack, from the install
# rules) in build/ and checks each with lintian; an error found by lintian
# fails the script, and its warnings are shown. Prints the packages' paths
# last.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
need_packages build package python
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVOK_BUILD_PYTHON=ON >/dev/null
cmake --build build -j"$(nproc)"
rm -f build/*.deb
(cd build && cpack >/dev/null)
status=0
for deb in build/*.deb; do
  echo "== lintian $deb"
  lintian --fail-on error "$deb" || status=1
done
ls build/*.deb
exit $status
