#' vok: moving-frame tests of serial and cross dependence
#'
#' Two series are cut into frames, each frame is prewhitened with a VAR fit,
#' and seven portmanteau tests (Cx, Cy, Cxy and the bicorrelation tests
#' Hxxx, Hyyy, Hxxy, Hyyx) give each frame a p-value per test, judged
#' against nominal or bootstrapped false-alarm thresholds.
#'
#' \code{\link{analyse}} analyses two series (numeric vectors, \code{ts},
#' \code{zoo} or \code{xts}); \code{\link{analyse_pairs}} every pair of a
#' panel's columns. The computation is the vok C++ library's, the same as the
#' console program's: the frames table equals the program's per-run table.
#'
#' @keywords internal
#' @useDynLib vok, .registration = TRUE
#' @importFrom Rcpp evalCpp
#' @importFrom stats na.fail na.omit
"_PACKAGE"
