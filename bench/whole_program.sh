#!/usr/bin/env bash
# Whole-program benchmark: one run over a 1,000,000-row stamped file of three
# columns with frames of 1000 rows, exponent 0.5 (32 lags), VAR(2)
# prewhitening, graphing on and 1000 bootstrap resamples at false alarm 0.05.
#
#   bench/whole_program.sh [build-dir]        (default: build)
#
# It writes the data once (bench/make_whole_program_data.py, seeded) into
# $VOK_BENCH_DIR (default /tmp/vok-whole-program) and reports, as the best of
# $VOK_BENCH_REPEATS executions (default 3), wall time, processor time and
# peak memory for 1 thread, 2 threads, every core, and the same with the
# reference (direct) lag sums; the bootstrap's share on 1 and 2 threads; and
# the time at three row counts and three resample counts, to show that it
# grows linearly in both. Every configuration must write the same files
# (closing stamps aside); the script checks that too.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
vok="$build/vok"
work="${VOK_BENCH_DIR:-/tmp/vok-whole-program}"
rows_in_file=1000000
repeats="${VOK_BENCH_REPEATS:-3}"
[[ -x "$vok" ]] || { echo "no $vok: build the vok target first" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (/usr/bin/time)" >&2; exit 1; }

mkdir -p "$work"
data="$work/whole_program.dat"
if [[ ! -s "$data" ]]; then
  echo "writing $data ..."
  python3 "$here/make_whole_program_data.py" "$data" "$rows_in_file"
fi
echo "data: $data ($(du -mL "$data" | cut -f1) MB)"
echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores"
echo

# One execution in a fresh directory: run_case <name> <rows> <resamples> [options...]
# Prints: name, wall s, user+sys s, peak resident MB; leaves the wall time in
# $last_wall and the processor time in $last_cpu.
run_case() {
  local name=$1 rows=$2 resamples=$3
  shift 3
  local dir="$work/$name"
  rm -rf "$dir"
  mkdir -p "$dir"
  ln -s "$data" "$dir/whole_program.dat"
  cat >"$dir/Runvok.cnl" <<CNL
Number of runs=1          * one run
exponent=0.5              * lags = frame length ** exponent: 32
false alarm=0.05          * false alarm threshold
frame length=1000         * rows per frame
overlap=0                 * frames end to end
VAR lag=2                 * VAR(2) prewhitening in every frame
resamples=$resamples #          * bootstrap resamples
bench.cnl *
CNL
  cat >"$dir/bench.cnl" <<CNL
column-x=1                * x-data column
column-y=2                * y-data column
graphing=yes              * frames, graph and xy graph files
unit=seconds              * time unit label
data file name=whole_program.dat *
start datum=1             * first row
end datum=$rows           * last row
#
CNL
  # The best of $repeats executions (other work on the machine only adds time).
  local t best="" i
  for ((i = 0; i < repeats; ++i)); do
    t=$(cd "$dir" && /usr/bin/time -f "%e %U %S %M" "$vok" "$@" 2>&1 >/dev/null | tail -1)
    if [[ -z "$best" ]] || awk -v a="${t%% *}" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
      best=$t
    fi
  done
  t=$best
  awk -v name="$name" '{ printf "%-28s %8.2f %10.2f %10.1f\n", name, $1, $2 + $3, $4 / 1024 }' <<<"$t"
  last_wall=${t%% *}
  last_cpu=$(awk '{ print $2 + $3 }' <<<"$t")
}

# The files of a case, closing stamps masked.
masked() {
  local f
  for f in "$work/$1"/*.out "$work/$1"/*.graph; do
    echo "== $(basename "$f")"
    grep -v -e '^ Date & Time ' -e '^ Elapsed time = ' "$f"
  done
}

printf "%-28s %8s %10s %10s\n" "configuration" "wall s" "cpu s" "peak MB"
run_case threads-1 $rows_in_file 1000 --threads 1
run_case threads-2 $rows_in_file 1000 --threads 2
run_case all-cores $rows_in_file 1000
run_case reference-threads-1 $rows_in_file 1000 --reference-kernel --threads 1
run_case reference-threads-2 $rows_in_file 1000 --reference-kernel --threads 2
for other in threads-2 all-cores reference-threads-1 reference-threads-2; do
  if ! cmp -s <(masked threads-1) <(masked "$other"); then
    echo "OUTPUT DIFFERS: threads-1 and $other" >&2
    exit 1
  fi
done
echo "(every configuration wrote the same files)"
echo
echo "bootstrap part: 1000 resamples less none (1,000,000 rows):"
declare -A boot
for t in 1 2; do
  run_case "no-resamples-threads-$t" $rows_in_file 0 --threads $t
  none=$last_wall
  run_case "resamples-threads-$t" $rows_in_file 1000 --threads $t
  boot[$t]=$(awk -v a="$last_wall" -v b="$none" 'BEGIN { printf "%.2f", a - b }')
done
echo "bootstrap: ${boot[1]} s on 1 thread, ${boot[2]} s on 2 threads," \
  "speed-up $(awk -v a="${boot[1]}" -v b="${boot[2]}" 'BEGIN { printf "%.2f", a / b }')"
echo
# On one thread the processor time is the work done, whatever else the
# machine is running; the scaling figures use it.
echo "rows (no resamples, 1 thread): processor time per 1000 rows"
for rows in 250000 500000 1000000; do
  run_case "rows-$rows" $rows 0 --threads 1
  awk -v t="$last_cpu" -v r="$rows" 'BEGIN { printf "%28s %8.3f ms\n", "", 1e6 * t / r }'
done
echo
echo "resamples (1,000,000 rows, 1 thread): processor time per resample beyond none"
run_case "resamples-0" $rows_in_file 0 --threads 1
none=$last_cpu
for b in 250 500 1000; do
  run_case "resamples-$b" $rows_in_file $b --threads 1
  awk -v t="$last_cpu" -v z="$none" -v b="$b" 'BEGIN { printf "%28s %8.3f ms\n", "", 1e3 * (t - z) / b }'
done
