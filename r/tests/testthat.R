library(testthat)
library(tacsim)

test_check("tacsim")
