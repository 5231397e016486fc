# Reading and writing the record files (bio.inn, opt.inn and the files they
# name): a record is one line, its values are read free-form (blanks, tabs or
# a comma between them, r*v for r repeats of v, a slash ends the record).

# The accepted lines of a record file: comment lines (a # in column 1) are
# dropped, every other line counts, blank lines included. Only the first
# `width` characters of a line are read.
accepted_lines <- function(file, width) {
  if (!file.exists(file)) stop("Cannot open input file ", file, call. = FALSE)
  lines <- readLines(file, warn = FALSE)
  lines <- sub("\r$", "", lines)
  lines <- lines[!startsWith(lines, "#")]
  substr(lines, 1L, width)
}

# The values of one line as text, repeats expanded, up to a slash.
line_values <- function(line) {
  line <- sub("/.*$", "", line)
  tokens <- strsplit(trimws(line), "[[:blank:]]*,[[:blank:]]*|[[:blank:]]+")[[1]]
  tokens <- tokens[nzchar(tokens)]
  out <- character()
  for (t in tokens) {
    star <- regexpr("*", t, fixed = TRUE)
    if (star > 0) {
      n <- suppressWarnings(as.integer(substr(t, 1L, star - 1L)))
      v <- substr(t, star + 1L, nchar(t))
      if (!is.na(n) && nzchar(v)) {
        out <- c(out, rep(v, n))
        next
      }
    }
    out <- c(out, t)
  }
  out
}

# A cursor over the accepted lines of one file, which names the file and line
# of a record that cannot be read.
record_reader <- function(file, width) {
  lines <- accepted_lines(file, width)
  pos <- 0L
  self <- list()
  self$file <- file
  # The next record's first n values: kinds is "i" (integer), "r" (real) or
  # "c" (text), recycled over the values.
  self$read <- function(n, kinds = "r", again = FALSE) {
    if (!again) pos <<- pos + 1L
    if (pos > length(lines)) {
      stop("Input file ", file, " ends before all its records were read", call. = FALSE)
    }
    vals <- line_values(lines[pos])
    if (length(vals) < n) {
      stop(sprintf("Too few values in record %d of %s (%d, need %d): %s", pos, file,
                   length(vals), n, lines[pos]), call. = FALSE)
    }
    vals <- vals[seq_len(n)]
    kinds <- rep_len(kinds, n)
    out <- vector("list", n)
    for (k in seq_len(n)) {
      out[[k]] <- switch(kinds[k],
        i = parse_integer(vals[k], file, pos),
        r = parse_real(vals[k], file, pos),
        c = vals[k])
    }
    out
  }
  self$line <- function(again = FALSE) {
    if (!again) pos <<- pos + 1L
    if (pos > length(lines)) {
      stop("Input file ", file, " ends before all its records were read", call. = FALSE)
    }
    lines[pos]
  }
  self$back <- function() pos <<- pos - 1L
  self$position <- function() pos
  self$count <- function() length(lines)
  self
}

parse_integer <- function(text, file, line) {
  if (!grepl("^[+-]?[0-9]+$", text)) {
    stop(sprintf("Bad integer '%s' (file %s, line %d)", text, basename(file), line), call. = FALSE)
  }
  as.integer(text)
}

parse_real <- function(text, file, line) {
  t <- sub("^([+-]?[0-9.]+)[dD]", "\\1e", text)
  v <- suppressWarnings(as.numeric(t))
  if (is.na(v)) {
    stop(sprintf("Bad real number '%s' (file %s, line %d)", text, basename(file), line), call. = FALSE)
  }
  v
}

# The shortest text (at most 17 significant digits) that reads back to the
# same double, never in exponent form for integers.
num_text <- function(x) {
  vapply(x, function(v) {
    if (is.na(v)) stop("a value to write is missing (NA)", call. = FALSE)
    if (is.infinite(v)) stop("a value to write is infinite", call. = FALSE)
    for (d in 7:17) {
      s <- format(v, digits = d, trim = TRUE)
      if (as.numeric(s) == v) break
    }
    s <- sub("e\\+?", "e", s)
    s
  }, character(1), USE.NAMES = FALSE)
}

int_text <- function(x) {
  if (any(is.na(x)) || any(x != round(x))) {
    stop("a value that must be a whole number is not: ", paste(x, collapse = " "), call. = FALSE)
  }
  formatC(x, format = "d", big.mark = "")
}

# Collects the lines of a file, each record with the comment that names it.
record_writer <- function(file, width) {
  out <- character()
  self <- list()
  self$comment <- function(...) {
    text <- paste0(...)
    out <<- c(out, paste0("# ", strwrap(text, width = 76)))
  }
  self$record <- function(...) {
    line <- paste(c(...), collapse = " ")
    if (nchar(line) > width) {
      stop(sprintf("a record of %s would be %d characters long, more than the %d that are read: %s",
                   basename(file), nchar(line), width, line), call. = FALSE)
    }
    out <<- c(out, line)
  }
  self$write <- function() writeLines(out, file)
  self
}
