#!/usr/bin/env bash
# Whole-program benchmark of short frames with many resamples, two builds
# side by side: 20,000 stamped rows, exponent 0.4, VAR(1), graphing on, false
# alarm 0.05, and
#   frame length 50 (5 lags), 100,000 resamples;
#   frame length 18 (3 lags), 1,234,567 resamples.
#
#   bench/short_frames_program.sh new-build [old-build]
#       new-build, old-build: build directories holding vok (old-build is
#       optional: a build of an earlier tree to compare with)
#
# Rounds ($VOK_BENCH_ROUNDS, default 5) run every build on 1 and 2 threads in
# turn, so that other work on the machine weighs on all of them alike; each
# configuration's best wall time (from the clock read around the program's
# process alone) is printed, with the speed-up of the new build over the old and
# from 1 to 2 threads, and the load average before and after. Every build and
# thread count must write the same files (closing stamps aside); the script
# checks that. The data file comes from bench/whole_program_data.cpp (built
# here with g++) in $VOK_BENCH_DIR (default /tmp/vok-short-frames).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
new="$(cd "${1:?usage: $0 new-build [old-build]}" && pwd)/vok"
old=""
[[ $# -ge 2 ]] && old="$(cd "$2" && pwd)/vok"
work="${VOK_BENCH_DIR:-/tmp/vok-short-frames}"
rounds="${VOK_BENCH_ROUNDS:-5}"
rows=20000
for v in "$new" $old; do [[ -x "$v" ]] || { echo "no $v: build the vok target first" >&2; exit 1; }; done

mkdir -p "$work"
generator="$work/whole_program_data"
if [[ ! -x "$generator" || "$here/whole_program_data.cpp" -nt "$generator" ]]; then
  g++ -O2 -std=c++20 -o "$generator" "$here/whole_program_data.cpp"
fi
data="$work/short_frames.dat"
[[ -s "$data" ]] || "$generator" "$data" "$rows"

echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

# The control files of a case: write_case <dir> <frame length> <resamples>
# shellcheck source=bench/case_files.sh
source "$here/case_files.sh"
write_case() {
  write_control_files "$1" "$data" 0.4 "$2" 1 "$3" 0
}


# The wall time of one run, from the program's start to its end (seconds):
# the clock is read around the process alone, not around a shell that
# starts it, whose own fork and exec would weigh on every run alike.
run_time() {
  "$python" - "$@" <<'PY'
import os, sys, time
directory, program, threads = sys.argv[1:]
os.chdir(directory)
quiet = [(os.POSIX_SPAWN_OPEN, 1, "/dev/null", os.O_WRONLY, 0)]
start = time.monotonic()
pid = os.posix_spawn(program, [program, "--threads", threads], os.environ, file_actions=quiet)
_, status = os.waitpid(pid, 0)
end = time.monotonic()
if status != 0:
    sys.exit(f"{program} --threads {threads} in {directory}: exit status {status}")
print(f"{end - start:.4f}")
PY
}
python=/usr/bin/python3

declare -A best
builds=(new)
[[ -n "$old" ]] && builds=(old new)
cases=("50 100000" "18 1234567")
for ((round = 0; round < rounds; ++round)); do
  for c in "${cases[@]}"; do
    read -r frame_length b <<<"$c"
    for build in "${builds[@]}"; do
      vok=$new
      [[ $build == old ]] && vok=$old
      for threads in 1 2; do
        key="$frame_length $build $threads"
        dir="$work/run-$frame_length-$build-$threads"
        write_case "$dir" "$frame_length" "$b"
        t=$(run_time "$dir" "$vok" "$threads")
        if [[ -z "${best[$key]:-}" ]] || awk -v a="$t" -v b="${best[$key]}" 'BEGIN { exit !(a < b) }'; then
          best[$key]=$t
        fi
      done
    done
  done
done
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
echo

for c in "${cases[@]}"; do
  read -r frame_length b <<<"$c"
  echo "=== frame length $frame_length, $b resamples (best of $rounds)"
  first=""
  for build in "${builds[@]}"; do
    for threads in 1 2; do
      dir="$work/run-$frame_length-$build-$threads"
      if [[ -z "$first" ]]; then
        first=$dir
      elif ! cmp -s <(masked_outputs "$first") <(masked_outputs "$dir"); then
        echo "OUTPUT DIFFERS: $first and $dir" >&2
        exit 1
      fi
      printf "%-4s %d thread(s): %8.4f s\n" "$build" "$threads" "${best[$frame_length $build $threads]}"
    done
    awk -v a="${best[$frame_length $build 1]}" -v b="${best[$frame_length $build 2]}" \
      'BEGIN { printf "     speed-up 1 -> 2 threads: %.2f\n", a / b }'
  done
  if [[ -n "$old" ]]; then
    for threads in 1 2; do
      awk -v a="${best[$frame_length old $threads]}" -v b="${best[$frame_length new $threads]}" -v t=$threads \
        'BEGIN { printf "new over old, %d thread(s): %.2f times as fast\n", t, a / b }'
    done
  fi
  echo "(every build and thread count wrote the same files)"
  echo
done
