# Bad input: every refusal is an error naming the argument and its value (or
# the position of the value).

set.seed(7)
x <- rnorm(240)
y <- rnorm(240)

test_that("bad settings are refused naming the setting and the value", {
  cases <- list(
    list(args = list(frame_length = "200"), message = 'frame_length = "200": must be a whole number'),
    list(args = list(frame_length = 12.5), message = "frame_length = 12.5: must be a whole number"),
    list(args = list(frame_length = 5), message = "frame_length = 5: must be at least 12"),
    list(args = list(frame_length = 60, exponent = 0.9), message = "exponent = 0.9: must lie above 0.01 and at most 0.5"),
    list(args = list(frame_length = 60, exponent = NA), message = "exponent = NA: must be a number"),
    list(args = list(frame_length = 60, false_alarm = 2), message = "false_alarm = 2: must lie above 0 and at most 1"),
    list(args = list(frame_length = 60, false_alarm = 0), message = "false_alarm = 0: must lie above 0 and at most 1"),
    list(args = list(frame_length = 60, overlap = -1), message = "overlap = -1: must be 0 or more"),
    list(args = list(frame_length = 60, var_lag = 31), message = "var_lag = 31: leaves no degrees of freedom in frames of 60"),
    list(args = list(frame_length = 60, resamples = 10), message = "resamples = 10: too few for false_alarm"),
    list(args = list(frame_length = 60, transform = "sqrt"), message = 'transform = "sqrt": must be "none", "clip" or "log"'),
    list(args = list(frame_length = 60, trend = "const"), message = 'trend = "const": must be "c" or "n"'),
    list(args = list(frame_length = 60, threads = 0), message = "threads = 0: must be at least 1"),
    list(args = list(frame_length = 60, seed = -1), message = "seed = -1: must be a whole number from 0 to 2^64 - 1"),
    list(args = list(frame_length = 60, seed = "18446744073709551616"), message = 'seed = "18446744073709551616": must be a whole number'),
    list(args = list(frame_length = 60, na.action = "drop"), message = 'na.action = "drop": must be na.fail or na.omit'),
    list(args = list(), message = "frame_length is missing"),
    list(args = list(frame_length = 300), message = "240 rows are too few for one frame of frame_length = 300")
  )
  for (case in cases)
    expect_error(do.call(analyse, c(list(x, y), case$args)), case$message, fixed = TRUE,
                 info = case$message)
})

test_that("the bridge refuses names of no choice instead of taking another", {
  for (case in list(c("sqrt", "data"), c("cl", "data"), c("none", "blocks"), c("clip", "")))
    expect_match(vok:::.vok_analyse(x, y, 60, 0.4, 0.05, 0, 0, 0, case[1], 1, "0", NULL,
                                    case[2], "c", "raise")$error,
                 "must be", fixed = TRUE, info = paste(case, collapse = " "))
  # What a refusal of the input carries besides its text: the series and the
  # 0-based position of the value refused.
  refused <- vok:::.vok_analyse(replace(x, 17, Inf), y, 60, 0.4, 0.05, 0, 0, 0, "none", 1, "0",
                                NULL, "data", "c", "raise")
  expect_identical(refused[c("series", "index")], list(series = "x", index = 16))
})

test_that("bad series are refused naming the series and the position", {
  cases <- list(
    list(x = x, y = y[-1], message = "x has 240 values and y 239"),
    list(x = as.character(x), y = y, message = "x must hold numbers; it is a character vector"),
    list(x = x, y = cbind(y, y), message = "y must be one series (a numeric vector, ts, zoo or xts); it is a matrix of 2 columns"),
    list(x = replace(x, 17, Inf), y = y, message = "x[17] = inf is not a finite number"),
    list(x = x, y = replace(y, 3, NA), message = "y[3] is NA: give values at every row, or na.action = na.omit"),
    list(x = replace(x, 9, NaN), y = replace(y, 3, NA), message = "y[3] is NA")
  )
  for (case in cases)
    expect_error(analyse(case$x, case$y, frame_length = 60), case$message, fixed = TRUE,
                 info = case$message)
  expect_error(analyse(exp(x), replace(exp(y), 100, -1), frame_length = 60, transform = "log"),
               "y[100] = -1: the log transform needs positive values", fixed = TRUE)
  # A value that 32 bits cannot hold is refused as it was given, at its own row.
  expect_error(analyse(replace(x, 5, 1e300), y, frame_length = 60),
               "x[5] = 1e+300 is beyond the range of 32-bit reals", fixed = TRUE)
  expect_error(analyse(x, replace(y, 7, -2e300), frame_length = 60),
               "y[7] = -2e+300 is beyond the range of 32-bit reals", fixed = TRUE)
})

test_that("na.omit drops the rows with NA and positions stay those of the series given", {
  gappy_x <- replace(x, c(5, 100), NA)
  gappy_y <- replace(y, 50, NaN)
  kept <- setdiff(seq_along(x), c(5, 50, 100))
  dropped <- analyse(gappy_x, gappy_y, frame_length = 60, na.action = na.omit)
  plain <- analyse(x[kept], y[kept], frame_length = 60)
  placement <- c("first_row", "last_row", "rows_dropped")
  expect_identical(dropped$frames[setdiff(names(dropped$frames), placement)],
                   plain$frames[setdiff(names(plain$frames), placement)])
  # Frame 1 holds rows 1-62 (5 and 50 left out), frame 2 rows 63-123 (100).
  expect_identical(dropped$frames$first_row, c(1L, 63L, 124L))
  expect_identical(dropped$frames$last_row, c(62L, 123L, 183L))
  expect_identical(dropped$frames$rows_dropped, c(2L, 1L, 0L))
  expect_identical(dropped$rows, length(kept))
  expect_identical(analyse(gappy_x, gappy_y, frame_length = 60, missing = "drop")$frames,
                   dropped$frames)
  expect_error(analyse(replace(gappy_x, 200, Inf), gappy_y, frame_length = 60,
                       na.action = "na.omit"),
               "x[200] = inf is not a finite number", fixed = TRUE)
})

test_that("an interrupt stops a long analysis between two frames or resamples", {
  skip_on_os("windows")
  n <- 1e6
  long_x <- rnorm(n)
  long_y <- rnorm(n)
  # Seconds of work on one thread; the interrupt comes half a second in.
  # (The whole list goes to the background: "sleep; kill &" would sleep here.)
  system(sprintf("sleep 0.5 && kill -INT %d", Sys.getpid()), wait = FALSE)
  started <- proc.time()[["elapsed"]]
  outcome <- tryCatch(analyse(long_x, long_y, frame_length = 1000, exponent = 0.5,
                              resamples = 100000, threads = 1),
                      interrupt = function(condition) "interrupted")
  expect_identical(outcome, "interrupted")
  # Not a measure of speed: a guard that the analysis did not run to its end.
  expect_lt(proc.time()[["elapsed"]] - started, 10)
  # The package works on after the interrupt.
  expect_s3_class(analyse(x, y, frame_length = 60, threads = 1), "vok_result")
})

test_that("diagnostics name each message by its kind, in the order raised", {
  y <- sin(0.7 * seq_len(400)) + 0.01 * (seq_len(400) %% 7)
  r <- analyse(rep(2.5, 400), y, frame_length = 200, resamples = 1, false_alarm = 1)
  d <- r$diagnostics
  expect_equal(names(d), c("frame", "kind", "text"))
  expect_equal(d$kind[1], "stat_no_variance")
  expect_equal(d$frame[1], 0L)
  expect_match(d$text[1], "without spread")
  # Every frame constant: nothing to test, no bootstrap, nothing significant.
  expect_false(r$bootstrapped)
  expect_true(all(r$frames$degenerate))
  expect_false(any(unlist(r$frames[grep("^significant_", names(r$frames))])))
  # x of one value in frame 1 only: the bootstrap runs; one resample gives
  # each test's fractile its own message.
  x <- c(rep(2.5, 200), cos(1.3 * seq_len(200)))
  one <- analyse(x, y, frame_length = 200, resamples = 1, false_alarm = 1)
  expect_true(one$bootstrapped)
  expect_identical(one$frames$degenerate, c(TRUE, FALSE))
  expect_equal(sum(one$diagnostics$kind == "sort_single_value"), 7L)
})
