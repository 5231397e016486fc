#' Write a stock's input files
#'
#' Writes `bio.inn`, `opt.inn` and the files they name (`srspec`, the year-0
#' stock file, `canum.inn`) into a folder, each record after a comment that
#' names it. The program reads the written files to the same values as the
#' files the stock was read from. Numbers are written as the shortest text that
#' reads back to the same R value; a record longer than the program reads
#' (100 characters in `bio.inn`, 200 in `opt.inn`) stops with a message.
#'
#' A stock of the growth-parameter format (`format` `"p"`) is written from its
#' `growth_parameters`; set `format` to `"i"` to write its data frames at age
#' instead.
#'
#' @param x a `tacsim_stock` (from [read_stock()] or [vary()]).
#' @param dir the folder to write into (created when missing).
#' @return `dir`, invisibly.
#' @seealso [read_stock()]
#' @examples
#' x <- read_stock(system.file("example", package = "tacsim"))
#' x$M$M <- 0.25
#' d <- write_stock(x, tempfile())
#' readLines(file.path(d, "bio.inn"), n = 12)
#' @export
write_stock <- function(x, dir) {
  if (!inherits(x, "tacsim_stock")) stop("write_stock needs a tacsim_stock (from read_stock)", call. = FALSE)
  dir.create(dir, showWarnings = FALSE, recursive = TRUE)
  write_bio(x, file.path(dir, "bio.inn"))
  write_opt(x, file.path(dir, "opt.inn"))
  if (!is.null(x$srspec)) {
    s <- x$srspec
    lines <- paste(int_text(s$iteration), int_text(s$regime), num_text(s$fun),
                   num_text(s$distribution), num_text(s$level), num_text(s$ssb), num_text(s$cv))
    writeLines(lines, file.path(dir, "srspec"))
  }
  if (x$stock0$method > 1) write_nin(x, dir)
  if (!is.null(x$canum)) {
    c0 <- x$canum
    lines <- apply(cbind(int_text(c0$year), vapply(c0[-1], num_text, character(nrow(c0)))), 1,
                   paste, collapse = " ")
    writeLines(c(paste("# Catch numbers at age", paste(names(c0)[-1], collapse = " "),
                       "by calendar year"), lines), file.path(dir, "canum.inn"))
  }
  invisible(dir)
}

write_bio <- function(x, file) {
  w <- record_writer(file, 100L)
  w$comment("Biology of the stock, written by the tacsim R package. Lines starting with # are comments.")
  w$comment("Calendar year of model year 0")
  w$record(int_text(x$year0))
  w$comment("Youngest and oldest age (a plus group)")
  w$record(int_text(x$ages))
  w$comment("Age range of the reference F (Fbar)")
  w$record(int_text(x$fbar))
  w$comment("Youngest age in the total stock biomass")
  w$record(int_text(x$tsb_age))
  w$comment("Fractions of the year's F and M before spawning")
  w$record(num_text(x$spawning))
  rc <- x$regime_change
  rec <- x$recruitment
  nreg <- nrow(rec)
  w$comment("Number of recruitment regimes and how they change (1 fixed years, 2 random times)")
  extra <- character()
  if (nreg >= 2 && rc$type == 1) extra <- int_text(rc$starts)
  if (nreg >= 2 && rc$type == 2) extra <- c(num_text(rc$mean_duration), int_text(rc$base_year))
  w$record(int_text(nreg), int_text(rc$type), extra)
  for (k in seq_len(nreg)) {
    g <- rec[k, ]
    w$comment(sprintf("Regime %d: function, distribution, truncation", k))
    w$record(int_text(c(g$fun, g$distribution, g$truncation)))
    w$comment(sprintf("Regime %d: level, SSB parameter, CV, lower and upper limit, exponent", k))
    w$record(num_text(c(g$level, g$ssb, g$cv, g$lower, g$upper, g$exponent)))
    w$comment(sprintf("Regime %d: cycle amplitude, period, phase", k))
    w$record(num_text(c(g$amplitude, g$period, g$phase)))
    w$comment(sprintf("Regime %d: outburst law, mean interval, spread, factor, offset", k))
    w$record(int_text(g$outburst_law),
             num_text(c(g$outburst_interval, g$outburst_spread, g$outburst_factor)),
             int_text(g$outburst_offset))
  }
  gr <- x$growth
  w$comment("Reference total stock biomass (bref)")
  w$record(num_text(gr$bref))
  w$comment("Reference recruitment of the year-class growth factor (rref)")
  w$record(num_text(gr$rref))
  w$comment("CV of the yearly noise common to all ages in weights and maturity")
  w$record(num_text(gr$wcv))
  w$comment("Cycle in weights and maturity: amplitude, period, phase")
  w$record(num_text(gr$wcycle))
  w$comment("Year-class growth factor: lower limit, upper limit, slope")
  w$record(num_text(gr$yearclass))
  w$comment("Format of the data at age: i values at age, p growth parameters")
  w$record(x$format)
  if (tolower(x$format) == "p") {
    gp <- x$growth_parameters
    derived <- growth_at_age(gp, seq(x$ages[1], x$ages[2]))
    for (n in names(derived)) {
      if (!isTRUE(all.equal(x[[n]], derived[[n]], check.attributes = FALSE))) {
        stop("the values at age of this stock (", n, ") come from its growth parameters: change ",
             "x$growth_parameters, or set x$format <- \"i\" to write the values at age", call. = FALSE)
      }
    }
    labels <- c(M = "Natural mortality (every age)", Linf = "Asymptotic length",
                L0 = "Length at the youngest age", K = "Growth rate per year",
                c = "Condition factor (weight = c L^3)", sm = "Slope of the maturity ogive",
                Ls = "Length at 50 % selection", ss = "Slope of the selection curve")
    for (n in names(labels)) {
      w$comment(labels[[n]])
      w$record(num_text(gp[[n]]))
    }
    w$comment("Lower and upper limits of weights and maturity as fractions, density coefficient")
    w$record(num_text(c(gp$f1, gp$f2, gp$g)))
  } else {
    block <- function(d, title) {
      w$comment(title)
      if (!identical(as.integer(d$age), seq(x$ages[1], x$ages[2]))) {
        stop(title, ": the ages must run ", x$ages[1], " to ", x$ages[2], call. = FALSE)
      }
      for (i in seq_len(nrow(d))) w$record(int_text(d$age[i]), num_text(unlist(d[i, -1])))
    }
    block(x$M, "Natural mortality at age")
    block(x$selection, "Selection at age")
    block(x$catch_weight[c("age", at_age_columns)], "Catch weight at age: base, lower, upper, density, CV")
    block(x$stock_weight[c("age", at_age_columns)], "Stock weight at age: base, lower, upper, density, CV")
    block(x$maturity[c("age", at_age_columns)], "Proportion mature at age: base, lower, upper, density, CV")
  }
  w$write()
}

write_opt <- function(x, file) {
  w <- record_writer(file, 200L)
  o <- x$options
  range_of <- function(i) num_text(c(o$low[i], o$high[i], o$step[i]))
  opt_record <- function(i, what) {
    w$comment(sprintf("%s: %s (lowest, highest, step)", o$option[i], what))
    w$record(range_of(i))
  }
  w$comment("Management options, written by the tacsim R package. Lines starting with # are comments.")
  w$comment("Year-0 stock: 1 primed at a fixed F, 2 nin.inn, 3 nin.num, 4 nin.obs")
  w$record(int_text(x$stock0$method))
  w$comment(if (x$stock0$method == 1) "F of the priming run and of year 0" else "Catch in year 0")
  w$record(num_text(x$stock0$value))
  w$comment("Highest F the fleet can exert")
  w$record(num_text(x$fcap))
  w$comment("Year of the latest assessed numbers relative to the TAC year")
  w$record(int_text(x$lag))
  w$comment("Years covered by one TAC decision")
  w$record(int_text(x$tac_years))
  w$comment("Risk method, Blim, its CV or log-SD")
  w$record(int_text(x$risk$method), num_text(c(x$risk$blim, x$risk$sigma)))
  w$comment("Youngest age in the biomass above an age")
  w$record(int_text(x$bp_age))
  w$comment("Number of decision-basis elements; then each: number, kind, first and last year, how")
  w$record(int_text(nrow(x$basis)))
  for (i in seq_len(nrow(x$basis))) w$record(int_text(unlist(x$basis[i, c("element", "kind", "first", "last", "how")])))
  w$comment("Harvest rule and the type of its value")
  w$record(int_text(c(x$rule, x$vtype)))
  np <- length(rule_parameters[[as.character(x$rule)]])
  if (np == 0) stop("there is no harvest rule ", x$rule, call. = FALSE)
  for (i in seq_len(np)) opt_record(i, "rule parameter")
  if (length(x$constraints) != 3) stop("a stock has exactly three constraint slots", call. = FALSE)
  for (k in 1:3) {
    s <- x$constraints[[k]]
    if (s$type == 1) {
      w$comment(sprintf("Constraint slot %d: the TAC filter", k))
      w$record("1")
      opt_record(11, "weight of the new TAC")
      opt_record(12, "trigger of the filter")
      w$comment("Basis of the filter: kind, first and last year, how")
      w$record(int_text(s$basis))
    } else if (s$type == 2) {
      w$comment(sprintf("Constraint slot %d: limit on the TAC change and its mode", k))
      w$record("2", int_text(s$mode))
      opt_record(13, "largest change in per cent")
      if (s$mode == 2) {
        opt_record(14, "trigger of the limit")
        w$comment("Basis of the limit: kind, first and last year, how")
        w$record(int_text(s$basis))
      }
    } else if (s$type == 3) {
      w$comment(sprintf("Constraint slot %d: bounds on the TAC", k))
      w$record("3")
      opt_record(15, "lowest TAC")
      opt_record(16, "highest TAC")
    } else {
      # A slot of another type leaves its record to the next one: written
      # only where no later slot or the TAC-period record takes its place.
      w$comment(sprintf("Constraint slot %d: type %d, no constraint (its record is read again)", k, s$type))
      nxt <- if (k < 3) x$constraints[[k + 1]]$type else x$tac_fill
      if (!identical(as.integer(nxt), as.integer(s$type))) {
        stop("constraint slot ", k, " has type ", s$type, ", which only the next slot or the ",
             "TAC-period record may repeat; give 1, 2 or 3", call. = FALSE)
      }
    }
  }
  w$comment("TAC period: 1 the same TAC each year, 2 linear steps")
  w$record(int_text(x$tac_fill))
  opt_record(17, "not used by any result")
  what <- c("observation bias", "implementation bias", "SD of the yearly observation error",
            "SD of the yearly implementation error", "SD of the recruitment-index error",
            "SD of the survey error")
  for (i in 18:23) opt_record(i, what[i - 17])
  w$comment("Per age: age, SD of the observation error of numbers, of catch numbers, of the implementation")
  cv <- x$cv_age
  for (i in seq_len(nrow(cv))) w$record(int_text(cv$age[i]), num_text(c(cv$obs[i], cv$canum[i], cv$impl[i])))
  w$comment("Cohort weights of the observation errors: number, then the weights")
  w$record(int_text(length(x$cohort_weights)), num_text(x$cohort_weights))
  w$comment("Recruitment at a decision: recobs, recproj, first and last year of the mean, noise SD")
  d <- x$decision_recruitment
  w$record(int_text(unlist(d[c("recobs", "recproj", "mrfirst", "mrlast")])), num_text(d[["recobscv"]]))
  w$comment("Output files: unit and switch (1 writes the file); unit 12 also its summary years")
  out <- x$outputs
  for (k in seq_len(nrow(out))) {
    extra <- if (k == 2 && out$switch[k] == 1) int_text(x$summary_years) else character()
    w$comment(output_files[[as.character(k + 10 + (k >= 3))]])
    w$record(int_text(c(out$unit[k], out$switch[k])), extra)
  }
  w$write()
}

write_nin <- function(x, dir) {
  s0 <- x$stock0
  n <- s0$nin
  lines <- switch(as.character(x$stock0$method),
    `2` = vapply(seq_len(nrow(n)), function(i) {
      paste(int_text(n$age[i]), num_text(n$number[i]), paste(num_text(s0$spread[i, ]), collapse = " "))
    }, character(1)),
    `3` = paste(int_text(n$age), num_text(n$number), num_text(n$log_variance)),
    `4` = paste(int_text(n$age), num_text(n$number)))
  writeLines(c(lines, num_text(s0$ssb_pre)), file.path(dir, s0$file))
}
