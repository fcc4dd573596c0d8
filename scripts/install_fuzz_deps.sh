#!/usr/bin/env bash
# Installs what fuzzing with libFuzzer needs, from Debian's packages (the
# "fuzz" line of scripts/packages.sh): clang and the compiler runtime that
# holds libFuzzer and the sanitizers. fuzz/fuzz.sh does it by itself; the
# corpus replay of CI (scripts/sanitize.sh) needs neither: it builds with g++.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
need_packages build fuzz
clang++ --version | head -1
