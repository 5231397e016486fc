test_that("a run's data frames hold the values and types of its CSV tables and its record", {
  skip_without_program()
  run <- example_run()
  expect_s3_class(run, "tacsim_run")
  types <- list(
    sets = c(set = "integer", Target = "numeric", rule = "integer"),
    yearly = c(set = "integer", year = "integer", model_year = "integer", quantity = "character",
               mean = "numeric", p05 = "numeric", p95 = "numeric"),
    summary = c(set = "integer", first_year = "integer", last_year = "integer",
                statistic = "character", value = "numeric"),
    refpoints = c(regime = "integer", refpoint = "character", f = "numeric"))
  files <- c(sets = "sets.csv", yearly = "yearly.csv", summary = "summary.csv", refpoints = "refpoints.csv")
  for (n in names(types)) {
    csv <- read.csv(file.path(run$dir, files[[n]]), check.names = FALSE)
    d <- run[[n]]
    expect_identical(names(d), names(csv), label = n)
    expect_identical(nrow(d), nrow(csv), label = n)
    for (col in names(csv)) expect_equal(unname(unlist(d[[col]])), unname(unlist(csv[[col]])), label = paste(n, col))
    for (col in names(types[[n]])) expect_true(is(d[[col]], types[[n]][[col]]), label = paste(n, col, "type"))
  }
  expect_identical(sort(unique(run$sets$Target)), c(0.3, 0.5))
  expect_identical(nrow(run$yearly), 2L * 410L)
  # An empty field is a missing value: there is no TAC change in year 0.
  expect_true(all(is.na(run$yearly$mean[run$yearly$quantity == "tac_change" & run$yearly$model_year == 0])))
  expect_identical(run$record$exit_status, 0L)
  expect_identical(run$record$option_sets, 2L)
  expect_identical(run$record$blim, 220)
  expect_identical(run$record$stock, "stock")
  again <- read_run(run$dir)
  expect_identical(again$summary, run$summary)
})

test_that("every iteration's series is read when asked", {
  skip_without_program()
  x <- set_option(read_stock(example_dir()), "Target", 0.4)
  r <- run_tacsim(x, tempfile("tacsim-it"), iterations = TRUE, jobs = 1, quiet = TRUE)
  it <- r$iterations
  expect_identical(nrow(it), 41000L)
  expect_true(is.integer(it$iteration) && is.integer(it$year) && is.double(it$ssb))
  # The yearly mean is the mean over the iterations.
  y <- r$yearly[r$yearly$quantity == "catch" & r$yearly$model_year == 5, ]
  expect_equal(mean(it$catch[it$year == y$year]), y$mean, tolerance = 1e-5)
  unlink(r$dir, recursive = TRUE)
})

test_that("a stock written by R runs to the same results as its original files", {
  skip_without_program()
  x <- set_option(read_stock(example_dir()), "Target", 0.4)
  a <- run_tacsim(x, tempfile("tacsim-a"), jobs = 1, quiet = TRUE)
  orig <- tempfile("tacsim-orig")
  dir.create(orig)
  file.copy(file.path(example_dir(), c("bio.inn", "opt.inn")), orig)
  opt <- readLines(file.path(orig, "opt.inn"))
  opt[opt == "0.30 0.50 0.10"] <- "0.4 0.4 0"
  writeLines(opt, file.path(orig, "opt.inn"))
  b <- run_tacsim(orig, tempfile("tacsim-b"), jobs = 1, quiet = TRUE)
  expect_identical(a$summary, b$summary)
  expect_identical(a$yearly, b$yearly)
  unlink(c(a$dir, b$dir, orig), recursive = TRUE)
})

test_that("a stop of the program is an R error with its message and exit status", {
  skip_without_program()
  x <- read_stock(example_dir())
  cases <- list(
    list(edit = function(s) { s$fbar <- c(10L, 5L); s }, status = 1L, message = "reference F ages"),
    list(edit = function(s) { s$rule <- 9L; s }, status = NA, message = "no harvest rule 9"),
    list(edit = function(s) { s$risk$method <- 7L; s }, status = 1L, message = "(?i)risk"))
  for (k in cases) {
    e <- tryCatch(run_tacsim(k$edit(x), tempfile("tacsim-bad"), quiet = TRUE), error = function(e) e)
    expect_s3_class(e, "error")
    expect_match(conditionMessage(e), k$message, perl = TRUE)
    if (!is.na(k$status)) {
      expect_s3_class(e, "tacsim_error")
      expect_identical(as.integer(e$status), k$status)
    }
  }
  bad <- tempfile("tacsim-bad")
  dir.create(bad)
  file.copy(file.path(example_dir(), c("bio.inn", "opt.inn")), bad)
  opt <- readLines(file.path(bad, "opt.inn"))
  opt[opt == "2.0"] <- "x"
  writeLines(opt, file.path(bad, "opt.inn"))
  e <- tryCatch(run_tacsim(bad, tempfile("tacsim-bad"), quiet = TRUE), error = function(e) e)
  expect_identical(as.integer(e$status), 2L)
  expect_match(conditionMessage(e), "opt.inn")
  unlink(bad, recursive = TRUE)
  expect_error(read_run(tempfile()), "no results folder")
})

test_that("R arguments become the program's options", {
  cases <- list(
    list(list(jobs = 2), c("--jobs", "2")),
    list(list(seed = 7, quiet = TRUE, resume = FALSE), c("--seed", "7", "--quiet")),
    list(list(risk_limit = 0.05, j = 1), c("--risk-limit", "0.05", "-j", "1")),
    list(list("--as-is", biomass_unit = "kt", number_unit = NULL), c("--as-is", "--biomass-unit", "kt")))
  for (k in cases) expect_identical(tacsim:::program_args(k[[1]]), k[[2]])
})

test_that("a tuning gives the answer and the run at the answer", {
  skip_without_program()
  x <- set_option(read_stock(example_dir()), "Target", 0.3, 0.9, 0.1)
  t <- tune_tacsim(x, "Target", 0.05, tempfile("tacsim-tune"), jobs = 2, tolerance = 0.05, quiet = TRUE)
  expect_identical(nrow(t$answer), 1L)
  a <- t$answer$Target
  expect_true(a > 0.3 && a < 0.9)
  expect_lte(t$answer$all_risk3, 5)
  # The run at the answer has the risk the tuning found.
  r3 <- t$summary$value[t$summary$statistic == "risk3" & t$summary$last_year - t$summary$first_year == 39]
  expect_equal(r3, t$answer$all_risk3)
  expect_identical(t$sets$Target, a)
})
