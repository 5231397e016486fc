// Support for the error-path and write-fault tests: input sets made from the
// "basic" reference inputs with single records changed, the free-form record
// rules for the expected message lines, and the checks that every run must
// pass (exact lines, exit status, no half-written record in any file).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../golden/run_helper.hpp"

namespace tacsim_errtest {

namespace fs = std::filesystem;
using tacsim_test::read_file;
using tacsim_test::RunResult;

inline fs::path basic_dir() {
    return fs::path(TACSIM_SOURCE_DIR) / "tests" / "golden" / "data" / "basic";
}

// Lines of a text (a final line end does not make an empty last line).
inline std::vector<std::string> split_lines(const std::string& text, const std::string& eol) {
    std::vector<std::string> out;
    std::size_t p = 0;
    while (p < text.size()) {
        std::size_t e = text.find(eol, p);
        if (e == std::string::npos) {
            out.push_back(text.substr(p));
            break;
        }
        out.push_back(text.substr(p, e - p));
        p = e + eol.size();
    }
    return out;
}

using tacsim_test::made_dirs;

// An input file held as its lines. Records are counted as the readers count
// them: every line that does not start with "#" is a record, from 1.
class InputText {
public:
    InputText() = default;
    explicit InputText(const std::string& text) : lines_(split_lines(text, "\n")) {}

    // Physical index of record k.
    std::size_t index(int k) const {
        int n = 0;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (!lines_[i].empty() && lines_[i][0] == '#') continue;
            if (++n == k) return i;
        }
        ADD_FAILURE() << "no record " << k;
        return lines_.size();
    }
    InputText& set(int k, const std::string& text) {
        lines_.at(index(k)) = text;
        return *this;
    }
    // Puts new records after record k (k = 0: before the first record).
    InputText& insert_after(int k, const std::vector<std::string>& recs) {
        const std::size_t at = (k == 0) ? 0 : index(k) + 1;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), recs.begin(), recs.end());
        return *this;
    }
    // Removes records first..last.
    InputText& remove(int first, int last) {
        for (int k = last; k >= first; --k) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index(k)));
        return *this;
    }
    // Keeps records 1..k (and the comments among them); drops the rest.
    InputText& keep_first(int k) {
        lines_.resize(index(k) + 1);
        return *this;
    }
    InputText& append(const std::string& line) {
        lines_.push_back(line);
        return *this;
    }
    std::string text() const {
        std::string t;
        for (const auto& l : lines_) t += l + "\n";
        return t;
    }

private:
    std::vector<std::string> lines_;
};

// The input files of one run, by name.
struct InputSet {
    std::map<std::string, InputText> files;

    static InputSet basic() {
        InputSet s;
        s.files["bio.inn"] = InputText(read_file(basic_dir() / "bio.inn"));
        s.files["opt.inn"] = InputText(read_file(basic_dir() / "opt.inn"));
        return s;
    }
    InputText& bio() { return files["bio.inn"]; }
    InputText& opt() { return files["opt.inn"]; }
    InputSet& put(const std::string& name, const std::string& text) {
        files[name] = InputText(text);
        return *this;
    }
    InputSet& drop(const std::string& name) {
        files.erase(name);
        return *this;
    }

    // Writes the files into a folder named after the tag.
    fs::path write(const std::string& tag) const {
        const fs::path dir = tacsim_test::fresh_dir("in-" + tag);
        for (const auto& [name, t] : files) {
            std::ofstream out(dir / name, std::ios::binary);
            out << t.text();
        }
        return dir;
    }
    // Runs the program on a copy of these files.
    RunResult run(const std::string& tag) const {
        const fs::path in = write(tag);
        RunResult r = tacsim_test::run_in_copy(in, tag);
        return r;
    }
};

// ---------------------------------------------------------------- records

// One item of a free-form record, for building the lines a run must write:
// character items as they are, integers right-justified in 11 columns, reals
// as their 15-column text (written out by hand in the tests).
struct Tok {
    enum Kind { Text, Int, Real } kind;
    std::string s;
};
inline Tok T(const std::string& s) { return {Tok::Text, s}; }
inline Tok I(int v) {
    char b[32];
    std::snprintf(b, sizeof b, "%11d", v);
    return {Tok::Int, b};
}
// A real given as its fixed form (up to 11 characters), right-justified in 11
// columns and followed by 4 blanks.
inline Tok R(const std::string& fixed) {
    return {Tok::Real, std::string(11 - fixed.size(), ' ') + fixed + "    "};
}

// A free-form record: one leading blank, one blank between items except
// between two character items.
inline std::string rec(const std::vector<Tok>& items) {
    std::string line = " ";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0 && !(items[i - 1].kind == Tok::Text && items[i].kind == Tok::Text)) line += ' ';
        line += items[i].s;
    }
    return line;
}
// A record of one character item.
inline std::string rec(const std::string& text) { return " " + text; }

inline std::string join_crlf(const std::vector<std::string>& lines) {
    std::string t;
    for (const auto& l : lines) t += l + "\r\n";
    return t;
}

// Standard output of the "basic" reference run, by line.
inline std::vector<std::string> basic_stdout() {
    return split_lines(read_file(basic_dir() / "expected" / "stdout.txt"), "\r\n");
}
inline std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
inline std::vector<std::string> first_n(const std::vector<std::string>& v, std::size_t n) {
    return std::vector<std::string>(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(std::min(n, v.size())));
}

// The warning that the basic options give (rule 1 reads element 2 of a basis
// of one element); it precedes every message from later option records.
inline const std::string kRule1Warning =
    rec("Warning: harvest rule 1 reads basis element 2, which is not specified; it is taken as 0");

// The last n lines of standard output.
inline std::vector<std::string> tail(const std::string& out, std::size_t n) {
    auto l = split_lines(out, "\r\n");
    if (l.size() <= n) return l;
    return std::vector<std::string>(l.end() - static_cast<std::ptrdiff_t>(n), l.end());
}

// Every file the run left in its folder (inputs included) is empty or ends
// with a complete record, and so are standard output and the error stream.
inline void expect_whole_records(const RunResult& r, const std::string& what,
                                 const std::vector<std::string>& except = {}) {
    for (const auto& e : fs::directory_iterator(r.dir)) {
        const std::string f = e.path().filename().string();
        if (fs::is_symlink(e.path()) || !e.is_regular_file()) continue;
        if (f.size() > 4 && f.substr(f.size() - 4) == ".inn") continue;
        if (f[0] == '.') continue;  // the checkpoint, not a result file
        if (f == "srspec" || f.rfind("nin.", 0) == 0) continue;
        bool skip = false;
        for (const auto& x : except) skip = skip || x == f;
        if (skip) continue;
        const std::string t = read_file(e.path());
        EXPECT_TRUE(t.empty() || (t.size() >= 2 && t.compare(t.size() - 2, 2, "\r\n") == 0))
            << what << ": file \"" << f << "\" ends inside a record";
    }
}

// The run left no result file: only its inputs, the captured streams and the
// scratch file.
inline void expect_no_result_files(const RunResult& r, const std::string& what) {
    for (const auto& e : fs::directory_iterator(r.dir)) {
        const std::string f = e.path().filename().string();
        const bool input = (f.size() > 4 && f.substr(f.size() - 4) == ".inn") || f == "srspec" || f.rfind("nin.", 0) == 0;
        EXPECT_TRUE(input || f == "stdout.txt" || f == "stderr.txt" || f == "kladd") << what << ": wrote " << f;
    }
}

// The whole standard output as lines, the error stream and the status.
inline void expect_run(const RunResult& r, const std::string& what, int status,
                       const std::vector<std::string>& out, const std::string& err = "") {
    EXPECT_EQ(r.status, status) << what << ": exit status";
    EXPECT_EQ(r.out, join_crlf(out)) << what << ": standard output";
    EXPECT_EQ(r.err, err) << what << ": error stream";
    expect_whole_records(r, what);
}

// Only the end of standard output is given: the last lines, then nothing.
inline void expect_run_tail(const RunResult& r, const std::string& what, int status,
                            const std::vector<std::string>& last, const std::string& err = "") {
    EXPECT_EQ(r.status, status) << what << ": exit status";
    EXPECT_EQ(tail(r.out, last.size()), last) << what << ": end of standard output";
    EXPECT_TRUE(r.out.size() >= 2 && r.out.compare(r.out.size() - 2, 2, "\r\n") == 0)
        << what << ": standard output ends inside a record";
    EXPECT_EQ(r.err, err) << what << ": error stream";
    expect_whole_records(r, what);
}

}  // namespace tacsim_errtest
