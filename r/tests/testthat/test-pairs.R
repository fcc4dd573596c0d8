# analyse_pairs: every pair's frames and thresholds are those of analyse on
# the pair, in pair order, in this process or in forked ones.

set.seed(3)
n <- 240
panel <- data.frame(a = rnorm(n), b = rnorm(n), c = rnorm(n))
settings <- list(frame_length = 60, var_lag = 1, resamples = 20, threads = 1)

pair_by_pair <- function(panel, pairs) {
  lapply(seq_len(nrow(pairs)), function(k)
    do.call(analyse, c(list(panel[[pairs$x[k]]], panel[[pairs$y[k]]]), settings)))
}

expect_pairs_equal_analyse <- function(result, panel, pairs) {
  expect_identical(result$pairs, pairs)
  single <- pair_by_pair(panel, pairs)
  for (k in seq_len(nrow(pairs))) {
    rows <- result$frames$x == pairs$x[k] & result$frames$y == pairs$y[k]
    frames <- result$frames[rows, -(1:2)]
    rownames(frames) <- NULL
    expect_identical(frames, single[[k]]$frames)
    expect_identical(unlist(result$thresholds[k, vok_tests()]), single[[k]]$thresholds)
  }
}

test_that("every pair equals analyse on the pair, on one core or forked", {
  every <- data.frame(x = c("a", "a", "b"), y = c("b", "c", "c"))
  for (cores in 1:2) {
    result <- do.call(analyse_pairs, c(list(panel), settings, cores = cores))
    expect_s3_class(result, "vok_pairs")
    expect_pairs_equal_analyse(result, panel, every)
  }
})

test_that("pairs are chosen by name or position, from a matrix too", {
  chosen <- do.call(analyse_pairs, c(list(as.matrix(panel), pairs = list(c("c", "a"), c(2, 3))),
                                     settings, cores = 2))
  expect_pairs_equal_analyse(chosen, panel, data.frame(x = c("c", "b"), y = c("a", "c")))
  unnamed <- unname(as.matrix(panel))
  positions <- do.call(analyse_pairs, c(list(unnamed, pairs = rbind(c(1, 3))), settings))
  expect_identical(positions$pairs, data.frame(x = 1L, y = 3L))
  expect_error(analyse_pairs(panel, pairs = list(c("a", "z")), frame_length = 60),
               'pairs[[1]]: no column "z"', fixed = TRUE)
  expect_error(analyse_pairs(panel, pairs = list(c(1, 4)), frame_length = 60),
               "pairs[[1]]: no column 4 (positions run from 1 to 3)", fixed = TRUE)
  expect_error(analyse_pairs(panel, frame_length = 60, lags = 3),
               "lags is not a setting of analyse", fixed = TRUE)
  expect_error(analyse_pairs(1:10, frame_length = 60),
               "data must be a data.frame, matrix, zoo or xts", fixed = TRUE)
})

test_that("a failed pair stops the call naming it, or is collected", {
  gappy <- transform(panel, b = replace(b, 10, NA))
  expect_error(do.call(analyse_pairs, c(list(gappy), settings)),
               "pair (x = a, y = b): y[10] is NA", fixed = TRUE)
  collected <- do.call(analyse_pairs, c(list(gappy, errors = "collect"), settings, cores = 2))
  expect_identical(collected$errors$x, c("a", "b"))
  expect_identical(collected$errors$y, c("b", "c"))
  expect_identical(unique(collected$frames$x), "a")
  expect_identical(unique(collected$frames$y), "c")
  # na.omit drops the rows pair by pair: pair (a, c) keeps row 10.
  dropped <- do.call(analyse_pairs, c(list(gappy, na.action = na.omit), settings))
  ab <- dropped$frames[dropped$frames$x == "a" & dropped$frames$y == "b", -(1:2)]
  rownames(ab) <- NULL
  placement <- c("first_row", "last_row", "rows_dropped")
  plain <- do.call(analyse, c(list(panel$a[-10], panel$b[-10]), settings))$frames
  expect_identical(ab[setdiff(names(ab), placement)], plain[setdiff(names(plain), placement)])
  # Rows of the panel: frame 1 holds rows 1-61, row 10 left out.
  expect_identical(ab$last_row[1], 61L)
  expect_identical(ab$rows_dropped[1], 1L)
  expect_identical(max(dropped$frames$last_row[dropped$frames$x == "a" & dropped$frames$y == "c"]),
                   240L)
})

test_that("a zoo panel's index gives the frames' start and end", {
  skip_if_not_installed("zoo")
  days <- as.Date("2021-01-01") + seq_len(n) - 1
  result <- do.call(analyse_pairs, c(list(zoo::zoo(as.matrix(panel), days)), settings))
  single <- analyse(zoo::zoo(panel$b, days), zoo::zoo(panel$c, days), frame_length = 60,
                    var_lag = 1, resamples = 20, threads = 1)
  frames <- result$frames[result$frames$x == "b", -(1:2)]
  rownames(frames) <- NULL
  expect_identical(frames, single$frames)
  expect_s3_class(frames$start, "Date")
})

test_that("on a future plan the tables are those of cores = 1", {
  skip_if_not_installed("future.apply")
  reference <- do.call(analyse_pairs, c(list(panel), settings, cores = 1))
  old <- future::plan()
  on.exit(future::plan(old))
  plans <- list(sequential = function() future::plan(future::sequential),
                multisession = function() future::plan(future::multisession, workers = 2))
  for (name in names(plans)) {
    plans[[name]]()
    # threads not given: each worker's analysis takes the worker's cores.
    on_plan <- do.call(analyse_pairs, c(list(panel, parallel = "future"),
                                        settings[names(settings) != "threads"]))
    expect_identical(on_plan$frames, reference$frames, label = name)
    expect_identical(on_plan$thresholds, reference$thresholds, label = name)
    expect_null(on_plan$settings$threads, label = name)
  }
  # A failed pair is collected (or stops the call) as on this machine's cores.
  gappy <- transform(panel, b = replace(b, 10, NA))
  collected <- do.call(analyse_pairs, c(list(gappy, errors = "collect", parallel = "future"),
                                        settings))
  expect_identical(collected$errors,
                   do.call(analyse_pairs, c(list(gappy, errors = "collect"), settings))$errors)
  expect_error(do.call(analyse_pairs, c(list(gappy, parallel = "future"), settings)),
               "pair (x = a, y = b): y[10] is NA", fixed = TRUE)
})

test_that("parallel is refused unless cores or future", {
  expect_error(analyse_pairs(panel, frame_length = 60, parallel = "snow"),
               'parallel = "snow": must be "cores" or "future"', fixed = TRUE)
  expect_error(analyse_pairs(panel, frame_length = 60, cores = 0),
               "cores = 0: must be at least 1", fixed = TRUE)
})

test_that("by default the pairs run in this process, each analysis on every core", {
  default <- analyse_pairs(panel, frame_length = 60, var_lag = 1, resamples = 20)
  expect_null(default$settings$threads)
  forked <- analyse_pairs(panel, frame_length = 60, var_lag = 1, resamples = 20, cores = 2)
  expect_identical(forked$settings$threads, max(1L, parallel::detectCores() %/% 2L))
  expect_identical(forked$frames, default$frames)
})
