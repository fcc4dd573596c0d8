#!/usr/bin/env bash
# Cheap checks of the sources' form, run by CI before the tests:
# - the C++ files laid out as .clang-format says, all but those
#   scripts/format_pending.txt lists (files laid out before the check; the
#   list only shrinks: a listed file that is laid out now must leave it);
# - the Python package's types (mypy, with the extension module's types in
#   python/vok/_vok.pyi);
# - the R package's manual pages and NAMESPACE as roxygen writes them from
#   r/R/*.R (regenerated in a copy and compared).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
need_packages lint

pending=scripts/format_pending.txt
status=0
while IFS= read -r file; do
  if grep -qxF "$file" "$pending"; then
    if clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
      echo "lint: $file is laid out now: take it off $pending" >&2
      status=1
    fi
    continue
  fi
  clang-format --dry-run -Werror "$file" || status=1
done < <(git ls-files '*.cpp' '*.h' | grep -v '^r/src/RcppExports.cpp$')
while IFS= read -r file; do
  [ -f "$file" ] || { echo "lint: $pending lists $file, which is gone" >&2; status=1; }
done <"$pending"

(cd python && mypy --ignore-missing-imports --no-error-summary --cache-dir=/dev/null vok) ||
  status=1

copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
cp -r r "$copy/vok"
Rscript -e 'roxygen2::roxygenise(commandArgs(TRUE)[1], roclets = c("rd", "namespace"),
                                 load_code = roxygen2::load_source)' "$copy/vok" >/dev/null 2>&1 ||
  { echo "lint: roxygen failed on r/" >&2; status=1; }
if ! diff -r r/man "$copy/vok/man" || ! diff r/NAMESPACE "$copy/vok/NAMESPACE"; then
  echo "lint: r/man or r/NAMESPACE differ from what roxygen writes: regenerate them" >&2
  status=1
fi
exit "$status"
