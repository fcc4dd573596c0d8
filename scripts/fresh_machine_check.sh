#!/usr/bin/env bash
# Shows that the README's two Quick-start commands do all the set-up on a fresh
# Debian machine: builds a minimal Debian bookworm root file system (mmdebstrap,
# from deb.debian.org) holding only git beyond the base system, clones this
# repository's HEAD into it, and runs ./scripts/example.sh, then
# ./scripts/test.sh there (chroot, /proc and /dev/pts mounted). Prints each
# command's time and result; exits 1 when one fails. Nothing is kept between runs: the root
# file system is built anew and removed afterwards. Needs root.
#
#   scripts/fresh_machine_check.sh [MIRROR]    (default http://deb.debian.org)
set -euo pipefail
# The whole script is read before it runs (main is called on the last line),
# so that a checkout changing this file during a run cannot disturb it.
main() {
  cd "$(dirname "$0")/.."
  repo=$PWD
  mirror=${1:-http://deb.debian.org}
  if [ "$(id -u)" -ne 0 ]; then
    echo "fresh_machine_check.sh builds a root file system and chroots into it: run it as root" >&2
    exit 1
  fi
  . scripts/packages.sh
  need_packages fresh

  start=$(date +%s)
  head=$(git rev-parse HEAD)
  if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "note: uncommitted changes are not part of the check (it clones HEAD)"
  fi
  root=$(mktemp -d /var/tmp/vok-fresh.XXXXXX)
  cleanup() {
    local fs
    for fs in "$root/dev/pts" "$root/proc"; do
      if mountpoint -q "$fs"; then umount "$fs" || umount -l "$fs"; fi
    done
    rm -rf --one-file-system "$root"
  }
  trap cleanup EXIT

  step() { echo "== $*"; }

  step "root file system: Debian bookworm, minbase and git ($root)"
  mmdebstrap --quiet --variant=minbase --include=git bookworm "$root" \
    "deb $mirror/debian bookworm main" \
    "deb $mirror/debian bookworm-updates main" \
    "deb $mirror/debian-security bookworm-security main"

  step "clean clone of ${head:0:12} into /root/vok"
  git clone --quiet --no-hardlinks "file://$repo" "$root/root/vok"
  git -C "$root/root/vok" checkout --quiet --detach "$head"

  # /proc, and pseudo-terminals as a booted machine has them (a private
  # instance, so nothing of this machine's terminals shows inside).
  mount -t proc proc "$root/proc"
  mkdir -p "$root/dev/pts"
  mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts"
  ln -sf pts/ptmx "$root/dev/ptmx"
  failed=0
  result=()
  for command in ./scripts/example.sh ./scripts/test.sh; do
    step "$command"
    t0=$(date +%s)
    status=0
    chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
      LANG=C.UTF-8 CI="${CI:-}" /bin/bash -c "cd /root/vok && $command" </dev/null || status=$?
    t1=$(date +%s)
    result+=("$command: exit status $status in $((t1 - t0)) s")
    [ "$status" -eq 0 ] || failed=1
  done

  echo
  echo "Fresh machine check (Debian bookworm minbase + git, clean clone):"
  for line in "${result[@]}"; do echo "  $line"; done
  echo "  whole check: $(($(date +%s) - start)) s"
  exit $failed
}

main "$@"
