#!/usr/bin/env bash
# Soak test: one execution of many runs over the same control files (the
# shipped example's runA.cnl and runB.cnl, alternating; runA writes plot
# files, runB clips). Memory and open files must stay flat and time must grow
# linearly with the number of runs. Then valgrind's memcheck on the example.
#
#   bench/soak.sh [RUNS]        default 500; needs /usr/bin/time (package time)
#                               and, for the last step, valgrind
#
# Prints, for executions of RUNS/5, RUNS/2 and RUNS runs: wall time, processor
# time and peak RSS; for the RUNS execution: RSS and open descriptors sampled
# over its life, and the processor time of each fifth of its runs (from the
# closing stamps on the console).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-500}
build=${VOK_BUILD:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target vok >/dev/null
vok=$root/$build/vok

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/runA.cnl examples/runB.cnl examples/example.dat "$work"/

# "Runvok.cnl" of the example with N name lines, runA and runB alternating.
top_file() {
  local n=$1
  sed -n '1,/#/p' examples/Runvok.cnl | sed "s/^Number of runs=[0-9]*/Number of runs=$n/"
  for ((i = 1; i <= n; i++)); do
    if ((i % 2)); then echo "runA.cnl *"; else echo "runB.cnl *"; fi
  done
}

# Runs vok in $work and samples its RSS (kB) and open descriptors every 50 ms
# into samples.txt; /usr/bin/time writes wall, user, system and peak RSS.
execute() {
  local n=$1
  top_file "$n" >"$work/Runvok.cnl"
  (
    cd "$work"
    /usr/bin/time -f "%e %U %S %M" -o time.txt "$vok" --threads 1 >console.txt 2>stderr.txt &
    local timer=$!
    : >samples.txt
    while kill -0 "$timer" 2>/dev/null; do
      local pid
      pid=$(pgrep -P "$timer" -x vok || true)
      if [ -n "$pid" ] && [ -r "/proc/$pid/status" ]; then
        local rss fds
        rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
        fds=$(ls "/proc/$pid/fd" 2>/dev/null | wc -l || true)
        [ -n "$rss" ] && echo "$rss $fds" >>samples.txt
      fi
      sleep 0.05
    done
    wait "$timer"
  )
}

echo "== soak: executions of the example's two runs, alternating, --threads 1"
printf "%8s %10s %10s %12s %12s\n" runs "wall s" "cpu s" "peak RSS kB" "s per run"
for n in $((runs / 5)) $((runs / 2)) "$runs"; do
  execute "$n"
  read -r wall user sys peak <"$work/time.txt"
  cpu=$(echo "$user + $sys" | bc -l)
  printf "%8d %10.2f %10.2f %12d %12.5f\n" "$n" "$wall" "$cpu" "$peak" "$(echo "$cpu / $n" | bc -l)"
  if [ "$(grep -c . "$work/Vok-error.out" || true)" != 0 ]; then
    echo "!! Vok-error.out is not empty"
    exit 1
  fi
done

echo "== the $runs-run execution over its life"
awk '{ n++; r[n] = $1; f[n] = $2 }
     END {
       if (n == 0) { print "no samples"; exit }
       for (q = 1; q <= 5; q++) {
         i = int((n - 1) * (q - 1) / 4) + 1
         printf "  at %3d%% of its samples: RSS %6d kB, %d open descriptors\n", (q - 1) * 25, r[i], f[i]
       }
       printf "  %d samples\n", n
     }' "$work/samples.txt"

# Closing stamps on the console: processor time since the start, after each
# report (runA also stamps its graph file: three stamps per pair of runs).
awk -v runs="$runs" '
  /Elapsed time/ {
    v = $4; if ($5 == "minutes") v *= 60; if ($5 == "hours") v *= 3600
    t[++n] = v
  }
  END {
    if (n != runs / 2 * 3) { printf "!! %d closing stamps, expected %d\n", n, runs / 2 * 3; exit 1 }
    fifth = runs / 5; prev = 0
    for (k = 1; k <= 5; k++) {
      last = k * fifth; stamps = int(last / 2) * 3 + (last % 2) * 2
      printf "  runs %4d-%4d: %6.2f s of processor time\n", last - fifth + 1, last, t[stamps] - prev
      prev = t[stamps]
    }
  }' "$work/console.txt"

if command -v valgrind >/dev/null; then
  echo "== valgrind memcheck on the example (threads 1 and 2)"
  for threads in 1 2; do
    cp examples/Runvok.cnl "$work"/
    (cd "$work" && valgrind --leak-check=full --show-leak-kinds=definite,indirect,possible \
      --errors-for-leak-kinds=definite,indirect,possible \
      --error-exitcode=99 "$vok" --threads "$threads" >/dev/null 2>valgrind.txt) || {
      echo "!! memcheck found errors:"
      cat "$work/valgrind.txt"
      exit 1
    }
    grep -E "ERROR SUMMARY|in use at exit|total heap usage|definitely lost|still reachable" "$work/valgrind.txt" | sed 's/^==[0-9]*== /  /'
  done
else
  echo "(valgrind not installed: memcheck skipped)"
fi
