#' Variants of a stock: a grid
#'
#' Makes one stock for every combination of the values given, for a grid of
#' operating models or of rules.
#'
#' Each argument names what it varies:
#' * `M`: natural mortality at every age;
#' * a column of `x$recruitment` (`level`, `ssb`, `cv`, ...): that value in
#'   every recruitment regime;
#' * `blim`, `fcap`, `bref`, `rref`, `wcv`: those single values;
#' * an option of the rule (`Target`, `Btrig1`, `CVyr_obs`, ...): the option
#'   fixed at each value;
#' * anything else, a named list of functions that each take the stock and
#'   return its variant (`recruitment = list(low = function(s) ..., high =
#'   ...)`).
#'
#' @param x a `tacsim_stock`.
#' @param ... the values, as above.
#' @return a named list of stocks, one per combination, the first argument
#'   changing slowest; its attribute `grid` is a data frame of the values.
#' @seealso [write_ensemble()]
#' @examples
#' x <- read_stock(system.file("example", package = "tacsim"))
#' g <- vary(x, M = c(0.15, 0.2, 0.25), ssb = c(180, 220))
#' names(g)
#' attr(g, "grid")
#' @export
vary <- function(x, ...) {
  if (!inherits(x, "tacsim_stock")) stop("vary needs a tacsim_stock (from read_stock)", call. = FALSE)
  args <- list(...)
  if (!length(args) || is.null(names(args)) || any(!nzchar(names(args)))) {
    stop("vary needs named arguments: vary(x, M = c(0.15, 0.2))", call. = FALSE)
  }
  labels <- lapply(args, function(v) if (is.list(v)) names(v) %||% paste0("v", seq_along(v)) else num_text(v))
  index <- rev(expand.grid(rev(lapply(args, seq_along)), KEEP.OUT.ATTRS = FALSE))
  out <- lapply(seq_len(nrow(index)), function(r) {
    s <- x
    for (n in names(args)) s <- vary_one(s, n, args[[n]][[index[r, n]]])
    s
  })
  grid <- as.data.frame(lapply(names(args), function(n) labels[[n]][index[[n]]]),
                        col.names = names(args), stringsAsFactors = FALSE)
  for (n in names(args)) if (!is.list(args[[n]])) grid[[n]] <- args[[n]][index[[n]]]
  names(out) <- vapply(seq_len(nrow(index)), function(r) {
    paste(paste0(names(args), "=", vapply(names(args), function(n) labels[[n]][index[r, n]], "")),
          collapse = "_")
  }, character(1))
  attr(out, "grid") <- grid
  out
}

vary_one <- function(s, name, value) {
  if (is.function(value)) {
    s <- value(s)
    if (!inherits(s, "tacsim_stock")) stop("the function for ", name, " must return the stock", call. = FALSE)
    return(s)
  }
  if (name == "M") {
    s$M$M <- value
    if (!is.null(s$growth_parameters)) s$growth_parameters$M <- value
  } else if (name %in% names(s$recruitment) && name != "regime") {
    s$recruitment[[name]] <- value
  } else if (name == "blim") {
    s$risk$blim <- value
  } else if (name == "fcap") {
    s$fcap <- value
  } else if (name %in% c("bref", "rref", "wcv")) {
    s$growth[[name]] <- value
  } else if (tolower(name) %in% tolower(s$options$option)) {
    s <- set_option(s, name, value)
  } else {
    stop("vary does not know '", name, "': give M, a recruitment column, blim, fcap, bref, rref, wcv, ",
         "an option of the rule, or a list of functions", call. = FALSE)
  }
  s
}

#' Write an ensemble of operating models
#'
#' Writes each stock into its own folder of `dir` and the ensemble's CSV file
#' (`name,folder,weight,set`), for [ensemble_tacsim()] and [tune_tacsim()].
#'
#' @param stocks a named list of `tacsim_stock` (such as [vary()] makes).
#' @param dir the folder to write into.
#' @param weights the weight of each model (recycled); the program
#'   normalises the weights of the reference set.
#' @param set `"reference"` or `"robustness"` for each model (recycled).
#' @param file the CSV file's name in `dir`.
#' @return an object of class `tacsim_ensemble`: the CSV file, its table
#'   and the stocks.
#' @examples
#' x <- read_stock(system.file("example", package = "tacsim"))
#' e <- write_ensemble(vary(x, M = c(0.15, 0.2, 0.25)), tempfile(), weights = c(1, 2, 1))
#' e$table
#' @export
write_ensemble <- function(stocks, dir, weights = 1, set = "reference", file = "ensemble.csv") {
  if (inherits(stocks, "tacsim_stock")) stocks <- list(stocks)
  if (!length(stocks) || !all(vapply(stocks, inherits, logical(1), "tacsim_stock"))) {
    stop("write_ensemble needs a list of tacsim_stock", call. = FALSE)
  }
  nm <- names(stocks)
  if (is.null(nm)) nm <- paste0("model", seq_along(stocks))
  nm[!nzchar(nm)] <- paste0("model", which(!nzchar(nm)))
  if (anyDuplicated(nm)) stop("the models' names must differ: ", paste(nm[duplicated(nm)], collapse = " "), call. = FALSE)
  set <- rep_len(set, length(stocks))
  if (!all(set %in% c("reference", "robustness"))) stop("set must be \"reference\" or \"robustness\"", call. = FALSE)
  weights <- rep_len(weights, length(stocks))
  if (any(!is.finite(weights) | weights < 0)) stop("the weights must be finite and not negative", call. = FALSE)
  dir.create(dir, showWarnings = FALSE, recursive = TRUE)
  dir <- normalizePath(dir)
  folders <- gsub("[^A-Za-z0-9._=-]", "_", nm)
  folders <- make.unique(folders, sep = "_")
  for (k in seq_along(stocks)) write_stock(stocks[[k]], file.path(dir, folders[k]))
  table <- data.frame(name = nm, folder = file.path(dir, folders), weight = weights, set = set,
                      stringsAsFactors = FALSE)
  csv <- file.path(dir, file)
  # RFC 4180: a field is quoted only when it holds a comma, a quote or a line end.
  field <- function(v) {
    v <- as.character(v)
    q <- grepl("[\",\r\n]", v)
    v[q] <- paste0("\"", gsub("\"", "\"\"", v[q]), "\"")
    v
  }
  writeLines(c("name,folder,weight,set",
               paste(field(nm), field(table$folder), num_text(weights), set, sep = ",")), csv)
  structure(list(file = csv, table = table, stocks = stats::setNames(stocks, nm)), class = "tacsim_ensemble")
}

#' Read an ensemble's CSV file and its stocks
#'
#' @param file the ensemble's CSV file (`name,folder,weight,set`); a folder
#'   relative to it is taken from the file's folder.
#' @return an object of class `tacsim_ensemble`.
#' @export
read_ensemble <- function(file) {
  table <- utils::read.csv(file, colClasses = c("character", "character", "numeric", "character"))
  base <- dirname(normalizePath(file))
  folders <- ifelse(grepl("^(/|[A-Za-z]:)", table$folder), table$folder, file.path(base, table$folder))
  stocks <- stats::setNames(lapply(folders, read_stock), table$name)
  structure(list(file = normalizePath(file), table = table, stocks = stocks), class = "tacsim_ensemble")
}

#' @export
print.tacsim_ensemble <- function(x, ...) {
  cat("tacsim ensemble ", x$file, "\n", sep = "")
  print(x$table[c("name", "weight", "set")], row.names = FALSE)
  invisible(x)
}

ensemble_file <- function(x) {
  if (inherits(x, "tacsim_ensemble")) return(x$file)
  if (is.character(x) && length(x) == 1 && file.exists(x) && !dir.exists(x)) return(normalizePath(x))
  NULL
}
