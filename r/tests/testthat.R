library(testthat)
library(vok)

test_check("vok")
