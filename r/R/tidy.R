# One test of one frame as an htest, and the tidy() and glance() methods of
# the generics package (the ones broom users call), registered when that
# package is loaded (NAMESPACE: S3method(generics::tidy, ...)).

#' One test of one frame as an htest
#'
#' The portmanteau test \code{test} of frame \code{frame} as the
#' \code{"htest"} object R's own tests return: it prints as they print, and
#' \code{broom::tidy()} reads it.
#'
#' @param x A \code{vok_result} from \code{\link{analyse}}.
#' @param test One of \code{vok_tests()}.
#' @param frame The frame's number (the \code{frame} column of
#'   \code{x$frames}).
#' @return An object of class \code{"htest"}: \code{statistic} (the
#'   chi-square statistic), \code{parameter} (its degrees of freedom),
#'   \code{p.value} (the 64-bit p-value, \code{NaN} where the frame's test
#'   cannot be computed), \code{method} (the test, with its lags, VAR order
#'   and threshold), \code{data.name} (the series and the frame's rows, and
#'   its start and end when the series had a time index).
#' @examples
#' data <- read.fwf(system.file("extdata", "example.dat", package = "vok"),
#'                  widths = c(12, 12), skip = 2, col.names = c("x", "y"))
#' result <- analyse(data$x, data$y, frame_length = 200, var_lag = 1, threads = 1)
#' as_htest(result, "Hxxy", frame = 3)
#' @export
as_htest <- function(x, test, frame) {
  if (!inherits(x, "vok_result"))
    .refuse("x must be a vok_result (from analyse); it is a ", class(x)[1L])
  if (!is.character(test) || length(test) != 1L || !(test %in% vok_tests()))
    .refuse("test = ", .shown(test), ": must be one of ", paste(vok_tests(), collapse = ", "))
  frame <- .whole("frame", frame)
  row <- match(frame, x$frames$frame)
  if (is.na(row))
    .refuse("frame = ", frame, ": no such frame (the frames run from 1 to ", nrow(x$frames), ")")
  f <- x$frames[row, , drop = FALSE]
  kind <- if (startsWith(test, "C")) "correlation" else "bicorrelation"
  var <- if (x$settings$var_lag > 0) sprintf(", VAR(%d) prewhitened", x$settings$var_lag) else ""
  threshold <- unname(x$thresholds[[test]])
  how <- if (x$bootstrapped) "bootstrapped threshold" else "nominal threshold"
  when <- if (is.null(f$start)) "" else paste0(", ", format(f$start), " to ", format(f$end))
  structure(list(
    statistic = c("X-squared" = f[[paste0("statistic_", test)]]),
    parameter = c(df = f[[paste0("df_", test)]]),
    p.value = f[[paste0("pvalue_", test)]],
    method = sprintf("%s portmanteau %s test, %s%s (%s %s: %s)", test, kind,
                     .plural(x$lags, "lag"), var, how, format(signif(threshold, 4)),
                     if (f[[paste0("significant_", test)]]) "significant" else "not significant"),
    data.name = sprintf("%s and %s, frame %d (rows %d to %d%s)", x$names[["x"]],
                        x$names[["y"]], frame, f$first_row, f$last_row, when)),
    class = "htest")
}

#' Tidy and glance at a vok_result or a vok_pairs
#'
#' Methods of the \code{generics} package's \code{tidy()} and
#' \code{glance()} (the functions broom users call), available once that
#' package is loaded (\code{library(broom)} loads it).
#'
#' @param x A \code{vok_result} from \code{\link{analyse}}, or a
#'   \code{vok_pairs} from \code{\link{analyse_pairs}}.
#' @param ... Ignored.
#' @return \code{tidy}: one row per frame and test (of each pair for a
#'   \code{vok_pairs}, with \code{x} and \code{y} first): \code{frame},
#'   \code{start} and \code{end} (with a time index), \code{test},
#'   \code{statistic}, \code{df}, \code{p.value}, \code{q.value} (the
#'   Benjamini-Hochberg q-value over the frames), \code{threshold} and
#'   \code{significant}. \code{glance}: one row: observations
#'   (\code{rows}), \code{frames}, \code{frame_length}, \code{lags},
#'   \code{var_lag}, \code{resamples}, \code{false_alarm},
#'   \code{bootstrapped}, then per test T \code{significant_T} (frames) and
#'   \code{binomial_p_T} (the binomial p-value of \code{summary}); for a
#'   \code{vok_pairs} one row per pair, with \code{x} and \code{y} first.
#' @name tidy.vok_result
#' @examples
#' if (requireNamespace("generics", quietly = TRUE)) {
#'   data <- read.fwf(system.file("extdata", "example.dat", package = "vok"),
#'                    widths = c(12, 12), skip = 2, col.names = c("x", "y"))
#'   result <- analyse(data$x, data$y, frame_length = 200, var_lag = 1, threads = 1)
#'   head(generics::tidy(result))
#'   generics::glance(result)
#' }
NULL

#' @rdname tidy.vok_result
#' @usage \method{tidy}{vok_result}(x, ...)
#' @exportS3Method generics::tidy
tidy.vok_result <- function(x, ...) .broom_table(x$frames, as.data.frame(x))

#' @rdname tidy.vok_result
#' @usage \method{tidy}{vok_pairs}(x, ...)
#' @exportS3Method generics::tidy
tidy.vok_pairs <- function(x, ...) .broom_table(x$frames, as.data.frame(x))

# The long table of a frames table with broom's column names and q-values.
.broom_table <- function(frames, long) {
  names(long)[names(long) == "pvalue"] <- "p.value"
  q <- as.vector(t(as.matrix(frames[paste0("qvalue_", vok_tests())])))
  at <- match("p.value", names(long))
  cbind(long[seq_len(at)], q.value = q, long[-seq_len(at)])
}

#' @rdname tidy.vok_result
#' @usage \method{glance}{vok_result}(x, ...)
#' @exportS3Method generics::glance
glance.vok_result <- function(x, ...) {
  s <- summary(x)$table
  settings <- x$settings
  row <- data.frame(rows = x$rows, frames = nrow(x$frames), frame_length = settings$frame_length,
                    lags = x$lags, var_lag = settings$var_lag, resamples = settings$resamples,
                    false_alarm = settings$false_alarm, bootstrapped = x$bootstrapped)
  for (test in vok_tests()) row[[paste0("significant_", test)]] <- s[test, "significant"]
  for (test in vok_tests()) row[[paste0("binomial_p_", test)]] <- s[test, "binomial_p"]
  row
}

#' @rdname tidy.vok_result
#' @usage \method{glance}{vok_pairs}(x, ...)
#' @exportS3Method generics::glance
glance.vok_pairs <- function(x, ...) {
  s <- summary(x)
  if (is.null(s)) return(data.frame(x = x$pairs$x[0], y = x$pairs$y[0]))
  key <- paste(s$x, s$y, sep = "\r")
  keys <- unique(key)
  first <- match(keys, key)
  settings <- x$settings
  row <- data.frame(x = s$x[first], y = s$y[first], frames = s$frames[first],
                    frame_length = settings$frame_length, lags = settings$lags,
                    var_lag = settings$var_lag, resamples = settings$resamples,
                    false_alarm = settings$false_alarm)
  for (column in c("significant", "binomial_p"))
    for (test in vok_tests())
      row[[paste0(column, "_", test)]] <- s[[column]][s$test == test][match(keys, key[s$test == test])]
  row
}
