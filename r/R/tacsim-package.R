#' tacsim: run the tacsim management strategy evaluation program from R
#'
#' Stocks as R objects ([read_stock()], [write_stock()], [vary()],
#' [write_ensemble()]), runs of the program ([run_tacsim()], [tune_tacsim()],
#' [ensemble_tacsim()], [read_run()]) and the figures of its report
#' ([plot_fan()], [plot_tradeoff()], [plot_risk()], [compare_runs()]). The
#' model runs in the tacsim program, never in R. The bundled example stock is
#' in `system.file("example", package = "tacsim")`.
#'
#' @keywords internal
"_PACKAGE"

# The column pronoun of ggplot2's aesthetics.
utils::globalVariables(".data")
