# The vok_result object: its tables built from the library's vectors, and
# its print, summary and as.data.frame methods.

# A vok_result from the list .vok_analyse returns. `times`: the time index of
# the rows analysed, kept in R (start and end are taken from it at each
# frame's first and last row); without it, the library's stamps when given.
.result <- function(a, settings, times = NULL, names = c(x = NA, y = NA)) {
  tests <- vok_tests()
  n <- length(a$number)
  frames <- data.frame(frame = a$number, first_row = a$first_row, last_row = a$last_row)
  if (!is.null(times)) {
    frames$start <- times[a$first_row]
    frames$end <- times[a$last_row]
  } else if (n && any(nzchar(a$first_stamp))) {
    frames$start <- a$first_stamp
    frames$end <- a$last_stamp
  }
  frames$degenerate <- a$degenerate
  for (test in tests) {
    frames[[paste0("statistic_", test)]] <- a$statistic[, test]
    frames[[paste0("df_", test)]] <- a$df[, test]
    frames[[paste0("cdf_", test)]] <- a$cdf[, test]
    frames[[paste0("pvalue_", test)]] <- a$pvalue[, test]
    frames[[paste0("qvalue_", test)]] <- a$qvalue[, test]
    frames[[paste0("significant_", test)]] <- a$significant[, test]
  }
  frames$variance_pvalue_x <- a$variance_pvalue_x
  frames$variance_pvalue_y <- a$variance_pvalue_y
  counts <- data.frame(test = tests, significant = unname(a$counts),
                       percent = unname(a$percent), row.names = tests)
  xy <- a$cross_correlations
  dimnames(xy) <- list(frame = as.character(a$number), lag = as.character(-a$lags:a$lags))
  statistics <- data.frame(x = a$x_stats, y = a$y_stats)
  settings$lags <- a$lags
  checks <- list(x = a$x_variance, y = a$y_variance)
  variance <- data.frame(
    frames = vapply(checks, function(c) as.integer(c$frames), 0L),
    significant = vapply(checks, function(c) as.integer(c$significant), 0L),
    share = vapply(checks, function(c) if (c$frames > 0) c$significant / c$frames else NaN, 0),
    binomial_p = vapply(checks, function(c) c$binomial_p, 0),
    strong = vapply(checks, function(c) c$strong, TRUE),
    row.names = c("x", "y"))
  structure(list(frames = frames, thresholds = a$thresholds, counts = counts, xy = xy,
                 statistics = statistics, settings = settings, rows = a$rows, lags = a$lags,
                 bootstrapped = a$bootstrapped, diagnostics = a$diagnostics, names = names,
                 variance = variance,
                 cautions = as.data.frame(a$cautions, stringsAsFactors = FALSE)),
            class = "vok_result")
}

# Raises each caution of a result as a condition of its own class, a
# subclass of vok_calibration_warning (prefix: what names the pair).
.raise_cautions <- function(cautions, prefix = "") {
  for (k in seq_len(nrow(cautions)))
    warning(structure(
      class = c(paste0("vok_", cautions$kind[k], "_warning"), "vok_calibration_warning",
                "warning", "condition"),
      list(message = paste0(prefix, cautions$message[k]), call = NULL, kind = cautions$kind[k])))
}

.plural <- function(n, word) paste0(n, " ", word, if (n != 1) "s" else "")

#' Print a vok_result
#'
#' Shows the frames, lags and thresholds of an analysis and the significant
#' frames of each test.
#'
#' @param x A \code{vok_result} from \code{\link{analyse}}.
#' @param ... Ignored.
#' @return \code{x}, invisibly.
#' @examples
#' set.seed(1)
#' print(analyse(rnorm(600), rnorm(600), frame_length = 200, threads = 1))
#' @export
print.vok_result <- function(x, ...) {
  s <- x$settings
  how <- if (x$bootstrapped) "bootstrapped" else "nominal"
  cat(sprintf("vok_result: %s of %d rows from %d observations, %s, VAR(%d), %s thresholds\n",
              .plural(nrow(x$frames), "frame"), s$frame_length, x$rows, .plural(x$lags, "lag"),
              s$var_lag, how))
  cat(sprintf("x = %s, y = %s\n", x$names[["x"]], x$names[["y"]]))
  cat(sprintf("%-6s%11s%13s%9s\n", "test", "threshold", "significant", "percent"))
  for (test in vok_tests())
    cat(sprintf("%-6s%11.4f%13d%8.1f%%\n", test, x$thresholds[[test]],
                x$counts[test, "significant"], x$counts[test, "percent"]))
  invisible(x)
}

# P(X >= k) for X binomial with n draws of probability p.
.binomial_upper_tail <- function(k, n, p) {
  if (k <= 0) return(1)
  stats::pbinom(k - 1, n, p, lower.tail = FALSE)
}

#' Summarise a vok_result
#'
#' The analysis at a glance: its settings, then per test the threshold, the
#' significant frames and their share, and the binomial p-value of so many
#' significant frames if every frame were a draw at the false-alarm level
#' (independent frames, no dependence).
#'
#' @param object A \code{vok_result} from \code{\link{analyse}}.
#' @param x A \code{summary.vok_result}.
#' @param ... Ignored.
#' @return An object of class \code{summary.vok_result}: \code{header} (the
#'   lines on the settings) and \code{table}, a data frame by test with
#'   \code{threshold}, \code{significant}, \code{frames}, \code{share},
#'   \code{binomial_p} and \code{discoveries} (frames whose q-value lies
#'   below the false-alarm level), \code{variance} (the result's) and
#'   \code{warnings} (the texts of the result's cautions).
#' @examples
#' set.seed(1)
#' summary(analyse(rnorm(600), rnorm(600), frame_length = 200, threads = 1))
#' @export
summary.vok_result <- function(object, ...) {
  s <- object$settings
  n <- nrow(object$frames)
  alpha <- s$false_alarm
  tests <- vok_tests()
  significant <- object$counts[tests, "significant"]
  table <- data.frame(
    test = tests, threshold = unname(object$thresholds[tests]), significant = significant,
    frames = rep(n, length(tests)), share = if (n) significant / n else NaN,
    binomial_p = vapply(significant, .binomial_upper_tail, 0, n = n, p = alpha),
    discoveries = vapply(tests, function(test) {
      q <- object$frames[[paste0("qvalue_", test)]]
      sum(!is.na(q) & q < alpha)
    }, 0L),
    row.names = tests)
  how <- if (object$bootstrapped)
    paste("bootstrapped from", s$resamples, "resamples of the", s$bootstrap) else "nominal"
  header <- c(
    sprintf("vok analysis of x = %s, y = %s", object$names[["x"]], object$names[["y"]]),
    sprintf("observations: %d   frames: %d of %d rows (overlap %d)   lags: %d", object$rows, n,
            s$frame_length, s$overlap, object$lags),
    sprintf("VAR order: %d   transform: %s   false alarm: %s   thresholds: %s", s$var_lag,
            s$transform, format(signif(alpha, 6)), how))
  structure(list(header = header, table = table, variance = object$variance,
                 warnings = object$cautions$message),
            class = "summary.vok_result")
}

#' @rdname summary.vok_result
#' @export
print.summary.vok_result <- function(x, ...) {
  cat(x$header, sep = "\n")
  cat(sprintf("%-6s%11s%13s%9s%12s%11s\n", "test", "threshold", "significant", "share",
              "binomial p", "q < alpha"))
  t <- x$table
  for (i in seq_len(nrow(t)))
    cat(sprintf("%-6s%11.4f%13d%8.1f%%%12.3g%11d\n", t$test[i], t$threshold[i], t$significant[i],
                100 * t$share[i], t$binomial_p[i], t$discoveries[i]))
  cat("binomial p: the chance of at least so many significant frames if each were",
      "significant with the false-alarm probability alone\n")
  cat("q < alpha: frames whose Benjamini-Hochberg q-value lies below the false-alarm level",
      "(discoveries at that false discovery rate)\n")
  v <- x$variance
  for (series in rownames(v))
    if (v[series, "frames"] > 0)
      cat(sprintf("changing variance in %s: McLeod-Li significant in %d of %d frames (%.1f%%, binomial p %.3g)\n",
                  series, v[series, "significant"], v[series, "frames"],
                  100 * v[series, "share"], v[series, "binomial_p"]))
  for (text in x$warnings) cat("warning: ", text, "\n", sep = "")
  invisible(x)
}

#' The frames of a vok_result as a tidy long table
#'
#' One row per frame and test, frames in order and the tests in the order of
#' \code{vok_tests()} within a frame.
#'
#' @param x A \code{vok_result} from \code{\link{analyse}}.
#' @param row.names,optional Ignored (for the generic).
#' @param ... Ignored.
#' @return A data frame with columns \code{frame}, \code{start} and
#'   \code{end} (with stamps), \code{test} (a factor), \code{statistic},
#'   \code{df}, \code{pvalue} (64 bits), \code{threshold} and
#'   \code{significant} (the console program's judgement).
#' @examples
#' set.seed(1)
#' result <- analyse(rnorm(600), rnorm(600), frame_length = 200, threads = 1)
#' head(as.data.frame(result), 8)
#' @export
as.data.frame.vok_result <- function(x, row.names = NULL, optional = FALSE, ...) {
  .tidy(x$frames, x$thresholds)
}

# The long table of a frames table; `thresholds` one per test, or a function
# of the test giving one per row of `frames`; `keys` the columns leading it.
.tidy <- function(frames, thresholds, keys = "frame") {
  tests <- vok_tests()
  keys <- c(keys, intersect(c("start", "end"), names(frames)))
  n <- nrow(frames)
  parts <- lapply(tests, function(test) {
    part <- frames[keys]
    part$test <- rep(test, n)
    part$statistic <- frames[[paste0("statistic_", test)]]
    part$df <- frames[[paste0("df_", test)]]
    part$pvalue <- frames[[paste0("pvalue_", test)]]
    part$threshold <- if (is.function(thresholds)) thresholds(test) else
      rep(unname(thresholds[[test]]), n)
    part$significant <- frames[[paste0("significant_", test)]]
    part
  })
  table <- do.call(rbind, parts)
  table$test <- factor(table$test, levels = tests)
  # Row k of frames, test t: row (t - 1) n + k of the stacked parts.
  order <- as.vector(t(matrix(seq_len(n * length(tests)), nrow = n)))
  table <- table[order, , drop = FALSE]
  rownames(table) <- NULL
  table
}
