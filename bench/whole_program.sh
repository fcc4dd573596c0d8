#!/usr/bin/env bash
# Whole-program benchmark: one run over a stamped file of three columns with
# frames of 1000 rows, exponent 0.5 (32 lags), VAR(2) prewhitening, graphing
# on and 1000 bootstrap resamples at false alarm 0.05.
#
#   bench/whole_program.sh [build-dir] [rows ...]
#       build-dir  default: build (needs vok; fma_peak_bench from a build with
#                  -DVOK_BUILD_BENCH=ON for the floor, or VOK_PEAK_GFLOPS set
#                  to the measured peak of one core)
#       rows       row counts of the file, default 1000000; 1M, 10M, 100M work
#
# Each file is written once into $VOK_BENCH_DIR (default /tmp/vok-whole-program)
# by bench/whole_program_data.cpp (seeded; built here with g++; 100 million
# rows are 5.7 GB and take about 10 s of processor time). A row count the program refuses is reported with
# the program's own message and skipped. For each row count the script prints,
# as the best of $VOK_BENCH_REPEATS executions (default 3), wall time,
# processor time and peak memory on 1 thread, 2 threads and every core; the
# speed-up from 1 to 2 threads; time per 1000 rows and peak memory per row;
# the time per 1000 rows of the same run without resamples on 2 threads,
# against that of the first row count given (the resamples are a fixed cost);
# and the machine's floor for 2 threads with the ratio of the 2-thread time to
# it:
#
#   floor = statistics * flops per statistic / (2 * peak) + plain read time
#
# where the statistics are the frames and the resamples (each one pass of the
# lag sums at (n, L) = (1000, 32)), the flops count a multiply and an add per
# product the sums need (as bench/covxy_kernel_bench.cpp counts them), the
# peak is one core's multiply-and-add peak (fma_peak_bench's BM_MulAddPeak:
# the lag sums never fuse a multiply into an add; on processors with separate
# multiply and add units it equals the fused peak), and the plain read time is
# that of `cat file > /dev/null` with the file in the page cache.
#
# For the row count 1000000 it also runs the reference (direct) lag sums, the
# bootstrap's share on 1 and 2 threads, and the time at three row counts and
# three resample counts, to show that it grows linearly in both
# (VOK_BENCH_DETAIL=0 leaves these out). Every configuration of a row count
# must write the same files (closing stamps aside); the script checks that.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
shift || true
vok="$build/vok"
work="${VOK_BENCH_DIR:-/tmp/vok-whole-program}"
repeats="${VOK_BENCH_REPEATS:-3}"
detail="${VOK_BENCH_DETAIL:-1}"
frame_length=1000
lags=32
resamples=1000
[[ -x "$vok" ]] || { echo "no $vok: build the vok target first" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (/usr/bin/time)" >&2; exit 1; }

# Row counts: plain numbers or with a suffix k, M.
sizes=()
for arg in "${@:-1000000}"; do
  case "$arg" in
    *[kK]) sizes+=("$((${arg%?} * 1000))") ;;
    *M) sizes+=("$((${arg%?} * 1000000))") ;;
    *[!0-9]* | "") echo "not a row count: $arg" >&2; exit 1 ;;
    *) sizes+=("$arg") ;;
  esac
done

mkdir -p "$work"
generator="$work/whole_program_data"
if [[ ! -x "$generator" || "$here/whole_program_data.cpp" -nt "$generator" ]]; then
  command -v g++ >/dev/null || { echo "needs g++ to build the data generator" >&2; exit 1; }
  g++ -O2 -std=c++20 -o "$generator" "$here/whole_program_data.cpp"
fi

echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

# One core's multiply-and-add peak in FLOP/s (the best of five).
peak=""
if [[ -n "${VOK_PEAK_GFLOPS:-}" ]]; then
  peak=$(awk -v g="$VOK_PEAK_GFLOPS" 'BEGIN { print g * 1e9 }')
  echo "peak of one core: $VOK_PEAK_GFLOPS GFLOP/s (VOK_PEAK_GFLOPS)"
elif [[ -x "$build/fma_peak_bench" ]]; then
  peak=$("$build/fma_peak_bench" --benchmark_filter=BM_MulAddPeak --benchmark_repetitions=5 \
    --benchmark_format=csv 2>/dev/null |
    awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) if ($i ~ /FLOP\/s/) c = i; next }
             $1 ~ /_(mean|median|stddev|cv)"$/ { next }
             c && $c > best { best = $c } END { if (best) printf "%.0f", best }')
  [[ -n "$peak" ]] && awk -v p="$peak" \
    'BEGIN { printf "peak of one core: %.1f GFLOP/s (multiply and add, fma_peak_bench)\n", p / 1e9 }'
fi
[[ -n "$peak" ]] || echo "peak of one core: unknown (no $build/fma_peak_bench, VOK_PEAK_GFLOPS unset): no floor"

# Floating-point operations of one statistic's lag sums at (n, L): a multiply
# and an add for every product of every sum.
flops_per_statistic=$(awk -v n=$frame_length -v L=$lags '
  function count(r, s,  hi, lo) { hi = 0; lo = 0
    if (r > hi) hi = r; if (s > hi) hi = s; if (r < lo) lo = r; if (s < lo) lo = s
    return n - hi + lo }
  BEGIN { p = 0
    for (r = 1; r <= L; ++r) { p += 4 * (n - r)
      for (s = -L; s <= L; ++s) p += (s >= 1 && s < r ? 4 : 2) * count(r, s) }
    printf "%.0f", 2 * p }')
echo "one statistic's lag sums at ($frame_length, $lags): $(awk -v f="$flops_per_statistic" 'BEGIN { printf "%.2f", f / 1e6 }') Mflop"
echo

# The control files of a case in $dir: write_case <dir> <data> <rows> <resamples>
# shellcheck source=bench/case_files.sh
source "$here/case_files.sh"
write_case() {
  write_control_files "$1" "$2" 0.5 "$frame_length" 2 "$4" "$3"
}

# One execution in a fresh directory: run_case <name> <rows> <resamples> [options...]
# Prints: name, wall s, user+sys s, peak resident MB; leaves the wall time in
# $last_wall, the processor time in $last_cpu and the peak in $last_kb.
run_case() {
  local name=$1 rows=$2 b=$3
  shift 3
  local dir="$work/$name"
  write_case "$dir" "$data" "$rows" "$b"
  # The best of $repeats executions (other work on the machine only adds time).
  local t best="" i
  for ((i = 0; i < repeats; ++i)); do
    # GNU time gives the processor time and the peak; the wall time to the
    # millisecond comes from the clock around it (time's own is in
    # hundredths).
    local start_ns end_ns
    start_ns=$(date +%s%N)
    t=$(cd "$dir" && /usr/bin/time -f "%U %S %M" "$vok" "$@" 2>&1 >/dev/null | tail -1)
    end_ns=$(date +%s%N)
    t="$(awk -v a="$start_ns" -v b="$end_ns" 'BEGIN { printf "%.3f", (b - a) / 1e9 }') $t"
    if [[ -z "$best" ]] || awk -v a="${t%% *}" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
      best=$t
    fi
  done
  t=$best
  awk -v name="$name" '{ printf "%-28s %8.3f %10.2f %10.1f\n", name, $1, $2 + $3, $4 / 1024 }' <<<"$t"
  last_wall=${t%% *}
  last_cpu=$(awk '{ print $2 + $3 }' <<<"$t")
  last_kb=$(awk '{ print $4 }' <<<"$t")
}

# The files of a case, closing stamps masked.
masked() {
  masked_outputs "$work/$1"
}

same_files() {
  local first=$1 other
  shift
  for other in "$@"; do
    if ! cmp -s <(masked "$first") <(masked "$other"); then
      echo "OUTPUT DIFFERS: $first and $other" >&2
      exit 1
    fi
  done
  echo "(every configuration wrote the same files)"
}

# Whether the program takes a file of <rows> rows: a short file whose header
# promises that many, read to its end. Prints the program's message if not.
accepted() {
  local rows=$1 dir="$work/probe-$1"
  mkdir -p "$dir"
  "$generator" "$dir/probe.dat" 3000
  sed -i "2s/^rows=3000 /rows=$rows /" "$dir/probe.dat"
  data="$dir/probe.dat"
  write_case "$dir/run" "$data" "$rows" 0
  local out
  if out=$(cd "$dir/run" && "$vok" --threads 1 2>&1); then
    rm -rf "$dir"
    return 0
  fi
  echo "$out" | sed -n '1,2s/^ */  program: /p'
  rm -rf "$dir"
  return 1
}

for rows in "${sizes[@]}"; do
  echo "=== $rows rows"
  if ! accepted "$rows"; then
    echo "  skipped: the program refuses a file of $rows rows"
    echo
    continue
  fi
  data="$work/whole_program-$rows.dat"
  if [[ ! -s "$data" ]]; then
    echo "writing $data ..."
    "$generator" "$data" "$rows"
  fi
  echo "data: $data ($(du -mL "$data" | cut -f1) MB)"
  printf "%-28s %8s %10s %10s\n" "configuration" "wall s" "cpu s" "peak MB"
  run_case "threads-1-$rows" "$rows" $resamples --threads 1
  t1=$last_wall
  cpu1=$last_cpu
  run_case "threads-2-$rows" "$rows" $resamples --threads 2
  t2=$last_wall
  kb2=$last_kb
  run_case "all-cores-$rows" "$rows" $resamples
  same_files "threads-1-$rows" "threads-2-$rows" "all-cores-$rows"

  # A plain read of the file from the page cache, the best of three.
  read_s=""
  for ((i = 0; i < 3; ++i)); do
    start=$(date +%s%N)
    cat "$data" >/dev/null
    t=$(awk -v a="$start" -v b="$(date +%s%N)" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')
    if [[ -z "$read_s" ]] || awk -v a="$t" -v b="$read_s" 'BEGIN { exit !(a < b) }'; then read_s=$t; fi
  done
  statistics=$((rows / frame_length + resamples))
  awk -v t1="$t1" -v t2="$t2" -v cpu1="$cpu1" -v rows="$rows" -v kb="$kb2" 'BEGIN {
    printf "speed-up 1 -> 2 threads: %.2f\n", t1 / t2
    printf "1 thread: %.3f ms processor time per 1000 rows; 2 threads: peak %.1f bytes per row\n",
      1e6 * cpu1 / rows, 1024 * kb / rows }'
  if [[ -n "$peak" ]]; then
    # On a machine shared with other work the wall times say little; the
    # 1-thread processor time against the 1-thread floor still does.
    awk -v st="$statistics" -v f="$flops_per_statistic" -v p="$peak" -v r="$read_s" -v t2="$t2" \
      -v cpu1="$cpu1" 'BEGIN {
      sums = st * f / (2 * p)
      floor = sums + r
      printf "floor on 2 threads: %.3f s = %d statistics x %.2f Mflop / (2 x %.1f GFLOP/s) + read %.3f s\n",
        floor, st, f / 1e6, p / 1e9, r
      printf "2-thread time / floor: %.2f\n", t2 / floor
      printf "1-thread processor time / 1-thread floor (%.3f s): %.2f\n", 2 * sums + r, cpu1 / (2 * sums + r) }'
  fi
  # The resamples are a fixed cost (1000 statistics whatever the rows), so
  # the time per row of the whole run falls as the rows grow; the time per
  # row of the run without them shows how the rest grows.
  run_case "rows-alone-2-$rows" "$rows" 0 --threads 2
  per_row=$(awk -v t="$last_wall" -v r="$rows" 'BEGIN { printf "%.4f", 1e6 * t / r }')
  [[ -n "${first_per_row:-}" ]] || { first_per_row=$per_row; first_rows=$rows; }
  awk -v p="$per_row" -v f="$first_per_row" -v fr="$first_rows" 'BEGIN {
    printf "without resamples, 2 threads: %.3f ms per 1000 rows; %.2f times that of %d rows\n",
      p, p / f, fr }'
  echo

  [[ "$rows" == 1000000 && "$detail" != 0 ]] || continue
  printf "%-28s %8s %10s %10s\n" "configuration" "wall s" "cpu s" "peak MB"
  run_case reference-threads-1 "$rows" $resamples --reference-kernel --threads 1
  run_case reference-threads-2 "$rows" $resamples --reference-kernel --threads 2
  same_files "threads-1-$rows" reference-threads-1 reference-threads-2
  echo
  echo "bootstrap part: $resamples resamples less none ($rows rows):"
  declare -A boot
  for t in 1 2; do
    run_case "no-resamples-threads-$t" "$rows" 0 --threads $t
    none=$last_wall
    run_case "resamples-threads-$t" "$rows" $resamples --threads $t
    boot[$t]=$(awk -v a="$last_wall" -v b="$none" 'BEGIN { printf "%.2f", a - b }')
  done
  echo "bootstrap: ${boot[1]} s on 1 thread, ${boot[2]} s on 2 threads," \
    "speed-up $(awk -v a="${boot[1]}" -v b="${boot[2]}" 'BEGIN { printf "%.2f", a / b }')"
  echo
  # On one thread the processor time is the work done, whatever else the
  # machine is running; the scaling figures use it.
  echo "rows (no resamples, 1 thread): processor time per 1000 rows"
  for part in $((rows / 4)) $((rows / 2)) "$rows"; do
    run_case "rows-$part" "$part" 0 --threads 1
    awk -v t="$last_cpu" -v r="$part" 'BEGIN { printf "%28s %8.3f ms\n", "", 1e6 * t / r }'
  done
  echo
  echo "resamples ($rows rows, 1 thread): processor time per resample beyond none"
  run_case "resamples-0" "$rows" 0 --threads 1
  none=$last_cpu
  for b in 250 500 1000; do
    run_case "resamples-$b" "$rows" $b --threads 1
    awk -v t="$last_cpu" -v z="$none" -v b="$b" 'BEGIN { printf "%28s %8.3f ms\n", "", 1e3 * (t - z) / b }'
  done
  echo
done
