#include "report/table.hpp"

#include <zlib.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tacsim::report {

namespace {

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string at_line(const std::string& name, std::size_t line) {
    return name + ", line " + std::to_string(line);
}

std::string read_plain(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ReportError("Cannot read " + file.string() + ": " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw ReportError("Cannot read " + file.string());
    return std::move(text).str();
}

std::string read_gzip(const std::filesystem::path& file) {
    gzFile gz = gzopen(file.string().c_str(), "rb");
    if (gz == nullptr) throw ReportError("Cannot read " + file.string() + ": " + std::strerror(errno));
    std::string text;
    char buf[1 << 16];
    int n = 0;
    while ((n = gzread(gz, buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
    int code = Z_OK;
    const char* msg = gzerror(gz, &code);
    const std::string why = (n < 0 && msg != nullptr) ? msg : "";
    gzclose(gz);
    if (n < 0) throw ReportError("Cannot read " + file.string() + ": " + (why.empty() ? "not a gzip file" : why));
    return text;
}

}  // namespace

int Table::find(std::string_view column) const {
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (same_name(header[i], column)) return static_cast<int>(i);
    }
    return -1;
}

int Table::need(std::string_view column) const {
    const int i = find(column);
    if (i < 0) throw ReportError(name + ": no column \"" + std::string(column) + "\"");
    return i;
}

std::optional<double> Table::number(std::size_t row, int col) const {
    const std::string& f = rows[row][static_cast<std::size_t>(col)];
    if (f.empty()) return std::nullopt;
    double v = 0.0;
    const char* end = f.data() + f.size();
    auto [p, ec] = std::from_chars(f.data(), end, v);
    if (ec != std::errc() || p != end) {
        throw ReportError(at_line(name, lines[row]) + ": \"" + f + "\" in column " + header[static_cast<std::size_t>(col)] +
                          " is not a number");
    }
    return v;
}

double Table::value(std::size_t row, int col) const {
    const auto v = number(row, col);
    if (!v) {
        throw ReportError(at_line(name, lines[row]) + ": column " + header[static_cast<std::size_t>(col)] + " is empty");
    }
    return *v;
}

Table parse_table(std::string_view text, const std::string& name) {
    Table t;
    t.name = name;
    std::vector<std::string> record;
    std::string field;
    std::size_t line = 1, record_line = 1;
    bool quoted = false, was_quoted = false, any = false;
    const auto end_record = [&] {
        record.push_back(std::move(field));
        field.clear();
        if (t.header.empty()) {
            t.header = std::move(record);
        } else if (t.header.size() != record.size()) {
            throw ReportError(at_line(name, record_line) + ": " + std::to_string(record.size()) +
                              " fields where the header has " + std::to_string(t.header.size()));
        } else {
            t.rows.push_back(std::move(record));
            t.lines.push_back(record_line);
        }
        record.clear();
        was_quoted = false;
        any = false;
    };
    std::size_t i = 0;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") i = 3;  // a byte-order mark from a spreadsheet
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == '\n') ++line;
                field += c;
            }
            continue;
        }
        if (c == '"') {
            if (!field.empty() || was_quoted) throw ReportError(at_line(name, line) + ": a quote inside an unquoted field");
            quoted = was_quoted = any = true;
        } else if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
            was_quoted = false;
            any = true;
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            if (any || !field.empty()) end_record();
            ++line;
            record_line = line;
        } else {
            if (was_quoted) throw ReportError(at_line(name, line) + ": text after a closing quote");
            field += c;
            any = true;
        }
    }
    if (quoted) throw ReportError(at_line(name, record_line) + ": a quoted field is not closed");
    if (any || !field.empty()) end_record();
    if (t.header.empty()) throw ReportError(name + ": empty (no header row)");
    return t;
}

Table read_table_lines(const std::filesystem::path& file, const std::function<bool(std::string_view)>& keep) {
    gzFile gz = gzopen(file.string().c_str(), "rb");  // reads plain files as they are
    if (gz == nullptr) throw ReportError("Cannot read " + file.string() + ": " + std::strerror(errno));
    std::string text, line;
    char buf[1 << 12];
    bool header = true;
    while (gzgets(gz, buf, sizeof buf) != nullptr) {
        line += buf;
        if (line.empty() || line.back() != '\n') continue;  // a line longer than the buffer
        if (header || keep(line)) text += line;
        header = false;
        line.clear();
    }
    int code = Z_OK;
    gzerror(gz, &code);
    gzclose(gz);
    if (code != Z_OK && code != Z_STREAM_END) throw ReportError("Cannot read " + file.string());
    if (!line.empty() && (header || keep(line))) text += line;
    return parse_table(text, file.filename().string());
}

Table read_table(const std::filesystem::path& file) {
    const std::string name = file.filename().string();
    const bool gz = name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0;
    return parse_table(gz ? read_gzip(file) : read_plain(file), name);
}

}  // namespace tacsim::report
