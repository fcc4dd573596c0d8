# analyse_pairs(): every pair of a panel's columns on this machine's cores
# (parallel::mclapply) or a future plan's workers, gathered into long tables.

# The columns of `data` as numeric vectors, with their labels and the time
# index they share (NULL without one).
.columns <- function(data) {
  index <- NULL
  if (inherits(data, "zoo")) {
    index <- zoo::index(data)
    data <- zoo::coredata(data)
  } else if (stats::is.ts(data)) {
    index <- as.numeric(stats::time(data))
    data <- unclass(data)
    attr(data, "tsp") <- NULL
  }
  if (is.data.frame(data)) {
    labels <- names(data)
    values <- as.list(data)
  } else if (is.matrix(data)) {
    labels <- colnames(data)
    values <- lapply(seq_len(ncol(data)), function(j) data[, j])
  } else {
    .refuse("data must be a data.frame, matrix, zoo or xts of series by column; it is a ",
            class(data)[1L])
  }
  if (is.null(labels)) labels <- seq_along(values)
  for (j in seq_along(values)) {
    if (!is.numeric(values[[j]]))
      .refuse("column ", .shown(labels[j]), " must hold numbers; it is a ",
              class(values[[j]])[1L], " vector")
    values[[j]] <- as.double(values[[j]])
  }
  list(labels = labels, values = values, index = index)
}

# The pairs as a data frame of labels (x, y) and positions (i, j).
.resolve_pairs <- function(pairs, labels) {
  if (is.null(pairs)) {
    if (length(labels) < 2L) .refuse("data must have at least 2 columns; it has ", length(labels))
    ij <- utils::combn(length(labels), 2L)
    return(data.frame(x = labels[ij[1L, ]], y = labels[ij[2L, ]], i = ij[1L, ], j = ij[2L, ]))
  }
  if (is.matrix(pairs) || is.data.frame(pairs)) {
    if (NCOL(pairs) != 2L)
      .refuse("pairs must have 2 columns (x, y); it has ", NCOL(pairs))
    pairs <- lapply(seq_len(NROW(pairs)), function(k) unlist(pairs[k, ], use.names = FALSE))
  }
  if (!is.list(pairs)) .refuse("pairs must be NULL, a 2-column matrix or data.frame, or a list of pairs")
  find <- function(item, k) {
    if (is.numeric(item)) {
      if (item != round(item) || item < 1 || item > length(labels))
        .refuse("pairs[[", k, "]]: no column ", item, " (positions run from 1 to ",
                length(labels), ")")
      return(as.integer(item))
    }
    found <- which(as.character(labels) == item)
    if (!length(found)) .refuse("pairs[[", k, "]]: no column ", .shown(item))
    if (length(found) > 1L) .refuse("pairs[[", k, "]]: the column name ", .shown(item),
                                    " is not unique")
    found
  }
  rows <- lapply(seq_along(pairs), function(k) {
    pair <- pairs[[k]]
    if (length(pair) != 2L || anyNA(pair))
      .refuse("pairs[[", k, "]] = ", .shown(pair), ": a pair is c(x, y)")
    i <- find(pair[[1L]], k)
    j <- find(pair[[2L]], k)
    data.frame(x = labels[i], y = labels[j], i = i, j = j)
  })
  do.call(rbind, rows)
}

#' Analyse every pair of a panel's series
#'
#' Tests pairs of the columns of \code{data} with the settings of
#' \code{\link{analyse}}, in \code{cores} processes of this machine or on
#' the workers of the user's \code{future::plan()}. The results are those of
#' \code{analyse} on the pair, whichever way they were computed.
#'
#' @param data The series by column: a data.frame, matrix, multi-column
#'   \code{ts}, \code{zoo} or \code{xts} (whose time index gives the frames'
#'   start and end).
#' @param pairs The pairs to analyse: \code{NULL} for every pair of columns
#'   i < j in column order, or a 2-column matrix or data.frame (one pair per
#'   row), or a list of \code{c(x, y)}; columns are named by their names or
#'   their 1-based positions.
#' @param ... The settings of \code{\link{analyse}}: \code{frame_length},
#'   \code{exponent}, \code{false_alarm}, \code{overlap}, \code{var_lag},
#'   \code{resamples}, \code{transform}, \code{threads}, \code{seed},
#'   \code{bootstrap}, \code{trend} (\code{"c"} unless given, as there).
#' @param na.action \code{na.fail} refuses an \code{NA}; \code{na.omit} drops,
#'   pair by pair, the rows where either series is \code{NA} (a panel whose
#'   series start at different times).
#' @param missing The missing-value policy of \code{\link{analyse}}, pair by
#'   pair: \code{"raise"}, \code{"drop"} (as \code{na.omit}) or
#'   \code{"split"} (no frame spans a row left out: the frames restart after
#'   each gap); \code{NULL} takes it from \code{na.action}.
#' @param errors \code{"stop"}: the first pair that fails (in pair order)
#'   stops the call with an error naming it; \code{"collect"}: the failed
#'   pairs go to \code{$errors} and the others are kept.
#' @param cores With \code{parallel = "cores"}: the processes to analyse the
#'   pairs in. 1 (the default) analyses them one after another in this
#'   process, each analysis on every processor core (its frames and
#'   resamples shared out over threads), which is the faster way unless each
#'   pair takes seconds; more are forked by \code{parallel::mclapply}, each
#'   given an equal share of the pairs and, with \code{threads} not given,
#'   its share of the processor cores.
#' @param parallel \code{"cores"} (this machine, see \code{cores}) or
#'   \code{"future"}: the pairs are shared out over the workers of the
#'   \code{future::plan()} in force (\code{multisession}, \code{cluster},
#'   a batch scheduler's) by \code{future.apply::future_lapply}, one chunk
#'   of pairs per worker; the workers need the vok package installed. With
#'   \code{threads} not given, each analysis uses the cores
#'   \code{future::availableCores()} gives its worker.
#' @param x,object A \code{vok_pairs}.
#' @param row.names,optional Ignored (for the generic).
#' @return An object of class \code{vok_pairs}, a list of
#'   \item{frames}{one row per frame of each pair: \code{x}, \code{y} (the
#'     pair's column names or positions), then the columns of
#'     \code{analyse(...)$frames}.}
#'   \item{thresholds}{one row per pair: \code{x}, \code{y}, then the
#'     threshold of each test.}
#'   \item{pairs}{the pairs (\code{x}, \code{y}) in order.}
#'   \item{settings}{the settings every pair was analysed with.}
#'   \item{errors}{the pairs that failed (\code{x}, \code{y}, \code{message})
#'     with \code{errors = "collect"}.}
#'   \item{cautions}{the cautions of every pair: \code{x}, \code{y}, then the
#'     columns of \code{analyse(...)$cautions}; each is raised as its
#'     \code{vok_calibration_warning} naming its pair, the same with
#'     \code{cores} above 1 (whose processes' warnings would be lost).}
#'   \code{summary} gives per pair and test the significant frames, the
#'   frames, their share and the binomial p-value (as
#'   \code{\link{summary.vok_result}}); \code{as.data.frame} the long table
#'   of \code{\link{as.data.frame.vok_result}} with the pair's \code{x} and
#'   \code{y} first.
#' @examples
#' set.seed(1)
#' panel <- data.frame(a = rnorm(600), b = rnorm(600), c = rnorm(600))
#' pairs <- analyse_pairs(panel, frame_length = 200, cores = 1, threads = 1)
#' pairs
#' pairs$thresholds
#' head(as.data.frame(pairs))
#' summary(pairs)[1:7, ]
#' analyse_pairs(panel, pairs = list(c("a", "c")), frame_length = 200, cores = 1)$pairs
#' if (requireNamespace("future.apply", quietly = TRUE)) {
#'   # On the workers of a plan: here this session, as future's default.
#'   analyse_pairs(panel, frame_length = 200, parallel = "future", threads = 1)$thresholds
#' }
#' @export
analyse_pairs <- function(data, pairs = NULL, ..., na.action = na.fail, missing = NULL,
                          errors = c("stop", "collect"), cores = 1L,
                          parallel = c("cores", "future")) {
  settings <- list(...)
  known <- setdiff(names(formals(analyse)), c("x", "y", "stamps", "na.action", "missing"))
  unknown <- setdiff(names(settings), known)
  if (length(settings) && (is.null(names(settings)) || any(!nzchar(names(settings)))))
    .refuse("the settings must be named (frame_length = ..., ...)")
  if (length(unknown))
    .refuse(unknown[1L], " is not a setting of analyse (", paste(known, collapse = ", "), ")")
  if (!is.character(errors) || !(errors[1L] %in% c("stop", "collect")))
    .refuse("errors = ", .shown(errors), ": must be \"stop\" or \"collect\"")
  errors <- errors[1L]
  if (!is.character(parallel) || length(parallel) < 1L || !(parallel[1L] %in% c("cores", "future")))
    .refuse("parallel = ", .shown(parallel), ": must be \"cores\" or \"future\"")
  parallel <- parallel[1L]
  if (parallel == "future" && !requireNamespace("future.apply", quietly = TRUE))
    .refuse("parallel = \"future\" needs the future.apply package (Debian: r-cran-future.apply)")
  cores <- .whole("cores", cores, minimum = 1)
  policy <- .missing_policy(na.action, missing)
  panel <- .columns(data)
  chosen <- .resolve_pairs(pairs, panel$labels)
  worker_threads <- is.null(settings$threads) && parallel == "future"
  if (is.null(settings$threads) && parallel == "cores" && cores > 1L)
    settings$threads <- max(1L, parallel::detectCores() %/% cores)
  # The settings checked once, as analyse checks them, with a first pair.
  checked <- do.call(.checked_settings, settings)
  shown <- checked
  shown$exponent <- .float32(checked$exponent)
  shown$false_alarm <- .float32(checked$false_alarm)
  shown$missing <- policy
  tasks <- seq_len(nrow(chosen))
  results <- if (parallel == "future") {
    future.apply::future_lapply(tasks, .pair_task, panel = panel, chosen = chosen,
                                settings = checked, na = policy, worker_threads = worker_threads,
                                future.packages = "vok", future.seed = NULL)
  } else if (cores > 1L && length(tasks) > 1L) {
    # One fork per core, each given every cores-th pair: a fork per pair
    # would cost more than most pairs' analyses.
    parallel::mclapply(tasks, .pair_task, panel = panel, chosen = chosen, settings = checked,
                       na = policy, mc.cores = min(cores, length(tasks)), mc.preschedule = TRUE)
  } else {
    lapply(tasks, .pair_task, panel = panel, chosen = chosen, settings = checked, na = policy)
  }
  failed <- vapply(results, function(r) !inherits(r, "vok_result"), TRUE)
  messages <- vapply(seq_along(results), function(k) {
    if (!failed[k]) return("")
    r <- results[[k]]
    # mclapply gives a try-error for a process that failed outright.
    paste0("pair (x = ", chosen$x[k], ", y = ", chosen$y[k], "): ",
           if (is.character(r)) r[1L] else paste(format(r), collapse = " "))
  }, "")
  if (any(failed) && errors == "stop") .refuse(messages[which(failed)[1L]])
  good <- which(!failed)
  frames <- do.call(rbind, lapply(good, function(k) {
    f <- results[[k]]$frames
    cbind(data.frame(x = rep(chosen$x[k], nrow(f)), y = rep(chosen$y[k], nrow(f))), f)
  }))
  if (is.null(frames)) frames <- data.frame(x = chosen$x[0], y = chosen$y[0], frame = integer())
  thresholds <- do.call(rbind, lapply(good, function(k) {
    cbind(data.frame(x = chosen$x[k], y = chosen$y[k]),
          as.data.frame(as.list(results[[k]]$thresholds)))
  }))
  # The settings as the library used them (from a pair's result).
  if (length(good)) shown <- results[[good[1L]]]$settings
  if (worker_threads) shown["threads"] <- list(NULL)
  # The cautions of every pair, gathered here (a forked worker's warnings
  # would be lost), each raised naming its pair.
  cautions <- do.call(rbind, lapply(good, function(k) {
    ck <- results[[k]]$cautions
    cbind(data.frame(x = rep(chosen$x[k], nrow(ck)), y = rep(chosen$y[k], nrow(ck))), ck)
  }))
  if (is.null(cautions) || !nrow(cautions))
    cautions <- data.frame(x = chosen$x[0], y = chosen$y[0], kind = character(),
                           series = character(), frames = integer(), count = integer(),
                           figure = numeric(), binomial_p = numeric(), advice = character(),
                           message = character())
  for (k in seq_len(nrow(cautions)))
    .raise_cautions(cautions[k, , drop = FALSE],
                    prefix = paste0("pair (x = ", cautions$x[k], ", y = ", cautions$y[k], "): "))
  # The precision warning once for each series of the pairs, by its label.
  used <- unique(c(chosen$i, chosen$j))
  labels <- c(chosen$x, chosen$y)[match(used, c(chosen$i, chosen$j))]
  for (k in seq_along(used))
    .precision_warning(as.character(labels[k]), panel$values[[used[k]]])
  structure(list(frames = frames, thresholds = thresholds,
                 pairs = chosen[c("x", "y")], settings = shown, cautions = cautions,
                 errors = data.frame(x = chosen$x[failed], y = chosen$y[failed],
                                     message = messages[failed])),
            class = "vok_pairs")
}

# Pair k of `chosen` analysed: its vok_result, or the message of its error.
# `worker_threads`: the analysis takes the cores the worker may use.
.pair_task <- function(k, panel, chosen, settings, na, worker_threads = FALSE) {
  if (worker_threads) settings$threads <- max(1L, as.integer(future::availableCores()))
  i <- chosen$i[k]
  j <- chosen$j[k]
  tryCatch(.analyse(panel$values[[i]], panel$values[[j]], settings, panel$index, na,
                    c(x = as.character(chosen$x[k]), y = as.character(chosen$y[k])),
                    quiet = TRUE),
           error = function(e) conditionMessage(e))
}

#' @rdname analyse_pairs
#' @export
print.vok_pairs <- function(x, ...) {
  n <- nrow(x$frames)
  cat(sprintf("vok_pairs: %s, %s\n", .plural(nrow(x$pairs), "pair"), .plural(n, "frame")))
  if (nrow(x$errors)) cat(sprintf("%s failed (see $errors)\n", .plural(nrow(x$errors), "pair")))
  if (n) {
    cat(sprintf("%-6s%13s%9s  (all pairs)\n", "test", "significant", "percent"))
    for (test in vok_tests()) {
      k <- sum(x$frames[[paste0("significant_", test)]])
      cat(sprintf("%-6s%13d%8.1f%%\n", test, k, 100 * k / n))
    }
  }
  invisible(x)
}

#' @rdname analyse_pairs
#' @export
summary.vok_pairs <- function(object, ...) {
  alpha <- object$settings$false_alarm
  f <- object$frames
  rows <- lapply(seq_len(nrow(object$pairs)), function(k) {
    px <- object$pairs$x[k]
    py <- object$pairs$y[k]
    part <- f[f$x == px & f$y == py, , drop = FALSE]
    n <- nrow(part)
    if (!n && any(object$errors$x == px & object$errors$y == py)) return(NULL)
    significant <- vapply(vok_tests(), function(t) sum(part[[paste0("significant_", t)]]), 0L)
    data.frame(x = rep(px, 7L), y = rep(py, 7L), test = vok_tests(), significant = significant,
               frames = rep(n, 7L), share = if (n) significant / n else NaN,
               binomial_p = vapply(significant, .binomial_upper_tail, 0, n = n, p = alpha),
               row.names = NULL)
  })
  do.call(rbind, rows)
}

#' @rdname analyse_pairs
#' @export
as.data.frame.vok_pairs <- function(x, row.names = NULL, optional = FALSE, ...) {
  f <- x$frames
  key <- paste(f$x, f$y, sep = "\r")
  threshold_key <- paste(x$thresholds$x, x$thresholds$y, sep = "\r")
  .tidy(f, function(test) x$thresholds[[test]][match(key, threshold_key)],
        keys = c("x", "y", "frame"))
}

# A double rounded to the nearest 32-bit float, as the library takes its reals.
.float32 <- function(value) readBin(writeBin(as.double(value), raw(), size = 4L), "double",
                                    size = 4L, n = length(value))
