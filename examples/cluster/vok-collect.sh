#!/usr/bin/env bash
# vok-collect.sh LIST: the exit statuses of the runs of a list of run
# directories, as vok-array.sh (under Slurm or GNU parallel) recorded them.
#
# Prints every directory whose status is not 0, with its meaning, then one
# count per status; writes LIST.redo, the directories to look at or run again
# (status not 0, or no status: the task never ran or was killed), one per
# line, in list order. Exit status 0 when every directory completed (status
# 0), 1 otherwise, 64 on a wrong command line.
set -u
if [ $# -ne 1 ]; then
  echo "usage: vok-collect.sh LIST" >&2
  exit 64
fi
list=$1
[ -r "$list" ] || { echo "vok-collect.sh: cannot read $list" >&2; exit 64; }
status_dir=$list.status

meaning() {
  case $1 in
    0) echo "completed" ;;
    1) echo "stopped by a fatal error (see Vok-error.out)" ;;
    2) echo "a run ended early (see its report)" ;;
    64) echo "command line refused" ;;
    none) echo "no status: the task never ran or was killed" ;;
    *) echo "ended by signal or unknown status" ;;
  esac
}

declare -A count=()
: >"$list.redo"
n=0
while IFS= read -r dir || [ -n "$dir" ]; do
  n=$((n + 1))
  status=none
  if [ -r "$status_dir/$n" ]; then
    read -r status _ <"$status_dir/$n"
  fi
  count[$status]=$((${count[$status]:-0} + 1))
  if [ "$status" != 0 ]; then
    printf '%s\t%s\t%s\n' "$status" "$dir" "$(meaning "$status")"
    printf '%s\n' "$dir" >>"$list.redo"
  fi
done <"$list"

echo "$n directories, by exit status:"
for status in $(printf '%s\n' "${!count[@]}" | grep -vx none | sort -n) ${count[none]:+none}; do
  printf '%8d  %-4s  %s\n' "${count[$status]}" "$status" "$(meaning "$status")"
done
[ "${count[0]:-0}" -eq "$n" ]
