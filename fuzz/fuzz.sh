#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and fuzzes one target,
# growing fuzz/corpus/<target>/ from fuzz/seeds/<target>/.
#
#   fuzz/fuzz.sh TARGET [SECONDS] [extra libFuzzer flags...]
#   fuzz/fuzz.sh --minimize TARGET   rewrite the corpus as a minimal set
#                                    covering the same features
# clang and libFuzzer come from Debian packages, installed when missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${VOK_FUZZ_BUILD:-$root/build-fuzz}
minimize=0
if [ "${1:-}" = --minimize ]; then
  minimize=1
  shift
fi
target=${1:?usage: fuzz/fuzz.sh [--minimize] TARGET [SECONDS] [flags...]}
seconds=${2:-600}
shift $(($# < 2 ? $# : 2))

. "$root/scripts/packages.sh"
need_packages build fuzz
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DVOK_FUZZ_ENGINE=libfuzzer >/dev/null
cmake --build "$build" -j2 --target "$target" >/dev/null

corpus=$here/corpus/$target
mkdir -p "$corpus"
# Crash, timeout and leak files land in the build directory (program_fuzz
# works in a temporary directory of its own).
options=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/")
case $target in
  program_fuzz) options+=(-max_len=6000 -dict="$here/program.dict") ;;
  rows_fuzz) options+=(-max_len=2000 -dict="$here/rows.dict") ;;
  layout_fuzz) options+=(-max_len=400 -dict="$here/rows.dict") ;;
  fields_fuzz) options+=(-max_len=800) ;;
esac
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

if [ $minimize -eq 1 ]; then
  fresh=$(mktemp -d)
  "$build/$target" "${options[@]}" -merge=1 "$fresh" "$corpus" "$here/seeds/$target"
  rm -rf "$corpus"
  mv "$fresh" "$corpus"
  chmod 755 "$corpus"
  echo "$target: $(ls "$corpus" | wc -l) inputs, $(cat "$corpus"/* | wc -c) bytes"
  exit 0
fi
"$build/$target" "${options[@]}" -max_total_time="$seconds" "$@" "$corpus" "$here/seeds/$target"
