# Running the tacsim program: the one engine; R never runs the model itself.

#' The tacsim program that the package runs
#'
#' The program is `getOption("tacsim.program")` when set, else the
#' environment variable `TACSIM_PROGRAM`, else `tacsim` on the `PATH`.
#'
#' @return the program's path; an error when there is none.
#' @examples
#' \dontrun{
#' options(tacsim.program = "~/tacsim/build/tacsim")
#' tacsim_program()
#' }
#' @export
tacsim_program <- function() {
  p <- getOption("tacsim.program")
  if (is.null(p) || !nzchar(p)) p <- Sys.getenv("TACSIM_PROGRAM")
  if (!nzchar(p)) p <- Sys.which("tacsim")[[1]]
  if (!nzchar(p) || !file.exists(p)) {
    stop("the tacsim program was not found: put it on the PATH or set ",
         "options(tacsim.program = \"/path/to/tacsim\")", call. = FALSE)
  }
  normalizePath(p)
}

#' Whether the program has a subcommand
#'
#' @param name a subcommand of the program, such as `"ensemble"` or `"tune"`.
#' @return `TRUE` when `tacsim NAME --help` succeeds.
#' @examples
#' \dontrun{
#' has_subcommand("ensemble")
#' }
#' @export
has_subcommand <- function(name) {
  p <- tryCatch(tacsim_program(), error = function(e) "")
  if (!nzchar(p)) return(FALSE)
  out <- suppressWarnings(system2(p, c(name, "--help"), stdout = TRUE, stderr = TRUE))
  status <- attr(out, "status")
  # A program without the subcommand takes the word for its input folder.
  (is.null(status) || status == 0) && !any(grepl("^Usage: tacsim \\[OPTIONS\\] \\[DIR\\] \\[SUBCOMMAND\\]", out))
}

# The program's command-line options from R arguments: name = value becomes
# --name value (underscores as hyphens), TRUE a bare --name, FALSE and NULL
# nothing; unnamed strings pass as they are.
program_args <- function(args) {
  out <- character()
  nms <- names(args)
  if (is.null(nms)) nms <- rep("", length(args))
  for (k in seq_along(args)) {
    v <- args[[k]]
    n <- nms[k]
    if (!nzchar(n)) {
      out <- c(out, as.character(v))
      next
    }
    if (is.null(v) || identical(v, FALSE)) next
    flag <- paste0(if (nchar(n) == 1) "-" else "--", gsub("_", "-", n))
    if (identical(v, TRUE)) {
      out <- c(out, flag)
    } else {
      out <- c(out, flag, if (is.numeric(v)) num_text(v) else as.character(v))
    }
  }
  out
}

# Runs the program; its stop becomes an R error carrying its message. An
# interactive session sees the program's standard output (its progress) as
# it comes; otherwise it is kept and returned.
run_program <- function(args, quiet = !interactive()) {
  prog <- tacsim_program()
  err <- tempfile("tacsim-err")
  out <- tempfile("tacsim-out")
  on.exit(unlink(c(err, out)))
  status <- suppressWarnings(system2(prog, shQuote(args), stdout = if (quiet) out else "",
                                     stderr = err))
  text_out <- if (file.exists(out)) sub("\r$", "", readLines(out, warn = FALSE)) else character()
  text_err <- if (file.exists(err)) readLines(err, warn = FALSE) else character()
  if (!identical(as.integer(status), 0L)) {
    msg <- trimws(c(text_err, if (!length(text_err)) utils::tail(text_out, 5)))
    msg <- msg[nzchar(msg)]
    cond <- structure(class = c("tacsim_error", "error", "condition"),
                      list(message = paste0("tacsim stopped (exit status ", status, "): ",
                                            paste(msg, collapse = "\n")),
                           call = NULL, status = status, output = text_out, stderr = text_err))
    stop(cond)
  }
  invisible(list(stdout = text_out, stderr = text_err))
}

# A folder holding the inputs: a folder as it is, a stock written into a
# fresh temporary folder of the given name (the run record's stock name).
input_folder <- function(x, name = "stock") {
  if (inherits(x, "tacsim_stock")) return(write_stock(x, file.path(tempfile("tacsim-"), name)))
  if (is.character(x) && length(x) == 1 && dir.exists(x)) return(normalizePath(x))
  stop("give a tacsim_stock or the folder of its input files", call. = FALSE)
}
