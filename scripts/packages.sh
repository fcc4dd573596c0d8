# The Debian packages vok needs, one line per purpose. Scripts source this file
# and call `need_packages PURPOSE...`: what is missing is installed (as root:
# apt-get update, then apt-get install -y --no-install-recommends), or the
# exact apt-get line is printed and the script stops (exit 1). `packages_for PURPOSE...` prints the
# list. A new purpose is one more line here.
declare -gA VOK_PACKAGES=(
  [build]="g++ cmake make"                         # vok and vok-plot
  [plot]="gnuplot-nox"                             # vok-plot draws with gnuplot
  [tests]="libgtest-dev zlib1g-dev gnuplot-nox chromium"  # the test suite; zlib decodes the plot tests' pictures, chromium loads the run's page
  [bench]="libbenchmark-dev"                       # bench/
  [python]="pybind11-dev python3-dev python3-numpy python3-pandas python3-matplotlib python3-pytest"  # the Python package and its tests
  [r]="r-base-core r-cran-rcpp r-cran-testthat r-cran-zoo r-cran-xts"  # the R package (r/) and its check
  [cluster]="parallel python3-distributed python3-tqdm"  # vok.analyse_pairs on Dask, the cluster scripts and their tests
  [pip]="python3-venv python3-pip python3-setuptools python3-wheel python3-pybind11"  # pip install . and pip wheel (pyproject.toml)
  [validation]="python3-statsmodels python3-scipy python3-matplotlib"  # validation/run.sh: the peers, the bounds, the figures
  [fuzz]="clang libclang-rt-14-dev"                # libFuzzer (fuzz/fuzz.sh)
  [package]="dpkg-dev file lintian"                # cpack's Debian package and its check
  [fresh]="mmdebstrap"                             # scripts/fresh_machine_check.sh
)

# The packages of the purposes named, each once, in order.
packages_for() {
  local purpose pkg
  local -A seen=()
  for purpose in "$@"; do
    if [ -z "${VOK_PACKAGES[$purpose]+set}" ]; then
      echo "packages.sh: no purpose '$purpose' (known: ${!VOK_PACKAGES[*]})" >&2
      return 2
    fi
    for pkg in ${VOK_PACKAGES[$purpose]}; do
      [ -n "${seen[$pkg]+set}" ] && continue
      seen[$pkg]=1
      echo "$pkg"
    done
  done
}

# Installs the packages of the purposes named that are not installed yet.
need_packages() {
  local pkg list missing=()
  list=$(packages_for "$@") || return
  for pkg in $list; do
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null)" = installed ] ||
      missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages; install them as root with:" >&2
    echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing Debian packages: ${missing[*]}"
  # apt's and dpkg's messages are shown only when the installation fails.
  local log
  log=$(mktemp)
  if ! { apt-get update -q && DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -q --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "Installing ${missing[*]} failed" >&2
    exit 1
  fi
  rm -f "$log"
}
