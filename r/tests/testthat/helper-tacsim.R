# The program under test (TACSIM_PROGRAM, else tacsim on the PATH) and the
# source tree with the bundled and reference inputs (TACSIM_SOURCE_DIR).

skip_without_program <- function() {
  ok <- tryCatch(nzchar(tacsim_program()), error = function(e) FALSE)
  if (!ok) skip("no tacsim program (set TACSIM_PROGRAM or put tacsim on the PATH)")
}

source_dir <- function() {
  d <- Sys.getenv("TACSIM_SOURCE_DIR")
  if (!nzchar(d) || !dir.exists(file.path(d, "examples"))) skip("TACSIM_SOURCE_DIR not set")
  d
}

example_dir <- function() system.file("example", package = "tacsim")

# The program's --check summary of a folder, without the folder's name and
# the run-time estimate, and its exit status.
check_summary <- function(dir) {
  out <- suppressWarnings(system2(tacsim_program(), c("--check", shQuote(dir)), stdout = TRUE, stderr = TRUE))
  status <- attr(out, "status") %||% 0L
  out <- gsub(dir, "DIR", out, fixed = TRUE)
  # The written files carry a comment above each record, so a message names
  # another line of the same record.
  out <- gsub(" line [0-9]+ \\(", " line N (", out)
  c(paste("status", status), out[!grepl("^Estimated run time", out)])
}

`%||%` <- function(a, b) if (is.null(a)) b else a

# One small run of the example shared by the tests: the middle target only.
example_run <- local({
  run <- NULL
  function() {
    if (is.null(run)) {
      x <- set_option(read_stock(example_dir()), "Target", 0.3, 0.5, 0.2)
      run <<- run_tacsim(x, tempfile("tacsim-test-run"), jobs = 2, quiet = TRUE)
    }
    run
  }
})
