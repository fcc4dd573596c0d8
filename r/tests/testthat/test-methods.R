# print, summary, as.data.frame and plot of a vok_result and a vok_pairs.

data <- example_data()
result <- analyse(data$x, data$y, frame_length = 200, var_lag = 1, resamples = 100)

test_that("print and summary show the counts and the binomial p-values", {
  printed <- capture.output(print(result))
  expect_identical(printed[1], paste("vok_result: 12 frames of 200 rows from 2400 observations,",
                                     "8 lags, VAR(1), bootstrapped thresholds"))
  expect_identical(printed[2], "x = data$x, y = data$y")
  expect_identical(printed[9], "Hxxy       0.0170            6    50.0%")
  s <- summary(result)
  expect_identical(s$table$significant, unname(result$counts$significant))
  expect_identical(s$table$frames, rep(12L, 7))
  # Hxxy: 6 of 12 frames at the level 0.05.
  expect_equal(s$table["Hxxy", "binomial_p"], sum(dbinom(6:12, 12, 0.05)), tolerance = 1e-6)
  expect_identical(s$table["Cxy", "binomial_p"], 1)
  shown <- capture.output(print(s))
  expect_identical(shown[2:3], c(
    "observations: 2400   frames: 12 of 200 rows (overlap 0)   lags: 8",
    paste("VAR order: 1   transform: none   false alarm: 0.05   thresholds: bootstrapped",
          "from 100 resamples of the data")))
  # 7 frames of Hxxy have a q-value below 0.05, R's own adjustment agreeing.
  expect_identical(s$table["Hxxy", "discoveries"],
                   sum(p.adjust(result$frames$pvalue_Hxxy, method = "BH") < 0.05))
  expect_identical(shown[10], "Hxxy       0.0170            6    50.0%    1.11e-05          7")
})

test_that("as.data.frame is one row per frame and test with the frames' values", {
  tidy <- as.data.frame(result)
  expect_identical(names(tidy), c("frame", "test", "statistic", "df", "pvalue", "threshold",
                                  "significant"))
  expect_identical(nrow(tidy), 12L * 7L)
  expect_identical(levels(tidy$test), vok_tests())
  expect_identical(tidy$frame, rep(1:12, each = 7))
  expect_identical(as.character(tidy$test), rep(vok_tests(), 12))
  hyyx <- tidy[tidy$test == "Hyyx", ]
  expect_identical(hyyx$pvalue, result$frames$pvalue_Hyyx)
  expect_identical(hyyx$df, result$frames$df_Hyyx)
  expect_identical(hyyx$significant, result$frames$significant_Hyyx)
  expect_identical(unique(hyyx$threshold), result$thresholds[["Hyyx"]])
})

test_that("plot draws the p-values and the heat map, and refuses what it cannot draw", {
  file <- tempfile(fileext = ".pdf")
  grDevices::pdf(file)
  expect_invisible(plot(result))
  plot(result, tests = c("Hxxy", "Cxy"))
  plot(result, which = "xy")
  days <- as.Date("2000-01-01") + seq_len(nrow(data)) - 1
  stamped <- analyse(data$x, data$y, frame_length = 200, var_lag = 1, stamps = days)
  plot(stamped)
  plot(stamped, which = "xy")
  grDevices::dev.off()
  expect_gt(file.size(file), 1000)
  expect_error(plot(result, which = "frames"), 'which = "frames": must be "pvalues" or "xy"',
               fixed = TRUE)
  expect_error(plot(result, tests = "Hxyz"), '"Hxyz" is not one of Hxxy', fixed = TRUE)
})

test_that("a vok_pairs prints, summarises and tidies as its results", {
  panel <- data.frame(a = data$x, b = data$y, c = rev(data$x))
  pairs <- analyse_pairs(panel, frame_length = 200, var_lag = 1, resamples = 100, cores = 1)
  expect_match(capture.output(print(pairs))[1], "vok_pairs: 3 pairs, 36 frames", fixed = TRUE)
  s <- summary(pairs)
  expect_identical(nrow(s), 21L)
  expect_identical(s$significant[s$x == "a" & s$y == "b"], unname(result$counts$significant))
  tidy <- as.data.frame(pairs)
  expect_identical(nrow(tidy), 3L * 12L * 7L)
  first <- tidy[tidy$x == "a" & tidy$y == "b", -(1:2)]
  rownames(first) <- NULL
  expect_identical(first, as.data.frame(result))
})
