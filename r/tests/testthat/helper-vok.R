# Shared helpers: the example data shipped with the package, the console
# program (VOK_PROGRAM, as the repository's test command sets it), and the
# console's per-run table.

example_path <- function(name = "example.dat") system.file("extdata", name, package = "vok")

# x and y of the example (record format (2f12.5) after two header lines).
example_data <- function() {
  utils::read.fwf(example_path(), widths = c(12, 12), skip = 2, col.names = c("x", "y"))
}

# A double rounded to the nearest 32-bit float.
float32 <- function(v) readBin(writeBin(as.double(v), raw(), size = 4L), "double", size = 4L,
                               n = length(v))

console_program <- function() {
  program <- Sys.getenv("VOK_PROGRAM")
  if (!nzchar(program) || !file.exists(program))
    testthat::skip("VOK_PROGRAM does not name the console program")
  normalizePath(program)
}

# The example directory run by the console program (with the command-line
# options given): its path.
console_example_run <- function(options = character()) {
  program <- console_program()
  directory <- tempfile("example-run")
  dir.create(directory)
  for (name in c("Runvok.cnl", "runA.cnl", "runB.cnl", "example.dat"))
    file.copy(example_path(name), directory)
  status <- withr_local_dir(directory, system2(program, options, stdout = FALSE,
                                               stderr = FALSE))
  testthat::expect_equal(status, 0L)
  directory
}

withr_local_dir <- function(directory, code) {
  old <- setwd(directory)
  on.exit(setwd(old))
  code
}

# A console .csv table with its 32-bit numbers as the 32-bit values they read
# back as.
read_console_table <- function(path) {
  table <- utils::read.csv(path, stringsAsFactors = FALSE)
  for (column in grep("^(statistic|cdf|pvalue)_", names(table), value = TRUE))
    table[[column]] <- float32(table[[column]])
  for (column in grep("^significant_", names(table), value = TRUE))
    table[[column]] <- table[[column]] == "true"
  table
}

# frames (a vok_result's) against a console table: every column the table has
# is equal to the last bit, except pvalue_T, which the table gives as 1 - cdf_T
# in 32 bits and frames as the 64-bit survival function: they agree to the
# CDF's own rounding (a degenerate frame has none).
expect_console_table <- function(frames, table, columns = names(table)) {
  exact <- grep("^pvalue_", columns, value = TRUE, invert = TRUE)
  testthat::expect_identical(nrow(frames), nrow(table))
  for (column in exact)
    testthat::expect_identical(frames[[column]], table[[column]], label = column)
  computed <- !frames$degenerate
  for (column in grep("^pvalue_", columns, value = TRUE)) {
    testthat::expect_lte(max(abs(frames[[column]][computed] - table[[column]][computed])), 2e-6,
                         label = column)
    testthat::expect_true(all(is.nan(frames[[column]][!computed])))
  }
}
