# Time-indexed series: the index gives each frame's start and end, and the
# frames are those of the plain values.

set.seed(11)
n <- 300
x <- rnorm(n)
y <- rnorm(n)
plain <- analyse(x, y, frame_length = 60, overlap = 30, threads = 1)
numbers <- setdiff(names(plain$frames), c("start", "end"))

expect_stamped <- function(result, times) {
  expect_identical(result$frames[numbers], plain$frames[numbers])
  expect_identical(result$frames$start, times[plain$frames$first_row])
  expect_identical(result$frames$end, times[plain$frames$last_row])
}

test_that("a ts gives its times", {
  tx <- ts(x, start = c(1990, 1), frequency = 12)
  ty <- ts(y, start = c(1990, 1), frequency = 12)
  result <- analyse(tx, ty, frame_length = 60, overlap = 30, threads = 1)
  expect_stamped(result, as.numeric(time(tx)))
  expect_equal(result$frames$start[2], 1992.5)
  # A ts and a plain vector: the ts's times.
  expect_stamped(analyse(tx, y, frame_length = 60, overlap = 30, threads = 1),
                 as.numeric(time(tx)))
  expect_error(analyse(tx, ts(y, start = c(1991, 1), frequency = 12), frame_length = 60),
               "x and y must share their index: row 1 is 1990 in x and 1991 in y", fixed = TRUE)
})

test_that("zoo and xts give their index, of its own class", {
  skip_if_not_installed("zoo")
  skip_if_not_installed("xts")
  days <- as.Date("2020-01-01") + seq_len(n) - 1
  zx <- zoo::zoo(x, days)
  zy <- zoo::zoo(y, days)
  result <- analyse(zx, zy, frame_length = 60, overlap = 30, threads = 1)
  expect_stamped(result, days)
  expect_s3_class(result$frames$start, "Date")
  expect_identical(format(result$frames$end[1]), "2020-02-29")

  seconds <- as.POSIXct("2024-03-01 09:00:00", tz = "UTC") + seq_len(n) - 1
  xx <- xts::xts(x, seconds)
  xy <- xts::xts(y, seconds)
  stamped <- analyse(xx, xy, frame_length = 60, overlap = 30, threads = 1)
  expect_stamped(stamped, seconds)
  expect_s3_class(stamped$frames$start, "POSIXct")
  expect_stamped(analyse(xx, y, frame_length = 60, overlap = 30, threads = 1), seconds)

  shifted <- xts::xts(y, replace(seconds, 200, seconds[200] + 0.5))
  expect_error(analyse(xx, shifted, frame_length = 60),
               "x and y must share their index: row 200 is 2024-03-01 09:03:19 in x and ",
               fixed = TRUE)
  expect_error(analyse(xx, xts::xts(y[-1], seconds[-1]), frame_length = 60),
               "x and y must share their index: x has 300 rows and y 299", fixed = TRUE)
  expect_error(analyse(xts::xts(cbind(x, y), seconds), y, frame_length = 60),
               "x must be one series; it is a xts of 2 columns", fixed = TRUE)
  # An NA is named by its row and time; na.omit keeps the times of the rows kept.
  gappy <- xts::xts(replace(x, 7, NA), seconds)
  expect_error(analyse(gappy, xy, frame_length = 60),
               "x[7] (2024-03-01 09:00:06) is NA", fixed = TRUE)
  dropped <- analyse(gappy, xy, frame_length = 60, na.action = na.omit, threads = 1)
  expect_identical(dropped$frames$start[1:2], seconds[c(1, 62)])
  expect_error(analyse(replace(zx, 20, Inf), zy, frame_length = 60),
               "x[20] (2020-01-20) = inf is not a finite number", fixed = TRUE)
})

test_that("stamps given as text are the library's, given as times are kept", {
  text <- sprintf("t%03d", seq_len(n))
  result <- analyse(x, y, frame_length = 60, overlap = 30, threads = 1, stamps = text)
  expect_stamped(result, text)
  expect_error(analyse(x, y, frame_length = 60, stamps = text[-1]),
               "stamps: 299 stamps for 300 rows of x and y", fixed = TRUE)
})
