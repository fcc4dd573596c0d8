#!/usr/bin/env bash
# One task of a job array over a list of run directories: runs vok in the
# directory on line OFFSET + SLURM_ARRAY_TASK_ID of LIST and records its exit
# status.
#
#   sbatch --array=1-$(wc -l < dirs.txt)%100 vok-array.sh dirs.txt
#   vok-collect.sh dirs.txt     # when the job is done: statuses, what to run again
#
# LIST holds one run directory (a folder holding Runvok.cnl) per line; a
# relative name is taken from the folder of LIST. OFFSET (default 0) lets a
# list longer than the cluster's MaxArraySize go in several submissions:
# `sbatch --array=1-1000 vok-array.sh dirs.txt 1000` runs lines 1001-2000.
#
# vok writes its outputs in the run directory. The status of line N goes to
# LIST.status/N as "<status> <directory>" (removed when the task starts and
# written whole when it ends, so a task killed midway leaves none), vok's
# console to LIST.status/N.log. The task ends with vok's exit status, which
# sacct shows as well. vok-parallel.sh runs the same script under GNU parallel.
# Slurm's own output file is /dev/null, as vok's console is kept per line;
# point --output at a file to see what stops the script before vok starts.
#
# Environment: VOK, the program (default: vok on PATH); VOK_THREADS, threads
# per run (default: SLURM_CPUS_PER_TASK, else 1).
#SBATCH --job-name=vok
#SBATCH --cpus-per-task=1
#SBATCH --time=01:00:00
#SBATCH --output=/dev/null
set -u
if [ $# -lt 1 ] || [ $# -gt 2 ] || [ -z "${SLURM_ARRAY_TASK_ID:-}" ]; then
  echo "usage: sbatch --array=1-N vok-array.sh LIST [OFFSET]" >&2
  exit 64
fi
list=$1
line=$((${2:-0} + SLURM_ARRAY_TASK_ID))
vok=${VOK:-vok}
threads=${VOK_THREADS:-${SLURM_CPUS_PER_TASK:-1}}

cd "$(dirname "$list")" || exit 1
list=$(basename "$list")
lines=$(awk 'END { print NR }' "$list") || exit 1
if [ "$line" -lt 1 ] || [ "$line" -gt "$lines" ]; then
  echo "vok-array.sh: $list has no line $line (it has $lines)" >&2
  exit 64
fi
dir=$(sed -n "${line}p" "$list")

status_dir=$list.status
mkdir -p "$status_dir" || exit 1
rm -f "$status_dir/$line"
"$vok" -C "$dir" --threads "$threads" >"$status_dir/$line.log" 2>&1
status=$?
printf '%s %s\n' "$status" "$dir" >"$status_dir/$line.part" &&
  mv "$status_dir/$line.part" "$status_dir/$line"
exit "$status"
