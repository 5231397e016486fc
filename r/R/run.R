#' Run the tacsim program on a stock
#'
#' Runs `tacsim --csv` on a stock (a `tacsim_stock`, written to a temporary
#' folder first, or the folder of its input files) and reads the results.
#'
#' The program's options are given as arguments: `jobs = 2` becomes
#' `--jobs 2`, `iterations = TRUE` becomes `--iterations`, and an option this
#' package does not know is passed on the same way (`seed = 7` becomes
#' `--seed 7`; underscores become hyphens). Unnamed character strings in `...`
#' are passed as they are.
#'
#' @param x a `tacsim_stock` or a folder holding `bio.inn` and `opt.inn`.
#' @param out the results folder (a new temporary folder by default).
#' @param ... the program's options, as above.
#' @param iterations also read every iteration's yearly series
#'   (`iterations.csv.gz`).
#' @param quiet keep the program's standard output (its progress) off the
#'   console; by default it shows in an interactive session.
#' @param name the name of the folder a `tacsim_stock` is written to, which
#'   the run record gives as the stock's name.
#' @return an object of class `tacsim_run` (see [read_run()]). A stop of the
#'   program is an R error of class `tacsim_error` carrying its message.
#' @seealso [read_run()], [tune_tacsim()], [ensemble_tacsim()], [plot_fan()]
#' @examples
#' \dontrun{
#' x <- read_stock(system.file("example", package = "tacsim"))
#' run <- run_tacsim(x, jobs = 2)
#' head(run$summary)
#' }
#' @export
run_tacsim <- function(x, out = tempfile("tacsim-run"), ..., iterations = FALSE, quiet = !interactive(),
                       name = "stock") {
  dir <- input_folder(x, name)
  dir.create(out, showWarnings = FALSE, recursive = TRUE)
  args <- c(program_args(list(...)), if (iterations) "--iterations" else "--csv", "-o", out, dir)
  res <- run_program(args, quiet)
  run <- read_run(out)
  run$output <- res$stdout
  run
}

#' Read the results of an earlier run
#'
#' Reads the tables of a run made with `--csv` (or by [run_tacsim()],
#' [tune_tacsim()] or [ensemble_tacsim()]) from its results folder.
#'
#' The tables, each a data frame with typed columns (`set`, years and
#' iteration numbers integer, `quantity`, `statistic` and names character,
#' values double, an empty field `NA`): `sets`, `yearly`, `summary`,
#' `perrecruit`, `refpoints`, `iterations` (when written), `tune` (a tuning),
#' `ensemble` and `by_model` (an ensemble, with `models`, the run of each
#' operating model). `record` is the run record (`run.json`) as a list.
#'
#' @param dir the results folder.
#' @return an object of class `tacsim_run`.
#' @examples
#' \dontrun{
#' run <- read_run("run/example")
#' subset(run$yearly, quantity == "ssb" & set == 1)
#' }
#' @export
read_run <- function(dir) {
  if (!dir.exists(dir)) stop("no results folder ", dir, call. = FALSE)
  f <- function(name) file.path(dir, name)
  run <- list(dir = normalizePath(dir))
  tables <- c(sets = "sets.csv", yearly = "yearly.csv", summary = "summary.csv",
              perrecruit = "perrecruit.csv", refpoints = "refpoints.csv",
              iterations = "iterations.csv.gz", tune = "tune.csv", ensemble = "ensemble.csv",
              by_model = "by_model.csv")
  for (n in names(tables)) {
    if (file.exists(f(tables[[n]]))) run[[n]] <- read_table(f(tables[[n]]))
  }
  if (file.exists(f("run.json"))) run$record <- jsonlite::fromJSON(f("run.json"), simplifyVector = TRUE)
  if (!is.null(run$ensemble)) {
    # Each operating model's run is a folder of its own, in the order of
    # by_model where it names them.
    names <- list.dirs(dir, full.names = FALSE, recursive = FALSE)
    names <- names[file.exists(file.path(f(names), "summary.csv"))]
    listed <- unique(as.character(run$by_model$model %||% run$by_model$name %||% character()))
    names <- c(intersect(listed, names), setdiff(names, listed))
    run$models <- stats::setNames(lapply(f(names), read_run), names)
  }
  if (length(run) == 1) stop("no result tables in ", dir, " (was the run made with --csv?)", call. = FALSE)
  structure(run, class = "tacsim_run")
}

`%||%` <- function(a, b) if (is.null(a)) b else a

integer_columns <- c("set", "year", "model_year", "first_year", "last_year", "iteration",
                     "regime", "rule", "combination", "round", "meets", "answer")
text_columns <- c("quantity", "statistic", "refpoint", "model", "name", "tuned", "window",
                  "criterion")

# A table of the program with the types of its columns: the names, the
# numbers and the whole numbers.
read_table <- function(file) {
  d <- utils::read.csv(file, colClasses = "character", check.names = FALSE, na.strings = "")
  for (n in names(d)) {
    if (n %in% text_columns) next
    v <- suppressWarnings(as.numeric(d[[n]]))
    if (any(is.na(v) & !is.na(d[[n]]))) next
    d[[n]] <- if (n %in% integer_columns && all(is.na(v) | v == round(v))) as.integer(v) else v
  }
  d
}

#' @export
print.tacsim_run <- function(x, ...) {
  rec <- x$record
  cat("tacsim run in ", x$dir, "\n", sep = "")
  if (!is.null(rec)) {
    cat(sprintf("  stock %s, rule %s, Blim %s, %s option set(s) of which %s finished, exit status %s\n",
                rec$stock, rec$rule, format(rec$blim), rec$option_sets, rec$sets_finished,
                rec$exit_status))
  }
  for (n in c("sets", "yearly", "summary", "perrecruit", "refpoints", "iterations", "tune",
              "ensemble", "by_model")) {
    if (!is.null(x[[n]])) cat(sprintf("  $%-11s %d rows: %s\n", n, nrow(x[[n]]),
                                      paste(utils::head(names(x[[n]]), 8), collapse = ", ")))
  }
  if (!is.null(x$models)) cat("  $models     ", paste(names(x$models), collapse = ", "), "\n")
  invisible(x)
}

#' Tune one option of a rule to a risk limit
#'
#' Runs `tacsim tune`: for every combination of the other swept options it
#' finds the value of `option` whose risk to Blim meets `risk`. With
#' `run_answer` it then runs the stock at each combination's answer, so that
#' the result holds that run's tables for the plots.
#'
#' @param x a `tacsim_stock`, a folder of input files, or an ensemble (the
#'   CSV file or the value of [write_ensemble()]) for a program with the
#'   ensemble subcommand.
#' @param option the option to tune, by its name (`"Target"`).
#' @param risk the risk limit, a fraction (0.05) or a percentage (`"5%"`).
#' @param out the results folder.
#' @param ... further options of the program or of `tune`: `statistic`,
#'   `window`, `tolerance`, `criterion`, `jobs`, ... (as in [run_tacsim()]).
#' @param run_answer run the stock at the answer of each combination.
#' @param quiet as in [run_tacsim()].
#' @return a `tacsim_run` with `tune` (every simulated point), `answer` (the
#'   answer rows), and with `run_answer` the tables of the answer's run
#'   (`set` is then the combination).
#' @examples
#' \dontrun{
#' x <- read_stock(system.file("example", package = "tacsim"))
#' x <- set_option(x, "Target", 0.2, 0.6)
#' tuned <- tune_tacsim(x, "Target", 0.05)
#' tuned$answer
#' }
#' @export
tune_tacsim <- function(x, option, risk, out = tempfile("tacsim-tune"), ..., run_answer = TRUE,
                        quiet = !interactive()) {
  ens <- ensemble_file(x)
  input <- if (is.null(ens)) input_folder(x) else ens
  dir.create(out, showWarnings = FALSE, recursive = TRUE)
  # The program's own options come before the subcommand, tune's after it.
  tune_opts <- c("statistic", "window", "tolerance", "criterion", "replicates")
  dots <- list(...)
  is_tune <- (names(dots) %||% rep("", length(dots))) %in% tune_opts
  args <- c(program_args(dots[!is_tune]), "-o", out, "tune", "--option", option,
            "--risk", if (is.numeric(risk)) num_text(risk) else risk,
            program_args(dots[is_tune]), input)
  res <- run_program(args, quiet)
  run <- read_run(out)
  run$output <- res$stdout
  run$answer <- run$tune[run$tune$answer == 1, , drop = FALSE]
  if (run_answer && nrow(run$answer) > 0) {
    stocks <- if (is.null(ens)) list(if (inherits(x, "tacsim_stock")) x else read_stock(input)) else NULL
    answers <- lapply(seq_len(nrow(run$answer)), function(k) {
      a <- run$answer[k, ]
      d <- file.path(out, sprintf("answer-%d", a$combination))
      if (is.null(ens)) {
        s <- fix_options(stocks[[1]], a)
        r <- do.call(run_tacsim, c(list(s, d), dots[!is_tune], list(quiet = quiet)))
      } else {
        e <- read_ensemble(ens)
        e$stocks <- lapply(e$stocks, fix_options, a = a)
        f <- write_ensemble(e$stocks, file.path(d, "models"), e$table$weight, e$table$set)
        r <- do.call(ensemble_tacsim, c(list(f, file.path(d, "run")), dots[!is_tune], list(quiet = quiet)))
      }
      r
    })
    run$answer_runs <- answers
    for (n in c("sets", "yearly", "summary", "ensemble", "by_model")) {
      parts <- lapply(seq_along(answers), function(k) {
        t <- answers[[k]][[n]]
        if (is.null(t)) return(NULL)
        t$set <- as.integer(run$answer$combination[k])
        t
      })
      parts <- parts[!vapply(parts, is.null, logical(1))]
      if (length(parts)) run[[n]] <- do.call(rbind, parts)
    }
    run$record <- answers[[1]]$record
  }
  run
}

# The stock with every option of the rule fixed at the values of one row of
# tune.csv (the tuned option at its answer).
fix_options <- function(x, a) {
  for (n in x$options$option) {
    if (n %in% names(a) && !is.na(a[[n]])) x <- set_option(x, n, a[[n]])
  }
  x
}

#' Set the range of an option
#'
#' @param x a `tacsim_stock`.
#' @param option the option's name (as in `x$options$option`; case does not
#'   matter).
#' @param low,high,step the range; `high` defaults to `low` and `step` to 0
#'   (a single value).
#' @return the stock.
#' @examples
#' x <- read_stock(system.file("example", package = "tacsim"))
#' x <- set_option(x, "Target", 0.2, 0.6, 0.1)
#' @export
set_option <- function(x, option, low, high = low, step = 0) {
  i <- match(tolower(option), tolower(x$options$option))
  if (is.na(i)) {
    stop("rule ", x$rule, " has no option ", option, "; its options: ",
         paste(x$options$option[!startsWith(x$options$option, "unused")], collapse = " "), call. = FALSE)
  }
  x$options[i, c("low", "high", "step")] <- c(low, high, step)
  x
}

#' Run an ensemble of operating models
#'
#' Runs `tacsim ensemble FILE -o OUT` (a program with the ensemble
#' subcommand) and reads the pooled tables and each model's run.
#'
#' @param x the ensemble: its CSV file (`name,folder,weight,set`) or the value
#'   of [write_ensemble()].
#' @param out the results folder.
#' @param ... the program's options, as in [run_tacsim()].
#' @param quiet as in [run_tacsim()].
#' @return a `tacsim_run` with `ensemble` (the pooled statistics),
#'   `by_model` and `models` (each model's `tacsim_run`).
#' @examples
#' \dontrun{
#' x <- read_stock(system.file("example", package = "tacsim"))
#' e <- write_ensemble(vary(x, M = c(0.15, 0.2, 0.25)), tempfile())
#' r <- ensemble_tacsim(e)
#' r$ensemble
#' }
#' @export
ensemble_tacsim <- function(x, out = tempfile("tacsim-ensemble"), ..., quiet = !interactive()) {
  f <- ensemble_file(x)
  if (is.null(f)) stop("give the ensemble's CSV file or the value of write_ensemble()", call. = FALSE)
  if (!has_subcommand("ensemble")) {
    stop("this tacsim program (", tacsim_program(), ") has no ensemble subcommand", call. = FALSE)
  }
  dir.create(out, showWarnings = FALSE, recursive = TRUE)
  args <- c(program_args(list(...)), "ensemble", f, "-o", out)
  res <- run_program(args, quiet)
  run <- read_run(out)
  run$output <- res$stdout
  run
}
