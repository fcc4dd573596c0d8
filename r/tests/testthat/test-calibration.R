# Whether the results can be trusted: the frames bootstrap, q-values across
# frames, and the warnings of changing variance and of clipping with the
# data bootstrap.

# GARCH(1,1): volatility clusters, no dependence in the values' signs.
garch <- function(rows, seed) {
  set.seed(seed)
  z <- rnorm(rows + 500)
  e <- numeric(length(z))
  h <- 1
  last <- 0
  for (t in seq_along(z)) {
    h <- 0.05 + 0.1 * last * last + 0.85 * h
    last <- sqrt(h) * z[t]
    e[t] <- last
  }
  e[-(1:500)]
}

calibration_warnings <- function(...) {
  texts <- character()
  result <- withCallingHandlers(analyse(...), vok_calibration_warning = function(w) {
    texts <<- c(texts, conditionMessage(w))
    invokeRestart("muffleWarning")
  })
  list(result = result, texts = texts)
}

test_that("q-values are R's Benjamini-Hochberg adjustment over the frames", {
  x <- garch(6000, 1)
  set.seed(2)
  y <- rnorm(6000)
  frames <- suppressWarnings(analyse(x, y, frame_length = 100, var_lag = 1))$frames
  for (test in vok_tests())
    expect_equal(frames[[paste0("qvalue_", test)]],
                 p.adjust(frames[[paste0("pvalue_", test)]], method = "BH"),
                 tolerance = 1e-14, info = test)
  x[1:100] <- 2  # a constant first frame: no p-value, no q-value
  frames <- suppressWarnings(analyse(x, y, frame_length = 100))$frames
  expect_true(frames$degenerate[1])
  expect_true(is.na(frames$qvalue_Hxxy[1]))
  expect_equal(frames$qvalue_Hxxy, p.adjust(frames$pvalue_Hxxy, method = "BH"), tolerance = 1e-14)
})

test_that("changing variance without clipping warns and points to clipping", {
  set.seed(3)
  y <- rnorm(5000)
  seen <- calibration_warnings(garch(5000, 4), y, frame_length = 250, threads = 1)
  expect_length(seen$texts, 1L)
  expect_match(seen$texts, "^x changes its variance: McLeod-Li of the prewhitened series significant in")
  expect_match(seen$texts, "(transform=clip)", fixed = TRUE)
  expect_true(seen$result$variance["x", "strong"])
  expect_false(seen$result$variance["y", "strong"])
  expect_output(print(summary(seen$result)), "warning: x changes its variance")
  # Clipped, the same series raise no warning; independent normal ones none.
  expect_length(calibration_warnings(garch(5000, 4), y, frame_length = 250,
                                     transform = "clip", threads = 1)$texts, 0L)
  set.seed(5)
  expect_length(calibration_warnings(rnorm(5000), y, frame_length = 250, threads = 1)$texts, 0L)
})

test_that("clipping with the data bootstrap warns and points to the frames bootstrap", {
  set.seed(6)
  x <- rnorm(2000)
  y <- rnorm(2000)
  data <- calibration_warnings(x, y, frame_length = 100, var_lag = 1, resamples = 100,
                               transform = "clip", threads = 1)
  expect_length(data$texts, 1L)
  expect_match(data$texts, "(bootstrap=frames)", fixed = TRUE)
  frames <- calibration_warnings(x, y, frame_length = 100, var_lag = 1, resamples = 100,
                                 transform = "clip", bootstrap = "frames", threads = 1)
  expect_length(frames$texts, 0L)
  expect_identical(frames$result$settings$bootstrap, "frames")
  # Another bootstrap, other thresholds; the same for any thread count.
  expect_false(identical(frames$result$thresholds, data$result$thresholds))
  two <- analyse(x, y, frame_length = 100, var_lag = 1, resamples = 100, transform = "clip",
                 bootstrap = "frames", threads = 2)
  expect_identical(two$thresholds, frames$result$thresholds)
  expect_identical(two$frames, frames$result$frames)
  expect_error(analyse(x, y, frame_length = 100, bootstrap = "blocks"),
               'bootstrap = "blocks": must be "data" or "frames"', fixed = TRUE)
})

test_that("each caution is a condition of its own class, and result$cautions holds it", {
  set.seed(7)
  x <- rnorm(5000)
  y <- rnorm(5000)
  ar <- as.numeric(stats::filter(rnorm(5000), 0.5, method = "recursive"))
  cases <- list(
    list(x = x + 1, y = y, settings = list(var_lag = 1, trend = "n"), class = "vok_level_warning",
         series = "x"),
    list(x = x, y = garch(5000, 8), settings = list(var_lag = 1),
         class = "vok_changing_variance_warning", series = "y"),
    list(x = ar, y = y, settings = list(), class = "vok_autocorrelation_warning", series = "x"),
    list(x = x, y = 0.6 * x + 0.8 * y, settings = list(var_lag = 1),
         class = "vok_lag0_correlation_warning", series = ""),
    list(x = c(rep(1, 250), x[-(1:250)]), y = y, settings = list(),
         class = "vok_constant_frames_warning", series = ""))
  for (case in cases) {
    seen <- list()
    result <- withCallingHandlers(
      do.call(analyse, c(list(case$x, case$y, frame_length = 250, threads = 1), case$settings)),
      vok_calibration_warning = function(w) {
        seen[[length(seen) + 1L]] <<- w
        invokeRestart("muffleWarning")
      })
    expect_length(seen, 1L)
    expect_s3_class(seen[[1L]], case$class)
    expect_identical(result$cautions$series, case$series)
    expect_identical(result$cautions$message, conditionMessage(seen[[1L]]))
    expect_identical(result$cautions$kind, seen[[1L]]$kind)
  }
})

test_that("a series far from zero warns of its rounding to 32 bits, as in Python", {
  set.seed(9)
  big <- 1e8 + rnorm(2000)
  expect_warning(result <- suppressWarnings(analyse(big, rnorm(2000), frame_length = 200),
                                            classes = "vok_calibration_warning"),
                 class = "vok_precision_warning")
  expect_warning(analyse(big, rnorm(2000), frame_length = 200),
                 "x: its rounding to 32-bit floats costs")
  # Near its own scale, no warning.
  expect_no_warning(analyse(rnorm(2000), rnorm(2000), frame_length = 200),
                    class = "vok_precision_warning")
})

test_that("the cautions of analyse_pairs name their pairs, with forked processes too", {
  set.seed(10)
  panel <- data.frame(a = as.numeric(stats::filter(rnorm(1000), 0.8, method = "recursive")),
                      b = rnorm(1000), c = rnorm(1000))
  for (cores in c(1L, 2L)) {
    seen <- character()
    pairs <- withCallingHandlers(
      analyse_pairs(panel, frame_length = 100, cores = cores, threads = 1),
      vok_autocorrelation_warning = function(w) {
        seen <<- c(seen, conditionMessage(w))
        invokeRestart("muffleWarning")
      })
    expect_identical(as.character(pairs$cautions$x), c("a", "a"))
    expect_identical(as.character(pairs$cautions$y), c("b", "c"))
    expect_identical(seen, paste0("pair (x = a, y = ", c("b", "c"), "): ",
                                  pairs$cautions$message))
  }
})
