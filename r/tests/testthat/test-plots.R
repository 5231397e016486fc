test_that("the figures draw the run's fractiles, Blim, the trigger and the risk limit", {
  skip_without_program()
  skip_if_not_installed("ggplot2")
  run <- example_run()
  fan <- ggplot2::ggplot_build(plot_fan(run, set = 2))
  ribbons <- fan$data[[1]]
  ssb <- run$yearly[run$yearly$set == 2 & run$yearly$quantity == "ssb", ]
  panel1 <- ribbons[ribbons$PANEL == 1, ]
  expect_equal(panel1$ymax, ssb$p95)
  expect_equal(fan$data[[3]]$y[fan$data[[3]]$PANEL == 1], ssb$p50)
  hline <- which(vapply(fan$plot$layers, function(l) inherits(l$geom, "GeomHline"), logical(1)))
  refs <- fan$data[[hline]]
  expect_setequal(refs$yintercept, c(220, 460))
  expect_true(all(refs$PANEL == 1))
  expect_identical(levels(fan$plot$data$panel), c("SSB", "Fbar", "Catch", "Recruitment"))
  expect_identical(fan$plot$labels$title, "Target 0.5")
  grid <- ggplot2::ggplot_build(plot_fan(run, quantity = "catch", set = 1:2))
  expect_identical(nrow(grid$layout$layout), 2L)

  tr <- ggplot2::ggplot_build(plot_tradeoff(run, x = "risk3", y = "C50"))
  s <- run$summary[run$summary$last_year - run$summary$first_year == 39, ]
  expect_equal(tr$data[[1]]$x, s$value[s$statistic == "risk3"])
  expect_equal(tr$data[[1]]$y, s$value[s$statistic == "C50"])
  expect_identical(tr$data[[2]]$label, c("Target 0.3", "Target 0.5"))
  expect_identical(tr$data[[3]]$xintercept, 5)
  expect_identical(ggplot2::ggplot_build(plot_tradeoff(run, risk_limit = 10))$data[[3]]$xintercept, 10)
  expect_error(plot_tradeoff(run, window = "summary"), NA)
  expect_error(plot_tradeoff(run, y = "nonsense"), "no statistic nonsense")

  risk <- ggplot2::ggplot_build(plot_risk(run))
  expect_identical(nrow(risk$data[[1]]), 2L * 41L)
  expect_identical(risk$data[[2]]$yintercept, 5)

  other <- run
  other$yearly$p50 <- other$yearly$p50 * 2
  cmp <- ggplot2::ggplot_build(compare_runs(a = run, b = other, set = 1))
  expect_identical(nrow(cmp$data[[2]]), 2L * 41L)
  expect_identical(levels(cmp$plot$data$run), c("a", "b"))
  cmp2 <- ggplot2::ggplot_build(compare_runs(list(run, other), type = "tradeoff"))
  expect_identical(nrow(cmp2$data[[1]]), 4L)
  expect_error(compare_runs(1), "needs tacsim_run")
})

test_that("the figures stop with a clear message without ggplot2", {
  expect_error(tacsim:::need_ggplot(available = FALSE), "need the R package ggplot2")
  expect_silent(tacsim:::need_ggplot(available = TRUE))
})
