# The files of a one-run benchmark case, for the benchmark scripts to source.
#
# Its control files:
#
#   write_control_files <dir> <data file> <exponent> <frame length> <VAR lag> \
#                       <resamples> <end datum>
#
# makes <dir> afresh with the data file linked in as bench.dat, a Runvok.cnl
# of one run (false alarm 0.05, frames end to end) and its bench.cnl
# (columns 1 and 2, graphing on, rows 1 to <end datum>, 0 for the last).
write_control_files() {
  local dir=$1 data=$2 exponent=$3 frame_length=$4 var=$5 b=$6 end=$7
  rm -rf "$dir"
  mkdir -p "$dir"
  ln -s "$data" "$dir/bench.dat"
  cat >"$dir/Runvok.cnl" <<CNL
Number of runs=1          * one run
exponent=$exponent              * lags = frame length ** exponent
false alarm=0.05          * false alarm threshold
frame length=$frame_length         * rows per frame
overlap=0                 * frames end to end
VAR lag=$var                 * VAR prewhitening in every frame
resamples=$b #          * bootstrap resamples
bench.cnl *
CNL
  cat >"$dir/bench.cnl" <<CNL
column-x=1                * x-data column
column-y=2                * y-data column
graphing=yes              * frames, graph and xy graph files
unit=seconds              * time unit label
data file name=bench.dat *
start datum=1             * first row
end datum=$end           * last row
#
CNL
}

# Its output files, closing stamps masked: masked_outputs <dir>
masked_outputs() {
  local f
  for f in "$1"/*.out "$1"/*.graph; do
    echo "== $(basename "$f")"
    grep -v -e '^ Date & Time ' -e '^ Elapsed time = ' "$f"
  done
}
