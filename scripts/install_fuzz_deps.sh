#!/usr/bin/env bash
# Installs what fuzzing with libFuzzer needs, from Debian's packages: clang and
# the compiler runtime that holds libFuzzer and the sanitizers. The corpus
# replay of CI (scripts/sanitize.sh) needs neither: it builds with g++.
set -euo pipefail
need=()
command -v clang++ >/dev/null || need+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
  need+=(libclang-rt-14-dev)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi
clang++ --version | head -1
