#include "records/records.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <charconv>
#include <cstring>

#include "platform/platform.hpp"

namespace tacsim {

// ================================================================ OutFile

void OverflowLog::note(const std::string& name) {
    // A stream that is not open (a result file --check does not write)
    // shows nothing to anyone.
    if (name.empty()) return;
    for (const auto& n : names_)
        if (n == name) return;
    names_.push_back(name);
}

void OutFile::put_overflow(int w) {
    for (int i = 0; i < w; ++i) put('*');
    if (!overflowed_) {
        overflowed_ = true;
        if (log_ != nullptr) log_->note(name_);
    }
}

OutFile::~OutFile() {
    if (f_ != nullptr) {
        drain(nullptr);
        if (owned_) std::fclose(f_);
        else std::fflush(f_);
    }
    delete[] buf_;
}

bool OutFile::open(const std::string& name, const std::string& where) {
    name_ = name;
    std::FILE* f = std::fopen(where.empty() ? name.c_str() : where.c_str(), "wb");
    if (f == nullptr) return false;
    // Our own buffer is the only one, so a failing write shows at once when
    // it is drained.
    std::setvbuf(f, nullptr, _IONBF, 0);
    f_ = f;
    owned_ = true;
    failed_ = false;
    overflowed_ = false;
    if (buf_ == nullptr) buf_ = new char[kBuf];
    used_ = 0;
    drained_ = 0;
    return true;
}

bool OutFile::resume_at(const std::string& where, long long length) {
    if (!holding_ || f_ != nullptr || length < static_cast<long long>(held_.size())) return false;
    std::FILE* f = std::fopen(where.c_str(), "r+b");
    if (f == nullptr) return false;
    std::string head(held_.size(), '\0');
    const bool same = std::fread(head.data(), 1, head.size(), f) == head.size() && head == held_;
    if (!same || !platform::cut_file(f, length)) {
        std::fclose(f);
        return false;
    }
    std::setvbuf(f, nullptr, _IONBF, 0);
    f_ = f;
    owned_ = true;
    holding_ = false;
    held_.clear();
    failed_ = false;
    if (buf_ == nullptr) buf_ = new char[kBuf];
    used_ = 0;
    drained_ = length;
    return true;
}

void OutFile::attach(std::FILE* f, const std::string& name) {
    name_ = name;
    f_ = f;
    owned_ = false;
    failed_ = false;
    overflowed_ = false;
    if (buf_ == nullptr) buf_ = new char[kBuf];
    used_ = 0;
    drained_ = 0;
}

void OutFile::hold(const std::string& name) {
    name_ = name;
    holding_ = true;
    overflowed_ = false;
    held_.clear();
}

void OutFile::capture(bool on) {
    capture_ = on;
    captured_.clear();
    if (on) captured_.reserve(kCaptured);
}

void OutFile::put(const char* s, std::size_t n) {
    if (holding_) {
        held_.append(s, n);
        return;
    }
    if (f_ == nullptr) return;
    if (capture_ && captured_.size() < kCaptured) captured_.append(s, std::min(n, kCaptured - captured_.size()));
    while (n > 0) {
        if (used_ == kBuf) drain(nullptr);
        std::size_t take = kBuf - used_;
        if (take > n) take = n;
        std::memcpy(buf_ + used_, s, take);
        used_ += take;
        s += take;
        n -= take;
    }
}

void OutFile::put(std::string_view s) { put(s.data(), s.size()); }
void OutFile::put(char c) { put(&c, 1); }

void OutFile::drain(OutFile*) {
    if (f_ == nullptr || used_ == 0) return;
    if (std::fwrite(buf_, 1, used_, f_) != used_) failed_ = true;
    drained_ += static_cast<long long>(used_);
    used_ = 0;
}

long long OutFile::position() const {
    if (f_ == nullptr) return -1;
    return drained_ + static_cast<long long>(used_);
}

long long OutFile::record_number() const {
    long long n = 1;
    auto count = [&n](const char* p, std::size_t k) { n += std::count(p, p + k, '\n'); };
    if (holding_) {
        count(held_.data(), held_.size());
        return n;
    }
    if (f_ == nullptr) return 0;
    if (drained_ > 0) {
        // Written unbuffered, so the file by its name holds it all.
        std::FILE* r = owned_ ? std::fopen(name_.c_str(), "rb") : nullptr;
        if (r == nullptr) return 0;
        char b[4096];
        long long left = drained_;
        while (left > 0) {
            const std::size_t got = std::fread(b, 1, static_cast<std::size_t>(std::min<long long>(sizeof b, left)), r);
            if (got == 0) break;
            count(b, got);
            left -= static_cast<long long>(got);
        }
        std::fclose(r);
        if (left > 0) return 0;
    }
    count(buf_, used_);
    return n;
}

bool OutFile::cut_back(long long pos) {
    if (f_ == nullptr || pos < 0) return false;
    if (pos >= drained_) {
        // Still in the buffer: drop its tail (any stream).
        if (pos - drained_ > static_cast<long long>(used_)) return false;
        used_ = static_cast<std::size_t>(pos - drained_);
        return true;
    }
    if (!owned_) return false;
    used_ = 0;
    if (!platform::cut_file(f_, pos)) return false;
    drained_ = pos;
    return true;
}

void OutFile::report_failure(OutFile* console) {
    failed_ = false;
    if (console != nullptr && console != this && console->is_open()) {
        list_write(*console, {"Cannot write output file ", std::string_view(name_)});
        console->drain(nullptr);
        std::fflush(console->f_);
    }
    throw StopRun{1};
}

void OutFile::flush(OutFile* console) {
    if (f_ == nullptr) return;
    drain(console);
    if (std::fflush(f_) != 0 || std::ferror(f_)) failed_ = true;
    if (failed_) report_failure(console);
}

void OutFile::close(OutFile* console) {
    holding_ = false;
    if (f_ == nullptr) return;
    drain(console);
    bool bad = failed_;
    if (owned_) {
        if (std::fclose(f_) != 0) bad = true;
    } else if (std::fflush(f_) != 0) {
        bad = true;
    }
    f_ = nullptr;
    if (bad) {
        failed_ = true;
        report_failure(console);
    }
}

// ============================================================ formatting

const char* nonfinite_text(float v, int w) {
    if (std::isnan(v)) return "NaN";  // the sign of a NaN is never written
    if (v > 0.0f) return w >= 8 ? "Infinity" : "Inf";
    return w >= 9 ? "-Infinity" : "-Inf";
}

namespace {

// Fixed-point text of the exact binary value with d decimals, rounded to
// nearest with ties to even ("%.*f"; with d = 0 the point is kept, "3.").
// Never more than kFixedCap characters: a longer text is cut there, as the
// former 96-byte formatting buffer cut it (only a layout with some sixty or
// more decimals reaches that). Returns the length.
constexpr std::size_t kFixedCap = 95;

std::size_t fixed_text(char* out, float v, int d) {
    // 149 decimals give every float exactly; more only append zeros.
    const int p = d < 149 ? d : 149;
    char buf[256];  // sign, 39 integer digits, point, 149 decimals
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(v), std::chars_format::fixed, p);
    std::size_t n = static_cast<std::size_t>(r.ptr - buf);
    if (d == 0) buf[n++] = '.';
    for (int i = p; i < d && n < kFixedCap; ++i) buf[n++] = '0';
    if (n > kFixedCap) n = kFixedCap;
    std::memcpy(out, buf, n);
    return n;
}

// A finite, non-zero real in 15 columns with eight significant digits of its
// exact binary value (ties to even): fixed point, right-justified in 11
// columns and 4 blanks, where the decimal exponent is from -1 to 7; else
// "d.dddddddE+xx", right-justified in 15 columns. Writes exactly 15 bytes.
void free_real_text(char* out, float v) {
    char e[32];
    const auto r = std::to_chars(e, e + sizeof e, static_cast<double>(v), std::chars_format::scientific, 7);
    const auto len = static_cast<std::size_t>(r.ptr - e);
    std::size_t x = 0;  // the exponent letter
    while (e[x] != 'e') ++x;
    int exponent = 0;
    for (std::size_t i = x + 2; i < len; ++i) exponent = exponent * 10 + (e[i] - '0');
    if (e[x + 1] == '-') exponent = -exponent;
    std::memset(out, ' ', 15);
    if (exponent >= -1 && exponent <= 7) {
        const int k = exponent >= 0 ? exponent + 1 : 0;
        char f[32];
        const auto rf = std::to_chars(f, f + sizeof f, static_cast<double>(v), std::chars_format::fixed, 8 - k);
        std::size_t n = static_cast<std::size_t>(rf.ptr - f);
        if (k == 8) f[n++] = '.';
        std::memcpy(out + (11 - n), f, n);
    } else {
        e[x] = 'E';
        std::memcpy(out + (15 - len), e, len);
    }
}

// The field text of fw.d before the width is checked: the number, or the
// spelling of a value that is not finite.
std::size_t fixed_field_text(char* out, float v, int w, int d) {
    if (std::isfinite(v)) return fixed_text(out, v, d);
    const char* t = nonfinite_text(v, w);
    const std::size_t n = std::strlen(t);
    std::memcpy(out, t, n);
    return n;
}

// Decimal text of an integer; returns the length.
std::size_t int_text(char* out, int v) {
    return static_cast<std::size_t>(std::to_chars(out, out + 16, v).ptr - out);
}

}  // namespace

std::string format_free_real(float v) {
    char buf[16];
    if (!std::isfinite(v)) {
        std::snprintf(buf, sizeof buf, "%15s", nonfinite_text(v, 15));
    } else if (v == 0.0f) {
        std::snprintf(buf, sizeof buf, "%11s    ", std::signbit(v) ? "-0.0000000" : "0.0000000");
    } else {
        free_real_text(buf, v);
        buf[15] = '\0';
    }
    return buf;
}

std::string format_fixed(float v, int w, int d) {
    char buf[kFixedCap];
    std::string s(buf, fixed_field_text(buf, v, w, d));
    if (static_cast<int>(s.size()) > w) {
        // Leave out the zero before the decimal point when only that makes
        // the value fit.
        if (s.rfind("0.", 0) == 0) s.erase(0, 1);
        else if (s.rfind("-0.", 0) == 0) s.erase(1, 1);
    }
    if (static_cast<int>(s.size()) > w) return std::string(static_cast<std::size_t>(w), '*');
    return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

std::string format_int(int v, int w) {
    char buf[16];
    const std::size_t len = int_text(buf, v);
    if (static_cast<int>(len) > w) return std::string(static_cast<std::size_t>(w), '*');
    return std::string(static_cast<std::size_t>(w) - len, ' ') + std::string(buf, len);
}

// ======================================================== free-form write

namespace {

void put_free_item(OutFile& out, const Item& it) {
    char buf[32];
    switch (it.kind) {
        case Item::Int: {
            const std::size_t n = int_text(buf, it.i);
            for (std::size_t i = n; i < 11; ++i) out.put(' ');
            out.put(std::string_view(buf, n));
            break;
        }
        case Item::Real: {
            if (std::isfinite(it.f) && it.f != 0.0f) {
                // Common case without building a string.
                free_real_text(buf, it.f);
                out.put(std::string_view(buf, 15));
            } else {
                out.put(format_free_real(it.f));
            }
            break;
        }
        case Item::Text:
            out.put(it.s);
            break;
    }
}

}  // namespace

void list_write(OutFile& out, std::span<const Item> items) {
    if (items.empty()) {
        out.end_record();
        return;
    }
    out.put(' ');
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (k > 0 && !(items[k - 1].kind == Item::Text && items[k].kind == Item::Text)) out.put(' ');
        put_free_item(out, items[k]);
    }
    out.end_record();
}

// ========================================================== layout parse

namespace {

class LayoutParser {
public:
    explicit LayoutParser(std::string_view t) : t_(t) {}

    void parse(Layout::Node& root) {
        skip();
        expect('(');
        parse_list(root);
        expect(')');
        skip();
        if (p_ != t_.size()) fail();
    }

private:
    void fail() const { throw std::logic_error("bad record layout: " + std::string(t_)); }
    void skip() {
        while (p_ < t_.size() && (t_[p_] == ' ' || t_[p_] == '\t')) ++p_;
    }
    char peek() {
        skip();
        return p_ < t_.size() ? static_cast<char>(std::tolower(static_cast<unsigned char>(t_[p_]))) : '\0';
    }
    void expect(char c) {
        if (peek() != c) fail();
        ++p_;
    }
    int number() {
        skip();
        if (p_ >= t_.size() || !std::isdigit(static_cast<unsigned char>(t_[p_]))) return -1;
        int v = 0;
        while (p_ < t_.size()) {
            skip();
            if (p_ >= t_.size() || !std::isdigit(static_cast<unsigned char>(t_[p_]))) break;
            v = v * 10 + (t_[p_] - '0');
            ++p_;
        }
        return v;
    }

    void parse_list(Layout::Node& group) {
        if (peek() == ')') return;
        for (;;) {
            Layout::Node n;
            parse_item(n);
            group.kids.push_back(std::move(n));
            const char c = peek();
            if (c == ',') {
                ++p_;
                continue;
            }
            if (c == ')') return;
            if (c == '/' || c == '\'') continue;  // separators may be left out before these
            fail();
        }
    }

    void parse_item(Layout::Node& n) {
        const int r = number();
        const char c = peek();
        switch (c) {
            case '(':
                ++p_;
                n.kind = Layout::Node::Group;
                n.repeat = r > 0 ? r : 1;
                parse_list(n);
                expect(')');
                return;
            case 'i':
                ++p_;
                n.kind = Layout::Node::IntW;
                n.repeat = r > 0 ? r : 1;
                n.w = number();
                if (n.w <= 0) fail();
                return;
            case 'f':
                ++p_;
                n.kind = Layout::Node::RealWD;
                n.repeat = r > 0 ? r : 1;
                n.w = number();
                expect('.');
                n.d = number();
                if (n.w <= 0 || n.d < 0) fail();
                return;
            case 'a':
                ++p_;
                n.kind = Layout::Node::Chars;
                n.repeat = r > 0 ? r : 1;
                n.w = number();  // -1 when no width is given
                return;
            case 'x':
                ++p_;
                n.kind = Layout::Node::Blanks;
                n.w = r > 0 ? r : 1;
                return;
            case '/':
                ++p_;
                n.kind = Layout::Node::Slash;
                return;
            case '\'': {
                ++p_;
                n.kind = Layout::Node::Literal;
                for (;;) {
                    if (p_ >= t_.size()) fail();
                    if (t_[p_] == '\'') {
                        if (p_ + 1 < t_.size() && t_[p_ + 1] == '\'') {
                            n.text.push_back('\'');
                            p_ += 2;
                            continue;
                        }
                        ++p_;
                        break;
                    }
                    n.text.push_back(t_[p_++]);
                }
                return;
            }
            default:
                fail();
        }
    }

    std::string_view t_;
    std::size_t p_ = 0;
};

}  // namespace

Layout::Layout(std::string_view text) : text_(text) {
    LayoutParser(text).parse(root_);
    reversion_ = 0;
    for (std::size_t k = 0; k < root_.kids.size(); ++k)
        if (root_.kids[k].kind == Node::Group) reversion_ = k;
}

// ========================================================== laid-out write

namespace {

[[noreturn]] void read_fail(const char* what, int item, Where w);

struct LayoutWriter {
    OutFile& out;
    std::span<const Item> items;
    std::size_t next = 0;

    // Writes the nodes from `from`; false when the list ran out at a data item.
    bool run(const std::vector<Layout::Node>& nodes, std::size_t from) {
        for (std::size_t k = from; k < nodes.size(); ++k) {
            const Layout::Node& n = nodes[k];
            switch (n.kind) {
                case Layout::Node::Group:
                    for (int r = 0; r < n.repeat; ++r)
                        if (!run(n.kids, 0)) return false;
                    break;
                case Layout::Node::Blanks:
                    for (int i = 0; i < n.w; ++i) out.put(' ');
                    break;
                case Layout::Node::Literal:
                    out.put(n.text);
                    break;
                case Layout::Node::Slash:
                    out.end_record();
                    break;
                default:
                    for (int r = 0; r < n.repeat; ++r) {
                        if (next >= items.size()) return false;
                        ++next;
                        data(n, items[next - 1]);
                    }
                    break;
            }
        }
        return true;
    }

    void data(const Layout::Node& n, const Item& it) {
        switch (n.kind) {
            case Layout::Node::IntW: {
                // A real is cut to its whole part; one that has none within
                // the integers (NaN, or too large) is refused as a reader
                // refuses an unreadable integer.
                if (it.kind == Item::Real && !(it.f > -2147483904.0f && it.f < 2147483648.0f)) {
                    const long long rec = out.record_number();
                    read_fail("Bad integer for item %d in laid-out output", static_cast<int>(next),
                              Where{out.name(), rec > INT_MAX ? 0 : static_cast<int>(rec)});
                }
                const int v = it.kind == Item::Real ? static_cast<int>(it.f) : it.i;
                char buf[16];
                const int len = static_cast<int>(int_text(buf, v));
                if (len > n.w) {
                    out.put_overflow(n.w);
                } else {
                    for (int i = len; i < n.w; ++i) out.put(' ');
                    out.put(std::string_view(buf, static_cast<std::size_t>(len)));
                }
                break;
            }
            case Layout::Node::RealWD: {
                const float v = it.kind == Item::Int ? static_cast<float>(it.i) : it.f;
                char buf[kFixedCap];
                // A spelling too wide for the field gets the asterisks below.
                std::string_view s(buf, fixed_field_text(buf, v, n.w, n.d));
                char tmp[kFixedCap];
                if (static_cast<int>(s.size()) > n.w) {
                    if (s.substr(0, 2) == "0.") {
                        s.remove_prefix(1);
                    } else if (s.substr(0, 3) == "-0.") {
                        tmp[0] = '-';
                        std::memcpy(tmp + 1, buf + 2, s.size() - 2);
                        s = std::string_view(tmp, s.size() - 1);
                    }
                }
                if (static_cast<int>(s.size()) > n.w) {
                    out.put_overflow(n.w);
                } else {
                    for (int i = static_cast<int>(s.size()); i < n.w; ++i) out.put(' ');
                    out.put(s);
                }
                break;
            }
            case Layout::Node::Chars: {
                std::string_view s = it.kind == Item::Text ? it.s : std::string_view();
                if (n.w < 0) {
                    out.put(s);
                } else if (static_cast<int>(s.size()) >= n.w) {
                    out.put(s.substr(0, static_cast<std::size_t>(n.w)));
                } else {
                    for (int i = static_cast<int>(s.size()); i < n.w; ++i) out.put(' ');
                    out.put(s);
                }
                break;
            }
            default:
                break;
        }
    }
};

}  // namespace

void fmt_write(OutFile& out, const Layout& layout, std::span<const Item> items) {
    LayoutWriter w{out, items};
    std::size_t from = 0;
    for (;;) {
        const std::size_t before = w.next;
        if (!w.run(layout.root().kids, from)) break;
        if (w.next >= items.size() || w.next == before) break;
        // Layout used up with items left: new record, back to the last
        // outermost group.
        out.end_record();
        from = layout.reversion();
    }
    out.end_record();
}

// ======================================================== free-form read

namespace {

std::string where_text(Where w) {
    std::string s = " (file ";
    s += std::string(w.file);
    if (w.line > 0) s += ", line " + std::to_string(w.line);
    s += ")";
    return s;
}

[[noreturn]] void read_fail(const char* what, int item, Where w) {
    char buf[128];
    std::snprintf(buf, sizeof buf, what, item);
    throw RecordError(std::string(buf) + where_text(w));
}

bool is_sep(char c) { return c == ' ' || c == '\t' || c == ',' || c == '/'; }

bool parse_int(std::string_view t, int& out) {
    std::size_t p = 0;
    bool neg = false;
    if (p < t.size() && (t[p] == '+' || t[p] == '-')) neg = t[p++] == '-';
    if (p >= t.size()) return false;
    long long v = 0;
    for (; p < t.size(); ++p) {
        if (!std::isdigit(static_cast<unsigned char>(t[p]))) return false;
        v = v * 10 + (t[p] - '0');
        if (v > 2147483648LL) return false;
    }
    if (neg) v = -v;
    if (v > INT_MAX || v < INT_MIN) return false;
    out = static_cast<int>(v);
    return true;
}

bool parse_real(std::string_view t, float& out) {
    char buf[128];
    if (t.empty() || t.size() >= sizeof buf) return false;
    std::size_t p = 0, q = 0;
    if (t[p] == '+' || t[p] == '-') buf[q++] = t[p++];
    int digits = 0;
    while (p < t.size() && std::isdigit(static_cast<unsigned char>(t[p]))) buf[q++] = t[p++], ++digits;
    if (p < t.size() && t[p] == '.') {
        buf[q++] = t[p++];
        while (p < t.size() && std::isdigit(static_cast<unsigned char>(t[p]))) buf[q++] = t[p++], ++digits;
    }
    if (digits == 0) return false;
    if (p < t.size()) {
        const char c = t[p];
        if (c != 'e' && c != 'E' && c != 'd' && c != 'D') return false;
        buf[q++] = 'e';
        ++p;
        if (p < t.size() && (t[p] == '+' || t[p] == '-')) buf[q++] = t[p++];
        int ed = 0;
        while (p < t.size() && std::isdigit(static_cast<unsigned char>(t[p]))) buf[q++] = t[p++], ++ed;
        if (ed == 0 || p != t.size()) return false;
    }
    buf[q] = '\0';
    errno = 0;
    const float v = std::strtof(buf, nullptr);
    if (std::isinf(v)) return false;  // beyond the largest single-precision real
    out = v;
    return true;
}

// Supplies the lines of one read: a single stored line, or the lines of a
// file from its current position.
struct LineSource {
    std::string_view line;
    InFile* file = nullptr;
    std::string filebuf;
    Where where;
    bool next() {
        if (file == nullptr) return false;
        if (!file->read_fixed(filebuf, -1)) return false;
        line = filebuf;
        where.line = file->line_number();
        return true;
    }
};

// Reads the items; returns false only when a file ends before any value.
bool read_items(LineSource& src, std::span<const InItem> items) {
    std::size_t p = 0;
    std::size_t item = 0;
    bool after_comma = true;  // a comma first on the first line is a null value
    bool any = false;         // a value, null value or separator was seen
    long long repeat_left = 0;
    bool repeat_null = false;
    bool repeat_quoted = false;
    std::string repeat_val;
    std::string token;

    // A character value between apostrophes or double quotes, from the
    // opening quote at p; a doubled quote inside stands for one, and a line
    // that ends first ends the value.
    auto scan_quoted = [&](std::string& into) {
        const char q = src.line[p++];
        while (p < src.line.size()) {
            if (src.line[p] == q) {
                if (p + 1 < src.line.size() && src.line[p + 1] == q) {
                    into.push_back(q);
                    p += 2;
                    continue;
                }
                ++p;
                break;
            }
            into.push_back(src.line[p++]);
        }
    };

    auto assign = [&](const std::string& t, bool quoted) {
        const InItem& it = items[item];
        const int no = static_cast<int>(item) + 1;
        switch (it.kind) {
            case InItem::Int:
                if (quoted || !parse_int(t, *it.ip)) read_fail("Bad integer for item %d in list input", no, src.where);
                break;
            case InItem::Real:
                if (quoted || !parse_real(t, *it.fp)) read_fail("Bad real number in item %d of list input", no, src.where);
                break;
            case InItem::Text: {
                std::string v = t.substr(0, static_cast<std::size_t>(it.len));
                v.resize(static_cast<std::size_t>(it.len), ' ');
                *it.sp = v;
                break;
            }
        }
        ++item;
    };

    while (item < items.size()) {
        if (repeat_left > 0) {
            --repeat_left;
            if (repeat_null) ++item;
            else assign(repeat_val, repeat_quoted);
            continue;
        }
        while (p < src.line.size() && (src.line[p] == ' ' || src.line[p] == '\t')) ++p;
        if (p >= src.line.size()) {
            if (!src.next()) {
                if (!any && src.file != nullptr) return false;
                read_fail("End of file", static_cast<int>(item) + 1, src.where);
            }
            // A line end is a blank: a comma first on the next line after a
            // trailing comma, or first of all in the read, is a null value.
            p = 0;
            continue;
        }
        const char c = src.line[p];
        if (c == ',') {
            ++p;
            if (after_comma) ++item;  // nothing between two commas: a null value
            after_comma = true;
            any = true;
            continue;
        }
        if (c == '/') return true;
        any = true;
        bool quoted = false;
        token.clear();
        if (c == '\'' || c == '"') {
            quoted = true;
            scan_quoted(token);
        } else {
            while (p < src.line.size() && !is_sep(src.line[p])) {
                if (src.line[p] == '*' ) {
                    // A repeat count r*: digits before the star only.
                    bool digits = !token.empty();
                    for (char d : token) digits = digits && std::isdigit(static_cast<unsigned char>(d));
                    if (digits) break;
                }
                token.push_back(src.line[p++]);
            }
            if (p < src.line.size() && src.line[p] == '*') {
                const int no = static_cast<int>(item) + 1;
                long long r = 0;
                for (char d : token) {
                    r = r * 10 + (d - '0');
                    if (r > 2147483647LL) read_fail("Repeat count overflow in item %d of list input", no, src.where);
                }
                if (r == 0) read_fail("Zero repeat count in item %d of list input", no, src.where);
                ++p;
                // The repeated value is read as a lone value would be: a
                // quoted one keeps its doubled quotes as one and is no number.
                repeat_val.clear();
                repeat_quoted = p < src.line.size() && (src.line[p] == '\'' || src.line[p] == '"');
                if (repeat_quoted) {
                    scan_quoted(repeat_val);
                } else {
                    while (p < src.line.size() && !is_sep(src.line[p])) repeat_val.push_back(src.line[p++]);
                }
                repeat_null = repeat_val.empty() && !repeat_quoted;
                repeat_left = r;
                after_comma = false;
                // A separator after the repeat form is consumed like any other.
                while (p < src.line.size() && (src.line[p] == ' ' || src.line[p] == '\t')) ++p;
                if (p < src.line.size() && src.line[p] == ',') {
                    ++p;
                    after_comma = true;
                }
                continue;
            }
        }
        assign(token, quoted);
        after_comma = false;
        while (p < src.line.size() && (src.line[p] == ' ' || src.line[p] == '\t')) ++p;
        if (p < src.line.size() && src.line[p] == ',') {
            ++p;
            after_comma = true;
        }
    }
    return true;
}

}  // namespace

void list_read(std::string_view line, std::span<const InItem> items, Where where) {
    LineSource src;
    src.line = line;
    src.where = where;
    read_items(src, items);
}

// ================================================================ InFile

InFile::~InFile() = default;

bool InFile::open(const std::string& name) {
    name_ = name;
    text_.clear();
    pos_ = 0;
    line_ = 0;
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (f == nullptr) return false;
    char buf[1 << 14];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text_.append(buf, n);
    const bool bad = std::ferror(f) != 0;
    std::fclose(f);
    skip_bom();
    return !bad;
}

void InFile::open_text(std::string_view text, const std::string& name) {
    name_ = name;
    text_.assign(text);
    pos_ = 0;
    line_ = 0;
    skip_bom();
}

void InFile::skip_bom() {
    // Editors on some systems start a UTF-8 file with a byte-order mark; it is
    // no part of the first record.
    if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
}

void InFile::close() {
    text_.clear();
    pos_ = 0;
}

bool InFile::next_line(std::string& line) {
    if (pos_ >= text_.size()) return false;
    std::size_t e = text_.find('\n', pos_);
    std::size_t next;
    if (e == std::string::npos) {
        e = text_.size();
        next = e;
    } else {
        next = e + 1;
    }
    std::size_t end = e;
    if (end > pos_ && text_[end - 1] == '\r' && e != text_.size()) --end;
    line.assign(text_, pos_, end - pos_);
    pos_ = next;
    ++line_;
    return true;
}

bool InFile::read_fixed(std::string& rec, int width) {
    if (!next_line(rec)) return false;
    if (width >= 0) rec.resize(static_cast<std::size_t>(width), ' ');
    return true;
}

bool InFile::list_read(std::span<const InItem> items) {
    LineSource src;
    src.file = this;
    src.where = Where{name_, line_};
    return read_items(src, items);
}

}  // namespace tacsim
