#!/usr/bin/env bash
# Replays the saved fuzzing corpus: each target in BUILD_DIR (built with
# VOK_FUZZ_ENGINE=replay or libfuzzer) is run over fuzz/corpus/<target>/.
# A crash, a sanitizer report or a hang (over the time limit) fails the script.
#
#   fuzz/replay.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: fuzz/replay.sh BUILD_DIR}
limit=${REPLAY_TIMEOUT:-600}
status=0
shopt -s nullglob
corpora=("$here"/corpus/*/)
if [ ${#corpora[@]} -eq 0 ]; then
  echo "!! no corpus in $here/corpus"
  exit 1
fi
for corpus in "${corpora[@]}"; do
  target=$(basename "$corpus")
  exe="$build/$target"
  if [ ! -x "$exe" ]; then
    echo "!! no executable for $target in $build"
    status=1
    continue
  fi
  if "$exe" -help=1 2>&1 | grep -q libFuzzer; then
    args=(-runs=0 "$corpus")
  else
    args=("$corpus")
  fi
  if ! timeout "$limit" "$exe" "${args[@]}"; then
    echo "!! $target failed on its corpus"
    status=1
  fi
done
exit $status
