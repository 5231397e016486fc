// Reading the result tables back: RFC 4180 text (quoted fields, doubled
// quotes, CR LF or LF line ends), plain or gzip-compressed, with a header
// row. Every failure names the file and, where there is one, the line.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tacsim::report {

// A table that cannot be read or lacks what the report needs; what() is the
// whole message, e.g. "summary.csv, line 12: 4 fields where the header has 5".
class ReportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Table {
    std::string name;  // file name, for messages
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::size_t> lines;  // line of each row in the file

    // Index of the column, or -1. Names compare case-insensitively.
    int find(std::string_view column) const;
    // Index of the column; throws ReportError naming the file when missing.
    int need(std::string_view column) const;
    // The field as a number: nullopt when empty; throws ReportError naming
    // the file and line when it is not a number.
    std::optional<double> number(std::size_t row, int col) const;
    // As number(), but an empty field is an error too.
    double value(std::size_t row, int col) const;
};

// Parses the text of a table (the name serves the messages).
Table parse_table(std::string_view text, const std::string& name);
// Reads a table from a file; a name ending in ".gz" is decompressed.
Table read_table(const std::filesystem::path& file);
// Reads the header and those data lines of a (possibly compressed) table
// that `keep` accepts, line by line, so that a large table is never held
// whole: for tables whose fields hold no line ends.
Table read_table_lines(const std::filesystem::path& file, const std::function<bool(std::string_view)>& keep);

}  // namespace tacsim::report
