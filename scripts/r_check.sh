#!/usr/bin/env bash
# Builds the R package's source tarball from r/ (with a fresh copy of the
# library's sources) in WORK_DIR and checks it with `R CMD check --no-manual`.
# Prints the check's status lines; exits 1 on an ERROR or a WARNING.
# VOK_PROGRAM, when set, lets the package's tests compare the frames with
# the console program's table. The package the check installed lands in
# WORK_DIR/vok.Rcheck (R_LIBS=WORK_DIR/vok.Rcheck to use it).
#
#   scripts/r_check.sh build/r-check
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:?usage: r_check.sh WORK_DIR}
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
# A copy of r/ without what an earlier install left there, its library
# sources copied from this repository.
mkdir "$work/vok"
(cd "$root/r" && tar cf - --exclude=./src/vok --exclude=./inst/extdata --exclude='*.o' \
   --exclude='*.so' --exclude=./check .) | (cd "$work/vok" && tar xf -)
(cd "$work/vok" && VOK_SOURCE_DIR="$root" ./configure)
cd "$work"
export MAKEFLAGS="${MAKEFLAGS:--j2}"
R CMD build --no-manual vok > build.log 2>&1 || { cat build.log; exit 1; }
tarball=$(ls vok_*.tar.gz)
status=0
_R_CHECK_FORCE_SUGGESTS_=true R CMD check --no-manual "$tarball" > check.log 2>&1 || status=$?
grep -E '\.\.\. (NOTE|WARNING|ERROR)|^Status:' check.log || true
if [ "$status" -ne 0 ] || grep -qE '^Status:.*(ERROR|WARNING)' check.log ||
   ! grep -q '^Status:' check.log; then
  cat check.log
  for log in vok.Rcheck/00install.out vok.Rcheck/tests/testthat.Rout.fail; do
    [ -f "$log" ] && { echo "== $log"; tail -60 "$log"; }
  done
  exit 1
fi
