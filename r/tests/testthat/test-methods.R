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
  expect_error(plot(result, tests = "Hxyz"), '"Hxyz" is not one of Cx, Cy, Cxy', fixed = TRUE)
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

test_that("plot draws in the current panel of a par(mfrow) layout and leaves it be", {
  file <- tempfile(fileext = ".pdf")
  grDevices::pdf(file)
  on.exit(grDevices::dev.off())
  old <- graphics::par(mfrow = c(2, 2), oma = c(0, 0, 0, 0))
  plot(result)
  expect_identical(graphics::par("mfg"), c(1L, 1L, 2L, 2L))
  plot(result, which = "xy")
  expect_identical(graphics::par("mfg"), c(1L, 2L, 2L, 2L))
  plot(result, tests = "Hxxy")
  expect_identical(graphics::par("mfg"), c(2L, 1L, 2L, 2L))
  expect_identical(graphics::par("mfrow"), c(2L, 2L))
  expect_identical(graphics::par("oma"), c(0, 0, 0, 0))
  graphics::par(old)
})

test_that("the p-value axis reaches down to the smallest p-value", {
  # A planted nonlinear pair, y[t] = e[t] + 0.8 e[t-1] e[t-2]: Hxxy p-values
  # far below 1e-4; and two independent series, whose axis ends at 1e-4.
  set.seed(11)
  e <- rnorm(1202)
  planted <- suppressWarnings(analyse(e[3:1202], e[3:1202] + 0.8 * e[2:1201] * e[1:1200],
                                      frame_length = 400, threads = 1))
  noise <- analyse(rnorm(600), rnorm(600), frame_length = 200, threads = 1)
  smallest <- min(planted$frames$pvalue_Hxxy)
  expect_lt(smallest, 1e-8)
  expect_gt(min(unlist(noise$frames[paste0("pvalue_", vok_tests())])), 1e-4)
  file <- tempfile(fileext = ".pdf")
  grDevices::pdf(file)
  on.exit(grDevices::dev.off())
  plot(planted)
  expect_lte(graphics::par("usr")[3], log10(smallest))
  plot(noise)
  expect_lte(graphics::par("usr")[3], -4)
  expect_gt(graphics::par("usr")[3], -7)
})

test_that("as_htest gives one test of one frame as an htest", {
  h <- as_htest(result, "Hxxy", frame = 3)
  expect_s3_class(h, "htest")
  f <- result$frames[3, ]
  expect_identical(unname(h$statistic), f$statistic_Hxxy)
  expect_identical(unname(h$parameter), f$df_Hxxy)
  expect_identical(names(h$parameter), "df")
  expect_identical(h$p.value, f$pvalue_Hxxy)
  expect_identical(h$data.name, "data$x and data$y, frame 3 (rows 401 to 600)")
  expect_match(h$method, "^Hxxy portmanteau bicorrelation test, 8 lags, VAR\\(1\\) prewhitened")
  printed <- capture.output(print(h))
  expect_true(any(grepl("X-squared = .*, df = .*, p-value", printed)))
  days <- as.Date("2000-01-01") + seq_len(nrow(data)) - 1
  stamped <- suppressWarnings(analyse(data$x, data$y, frame_length = 200, stamps = days,
                                      threads = 1))
  expect_match(as_htest(stamped, "Cxy", frame = 1)$data.name,
               "frame 1 (rows 1 to 200, 2000-01-01 to 2000-07-18)", fixed = TRUE)
  errors <- list(
    list(x = result$frames, test = "Hxxy", frame = 1, message = "x must be a vok_result"),
    list(x = result, test = "Hxyz", frame = 1, message = 'test = "Hxyz": must be one of Cx'),
    list(x = result, test = "Hxxy", frame = 13,
         message = "frame = 13: no such frame (the frames run from 1 to 12)"),
    list(x = result, test = "Hxxy", frame = 1.5, message = "frame = 1.5: must be a whole number"))
  for (case in errors)
    expect_error(as_htest(case$x, case$test, case$frame), case$message, fixed = TRUE)
})

test_that("tidy and glance are generics methods with broom's column names", {
  skip_if_not_installed("generics")
  tidy <- generics::tidy(result)
  expect_identical(names(tidy), c("frame", "test", "statistic", "df", "p.value", "q.value",
                                  "threshold", "significant"))
  hxxy <- tidy[tidy$test == "Hxxy", ]
  expect_identical(hxxy$p.value, result$frames$pvalue_Hxxy)
  expect_identical(hxxy$q.value, result$frames$qvalue_Hxxy)
  glance <- generics::glance(result)
  expect_identical(nrow(glance), 1L)
  expect_identical(glance$frames, 12L)
  expect_identical(glance$significant_Hxxy, 6L)
  expect_identical(glance$binomial_p_Hxxy, summary(result)$table["Hxxy", "binomial_p"])
  panel <- data.frame(a = data$x, b = data$y, c = rev(data$x))
  pairs <- analyse_pairs(panel, frame_length = 200, var_lag = 1, resamples = 100, cores = 1)
  by_pair <- generics::glance(pairs)
  expect_identical(by_pair[c("x", "y")], data.frame(x = c("a", "a", "b"), y = c("b", "c", "c")))
  expect_identical(by_pair$significant_Hxxy[1], 6L)
  shared <- intersect(names(glance), names(by_pair))
  expect_true(all(c("frames", "lags", "significant_Cx", "binomial_p_Hyyx") %in% shared))
  expect_identical(as.list(by_pair[1, shared]), as.list(glance[shared]))
  long <- generics::tidy(pairs)
  first <- long[long$x == "a" & long$y == "b", -(1:2)]
  rownames(first) <- NULL
  expect_identical(first, tidy)
  skip_if_not_installed("broom")
  expect_identical(broom::tidy(result), tidy)
  expect_identical(unname(broom::tidy(as_htest(result, "Cxy", 2))$parameter),
                   result$frames$df_Cxy[2])
})

test_that("series are labelled by their column name or a short expression", {
  short <- function(...) suppressWarnings(analyse(..., frame_length = 200, threads = 1))$names
  expect_identical(do.call(short, list(data$x, data$y)), c(x = "x", y = "y"))
  expect_identical(short(data$x, rev(data$y)), c(x = "data$x", y = "rev(data$y)"))
  m <- cbind(north = data$x, south = data$y)
  expect_identical(short(m[, "north", drop = FALSE], m[, 2, drop = FALSE]),
                   c(x = "north", y = "south"))
  long_name <- data$y
  expect_identical(short(data$x * 1 + 0 * seq_along(data$x) + 0 * rev(seq_along(data$x)),
                         long_name), c(x = "x", y = "long_name"))
  skip_if_not_installed("xts")
  days <- as.Date("2000-01-01") + seq_len(nrow(data)) - 1
  X <- xts::xts(m, order.by = days)
  expect_identical(short(X$north, X[, "south"]), c(x = "north", y = "south"))
  expect_identical(do.call(short, list(X[, 1], X[, 2])), c(x = "north", y = "south"))
})
