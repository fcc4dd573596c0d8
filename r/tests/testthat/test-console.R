# analyse against the console program on the example data: its per-run
# table, to the last bit of each 32-bit number.

test_that("the frames are the console program's per-run table", {
  run <- console_example_run()
  data <- example_data()
  # examples/Runvok.cnl: frames of 200, exponent 0.4, VAR(1), 100 resamples;
  # run A plain, run B with the residuals clipped.
  # trend = "n": the console program's VAR fit, without a constant.
  a <- analyse(data$x, data$y, frame_length = 200, exponent = 0.4, var_lag = 1,
               resamples = 100, trend = "n")
  expect_console_table(a$frames, read_console_table(file.path(run, "runA_1-_2.csv")))
  expect_true(a$bootstrapped)

  # Run B draws its resamples after run A's in the console's one stream:
  # only its statistics' CDF values and p-values are compared.
  b <- analyse(data$x, data$y, frame_length = 200, var_lag = 1, resamples = 100,
               transform = "clip", trend = "n")
  table <- read_console_table(file.path(run, "runB_1-_2.csv"))
  expect_console_table(b$frames, table, grep("^significant_", names(table), value = TRUE,
                                             invert = TRUE))
})

test_that("the counts are those of the significant column and the thresholds do not depend on threads", {
  data <- example_data()
  one <- analyse(data$x, data$y, frame_length = 200, var_lag = 1, resamples = 100, threads = 1)
  two <- analyse(data$x, data$y, frame_length = 200, var_lag = 1, resamples = 100, threads = 2)
  expect_identical(one$frames, two$frames)
  expect_identical(one$thresholds, two$thresholds)
  for (test in vok_tests())
    expect_identical(one$counts[test, "significant"], sum(one$frames[[paste0("significant_", test)]]))
  seeded <- analyse(data$x, data$y, frame_length = 200, var_lag = 1, resamples = 100,
                    seed = "12345678901234567890")
  expect_false(identical(seeded$thresholds, one$thresholds))
  expect_identical(seeded$frames$cdf_Hxxy, one$frames$cdf_Hxxy)
  expect_identical(seeded$settings$seed, "12345678901234567890")
})

test_that("the default fit with a constant is the console program's with --trend c", {
  run <- console_example_run(c("--trend", "c"))
  data <- example_data()
  a <- analyse(data$x, data$y, frame_length = 200, exponent = 0.4, var_lag = 1,
               resamples = 100)
  expect_identical(a$settings$trend, "c")
  expect_console_table(a$frames, read_console_table(file.path(run, "runA_1-_2.csv")))
  n <- analyse(data$x, data$y, frame_length = 200, exponent = 0.4, var_lag = 1,
               resamples = 100, trend = "n")
  expect_false(identical(n$frames$cdf_Cx, a$frames$cdf_Cx))
})
