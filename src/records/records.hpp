// Text records: the three conventions by which numbers cross the program's
// boundary (free-form reading, free-form writing, laid-out writing), the
// fixed-width line read and the end-of-run signal. No model knowledge here.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tacsim {

// Thrown to end the run. The message (if any) has already been written; the
// driver flushes and closes the files and returns `status` as exit status.
struct StopRun {
    int status;
};

// A value that cannot be read from an input record. Ends the run with exit
// status 2; what() is the full message, for example
// "Bad real number in item 3 of list input (file opt.inn, line 12)".
class RecordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------- output

// The names of the files that received a number too wide for its field, in
// the order of each file's first such number. One per run; the driver reports
// them at the end of the run.
class OverflowLog {
public:
    void note(const std::string& name);
    const std::vector<std::string>& names() const { return names_; }

private:
    std::vector<std::string> names_;
};

// A sequential text output stream (a file, standard output or the error
// stream). Records end with CR LF. Writes are buffered; a failure is found
// when the buffer is flushed or the file closed and stops the run with
// "Cannot write output file <name>" (exit status 1).
class OutFile {
public:
    OutFile() = default;
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;
    ~OutFile();

    // Opens (creating or replacing) the named file. Returns false on failure.
    // With `where`, the file is made there instead (a staged result file)
    // and messages still call it `name`.
    bool open(const std::string& name, const std::string& where = {});
    // Attaches an already open stream (stdout, stderr, a test's tmpfile); it
    // is flushed but never closed by this object.
    void attach(std::FILE* f, const std::string& name);
    // Holds every record in memory instead of writing it (a worker of the
    // parallel sweep; the run writes the held records later, in order).
    // Starts afresh: nothing held, no overflow noted yet.
    void hold(const std::string& name);
    // A resumed run: the unit, holding what the run wrote again before its
    // option sets, goes on writing at the end of the file `where`, an earlier
    // run's, cut to `length` bytes. False (nothing changed) when that file
    // cannot be opened or cut, or does not begin with the held records.
    bool resume_at(const std::string& where, long long length);
    bool is_open() const { return f_ != nullptr || holding_; }
    bool holding() const { return holding_; }
    // The records held so far, handed over; the unit goes on holding.
    std::string take() { return std::exchange(held_, std::string()); }
    std::size_t held() const { return held_.size(); }
    const std::string& name() const { return name_; }

    void put(std::string_view s);
    void put(char c);
    void end_record() { lf_ ? put('\n') : put("\r\n", 2); }
    // Records end with LF alone instead of CR LF (kept across open, attach
    // and hold).
    void end_records_with_lf(bool on) { lf_ = on; }
    bool lf() const { return lf_; }
    // A number too wide for its field of width w: the field is filled with
    // asterisks, and the file is noted in its overflow log (if any). Every
    // laid-out field that overflows goes through here.
    void put_overflow(int w);
    // Where the file's overflows are noted; kept across open() and attach().
    void set_overflow_log(OverflowLog* log) { log_ = log; }
    // Flushes the buffer to the system; on failure writes the message to
    // `console` (when given) and throws StopRun{1}.
    void flush(OutFile* console = nullptr);
    void close(OutFile* console = nullptr);
    // Bytes in the file so far, buffer included; -1 when not open.
    long long position() const;
    // Number of the record being written (records ended so far, plus 1), for
    // messages; reads back what already went to a file of our own. 0 when
    // unknown (an attached stream that already took some of it).
    long long record_number() const;
    // Cuts the stream back to `pos` bytes, so that writing goes on from
    // there: the buffer's tail is dropped, and a file of our own is cut. False
    // when what lies before `pos` already went to a stream that cannot be cut
    // (an attached stream such as a pipe or terminal).
    bool cut_back(long long pos);

    // Keeps a copy of what is written from now on (at most its first 4096
    // characters), for the record of a run; `restart_capture` forgets what
    // was kept so far.
    void capture(bool on);
    void restart_capture() { captured_.clear(); }
    const std::string& captured() const { return captured_; }

private:
    void put(const char* s, std::size_t n);
    void drain(OutFile* console);
    [[noreturn]] void report_failure(OutFile* console);
    std::FILE* f_ = nullptr;
    bool owned_ = false;
    bool holding_ = false;
    std::string held_;
    bool failed_ = false;
    bool overflowed_ = false;
    OverflowLog* log_ = nullptr;
    std::string name_;
    static constexpr std::size_t kBuf = 1 << 16;
    static constexpr std::size_t kCaptured = 4096;
    std::size_t used_ = 0;
    long long drained_ = 0;  // bytes handed to the system since open()
    char* buf_ = nullptr;  // allocated once, at open/attach
    bool capture_ = false;
    bool lf_ = false;
    std::string captured_;
};

// One item of a written list: an integer, a real or a character value (held
// at its full length, trailing blanks included).
struct Item {
    enum Kind : unsigned char { Int, Real, Text };
    Kind kind;
    int i = 0;
    float f = 0.0f;
    std::string_view s;
    Item() : kind(Int) {}
    Item(int v) : kind(Int), i(v) {}
    Item(float v) : kind(Real), f(v) {}
    Item(const char* v) : kind(Text), s(v) {}
    Item(std::string_view v) : kind(Text), s(v) {}
    Item(const std::string& v) : kind(Text), s(v) {}
    Item(double) = delete;  // model arithmetic is single precision
    Item(long) = delete;
};

// Free-form write of one record: a leading blank, one blank between items
// except between two character items; integers in 11 columns, reals in 15
// columns with 8 significant digits. No items: an empty record.
void list_write(OutFile& out, std::span<const Item> items);
inline void list_write(OutFile& out, std::initializer_list<Item> items) {
    list_write(out, std::span<const Item>(items.begin(), items.size()));
}

// Formatting of single values, as the writes above use them (exposed for
// tests and for building names).
std::string format_free_real(float v);                // 15 columns
std::string format_fixed(float v, int w, int d);      // fw.d
std::string format_int(int v, int w);                 // iw
// How a value that is not a finite number is spelt in a field of w columns:
// "NaN" (whatever its sign), "Infinity" or "Inf", "-Infinity" or "-Inf", the
// longer spelling where it fits. A spelling wider than the field is filled
// with asterisks by the caller, like any number too wide for its field.
// Free-form records use the spelling for 15 columns, right-justified.
const char* nonfinite_text(float v, int w);

// A layout such as "(i5,2x,4f7.1)", parsed once and used for many records.
// Items: iw, fw.d, aw, a, nx, x, 'text', repeat counts and nested groups.
class Layout {
public:
    explicit Layout(std::string_view text);
    struct Node {
        enum Kind : unsigned char { IntW, RealWD, Chars, Blanks, Literal, Group, Slash };
        Kind kind = Group;
        int repeat = 1;
        int w = -1;  // -1: "a" without a width
        int d = 0;
        std::string text;        // Literal
        std::vector<Node> kids;  // Group
    };
    const Node& root() const { return root_; }
    // Index, in the top level, of the group that a long list returns to (the
    // last outermost group), or 0 when the layout has no inner group.
    std::size_t reversion() const { return reversion_; }
    const std::string& text() const { return text_; }

private:
    Node root_;
    std::size_t reversion_ = 0;
    std::string text_;
};

// Laid-out write of the items under the layout; writes one or more records.
void fmt_write(OutFile& out, const Layout& layout, std::span<const Item> items);
inline void fmt_write(OutFile& out, const Layout& layout, std::initializer_list<Item> items) {
    fmt_write(out, layout, std::span<const Item>(items.begin(), items.size()));
}

// ----------------------------------------------------------------- input

// Where a value comes from, for messages: the file name and the physical
// line number (0 = unknown).
struct Where {
    std::string_view file;
    int line = 0;
};

// One item of a read list: receives an integer, a real or a character value
// of declared length `len` (padded with blanks or cut).
struct InItem {
    enum Kind : unsigned char { Int, Real, Text };
    Kind kind;
    int* ip = nullptr;
    float* fp = nullptr;
    std::string* sp = nullptr;
    int len = 0;
    InItem(int& v) : kind(Int), ip(&v) {}
    InItem(float& v) : kind(Real), fp(&v) {}
    InItem(std::string& v, int declared_len) : kind(Text), sp(&v), len(declared_len) {}
};

// Free-form read from a stored line: every value must be on the line; a line
// that runs out first is an "End of file" record error.
void list_read(std::string_view line, std::span<const InItem> items, Where where);
inline void list_read(std::string_view line, std::initializer_list<InItem> items, Where where) {
    list_read(line, std::span<const InItem>(items.begin(), items.size()), where);
}

// A text input file read line by line (a CR before the LF is not part of the
// line) or free-form across lines.
class InFile {
public:
    InFile() = default;
    InFile(const InFile&) = delete;
    InFile& operator=(const InFile&) = delete;
    ~InFile();
    bool open(const std::string& name);
    // Opens from text in memory (tests, fuzzing).
    void open_text(std::string_view text, const std::string& name);
    void close();
    const std::string& name() const { return name_; }
    int line_number() const { return line_; }  // physical line last read

    // Fixed-width read: the first `width` characters of the next line, padded
    // with blanks (width < 0: the whole line). Returns false at end of file.
    bool read_fixed(std::string& rec, int width);
    // Free-form read straight from the file, taking as many lines as it needs;
    // the rest of its last line is skipped. Returns false when the file ends
    // before the read found any value; a file that ends in the middle of a read
    // is an "End of file" record error.
    bool list_read(std::span<const InItem> items);
    bool list_read(std::initializer_list<InItem> items) {
        return list_read(std::span<const InItem>(items.begin(), items.size()));
    }

private:
    bool next_line(std::string& line);
    void skip_bom();
    std::string text_;
    std::size_t pos_ = 0;
    int line_ = 0;
    std::string name_;
};

}  // namespace tacsim
