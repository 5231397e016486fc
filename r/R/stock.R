# Stocks as R objects: the records of bio.inn, opt.inn and the files they
# name, with names.

rule_parameters <- list(
  `1` = c("Btrig1", "Btrig2", "Target", "Alfa1", "Alfa2"),
  `2` = c("B0", "Btrig1", "Btrig2", "Target", "Level1", "Alfa2"),
  `3` = c("Btrig1", "Btrig2", "Target", "Alfa1", "Alfa2", "Gain"),
  `4` = c("Btrig1", "Btrig2", "Target", "Slope1", "Slope2", "Vmax"),
  `5` = c("Btrig1", "Btrig2", "RefRec", "Alfa1", "Alfa2", "Vlow", "Vhigh"),
  `6` = c("B0", "Btrig1", "Btrig2", "RefRec", "Alfa2", "V0", "Vlow", "Vhigh"),
  `7` = c("Btrig1", "Btrig2", "Target", "Alfa1", "Alfa2"),
  `8` = c("Btrig1", "Btrig2", "Vstd", "Alfa1", "Alfa2", "Vlow", "Vhigh")
)

management_options <- c(Filter = 11, Trig_filt = 12, Percent = 13, Trig_perc = 14,
                        MinTAC = 15, MaxTAC = 16, Option17 = 17, Bias_obs = 18,
                        Bias_impl = 19, CVyr_obs = 20, CVyr_impl = 21, CV_recr = 22,
                        CV_biosurv = 23)

# The names of the 23 options for a rule: its parameters, unused slots up to
# 10, then the management and error options.
option_names <- function(rule) {
  p <- rule_parameters[[as.character(rule)]]
  if (is.null(p)) p <- character()
  c(p, if (length(p) < 10) paste0("unused", (length(p) + 1):10), names(management_options))
}

recruitment_columns <- c("fun", "distribution", "truncation", "level", "ssb", "cv", "lower",
                         "upper", "exponent", "amplitude", "period", "phase", "outburst_law",
                         "outburst_interval", "outburst_spread", "outburst_factor",
                         "outburst_offset")
at_age_columns <- c("base", "lower", "upper", "density", "cv")
output_files <- c(`11` = "Results", `12` = "Years", `14` = "First_5", `15` = "Traj",
                  `16` = "S0_distr", `17` = "F_distr", `18` = "IAV_distr", `19` = "compbas",
                  `20` = "SRpairs", `21` = "All_years", `22` = "Yieldrecr",
                  `23` = "Catch_agedist", `24` = "SSB_agedist", `25` = "Wema",
                  `26` = "Comprecr", `27` = "Recovery")

#' Read a stock's input files
#'
#' Reads `bio.inn`, `opt.inn` and the files they name (`srspec`, `nin.inn`,
#' `nin.num` or `nin.obs`, `canum.inn`) from a folder into a list of class
#' `tacsim_stock` whose elements carry the names of the input guide.
#'
#' The biology: `year0`, `ages` (youngest and oldest), `fbar` (the reference
#' ages), `tsb_age`, `spawning` (`fprop`, `mprop`), `regime_change` (how the
#' recruitment regimes follow one another), `recruitment` (a data frame, one
#' row per regime with its function, deviate, cycle and outburst fields),
#' `growth` (`bref`, `rref`, `wcv`, the weight cycle and the year-class
#' factor), `format` (`"i"` values at age or `"p"` growth parameters), the
#' data frames by age `M`, `selection`, `catch_weight`, `stock_weight` and
#' `maturity` (for the `"p"` format computed from `growth_parameters`, which
#' are what is written back), and `srspec`.
#'
#' The options: `stock0` (how the year-0 stock is set up, with `nin` and
#' `ssb_pre` from its file), `fcap`, `lag`, `tac_years`, `risk` (method,
#' `blim`, `sigma`), `bp_age`, `basis` (a data frame of the decision-basis
#' elements), `rule`, `vtype`, `options` (the 23 options by name with their
#' ranges `low`, `high`, `step`: the rule's parameters, `unused6` ... for the
#' slots a rule leaves, the management and error options, and `Option17`,
#' which no result depends on), `constraints` (the three constraint slots),
#' `tac_fill`, `cv_age`, `cohort_weights`, `decision_recruitment`,
#' `outputs` (the output switches), `summary_years` and `canum`.
#'
#' @param dir the folder holding the input files.
#' @param bio,opt the biological and options files (by default those in `dir`).
#' @return an object of class `tacsim_stock`.
#' @seealso [write_stock()], [vary()]
#' @examples
#' ex <- system.file("example", package = "tacsim")
#' x <- read_stock(ex)
#' x$M
#' x$options[x$options$option == "Target", ]
#' @export
read_stock <- function(dir, bio = file.path(dir, "bio.inn"), opt = file.path(dir, "opt.inn")) {
  x <- read_bio(bio, dir)
  x <- read_opt(opt, dir, x)
  structure(x, class = "tacsim_stock")
}

read_bio <- function(file, dir) {
  r <- record_reader(file, 100L)
  x <- list()
  x$year0 <- r$read(1, "i")[[1]]
  x$ages <- unlist(r$read(2, "i"))
  x$fbar <- unlist(r$read(2, "i"))
  x$tsb_age <- r$read(1, "i")[[1]]
  x$spawning <- stats::setNames(unlist(r$read(2, "r")), c("fprop", "mprop"))
  v <- r$read(2, "i")
  nreg <- v[[1]]
  change <- list(type = v[[2]], starts = integer(), mean_duration = NA_real_, base_year = NA_integer_)
  if (nreg >= 2 && v[[2]] == 1) {
    change$starts <- unlist(r$read(nreg + 1, "i", again = TRUE))[-(1:2)]
  } else if (nreg >= 2 && v[[2]] == 2) {
    w <- r$read(4, c("i", "i", "r", "i"), again = TRUE)
    change$mean_duration <- w[[3]]
    change$base_year <- w[[4]]
  } else if (nreg >= 2) {
    stop("Something wrong with specification of recruitment regimes (", file, ")", call. = FALSE)
  }
  if (nreg < 1 || nreg > 40) stop("the number of recruitment regimes must be 1 to 40 (", file, ")", call. = FALSE)
  x$regime_change <- change
  rows <- lapply(seq_len(nreg), function(k) {
    a <- r$read(3, "i")
    b <- r$read(6, "r")
    cyc <- r$read(3, "r")
    o <- r$read(5, c("i", "r", "r", "r", "i"))
    c(a, b, cyc, o)
  })
  rec <- as.data.frame(do.call(rbind, lapply(rows, unlist)))
  names(rec) <- recruitment_columns
  for (k in c("fun", "distribution", "truncation", "outburst_law", "outburst_offset")) {
    rec[[k]] <- as.integer(rec[[k]])
  }
  x$recruitment <- cbind(regime = seq_len(nreg), rec)
  g <- list()
  g$bref <- r$read(1)[[1]]
  g$rref <- r$read(1)[[1]]
  g$wcv <- r$read(1)[[1]]
  g$wcycle <- stats::setNames(unlist(r$read(3)), c("amplitude", "period", "phase"))
  g$yearclass <- stats::setNames(unlist(r$read(3)), c("min", "max", "slope"))
  x$growth <- g
  x$format <- substr(r$line(), 1L, 1L)
  ages <- seq(x$ages[1], x$ages[2])
  if (tolower(x$format) == "i") {
    block <- function(n, what) {
      m <- do.call(rbind, lapply(ages, function(a) {
        v <- r$read(n + 1, c("i", rep("r", n)))
        if (v[[1]] != a) {
          stop(sprintf("Check ageing of biol. data input at %d (%s, %s)", v[[1]], file, what), call. = FALSE)
        }
        unlist(v[-1])
      }))
      m <- matrix(m, nrow = length(ages))
      d <- data.frame(age = ages, m)
      names(d)[-1] <- if (n == 1) what else at_age_columns
      d
    }
    x$M <- block(1, "M")
    x$selection <- block(1, "selection")
    x$catch_weight <- block(5, "catch weight")
    x$stock_weight <- block(5, "stock weight")
    x$maturity <- block(5, "maturity")
  } else if (tolower(x$format) == "p") {
    v <- vapply(1:8, function(k) r$read(1)[[1]], numeric(1))
    f <- unlist(r$read(3))
    gp <- as.list(c(v, f))
    names(gp) <- c("M", "Linf", "L0", "K", "c", "sm", "Ls", "ss", "f1", "f2", "g")
    x$growth_parameters <- gp
    x <- c(x, growth_at_age(gp, ages))
  } else {
    stop("Incomprehensible specification of biological input: file format ", x$format,
         " (", file, "); must be i or p", call. = FALSE)
  }
  x$srspec <- NULL
  if (any(x$recruitment$fun > 9)) {
    sf <- file.path(dirname(file), "srspec")
    if (!file.exists(sf)) stop("Cannot open input file ", sf, call. = FALSE)
    s <- utils::read.table(sf, header = FALSE, col.names = c("iteration", "regime", "fun",
                           "distribution", "level", "ssb", "cv"))
    x["srspec"] <- list(s)
  }
  x
}

# The values at age that growth parameters give (for viewing; the program
# derives its own in single precision).
growth_at_age <- function(gp, ages) {
  kk <- 1 - exp(-gp$K)
  len <- numeric(length(ages))
  len[1] <- gp$L0
  for (k in seq_along(ages)[-1]) len[k] <- len[k - 1] + (gp$Linf - len[k - 1]) * kk
  lm <- 0.667 * gp$Linf
  sel <- (1 + exp(-(gp$Linf - gp$Ls) * gp$ss)) / (1 + exp(-(len - gp$Ls) * gp$ss))
  w <- gp$c * len^3
  mat <- (1 + exp(-(gp$Linf - lm) * gp$sm)) / (1 + exp(-(len - lm) * gp$sm))
  wdf <- data.frame(age = ages, base = w, lower = gp$f1 * w, upper = gp$f2 * w,
                    density = gp$g, cv = 0)
  list(M = data.frame(age = ages, M = gp$M),
       selection = data.frame(age = ages, selection = sel),
       catch_weight = wdf, stock_weight = wdf,
       maturity = data.frame(age = ages, base = mat, lower = gp$f1 * mat,
                             upper = pmax(gp$f2 * mat, 1), density = gp$g, cv = 0))
}

read_opt <- function(file, dir, x) {
  r <- record_reader(file, 200L)
  ages <- seq(x$ages[1], x$ages[2])
  s0 <- list(method = r$read(1, "i")[[1]])
  s0$value <- r$read(1)[[1]]
  if (!(s0$method %in% 1:4)) stop("Invalid option for year 0: ", s0$method, " (", file, ")", call. = FALSE)
  if (s0$method > 1) s0 <- c(s0, read_nin(dir, s0$method, x$ages))
  x$stock0 <- s0
  x$fcap <- r$read(1)[[1]]
  x$lag <- r$read(1, "i")[[1]]
  x$tac_years <- r$read(1, "i")[[1]]
  v <- r$read(3, c("i", "r", "r"))
  x$risk <- list(method = v[[1]], blim = v[[2]], sigma = v[[3]])
  x$bp_age <- r$read(1, "i")[[1]]
  nb <- r$read(1, "i")[[1]]
  if (nb < 1 || nb > 5) stop("the number of basis elements must be 1 to 5 (", file, ")", call. = FALSE)
  b <- do.call(rbind, lapply(seq_len(nb), function(i) unlist(r$read(5, "i"))))
  b <- as.data.frame(matrix(b, nrow = nb))
  names(b) <- c("element", "kind", "first", "last", "how")
  x$basis <- b
  v <- r$read(2, "i")
  x$rule <- v[[1]]
  x$vtype <- v[[2]]
  np <- length(rule_parameters[[as.character(x$rule)]])
  if (np == 0) stop("Asked for non-existing rule: ", x$rule, " (", file, ")", call. = FALSE)
  low <- numeric(23)
  high <- numeric(23)
  step <- c(rep(1, 22), 0)
  set_range <- function(i) {
    v <- unlist(r$read(3))
    low[i] <<- v[1]
    high[i] <<- v[2]
    step[i] <<- v[3]
  }
  for (i in seq_len(np)) set_range(i)
  slots <- list()
  for (k in 1:3) {
    t <- r$read(1, "i")[[1]]
    if (t == 1) {
      set_range(11)
      set_range(12)
      slots[[k]] <- list(type = 1L, basis = stats::setNames(unlist(r$read(4, "i")),
                                                           c("kind", "first", "last", "how")))
    } else if (t == 2) {
      mode <- r$read(2, "i", again = TRUE)[[2]]
      set_range(13)
      slot <- list(type = 2L, mode = mode)
      if (mode == 2) {
        set_range(14)
        slot$basis <- stats::setNames(unlist(r$read(4, "i")), c("kind", "first", "last", "how"))
      }
      slots[[k]] <- slot
    } else if (t == 3) {
      set_range(15)
      set_range(16)
      slots[[k]] <- list(type = 3L)
    } else {
      # The record is not taken: the next slot reads it again.
      slots[[k]] <- list(type = t)
      r$back()
    }
  }
  x$constraints <- slots
  x$tac_fill <- r$read(1, "i")[[1]]
  for (i in 17:23) set_range(i)
  x$options <- data.frame(index = 1:23, option = option_names(x$rule), low = low, high = high,
                          step = step, stringsAsFactors = FALSE)
  cv <- do.call(rbind, lapply(ages, function(a) {
    v <- r$read(4, c("i", "r", "r", "r"))
    if (v[[1]] != a) {
      stop(sprintf("Wrong ages for cv-values in the opt file: stated as %d, expected %d (%s)",
                   v[[1]], a, file), call. = FALSE)
    }
    unlist(v[-1])
  }))
  x$cv_age <- data.frame(age = ages, obs = cv[, 1], canum = cv[, 2], impl = cv[, 3])
  nc <- r$read(1, "i")[[1]]
  x$cohort_weights <- if (nc > 0) unlist(r$read(nc + 1, c("i", rep("r", nc)), again = TRUE))[-1] else numeric()
  v <- r$read(5, c("i", "i", "i", "i", "r"))
  names(v) <- c("recobs", "recproj", "mrfirst", "mrlast", "recobscv")
  x$decision_recruitment <- v
  units <- integer(16)
  values <- integer(16)
  x$summary_years <- NULL
  for (k in 1:16) {
    v <- r$read(2, "i")
    units[k] <- v[[1]]
    values[k] <- v[[2]]
    if (k == 2 && v[[2]] == 1) x$summary_years <- unlist(r$read(4, "i", again = TRUE))[3:4]
  }
  x$outputs <- data.frame(unit = units, switch = values)
  x$canum <- NULL
  needs_canum <- min(c(x$lag, b$first, x$decision_recruitment[["mrfirst"]],
                       unlist(lapply(slots, function(s) if (!is.null(s$basis)) s$basis[["first"]]))))
  cf <- file.path(dir, "canum.inn")
  if (needs_canum < 0 || file.exists(cf)) {
    if (file.exists(cf)) x["canum"] <- list(read_canum(cf, x$ages))
    else stop("Cannot open input file ", cf, call. = FALSE)
  }
  x
}

# The year-0 stock files: one record per age that may run over several lines,
# then the spawning stock behind each year class not yet recruited.
read_nin <- function(dir, method, agerange) {
  name <- c("", "nin.inn", "nin.num", "nin.obs")[method]
  f <- file.path(dir, name)
  if (!file.exists(f)) stop("Cannot open input file ", f, call. = FALSE)
  lines <- sub("\r$", "", readLines(f, warn = FALSE))
  ages <- seq(agerange[1], agerange[2])
  per <- c(0, 2 + length(ages), 3, 2)[method]
  vals <- character()
  pos <- 0L
  take <- function(n) {
    got <- character()
    while (length(got) < n) {
      pos <<- pos + 1L
      if (pos > length(lines)) stop("Input file ", f, " ends before all its records were read", call. = FALSE)
      got <- c(got, line_values(lines[pos]))
    }
    vapply(got[seq_len(n)], parse_real, numeric(1), file = f, line = pos, USE.NAMES = FALSE)
  }
  m <- t(vapply(ages, function(a) {
    v <- take(per)
    if (v[1] != a) stop(sprintf("Wrong ages in the %s file: stated as %g, expected %d", name, v[1], a), call. = FALSE)
    v
  }, numeric(per)))
  d <- data.frame(age = ages, number = m[, 2])
  if (method == 2) {
    cm <- m[, -(1:2), drop = FALSE]
    colnames(cm) <- ages
    rownames(cm) <- ages
  }
  out <- list(file = name, nin = d)
  if (method == 2) out$spread <- cm
  if (method == 3) out$nin$log_variance <- m[, 3]
  out$ssb_pre <- if (agerange[1] > 0) vapply(seq_len(agerange[1]), function(j) take(1), numeric(1)) else numeric()
  out
}

read_canum <- function(file, agerange) {
  lines <- sub("\r$", "", readLines(file, warn = FALSE))
  lines <- lines[nzchar(trimws(lines)) & !startsWith(trimws(lines), "#")]
  ages <- seq(agerange[1], agerange[2])
  m <- t(vapply(lines, function(l) {
    v <- line_values(substr(l, 1L, 200L))
    if (length(v) < length(ages) + 1) stop("Too few values on a line of ", file, ": ", l, call. = FALSE)
    vapply(v[seq_len(length(ages) + 1)], parse_real, numeric(1), file = file, line = 0L)
  }, numeric(length(ages) + 1), USE.NAMES = FALSE))
  m <- matrix(m, ncol = length(ages) + 1)
  d <- data.frame(year = as.integer(m[, 1]), m[, -1, drop = FALSE])
  names(d) <- c("year", paste0("age", ages))
  d
}

#' @export
print.tacsim_stock <- function(x, ...) {
  cat(sprintf("tacsim stock: ages %d-%d, years %d-%d (year 0 and 40 years), Fbar %d-%d, %d recruitment regime%s\n",
              x$ages[1], x$ages[2], x$year0, x$year0 + 40L, x$fbar[1], x$fbar[2], nrow(x$recruitment),
              if (nrow(x$recruitment) > 1) "s" else ""))
  cat(sprintf("Harvest rule %d (value type %d), Blim %s\n", x$rule, x$vtype, format(x$risk$blim)))
  o <- x$options[!startsWith(x$options$option, "unused") & x$options$option != "Option17", ]
  vals <- vapply(seq_len(nrow(o)), function(i) {
    v <- option_values(o$low[i], o$high[i], o$step[i])
    paste(format(v), collapse = " ")
  }, character(1))
  cat(paste0("  ", format(o$option), " ", vals, "\n"), sep = "")
  invisible(x)
}

# The values a range gives in the sweep (approximately: the program counts
# the steps in single precision).
option_values <- function(low, high, step) {
  if (step == 0) return(low)
  n <- floor((high * 1.001 - low) / step)
  if (n < 0) return(low)
  low + step * (0:n)
}
