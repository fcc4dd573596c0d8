# The installed package: its compiled library carries no debug information
# (the library's debug sections made it ten times its size).

test_that("the compiled library has no debug sections", {
  library_file <- list.files(system.file("libs", package = "vok"), pattern = "^vok\\.(so|dll)$",
                             full.names = TRUE, recursive = TRUE)
  expect_length(library_file, 1L)
  bytes <- readBin(library_file, "raw", file.size(library_file))
  expect_length(grepRaw(".debug_info", bytes, fixed = TRUE), 0L)
  expect_lt(file.size(library_file), 4e6)
})
