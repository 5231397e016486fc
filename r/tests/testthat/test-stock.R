test_that("every bundled and reference input reads and writes back to the same program input", {
  skip_without_program()
  src <- source_dir()
  golden <- list.files(file.path(src, "tests", "golden", "data"), full.names = TRUE)
  compare <- list.files(file.path(src, "examples", "compare"), full.names = TRUE)
  cases <- c(file.path(src, "examples"), compare, golden)
  expect_gt(length(golden), 5)
  for (d in cases) {
    # The compared rules share the example's biology.
    bio <- if (file.exists(file.path(d, "bio.inn"))) file.path(d, "bio.inn") else file.path(src, "examples", "bio.inn")
    orig <- tempfile("tacsim-orig")
    dir.create(orig)
    file.copy(list.files(d, full.names = TRUE, pattern = "\\.inn$|^srspec$|^nin\\.|^canum"), orig)
    file.copy(bio, file.path(orig, "bio.inn"), overwrite = TRUE)
    x <- read_stock(orig)
    out <- write_stock(x, tempfile("tacsim-written"))
    expect_identical(check_summary(out), check_summary(orig), label = paste("--check of", basename(d)))
    y <- read_stock(out)
    expect_equal(unclass(y), unclass(x), label = paste("read back", basename(d)))
    unlink(c(orig, out), recursive = TRUE)
  }
})

test_that("records are read free-form: separators, repeats, a slash, comments and notes", {
  cases <- list(
    list("1 2 3", c("1", "2", "3")),
    list("1,2 ,3\t4", c("1", "2", "3", "4")),
    list("3*0.2 1", c("0.2", "0.2", "0.2", "1")),
    list("5 6 / 7", c("5", "6")),
    list("  8 9 a note after the values", c("8", "9", "a", "note", "after", "the", "values"))
  )
  for (k in cases) expect_identical(tacsim:::line_values(k[[1]]), k[[2]], label = k[[1]])
  f <- tempfile()
  writeLines(c("# comment", "1 2 extra", "#x", "", "2.5e1"), f)
  r <- tacsim:::record_reader(f, 100L)
  expect_identical(r$read(2, "i"), list(1L, 2L))
  expect_error(r$read(1), "Too few values in record 2")
  expect_equal(r$read(1)[[1]], 25)
  expect_error(r$read(1), "ends before all its records")
  writeLines("0.3", f)
  expect_error(tacsim:::record_reader(f, 100L)$read(1, "i"), "Bad integer '0.3'")
  unlink(f)
})

test_that("numbers are written short and exact, and records too long to read are refused", {
  v <- c(0.2, 1e-6, 3e9, 1 / 3, 650, -2.5, 0.1 + 0.2)
  txt <- tacsim:::num_text(v)
  expect_identical(as.numeric(txt), v)
  expect_identical(txt[c(1, 2, 5)], c("0.2", "1e-06", "650"))
  expect_error(tacsim:::int_text(2.5), "whole number")
  x <- read_stock(example_dir())
  x$M$M[1] <- NA
  expect_error(write_stock(x, tempfile()), "missing")
  x <- read_stock(example_dir())
  x$catch_weight$base <- x$catch_weight$base + 1 / 3
  x$catch_weight$cv <- 1 / 7
  x$catch_weight$lower <- 1 / 11
  x$catch_weight$upper <- 1 / 13
  x$catch_weight$density <- 1 / 17
  expect_error(write_stock(x, tempfile()), "more than the 100 that are read")
})

test_that("vary makes every combination, first argument slowest, and refuses unknown names", {
  x <- read_stock(example_dir())
  g <- vary(x, M = c(0.15, 0.25), ssb = c(180, 220, 260), Target = 0.35)
  expect_length(g, 6)
  expect_identical(names(g)[1:2], c("M=0.15_ssb=180_Target=0.35", "M=0.15_ssb=220_Target=0.35"))
  grid <- attr(g, "grid")
  for (k in seq_along(g)) {
    expect_true(all(g[[k]]$M$M == grid$M[k]))
    expect_identical(g[[k]]$recruitment$ssb, grid$ssb[k])
    o <- g[[k]]$options[g[[k]]$options$option == "Target", ]
    expect_identical(c(o$low, o$high, o$step), c(0.35, 0.35, 0))
  }
  h <- vary(x, rec = list(low = function(s) { s$recruitment$level <- 500; s }, high = function(s) s))
  expect_identical(names(h), c("rec=low", "rec=high"))
  expect_identical(h[[1]]$recruitment$level, 500)
  expect_error(vary(x, nonsense = 1), "does not know 'nonsense'")
  expect_error(vary(x, c(1, 2)), "named arguments")
  expect_error(set_option(x, "Gain", 1), "rule 1 has no option Gain")
})

test_that("a stock of growth parameters is written from them, its values at age on request", {
  skip_without_program()
  src <- source_dir()
  x <- read_stock(file.path(src, "tests", "golden", "data", "full"))
  expect_identical(x$format, "p")
  v <- vary(x, M = 0.3)[[1]]
  d <- write_stock(v, tempfile("tacsim-p"))
  expect_identical(read_stock(d)$growth_parameters$M, 0.3)
  expect_true(all(read_stock(d)$M$M == 0.3))
  edited <- x
  edited$stock_weight$base[1] <- 2
  expect_error(write_stock(edited, tempfile()), "come from its growth parameters")
  edited$format <- "i"
  d2 <- write_stock(edited, tempfile("tacsim-i"))
  back <- read_stock(d2)
  expect_identical(back$format, "i")
  expect_identical(back$stock_weight$base[1], 2)
  expect_identical(check_summary(d2)[1], "status 0")
  unlink(c(d, d2), recursive = TRUE)
})
