#!/usr/bin/env Rscript
# Seconds per call of the R package's analyse_pairs on a panel of daily
# returns, by way of computing the pairs:
#
#   R_LIBS=LIB Rscript bench/r_pairs_bench.R [series] [rows] [frame_length] [resamples] [rounds]
#
# (LIB: where `R CMD INSTALL -l LIB r/` put the package; defaults 8 series of
# 1000 rows, frames of 250 rows, no resamples, 5 rounds). The ways:
#
# - cores = 1 (the default): the pairs one after another, each analysis on
#   every core;
# - cores = 2: two forked processes, each given half of the pairs, one
#   thread each;
# - fork per pair: mclapply forking once per pair, one thread each;
# - future multisession: parallel = "future" on plan(multisession, workers = 2)
#   (workers started and warmed up before the rounds);
# - future sequential: parallel = "future" on plan(sequential), timed after
#   the others' rounds (a change of plan stops the multisession workers).
#
# The ways take turns, round by round, each keeping its shortest time, so
# that a load that comes and goes meets them alike; every way must give the
# tables of cores = 1 (the script stops otherwise). The load average is
# printed before and after: the figures mean little on a busy machine.
suppressMessages(library(vok))
args <- as.numeric(commandArgs(trailingOnly = TRUE))
option <- function(k, default) if (length(args) >= k) args[k] else default
series <- option(1, 8)
rows <- option(2, 1000)
frame_length <- option(3, 250)
resamples <- option(4, 0)
rounds <- option(5, 5)

set.seed(7)
panel <- as.data.frame(matrix(rnorm(series * rows, sd = 0.01), rows, series,
                              dimnames = list(NULL, paste0("s", seq_len(series)))))
settings <- list(frame_length = frame_length, var_lag = 1, resamples = resamples)
pairs_of <- function(...) do.call(analyse_pairs, c(list(panel), settings, list(...)))

fork_per_pair <- function() {
  ij <- utils::combn(series, 2L)
  parallel::mclapply(seq_len(ncol(ij)), function(k)
    do.call(analyse, c(list(panel[[ij[1L, k]]], panel[[ij[2L, k]]]), settings, threads = 1)),
    mc.cores = 2L, mc.preschedule = FALSE)
}

ways <- list(
  "cores = 1" = function() pairs_of(cores = 1),
  "cores = 2" = function() pairs_of(cores = 2),
  "fork per pair" = fork_per_pair)
have_future <- requireNamespace("future.apply", quietly = TRUE)
if (have_future)
  ways[["future multisession 2"]] <- function() pairs_of(parallel = "future")

load <- function() paste(readLines("/proc/loadavg", warn = FALSE), collapse = " ")
cat(sprintf("%d series (%d pairs) of %d rows, frame length %d, VAR(1), %d resamples, %d cores\n",
            series, choose(series, 2), rows, frame_length, resamples, parallel::detectCores()))
cat("load average before:", load(), "\n")
reference <- pairs_of(cores = 1)
if (have_future) {
  # The workers started once, as a session that uses them for many calls has them.
  future::plan(future::multisession, workers = 2)
  invisible(pairs_of(parallel = "future"))
}
best <- setNames(rep(Inf, length(ways)), names(ways))
timed <- function(name, way) {
  started <- proc.time()[["elapsed"]]
  value <- way()
  best[[name]] <<- min(best[[name]], proc.time()[["elapsed"]] - started, na.rm = TRUE)
  if (inherits(value, "vok_pairs") && (!identical(value$frames, reference$frames) ||
                                       !identical(value$thresholds, reference$thresholds)))
    stop(name, ": the tables differ from those of cores = 1")
}
for (round in seq_len(rounds))
  for (name in names(ways)) timed(name, ways[[name]])
if (have_future) {
  future::plan(future::sequential)
  best[["future sequential"]] <- Inf
  for (round in seq_len(rounds)) timed("future sequential", function() pairs_of(parallel = "future"))
}
cat("load average after: ", load(), "\n")
for (name in names(best))
  cat(sprintf("%-24s %8.3f s   %5.2f x cores = 1\n", name, best[[name]],
              best[[name]] / best[["cores = 1"]]))
