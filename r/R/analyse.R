# analyse(): the arguments checked and converted, the analysis run by the
# library (src/vok_r.cpp), the result wrapped in a vok_result.

#' The seven tests
#'
#' The names of the seven tests, in the order of every per-test column of a
#' \code{vok_result}: the correlation tests Cx, Cy and Cxy, then the
#' bicorrelation tests Hxxx, Hyyy, Hxxy and Hyyx.
#'
#' @return A character vector of length 7.
#' @examples
#' vok_tests()
#' @export
vok_tests <- function() .vok_tests()

# A value as a message shows it: strings quoted, vectors by their first values.
.shown <- function(value) {
  if (is.null(value)) return("NULL")
  if (is.function(value)) return("a function")
  if (length(value) != 1L) {
    if (is.atomic(value) && length(value) <= 3L) return(paste(deparse(value), collapse = ""))
    return(sprintf("a %s of length %d", class(value)[1L], length(value)))
  }
  if (is.character(value)) return(dQuote(value, FALSE))
  format(value)
}

.refuse <- function(...) stop(paste0(...), call. = FALSE)

# A setting that must be one whole number (at least `minimum`).
.whole <- function(name, value, minimum = NULL) {
  if (!is.numeric(value) || length(value) != 1L || is.na(value) || value != round(value))
    .refuse(name, " = ", .shown(value), ": must be a whole number")
  if (!is.null(minimum) && value < minimum)
    .refuse(name, " = ", .shown(value), ": must be at least ", minimum)
  if (abs(value) > .Machine$integer.max)
    .refuse(name, " = ", .shown(value), ": is out of range")
  as.integer(value)
}

.real <- function(name, value) {
  if (!is.numeric(value) || length(value) != 1L || is.na(value))
    .refuse(name, " = ", .shown(value), ": must be a number")
  as.double(value)
}

# The seed as a decimal string of a 64-bit unsigned number: a whole number
# (exact up to 2^53) or a string of digits.
.seed <- function(seed) {
  if (is.null(seed)) return("0")
  bad <- function() .refuse("seed = ", .shown(seed), ": must be a whole number from 0 to 2^64 - 1")
  if (length(seed) != 1L || is.na(seed)) bad()
  if (is.character(seed)) {
    if (!grepl("^[0-9]{1,20}$", seed)) bad()
    digits <- sub("^0+(?=.)", "", seed, perl = TRUE)
    if (nchar(digits) == 20L && digits > "18446744073709551615") bad()
    return(digits)
  }
  if (!is.numeric(seed) || seed != round(seed) || seed < 0) bad()
  if (seed > 2^53) .refuse("seed = ", .shown(seed), ": above 2^53 give it as a string of digits")
  format(seed, scientific = FALSE, trim = TRUE)
}

.threads <- function(threads) {
  if (is.null(threads)) return(0L)
  .whole("threads", threads, minimum = 1)
}

# The missing-value policy: "raise", "drop" or "split", from `missing` when
# given, else from na.action (na.fail: "raise", na.omit: "drop").
.missing_policy <- function(na.action, missing_values) {
  na <- NULL
  if (is.character(na.action) && length(na.action) == 1L &&
      na.action %in% c("na.fail", "na.omit"))
    na <- sub("na.", "", na.action, fixed = TRUE)
  else if (identical(na.action, stats::na.fail)) na <- "fail"
  else if (identical(na.action, stats::na.omit)) na <- "omit"
  if (is.null(na)) .refuse("na.action = ", .shown(na.action), ": must be na.fail or na.omit")
  if (is.null(missing_values)) return(if (na == "omit") "drop" else "raise")
  if (!is.character(missing_values) || length(missing_values) != 1L || is.na(missing_values) ||
      !(missing_values %in% c("raise", "drop", "split")))
    .refuse("missing = ", .shown(missing_values), ": must be \"raise\", \"drop\" or \"split\"")
  if (na == "omit" && missing_values == "raise")
    .refuse("na.action = na.omit and missing = \"raise\" disagree: give one of them")
  missing_values
}

# One series as the analysis takes it: its values (double) and its time
# index (NULL for a plain vector).
.series <- function(name, v) {
  index <- NULL
  if (inherits(v, "zoo")) {
    if (NCOL(v) != 1L)
      .refuse(name, " must be one series; it is a ", class(v)[1L], " of ", NCOL(v), " columns")
    index <- zoo::index(v)
    v <- zoo::coredata(v)
  } else if (stats::is.ts(v)) {
    if (NCOL(v) != 1L)
      .refuse(name, " must be one series; it is a ts of ", NCOL(v), " columns")
    index <- as.numeric(stats::time(v))
  } else if (is.data.frame(v) || (is.matrix(v) && NCOL(v) != 1L)) {
    .refuse(name, " must be one series (a numeric vector, ts, zoo or xts); it is a ",
            class(v)[1L], " of ", NCOL(v), " columns")
  }
  if (!is.numeric(v) && !is.logical(v))
    .refuse(name, " must hold numbers; it is a ", class(v)[1L], " vector")
  if (is.logical(v) && !all(is.na(v))) v <- as.numeric(v)
  list(values = as.double(v), index = index)
}

# The label of a series given as `expression`: the name of its one column
# (a column of an xts, zoo or matrix keeps it), else the expression when it
# is short and on one line, else `fallback` (a value given as itself, as
# do.call gives it, has no expression worth showing).
.series_label <- function(expression, value, fallback) {
  column <- if (length(dim(value)) == 2L && NCOL(value) == 1L) colnames(value) else NULL
  if (length(column) == 1L && !is.na(column) && nzchar(column)) return(column)
  if (!is.symbol(expression) && !is.call(expression)) return(fallback)
  text <- deparse(expression, width.cutoff = 500L)
  if (length(text) != 1L || nchar(text) > 40L) return(fallback)
  text
}

# A label of a time index as a message shows it.
.label <- function(index, i) format(index[i])

# The index of x and y: two indexed series must share theirs.
.shared_index <- function(x, y) {
  if (is.null(x$index)) return(y$index)
  if (is.null(y$index)) return(x$index)
  a <- x$index
  b <- y$index
  if (length(a) != length(b))
    .refuse("x and y must share their index: x has ", length(a), " rows and y ", length(b))
  if (!identical(class(a), class(b)) || !isTRUE(all(a == b))) {
    differ <- if (identical(class(a), class(b))) which(a != b | is.na(a) != is.na(b)) else 1L
    at <- if (length(differ)) differ[1L] else 1L
    .refuse("x and y must share their index: row ", at, " is ", .label(a, at), " in x and ",
            .label(b, at), " in y")
  }
  a
}

# The library's refusal said in R: its reason (no C++ name), and the value it
# refused (the library's series and 0-based index) named by its row of the
# series before NA rows were dropped, counted from 1 (and by its time label).
.said_in_r <- function(refusal, rows, index) {
  message <- refusal$error
  if (is.null(refusal$index) || is.na(refusal$index)) return(message)
  position <- as.integer(refusal$index) + 1L
  row <- rows[position]
  label <- if (is.null(index)) "" else paste0(" (", .label(index, row), ")")
  sub(paste0(refusal$series, "[", position - 1L, "]"),
      paste0(refusal$series, "[", row, "]", label), message, fixed = TRUE)
}

# The settings as the library takes them, each checked and converted (a
# missing or ill-typed one refused, naming it; the library checks bounds).
.checked_settings <- function(frame_length, exponent = 0.4, false_alarm = 0.05, overlap = 0,
                              var_lag = 0, resamples = 0,
                              transform = c("none", "clip", "log"), threads = NULL, seed = 0,
                              bootstrap = c("data", "frames"), trend = c("c", "n")) {
  if (missing(frame_length)) .refuse("frame_length is missing: give the observations per frame")
  # The names of the choices are the library's.
  choices <- .vok_setting_names()
  one_of <- function(names) {
    quoted <- dQuote(names, FALSE)
    paste(paste(quoted[-length(quoted)], collapse = ", "), "or", quoted[length(quoted)])
  }
  if (!is.character(transform) || length(transform) < 1L || anyNA(transform) ||
      !(transform[1L] %in% choices$transform))
    .refuse("transform = ", .shown(transform), ": must be ", one_of(choices$transform))
  if (!is.character(bootstrap) || length(bootstrap) < 1L || anyNA(bootstrap) ||
      !(bootstrap[1L] %in% choices$bootstrap))
    .refuse("bootstrap = ", .shown(bootstrap), ": must be ", one_of(choices$bootstrap))
  if (!is.character(trend) || length(trend) < 1L || anyNA(trend) ||
      !(trend[1L] %in% c("c", "n")))
    .refuse("trend = ", .shown(trend), ": must be \"c\" or \"n\"")
  list(frame_length = .whole("frame_length", frame_length),
       exponent = .real("exponent", exponent),
       false_alarm = .real("false_alarm", false_alarm),
       overlap = .whole("overlap", overlap),
       var_lag = .whole("var_lag", var_lag),
       resamples = .whole("resamples", resamples),
       transform = transform[1L],
       threads = .threads(threads),
       seed = .seed(seed),
       bootstrap = bootstrap[1L],
       trend = trend[1L])
}

#' Moving-frame tests of serial and cross dependence
#'
#' Cuts \code{x} and \code{y} into frames, prewhitens each frame with a VAR
#' fit and computes seven portmanteau tests per frame (the correlation tests
#' Cx, Cy, Cxy and the bicorrelation tests Hxxx, Hyyy, Hxxy, Hyyx), each
#' judged against its false-alarm threshold: the nominal level, or
#' bootstrapped from \code{resamples} resamples.
#'
#' The values are analysed as 32-bit floats, as the console program reads a
#' data file's. The analysis runs on every core (\code{threads = NULL}); its
#' results do not depend on the thread count. A user interrupt (Ctrl-C, or
#' Esc in a GUI) stops it between two frames or two resamples.
#'
#' @param x,y The two series, of equal length: numeric vectors, \code{ts},
#'   \code{zoo} or \code{xts} series. A time index gives each frame its
#'   \code{start} and \code{end}; two indexed series must share their index.
#' @param frame_length Observations per frame (at least 12).
#' @param exponent Lags per frame = \code{frame_length ^ exponent}
#'   (0.01 < exponent <= 0.5).
#' @param false_alarm The false-alarm level of the tests: the p-value
#'   threshold with \code{resamples = 0}, else the level of the bootstrapped
#'   thresholds.
#' @param overlap 0 for frames end to end, else a new frame every
#'   \code{overlap} rows.
#' @param var_lag Order of the VAR prewhitening fit in each frame (0: none).
#' @param resamples Bootstrap resamples for the thresholds (0: the nominal
#'   level); \code{1 / resamples} must not exceed \code{false_alarm}.
#' @param transform \code{"none"}, \code{"clip"} (the VAR residuals clipped
#'   to +1/-1) or \code{"log"} (natural logarithms of x and y, which must be
#'   positive).
#' @param threads Threads to use (\code{NULL}: every core).
#' @param seed Seed of the bootstrap's random stream: a whole number, or a
#'   string of digits up to 2^64 - 1. 0 gives the console program's stream.
#' @param bootstrap What each resample goes through: \code{"data"} (the
#'   console program's default) draws frame-length pairs from the raw x and
#'   y and tests them; \code{"frames"} puts each pair through what a frame
#'   goes through (the VAR fit of order \code{var_lag}, clipping with
#'   \code{transform = "clip"}, then the tests), so that the thresholds
#'   calibrate the frames' own statistics.
#' @param trend The VAR fit's deterministic term (with \code{var_lag >= 1}):
#'   \code{"c"} (the default) fits a constant with the coefficients, so that
#'   a series' level does not reach the tests; \code{"n"} fits none, as the
#'   console program does by default, and reproduces its results.
#' @param stamps Optional stamps, one per observation (character, Date,
#'   POSIXct or numeric), in place of the series' time index.
#' @param na.action \code{na.fail} (the default) refuses an \code{NA} and
#'   names its position; \code{na.omit} drops the rows where x or y is
#'   \code{NA} (as \code{missing = "drop"}).
#' @param missing The missing-value policy, by the names the Python package
#'   uses (\code{NULL}: from \code{na.action}): \code{"raise"} refuses an
#'   \code{NA}; \code{"drop"} leaves out the rows where x or y is \code{NA}
#'   and cuts the rows kept into frames as one series, so that a frame may
#'   span rows left out (a panel whose series start at different times);
#'   \code{"split"} leaves them out and no frame spans them: the frames
#'   restart after each gap, each run of rows between \code{NA}s cut into
#'   frames of its own (rows at a run's end that fill no frame are not
#'   tested). With either, \code{first_row} and \code{last_row} (and
#'   \code{start}, \code{end}) are those of x and y as given, the frames'
#'   \code{rows_dropped} counts the rows left out inside each, \code{rows}
#'   counts the rows kept, and the statistics and bootstrapped thresholds
#'   are taken over the rows kept, the same under both policies.
#' @return An object of class \code{vok_result}, a list of
#'   \item{frames}{a data frame, one row per frame: \code{frame},
#'     \code{first_row}, \code{last_row} (1-based rows of x and y as
#'     given), \code{start} and \code{end} (with a time index or stamps),
#'     \code{rows_dropped} (rows left out inside the frame by the
#'     missing-value policy), \code{degenerate} (a test series without spread: no test can be
#'     computed), then per test T of \code{vok_tests()}: \code{statistic_T},
#'     \code{df_T} (chi-square degrees of freedom), \code{cdf_T} (the
#'     chi-square CDF value in 32 bits, as the console program's reports),
#'     \code{pvalue_T} (the chi-square survival function of the statistic in
#'     64 bits; \code{NaN} where the test cannot be computed),
#'     \code{qvalue_T} (the Benjamini-Hochberg q-value of pvalue_T over the
#'     run's frames: \code{p.adjust(pvalue_T, "BH")}) and
#'     \code{significant_T} (the console program's judgement: 1 - cdf_T in
#'     32 bits strictly below the threshold); then \code{variance_pvalue_x}
#'     and \code{variance_pvalue_y}, the McLeod-Li p-values of changing
#'     variance in the series the tests see.}
#'   \item{thresholds}{the p-value threshold of each test (named vector).}
#'   \item{counts}{a data frame by test: significant frames and their percent.}
#'   \item{xy}{the cross-correlations of the prewhitened x and y, a matrix of
#'     frames by lags (-lags .. lags).}
#'   \item{statistics}{descriptive statistics of x and y over the rows whole
#'     frames cover.}
#'   \item{settings}{the settings of the analysis (with \code{lags}).}
#'   \item{rows, lags, bootstrapped}{observations analysed, lags per frame,
#'     whether the thresholds were bootstrapped.}
#'   \item{diagnostics}{messages raised while analysing (frame, kind, text): the
#'     kind's name, such as "stat_no_variance", and a readable line.}
#'   \item{names}{the labels of x and y: the column name of a one-column
#'     \code{xts}, \code{zoo} or matrix, else the expression given when
#'     short, else "x" and "y".}
#'   \item{variance}{the check for changing variance, by series (x, y):
#'     frames with a McLeod-Li p-value, significant ones, their share, the
#'     binomial p-value of so many at the false-alarm level, and
#'     \code{strong} (the bicorrelation tests will fire on the changing
#'     variance unless the series are clipped).}
#'   \item{cautions}{what the frames say about reading the counts, one row
#'     per caution: \code{kind} ("level", "changing_variance",
#'     "autocorrelation", "lag0_correlation", "clip_data_bootstrap",
#'     "constant_frames"), \code{series} ("x", "y" or "" for the pair),
#'     \code{frames} and \code{count} (the frames judged and those that show
#'     it), \code{figure} (the share, the mean lag-0 correlation or the mean
#'     residual level in residual standard deviations), \code{binomial_p},
#'     \code{advice} (the setting that tells the causes apart) and
#'     \code{message}. \code{analyse} raises each as a warning of class
#'     \code{vok_KIND_warning}, a subclass of \code{vok_calibration_warning};
#'     a series whose rounding to 32-bit floats costs more than 1e-4 of its
#'     spread raises a \code{vok_precision_warning}.}
#' @seealso \code{\link{analyse_pairs}}, \code{\link{plot.vok_result}},
#'   \code{\link{summary.vok_result}}, \code{\link{as.data.frame.vok_result}}
#' @examples
#' data <- read.fwf(system.file("extdata", "example.dat", package = "vok"),
#'                  widths = c(12, 12), skip = 2, col.names = c("x", "y"))
#' result <- analyse(data$x, data$y, frame_length = 200, var_lag = 1)
#' result
#' head(result$frames[, c("frame", "first_row", "last_row", "pvalue_Hxxy", "significant_Hxxy")])
#' result$thresholds
#'
#' # A monthly ts: each frame's start and end are times of the series.
#' x <- ts(data$x, start = c(1900, 1), frequency = 12)
#' y <- ts(data$y, start = c(1900, 1), frequency = 12)
#' head(analyse(x, y, frame_length = 240, threads = 1)$frames[, 1:5])
#' @export
analyse <- function(x, y, frame_length, exponent = 0.4, false_alarm = 0.05, overlap = 0,
                    var_lag = 0, resamples = 0, transform = c("none", "clip", "log"),
                    threads = NULL, seed = 0, stamps = NULL, bootstrap = c("data", "frames"),
                    trend = c("c", "n"), na.action = na.fail, missing = NULL) {
  names <- c(x = .series_label(substitute(x), x, "x"), y = .series_label(substitute(y), y, "y"))
  settings <- .checked_settings(frame_length, exponent, false_alarm, overlap, var_lag,
                                resamples, transform, threads, seed, bootstrap, trend)
  policy <- .missing_policy(na.action, missing)
  xs <- .series("x", x)
  ys <- .series("y", y)
  index <- if (is.null(stamps)) .shared_index(xs, ys) else stamps
  if (!is.null(stamps) && length(stamps) != length(xs$values))
    .refuse("stamps: ", length(stamps), " stamps for ", length(xs$values), " rows of x and y")
  .analyse(xs$values, ys$values, settings, index, policy, names)
}

# The analysis of two numeric vectors with their index (NULL, character
# stamps for the library, or times kept in R) once the arguments are checked.
# `policy`: "raise" refuses an NA; "drop" and "split" hand the library the
# rows as they are, NA as NaN, for it to leave out.
.analyse <- function(x, y, settings, index, policy, names, quiet = FALSE) {
  if (policy == "raise" && length(x) == length(y)) {
    missing_x <- is.na(x)
    missing_y <- is.na(y)
    if (any(missing_x) || any(missing_y)) {
      first <- which(missing_x | missing_y)[1L]
      which_series <- if (missing_x[first]) "x" else "y"
      label <- if (is.null(index)) "" else paste0(" (", .label(index, first), ")")
      .refuse(which_series, "[", first, "]", label,
              " is NA: give values at every row, or na.action = na.omit (missing = ",
              "\"drop\") or missing = \"split\" to leave out the rows with NA")
    }
  }
  if (!quiet) {
    .precision_warning("x", x)
    .precision_warning("y", y)
  }
  rows <- seq_along(x)
  stamp_strings <- if (is.character(index)) index else NULL
  a <- .vok_analyse(x, y, settings$frame_length, settings$exponent, settings$false_alarm,
                    settings$overlap, settings$var_lag, settings$resamples, settings$transform,
                    settings$threads, settings$seed, stamp_strings, settings$bootstrap,
                    settings$trend, policy)
  if (!is.null(a$error)) .refuse(.said_in_r(a, rows, index))
  shown <- settings
  shown$exponent <- a$exponent
  shown$false_alarm <- a$false_alarm
  # The seed as a number where a double holds it exactly.
  if (nchar(settings$seed) <= 15L) shown$seed <- as.numeric(settings$seed)
  shown["threads"] <- list(if (settings$threads == 0L) NULL else settings$threads)
  shown$missing <- policy
  result <- .result(a, shown, times = if (is.character(index)) NULL else index, names = names)
  if (!quiet) .raise_cautions(result$cautions)
  result
}

# The share of a series' spread that its rounding to 32-bit floats may cost
# before the warning: a level far from zero (1e8 + x) costs all of it.
.precision_lost <- 1e-4

# Warns (vok_precision_warning) when the rounding of `values` to 32-bit
# floats, as the analysis reads them, costs more than .precision_lost of
# their standard deviation.
.precision_warning <- function(name, values) {
  values <- values[is.finite(values)]
  if (length(values) < 2L) return(invisible())
  spread <- sqrt(mean((values - mean(values))^2))
  lost <- sqrt(mean((values - .float32(values))^2))
  if (is.finite(spread) && is.finite(lost) && spread > 0 && lost > .precision_lost * spread)
    warning(structure(
      class = c("vok_precision_warning", "warning", "condition"),
      list(message = sprintf(paste0(
        "%s: its rounding to 32-bit floats costs %.2g of its standard deviation (values near ",
        "%.6g, spread %.3g); subtract its mean before the analysis"),
        name, lost / spread, mean(values), spread), call = NULL)))
  invisible()
}
