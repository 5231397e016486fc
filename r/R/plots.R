# The figures of the report drawn with ggplot2: bands of fractiles over the
# years, reference points as dashed lines, points labelled by their option set.

need_ggplot <- function(available = requireNamespace("ggplot2", quietly = TRUE)) {
  if (!available) {
    stop("the plots need the R package ggplot2 (install.packages(\"ggplot2\"), ",
         "or Debian's r-cran-ggplot2)", call. = FALSE)
  }
}

quantity_labels <- c(ssb = "SSB", tsb = "TSB", f = "Fbar", catch = "Catch", tac = "TAC",
                     recruitment = "Recruitment", tac_change = "TAC change (%)")

# One label per option set: the options that the sweep varies, by name.
set_labels <- function(run) {
  s <- run$sets
  if (is.null(s) || !nrow(s)) return(NULL)
  opts <- setdiff(names(s), c("set", "rule"))
  varied <- opts[vapply(opts, function(n) length(unique(s[[n]])) > 1, logical(1))]
  lab <- if (length(varied)) {
    apply(vapply(varied, function(n) paste0(n, " ", format(s[[n]], trim = TRUE)),
                 character(nrow(s))), 1, paste, collapse = ", ")
  } else paste("set", s$set)
  if (length(varied) == 1 && nrow(s) == 1) lab <- paste("set", s$set)
  stats::setNames(as.character(lab), s$set)
}

set_label <- function(run, set) {
  l <- set_labels(run)
  out <- if (is.null(l)) paste("set", set) else unname(l[as.character(set)])
  out[is.na(out)] <- paste("set", set[is.na(out)])
  out
}

# The trigger of each set that is compared with SSB: Btrig1 (B0 for rule 6)
# when the decision basis's first element is SSB.
set_trigger <- function(run, set) {
  s <- run$sets
  if (is.null(s)) return(rep(NA_real_, length(set)))
  col <- if (!is.null(s$rule) && s$rule[1] == 6) "B0" else "Btrig1"
  if (is.null(s[[col]])) return(rep(NA_real_, length(set)))
  s[[col]][match(set, s$set)]
}

#' Fan charts of a run
#'
#' The median, the 25-75 % and the 5-95 % bands over the iterations by year,
#' for SSB, F, catch and recruitment (or any quantity of `yearly`), with
#' Blim and the biomass trigger on the SSB panel.
#'
#' @param run a `tacsim_run`.
#' @param quantity the quantities of `run$yearly` to draw, one panel each.
#' @param set the option sets to draw (by default the first); several sets
#'   give a column of panels each.
#' @param blim,trigger draw Blim and the trigger (Btrig1; B0 for rule 6) on
#'   the SSB panels. The trigger is drawn when the rule's first basis element
#'   is SSB; give `trigger = FALSE` otherwise.
#' @return a ggplot object.
#' @examples
#' \dontrun{
#' run <- run_tacsim(read_stock(system.file("example", package = "tacsim")))
#' plot_fan(run, set = 2)
#' }
#' @export
plot_fan <- function(run, quantity = c("ssb", "f", "catch", "recruitment"), set = NULL,
                     blim = TRUE, trigger = TRUE) {
  need_ggplot()
  y <- run$yearly
  if (is.null(y)) stop("the run has no yearly table", call. = FALSE)
  if (is.null(set)) set <- min(y$set)
  d <- y[y$set %in% set & y$quantity %in% quantity, ]
  if (!nrow(d)) stop("no rows of set(s) ", paste(set, collapse = " "), " and quantity ",
                     paste(quantity, collapse = " "), call. = FALSE)
  panel <- function(q) factor(ifelse(is.na(quantity_labels[q]), q, quantity_labels[q]),
                              levels = unique(ifelse(is.na(quantity_labels[quantity]), quantity,
                                                     quantity_labels[quantity])))
  d$panel <- panel(d$quantity)
  d$set_label <- factor(set_label(run, d$set), levels = set_label(run, set))
  p <- ggplot2::ggplot(d, ggplot2::aes(x = .data$year)) +
    ggplot2::geom_ribbon(ggplot2::aes(ymin = .data$p05, ymax = .data$p95, fill = "5-95 %")) +
    ggplot2::geom_ribbon(ggplot2::aes(ymin = .data$p25, ymax = .data$p75, fill = "25-75 %")) +
    ggplot2::geom_line(ggplot2::aes(y = .data$p50, colour = "median"), linewidth = 0.8) +
    ggplot2::scale_fill_manual(NULL, values = c(`5-95 %` = "#c6dbef", `25-75 %` = "#6baed6")) +
    ggplot2::scale_colour_manual(NULL, values = c(median = "#08306b", Blim = "#cb181d",
                                                  trigger = "#ec7014")) +
    ggplot2::expand_limits(y = 0) +
    ggplot2::labs(x = "Year", y = NULL) +
    ggplot2::theme_bw() +
    ggplot2::theme(legend.position = "bottom", strip.background = ggplot2::element_rect(fill = "grey90"))
  refs <- data.frame()
  if ("ssb" %in% quantity) {
    lim <- run$record$blim
    if (blim && !is.null(lim)) {
      refs <- rbind(refs, data.frame(set_label = levels(d$set_label), value = lim, line = "Blim"))
    }
    if (trigger) {
      tr <- set_trigger(run, set)
      ok <- !is.na(tr) & tr > 0 & tr < 10 * max(d$p95[d$quantity == "ssb"], na.rm = TRUE)
      if (any(ok)) refs <- rbind(refs, data.frame(set_label = set_label(run, set)[ok], value = tr[ok],
                                                  line = "trigger"))
    }
  }
  if (nrow(refs)) {
    refs$panel <- panel("ssb")
    refs$set_label <- factor(refs$set_label, levels = levels(d$set_label))
    p <- p + ggplot2::geom_hline(data = refs, ggplot2::aes(yintercept = .data$value, colour = .data$line),
                                 linetype = "dashed")
  }
  if (length(set) > 1) {
    p + ggplot2::facet_grid(panel ~ set_label, scales = "free_y")
  } else {
    p + ggplot2::facet_wrap(~panel, scales = "free_y") + ggplot2::ggtitle(levels(d$set_label))
  }
}

# The summary windows of a run: all (years 1-40), first5 and summary.
window_rows <- function(s, window) {
  w <- unique(s[c("first_year", "last_year")])
  w <- w[order(w$last_year - w$first_year, w$first_year), ]
  span <- w$last_year - w$first_year
  pick <- switch(window,
                 all = w[which.max(span), ],
                 first5 = w[which(span == 4)[1], ],
                 summary = { k <- which(span != 4 & span != max(span)); if (length(k)) w[k[1], ] else w[0, ] },
                 stop("window is all, first5 or summary", call. = FALSE))
  if (!nrow(pick) || is.na(pick$first_year)) stop("the run has no ", window, " window", call. = FALSE)
  s$first_year == pick$first_year & s$last_year == pick$last_year
}

# One row per set of the statistics of a window: set, and a column per statistic.
tradeoff_table <- function(run, window, stats) {
  s <- if (!is.null(run$summary)) run$summary else run$ensemble
  if (is.null(s)) stop("the run has no summary table", call. = FALSE)
  s <- s[window_rows(s, window), ]
  miss <- setdiff(stats, unique(s$statistic))
  if (length(miss)) stop("no statistic ", paste(miss, collapse = " "), " in the run", call. = FALSE)
  sets <- sort(unique(s$set))
  d <- data.frame(set = sets)
  for (n in stats) {
    r <- s[s$statistic == n, ]
    d[[n]] <- r$value[match(sets, r$set)]
  }
  d
}

#' Trade-off of catch against risk
#'
#' One labelled point per option set: a risk to Blim against a catch (or any
#' two statistics of `summary`), with the risk limit as a dashed line.
#'
#' @param run a `tacsim_run`.
#' @param x,y the statistics of the axes (`risk1`, `risk2`, `risk3`, `C50`,
#'   `Cmean`, `IAV`, `SSB50`, ...).
#' @param window the years: `"all"` (1-40), `"first5"` or `"summary"`.
#' @param risk_limit the risk limit in per cent (by default the run's).
#' @return a ggplot object.
#' @examples
#' \dontrun{
#' plot_tradeoff(run, x = "risk3", y = "C50")
#' }
#' @export
plot_tradeoff <- function(run, x = "risk3", y = "C50", window = "all", risk_limit = NULL) {
  need_ggplot()
  d <- tradeoff_table(run, window, c(x, y))
  d$label <- set_label(run, d$set)
  limit <- risk_limit %||% run$record$risk_limit %||% 5
  p <- ggplot2::ggplot(d, ggplot2::aes(x = .data[[x]], y = .data[[y]])) +
    ggplot2::geom_point(size = 2.5, colour = "#08306b") +
    ggplot2::geom_text(ggplot2::aes(label = .data$label), vjust = -0.8, size = 3) +
    ggplot2::labs(x = paste0(x, " (", window, " years)"), y = y) +
    ggplot2::theme_bw()
  if (startsWith(x, "risk") || x %in% c("Risklim", "Probtrig", "Crash")) {
    p <- p + ggplot2::geom_vline(xintercept = limit, linetype = "dashed", colour = "#cb181d") +
      ggplot2::annotate("text", x = limit, y = Inf, label = paste0("risk limit ", limit, " %"),
                        hjust = 1.05, vjust = 1.5, size = 3, colour = "#cb181d")
  }
  p
}

#' Yearly risk to Blim
#'
#' The yearly probability of SSB below Blim for each option set, with the
#' risk limit.
#'
#' @param run a `tacsim_run`.
#' @param set the option sets (all by default).
#' @param risk_limit the risk limit in per cent (by default the run's).
#' @return a ggplot object.
#' @examples
#' \dontrun{
#' plot_risk(run)
#' }
#' @export
plot_risk <- function(run, set = NULL, risk_limit = NULL) {
  need_ggplot()
  y <- run$yearly
  if (is.null(y)) stop("the run has no yearly table", call. = FALSE)
  d <- y[y$quantity == "p_below_blim" & (is.null(set) | y$set %in% set), ]
  d$label <- factor(set_label(run, d$set), levels = unique(set_label(run, sort(unique(d$set)))))
  limit <- risk_limit %||% run$record$risk_limit %||% 5
  ggplot2::ggplot(d, ggplot2::aes(x = .data$year, y = .data$mean, colour = .data$label)) +
    ggplot2::geom_line(linewidth = 0.8) +
    ggplot2::geom_hline(yintercept = limit, linetype = "dashed", colour = "#cb181d") +
    ggplot2::labs(x = "Year", y = "P(SSB < Blim) (%)", colour = NULL) +
    ggplot2::theme_bw() + ggplot2::theme(legend.position = "bottom")
}

#' Several runs compared
#'
#' Draws several runs on one figure: the median and the 25-75 % band of one
#' quantity of one option set of each run (`type = "fan"`), or the
#' trade-offs of all their sets (`type = "tradeoff"`).
#'
#' @param ... `tacsim_run` objects, or one (named) list of them; the names
#'   label the runs.
#' @param quantity the quantity of the fans.
#' @param set the option set of the fans.
#' @param type `"fan"` or `"tradeoff"`.
#' @param x,y,window the axes and years of the trade-offs, as in [plot_tradeoff()].
#' @return a ggplot object.
#' @examples
#' \dontrun{
#' compare_runs(low = run1, high = run2, quantity = "ssb")
#' }
#' @export
compare_runs <- function(..., quantity = "ssb", set = 1, type = c("fan", "tradeoff"),
                         x = "risk3", y = "C50", window = "all") {
  need_ggplot()
  type <- match.arg(type)
  runs <- list(...)
  if (length(runs) == 1 && !inherits(runs[[1]], "tacsim_run")) runs <- runs[[1]]
  if (!length(runs) || !all(vapply(runs, inherits, logical(1), "tacsim_run"))) {
    stop("compare_runs needs tacsim_run objects", call. = FALSE)
  }
  nm <- names(runs)
  if (is.null(nm)) nm <- rep("", length(runs))
  nm[!nzchar(nm)] <- vapply(runs[!nzchar(nm)], function(r) basename(r$dir), "")
  nm <- make.unique(nm, sep = " ")
  if (type == "fan") {
    d <- do.call(rbind, lapply(seq_along(runs), function(k) {
      y <- runs[[k]]$yearly
      if (is.null(y)) stop("run ", nm[k], " has no yearly table", call. = FALSE)
      y <- y[y$set == set & y$quantity == quantity, ]
      if (!nrow(y)) stop("run ", nm[k], " has no set ", set, call. = FALSE)
      y$run <- nm[k]
      y
    }))
    d$run <- factor(d$run, levels = nm)
    p <- ggplot2::ggplot(d, ggplot2::aes(x = .data$year, group = .data$run)) +
      ggplot2::geom_ribbon(ggplot2::aes(ymin = .data$p25, ymax = .data$p75, fill = .data$run), alpha = 0.25) +
      ggplot2::geom_line(ggplot2::aes(y = .data$p50, colour = .data$run), linewidth = 0.8) +
      ggplot2::expand_limits(y = 0) +
      ggplot2::labs(x = "Year", y = paste(quantity_labels[quantity] %||% quantity, "(median, 25-75 %)"),
                    colour = NULL, fill = NULL) +
      ggplot2::theme_bw() + ggplot2::theme(legend.position = "bottom")
    lims <- unique(vapply(runs, function(r) r$record$blim %||% NA_real_, numeric(1)))
    if (quantity == "ssb" && length(lims) == 1 && !is.na(lims)) {
      p <- p + ggplot2::geom_hline(yintercept = lims, linetype = "dashed", colour = "#cb181d")
    }
    p
  } else {
    d <- do.call(rbind, lapply(seq_along(runs), function(k) {
      t <- tradeoff_table(runs[[k]], window, c(x, y))
      t$label <- set_label(runs[[k]], t$set)
      t$run <- nm[k]
      t
    }))
    d$run <- factor(d$run, levels = nm)
    limit <- runs[[1]]$record$risk_limit %||% 5
    ggplot2::ggplot(d, ggplot2::aes(x = .data[[x]], y = .data[[y]], colour = .data$run)) +
      ggplot2::geom_point(size = 2.5) +
      ggplot2::geom_text(ggplot2::aes(label = .data$label), vjust = -0.8, size = 3, show.legend = FALSE) +
      ggplot2::geom_vline(xintercept = limit, linetype = "dashed", colour = "#cb181d") +
      ggplot2::labs(x = paste0(x, " (", window, " years)"), y = y, colour = NULL) +
      ggplot2::theme_bw() + ggplot2::theme(legend.position = "bottom")
  }
}

#' @rdname plot_fan
#' @param x a `tacsim_run`.
#' @param ... passed to `plot_fan()`.
#' @export
plot.tacsim_run <- function(x, ...) print(plot_fan(x, ...))
