# The missing-value policies: "drop" and "split" on a panel whose series
# start late and have a gap, giving the tables the Python package gives on
# the same panel (the golden files of fixtures/, which its tests also read).

fixture <- function(name) test_path("fixtures", name)

gapped_panel <- function() {
  skip_if_not_installed("zoo")
  d <- utils::read.csv(fixture("gapped_panel.csv"), na.strings = "NA")
  zoo::zoo(as.matrix(d[c("a", "b", "c")]), as.Date(d$date))
}

# The pair table as the golden files hold it: placement, then each test's
# statistic, p-value, judgement and threshold, reals with 17 digits.
pair_table_text <- function(pairs) {
  f <- pairs$frames
  th <- pairs$thresholds
  real <- function(v) ifelse(is.nan(v), "NaN", sprintf("%.17g", v))
  at <- match(paste(f$x, f$y), paste(th$x, th$y))
  header <- c("x", "y", "frame", "first_row", "last_row", "start", "end", "rows_dropped")
  cells <- list(f$x, f$y, f$frame, f$first_row, f$last_row, format(f$start, "%Y-%m-%d"),
                format(f$end, "%Y-%m-%d"), f$rows_dropped)
  for (test in vok_tests()) {
    header <- c(header, paste0(c("statistic_", "pvalue_", "significant_", "threshold_"), test))
    cells <- c(cells, list(real(f[[paste0("statistic_", test)]]),
                           real(f[[paste0("pvalue_", test)]]),
                           ifelse(f[[paste0("significant_", test)]], "1", "0"),
                           real(th[[test]][at])))
  }
  c(paste(header, collapse = ","), do.call(paste, c(cells, sep = ",")))
}

test_that("each policy gives the Python package's pair table on the same panel", {
  panel <- gapped_panel()
  for (policy in c("drop", "split")) {
    pairs <- analyse_pairs(panel, missing = policy, frame_length = 100, var_lag = 1,
                           resamples = 20, cores = 1)
    expect_identical(pair_table_text(pairs),
                     readLines(fixture(sprintf("gapped_pairs_%s.csv", policy))), info = policy)
  }
  # na.omit is "drop".
  omitted <- analyse_pairs(panel, na.action = na.omit, frame_length = 100, var_lag = 1,
                           resamples = 20, cores = 1)
  expect_identical(pair_table_text(omitted), readLines(fixture("gapped_pairs_drop.csv")))
})

test_that("split restarts the frames after a gap; drop counts the rows left out", {
  panel <- gapped_panel()
  b <- panel[, "b"]  # rows 1-80 missing
  c <- panel[, "c"]  # rows 301-390 missing
  split <- analyse(b, c, frame_length = 100, missing = "split", threads = 1)
  expect_identical(split$frames$first_row, c(81L, 181L, 391L, 491L))
  expect_identical(split$frames$rows_dropped, rep(0L, 4))
  expect_identical(split$settings$missing, "split")
  expect_identical(split$frames$start, zoo::index(panel)[split$frames$first_row])
  # The kept rows joined up: frame 3 holds rows 281-300 and 391-470.
  drop <- analyse(b, c, frame_length = 100, missing = "drop", threads = 1)
  expect_identical(drop$frames$last_row, c(180L, 280L, 470L, 570L))
  expect_identical(drop$frames$rows_dropped, c(0L, 0L, 90L, 0L))
  expect_identical(drop$rows, 430L)
  expect_identical(split$statistics, drop$statistics)
})

test_that("missing values are refused with the way out, and bad policies named", {
  panel <- gapped_panel()
  cases <- list(
    list(args = list(), message = 'x[301] (2020-02-25) is NA: give values at every row, or na.action = na.omit (missing = "drop") or missing = "split"'),
    list(args = list(missing = "skip"), message = 'missing = "skip": must be "raise", "drop" or "split"'),
    list(args = list(na.action = na.omit, missing = "raise"), message = 'na.action = na.omit and missing = "raise" disagree'),
    list(args = list(missing = "split", frame_length = 310), message = "no run of rows between missing values holds a frame of frame_length = 310 (the longest run has 300 rows)")
  )
  for (case in cases) {
    args <- utils::modifyList(list(panel[, "c"], panel[, "a"], frame_length = 100), case$args)
    expect_error(do.call(analyse, args), case$message, fixed = TRUE, info = case$message)
  }
})
