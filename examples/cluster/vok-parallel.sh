#!/usr/bin/env bash
# vok-parallel.sh LIST [PARALLEL OPTIONS...]: runs vok in every directory of
# LIST with GNU parallel, each line as one task of vok-array.sh (so outputs,
# statuses and vok-collect.sh are as under Slurm), then collects the statuses.
#
#   vok-parallel.sh dirs.txt                        # every core of this machine
#   vok-parallel.sh dirs.txt -j 8                   # 8 runs at a time
#   vok-parallel.sh dirs.txt --sshloginfile nodes   # several machines
#
# For several machines, the list, the run directories, vok and these scripts
# must be at the same paths on every machine (a shared file system); nodes
# holds one ssh login per line, "8/node17" to run 8 at a time there. Options
# after LIST go to parallel. The job log LIST.joblog lets an interrupted
# execution go on where it stopped: add --resume (or --resume-failed).
#
# Environment: as vok-array.sh (VOK, VOK_THREADS).
set -u
if [ $# -lt 1 ]; then
  echo "usage: vok-parallel.sh LIST [PARALLEL OPTIONS...]" >&2
  exit 64
fi
if ! command -v parallel >/dev/null; then
  echo "vok-parallel.sh: GNU parallel is missing; install it as root with:" >&2
  echo "  apt-get install parallel" >&2
  exit 1
fi
here=$(cd "$(dirname "$0")" && pwd)
list=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
lines=$(awk 'END { print NR }' "$list") || exit 1
# VOK and VOK_THREADS reach the tasks (on other machines too) through --env.
export VOK=${VOK:-vok} VOK_THREADS=${VOK_THREADS:-1}
task="SLURM_ARRAY_TASK_ID={} $(printf %q "$here/vok-array.sh") $(printf %q "$list")"
seq 1 "$lines" | parallel --will-cite --joblog "$list.joblog" --env VOK --env VOK_THREADS "$@" "$task"
"$here/vok-collect.sh" "$list"
