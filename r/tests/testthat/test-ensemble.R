test_that("write_ensemble writes each model's folder and the CSV the program reads", {
  x <- read_stock(example_dir())
  g <- vary(x, M = c(0.15, 0.25))
  dir <- tempfile("tacsim-ens")
  e <- write_ensemble(c(g, list(failure = vary(x, level = 300)[[1]])), dir, weights = c(1, 3, 0),
                      set = c("reference", "reference", "robustness"))
  csv <- read.csv(e$file, stringsAsFactors = FALSE)
  expect_identical(names(csv), c("name", "folder", "weight", "set"))
  expect_identical(csv$name, c("M=0.15", "M=0.25", "failure"))
  expect_equal(csv$weight, c(1, 3, 0))
  expect_identical(csv$set, c("reference", "reference", "robustness"))
  back <- read_ensemble(e$file)
  expect_equal(unclass(back$stocks[["M=0.25"]]), unclass(g[["M=0.25"]]))
  expect_identical(back$stocks$failure$recruitment$level, 300)
  expect_error(write_ensemble(g, dir, set = "other"), "reference")
  expect_error(write_ensemble(list(a = x, a = x), dir), "must differ")
  unlink(dir, recursive = TRUE)
})

test_that("a grid made with vary runs as an ensemble to the statistics of folders written by hand", {
  skip_without_program()
  if (!has_subcommand("ensemble")) skip("this tacsim has no ensemble subcommand")
  x <- set_option(read_stock(example_dir()), "Target", 0.3, 0.5, 0.2)
  by_r <- ensemble_tacsim(write_ensemble(vary(x, M = c(0.15, 0.25)), tempfile("tacsim-ens"), weights = c(1, 2)),
                          tempfile("tacsim-ens-run"), jobs = 2, quiet = TRUE)
  hand <- tempfile("tacsim-hand")
  rows <- character()
  for (m in c("0.15", "0.25")) {
    d <- file.path(hand, paste0("m", m))
    dir.create(d, recursive = TRUE)
    bio <- readLines(file.path(example_dir(), "bio.inn"))
    bio <- sub("^([0-9]+) 0.2$", paste("\\1", m), bio)
    writeLines(bio, file.path(d, "bio.inn"))
    opt <- readLines(file.path(example_dir(), "opt.inn"))
    opt[opt == "0.30 0.50 0.10"] <- "0.3 0.5 0.2"
    writeLines(opt, file.path(d, "opt.inn"))
    rows <- c(rows, paste0("M=", m, ",", d, ",", if (m == "0.15") 1 else 2, ",reference"))
  }
  writeLines(c("name,folder,weight,set", rows), file.path(hand, "ensemble.csv"))
  by_hand <- ensemble_tacsim(file.path(hand, "ensemble.csv"), tempfile("tacsim-hand-run"), jobs = 2, quiet = TRUE)
  expect_false(is.null(by_r$ensemble))
  expect_identical(by_r$ensemble, by_hand$ensemble)
  expect_identical(names(by_r$models), c("M=0.15", "M=0.25"))
  expect_identical(by_r$models[[2]]$summary, by_hand$models[[2]]$summary)
  unlink(c(hand, by_r$dir, by_hand$dir), recursive = TRUE)
})

test_that("an ensemble's results folder reads as the pooled tables and each model's run", {
  skip_without_program()
  run <- example_run()
  out <- tempfile("tacsim-ens-out")
  for (m in c("zeta", "alpha")) {
    dir.create(file.path(out, m), recursive = TRUE)
    file.copy(list.files(run$dir, full.names = TRUE), file.path(out, m))
  }
  dir.create(file.path(out, "not-a-model"))
  file.copy(file.path(run$dir, "summary.csv"), file.path(out, "ensemble.csv"))
  b <- run$summary
  writeLines(c("model,set,first_year,last_year,statistic,value",
               paste("zeta", b$set, b$first_year, b$last_year, b$statistic, b$value, sep = ","),
               paste("alpha", b$set, b$first_year, b$last_year, b$statistic, b$value, sep = ",")),
             file.path(out, "by_model.csv"))
  e <- read_run(out)
  expect_identical(names(e$models), c("zeta", "alpha"))
  expect_identical(e$models$alpha$summary, run$summary)
  expect_identical(e$ensemble, run$summary)
  expect_true(is.character(e$by_model$model) && is.integer(e$by_model$set))
  # The trade-off of an ensemble draws its pooled statistics.
  skip_if_not_installed("ggplot2")
  tr <- ggplot2::ggplot_build(plot_tradeoff(e))
  expect_equal(tr$data[[1]]$y, b$value[b$statistic == "C50" & b$last_year - b$first_year == 39])
  unlink(out, recursive = TRUE)
})
