// The input readers. The biological file and the options file have no
// keywords: a value's meaning is given by the number of its record (comment
// lines with "#" in column 1 do not count) and its place on the record. Both
// files are first read into memory as fixed-width lines and then parsed
// record by record; the initial-stock files, "srspec" and the historical
// catch file are read as they come.
#include "io/input.hpp"
#include "model/mathf.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "io/outfiles.hpp"
#include "management/rulebook.hpp"

namespace tacsim {

namespace {

// A file name held in a fixed-width field: trailing blanks are not part of it.
std::string file_name(const std::string& field) {
    std::string n = field;
    while (!n.empty() && n.back() == ' ') n.pop_back();
    return n;
}

// A message before a stop (see messages()), and a warning, which stays
// among the results on standard output.
void say(State& s, std::initializer_list<Item> items) {
    say_where(s);
    list_write(messages(s), items);
}
void warn(State& s, std::initializer_list<Item> items) { list_write(s.con, items); }

[[noreturn]] void cannot_open(State& s, const std::string& name) {
    stop_with(s, {"Cannot open input file ", name});
}

[[noreturn]] void ends_early(State& s, const std::string& name) {
    stop_with(s, {"Input file ", name, " ends before all its records were read"});
}

// The accepted lines of a keyword-free input file, in order, each cut or
// padded to `width` characters, with the physical line number it came from.
struct Records {
    std::string file;
    std::vector<std::string> text;
    std::vector<int> line;
};

Records load_records(State& s, const std::string& name, int width) {
    Records r;
    r.file = name;
    InFile in;
    if (!in.open(name)) cannot_open(s, name);
    std::string rec;
    while (in.read_fixed(rec, width)) {
        if (!rec.empty() && rec[0] == '#') continue;  // only column 1 marks a comment
        r.text.push_back(rec);
        r.line.push_back(in.line_number());
    }
    in.close();
    return r;
}

// The shortest text that reads back to the same value, for messages.
std::string num(float v) {
    char b[32];
    return std::string(b, std::to_chars(b, b + sizeof b, v).ptr);
}

// "bio.inn line 23" (the file as the run names it).
std::string at_line(const std::string& file, int line) { return file + " line " + std::to_string(line); }

// A message of the run given any argument: one line on the error stream.
void tell(State& s, const std::string& text) {
    s.err.put(text);
    s.err.end_record();
}

// A value that cannot be true stops the run in every mode: on the error
// stream when the run was given any argument, on standard output (as a
// free-form record) otherwise.
[[noreturn]] void refuse(State& s, const std::string& text) {
    if (s.messages_to_err) {
        tell(s, text);
    } else {
        list_write(s.con, {text});
    }
    stop(s);
}

// A value that is possible but most likely a mistake: a warning on the error
// stream of a run given any argument; the argument-less run says nothing.
void doubt(State& s, const std::string& text) {
    if (s.messages_to_err) tell(s, "Warning: " + text);
}

// The items of a line as the free-form reader splits them (blanks, tabs and
// commas separate; a slash ends the record); "r*v" counts r items.
struct LineItems {
    std::vector<std::string_view> text;
    long long count = 0;
};

LineItems split_items(std::string_view line) {
    LineItems out;
    std::size_t i = 0;
    bool after_value = false;  // a comma right after a value only ends it
    while (i < line.size()) {
        const char ch = line[i];
        if (ch == ' ' || ch == '\t') {
            ++i;
            continue;
        }
        if (ch == '/') break;
        if (ch == ',') {
            if (!after_value) {
                out.text.emplace_back();  // an empty item: the value stays as it was
                ++out.count;
            }
            after_value = false;
            ++i;
            continue;
        }
        std::size_t e = i;
        while (e < line.size() && line[e] != ' ' && line[e] != '\t' && line[e] != ',' && line[e] != '/') ++e;
        const std::string_view tok = line.substr(i, e - i);
        long long n = 1;
        if (const auto star = tok.find('*'); star != std::string_view::npos) {
            long long r = 0;
            const auto res = std::from_chars(tok.data(), tok.data() + star, r);
            if (res.ec == std::errc() && res.ptr == tok.data() + star && r > 0) n = r;
        }
        for (long long k = 0; k < n && out.text.size() < 4096; ++k) out.text.push_back(tok);
        out.count += n;
        after_value = true;
        i = e;
    }
    return out;
}

bool is_digits(std::string_view t) {
    return !t.empty() && std::all_of(t.begin(), t.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

// Walks through the accepted lines. take() moves to the next record (a file
// that has no more ends the run); read() reads free-form from the record
// taken last, from its first value, as often as the layout asks. Each record
// is taken with what it holds ("M at age 5", "fprop, mprop"), which the
// messages of a run given any argument name.
class Cursor {
public:
    Cursor(State& s, const Records& r) : s_(s), r_(r) {}

    void take(std::string what = {}) {
        if (next_ >= static_cast<int>(r_.text.size())) {
            if (s_.messages_to_err && !what.empty()) {
                const int last = r_.line.empty() ? 0 : r_.line.back();
                refuse(s_, r_.file + " ends before the record of " + what + " (its last record is line " +
                               std::to_string(last) + "): add the missing records");
            }
            ends_early(s_, r_.file);
        }
        before_ = std::move(what_);
        what_ = std::move(what);
        cur_ = next_++;
        s_.reading_at = what_.empty() ? std::string() : where() + " (" + what_ + ")";
    }
    // `again`: the layout reads the record again, with more items; the
    // decimal comma is looked for then.
    void read(std::initializer_list<InItem> items, bool again = false) {
        read(std::span<const InItem>(items.begin(), items.size()), again);
    }
    void read(std::span<const InItem> items, bool again = false) {
        const std::string& text = r_.text[cur_];
        try {
            list_read(text, items, Where{r_.file, r_.line[cur_]});
        } catch (const RecordError& e) {
            if (!s_.messages_to_err || what_.empty()) throw;
            const std::string where = at_line(r_.file, r_.line[cur_]);
            if (text.find_first_not_of(' ') == std::string::npos) {
                throw RecordError(where + ": a blank line where the record of " + what_ +
                                  " is expected; a blank line counts as a record: remove it");
            }
            std::string m = std::string(e.what()) + ": the record of " + what_;
            if (std::string_view(e.what()).starts_with("End of file")) {
                m += " holds fewer values than it needs: is a record missing above it?";
            }
            throw RecordError(m);
        }
        if (s_.messages_to_err && !again) decimal_comma(items.size());
    }
    // take() then read().
    void next(std::string what, std::initializer_list<InItem> items, bool again = false) {
        take(std::move(what));
        read(items, again);
    }
    void next(std::string what, std::span<const InItem> items) {
        take(std::move(what));
        read(items);
    }
    const std::string& text() const { return r_.text[cur_]; }
    int line() const { return r_.line[cur_]; }  // physical line of the record taken last
    int taken() const { return next_; }  // records taken so far
    // "bio.inn line 23" of the record taken last.
    std::string where() const { return at_line(r_.file, line()); }
    // What the record before the one taken last holds.
    const std::string& before() const { return before_; }

private:
    // A line that holds more items than its record reads, one of them
    // digits, comma, digits: most likely a decimal comma, which the reader
    // takes as two items.
    void decimal_comma(std::size_t nitems) const {
        const std::string& line = r_.text[cur_];
        const LineItems on = split_items(line);
        if (on.count <= static_cast<long long>(nitems)) return;
        const std::size_t n = std::min(nitems, on.text.size());
        std::size_t from = 0;
        for (std::size_t j = 0; j < n; ++j) {
            const std::string_view t = on.text[j];
            const std::size_t c = line.find(std::string(t) + ",", from);
            if (c == std::string::npos) continue;
            from = c + t.size();
            if (!is_digits(t)) continue;
            // The item after the comma, written right after it.
            const std::size_t after = c + t.size() + 1;
            std::size_t e = after;
            while (e < line.size() && line[e] >= '0' && line[e] <= '9') ++e;
            if (e == after) continue;
            const std::string first(t), second = line.substr(after, e - after);
            // Digits read as an integer or a real give the same number.
            std::string got = first.substr(std::min(first.find_first_not_of('0'), first.size() - 1));
            tell(s_, "Warning: " + where() + ": \"" + first + "," + second + "\" reads as two items, " + first +
                       " and " + second + ", and " + item_name(j, nitems) + " is " + got + "; write " + first + "." +
                       second + " for a decimal");
            return;
        }
    }
    // Item j (0-based) of the record, as messages name it: "M at age 5" for
    // the value of a record that holds an age and one value; the j-th name of
    // a record named by its items ("fprop, mprop", or "the CVs at age 3 (age,
    // cvage, cvcanum, cvimpage)"); else "item 2 of ...".
    std::string item_name(std::size_t j, std::size_t n) const {
        if (n == 2 && j == 1 && what_.find(" at age ") != std::string::npos) return what_;
        std::string list = what_, head;
        if (const auto open = what_.find(" ("); open != std::string::npos && what_.back() == ')') {
            head = what_.substr(0, open);
            list = what_.substr(open + 2, what_.size() - open - 3);
        }
        std::vector<std::string> names;
        for (std::size_t p = 0;;) {
            const std::size_t q = list.find(", ", p);
            names.push_back(list.substr(p, q == std::string::npos ? std::string::npos : q - p));
            if (q == std::string::npos) break;
            p = q + 2;
        }
        if (names.size() != n) return "item " + std::to_string(j + 1) + " of " + what_;
        return head.empty() ? names[j] : names[j] + " (" + head + ")";
    }

    State& s_;
    const Records& r_;
    int next_ = 0;
    int cur_ = -1;
    std::string what_, before_;
};

// ------------------------------------------------------------ biology

// Reads the per-iteration recruitment parameter sets of "srspec": iteration,
// regime and five values per read, until the file ends.
void read_srspec(State& s) {
    const std::string name = in_path(s, "srspec");
    InFile in;
    if (!in.open(name)) cannot_open(s, name);
    int n = 0, r = 0;
    float p[5] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    while (in.list_read({n, r, p[0], p[1], p[2], p[3], p[4]})) {
        // Sets of iterations beyond a count below 1000 are not used.
        const int most = std::max(s.nsim, maxiter);
        if (n < 1 || n > most || r < 1 || r > maxreg) {
            stop_with(s, {"A record of the srspec file has an iteration outside 1.." + std::to_string(most),
                          " or a regime outside 1..40:", n, r});
        }
        if (n > s.nsim) continue;
        // The function and distribution codes are int(p + 0.001): a code
        // beyond the integers is none. Sets of other regimes are never used.
        const bool used = r <= s.nreg && s.srflag(r) == 1;
        for (int k = 0; k < 2; ++k) {
            const float c = p[k] + 0.001f;
            if (used && !(c > -2147483904.0f && c < 2147483648.0f)) {
                stop_with(s, {"A code of the srspec file lies beyond the integers (iteration, regime, code):", n, r,
                              p[k]});
            }
        }
        const float code = p[0] + 0.001f;
        if (used && code >= 3.0f && code < 4.0f && p[3] <= 0.0f) {
            stop_with(s, {"The SSB parameter of a Ricker set must be positive (srspec, iteration, regime, value):", n,
                          r, p[3]});
        }
        for (int k = 1; k <= 5; ++k) s.srpar(n, r, k) = p[k - 1];
    }
    in.close();
}

// The four records of regime r, each value checked as it is read. A run
// given any argument refuses a code the simulation cannot draw with at its
// record; the argument-less run stops at the first draw, as it always did.
void read_regime(State& s, Cursor& c, int r, Regime& g) {
    const std::string reg = "regime " + std::to_string(r) + ": ";
    const std::string of = " of regime " + std::to_string(r) + " is ";
    c.next(reg + "function, distribution, truncation", {g.function, g.distribution, g.truncation});
    const std::string codes_at = c.where();
    const bool per_iteration = g.function > 9;
    if (s.messages_to_err && !(g.function >= 1 && g.function <= 3) && !per_iteration) {
        refuse(s, codes_at + ": the recruitment function" + of + std::to_string(g.function) +
                      "; it must be 1 (segmented power), 2 (Shepherd), 3 (Ricker) or above 9 (drawn per iteration "
                      "from srspec)");
    }
    c.next(reg + "level, SSB parameter, CV, lower limit, upper limit, exponent",
           {g.level, g.ssb, g.cv, g.low, g.high, g.exponent});
    // The Ricker function divides by its SSB parameter and takes the
    // logarithm of a ratio with it.
    if (g.function == 3 && g.ssb <= 0.0f) {
        stop_with(s, {"The SSB parameter of a Ricker regime must be positive (bio.inn, regime, value):", r, g.ssb});
    }
    // The distribution of the deviate matters once there is one; that of a
    // regime drawn per iteration comes with its sets.
    if (s.messages_to_err && !per_iteration && g.cv > 0.0f && g.distribution != 1 && g.distribution != 2) {
        refuse(s, codes_at + ": the recruitment distribution" + of + std::to_string(g.distribution) +
                      "; with a CV above 0 it must be 1 (normal) or 2 (lognormal)");
    }
    c.next(reg + "amplitude, period, phase", {g.amplitude, g.period, g.phase});
    c.next(reg + "outburst law, mean interval, spread, factor, offset",
           {g.outburst_law, g.outburst_interval, g.outburst_spread, g.outburst_factor, g.outburst_offset});
    // Without a law no outburst year is drawn, while the mean level is
    // still raised for them.
    if (s.messages_to_err && g.outbursts_on() && (g.outburst_law < 1 || g.outburst_law > 3)) {
        refuse(s, c.where() + ": the outburst law" + of + std::to_string(g.outburst_law) +
                      "; with outbursts on (mean interval above 1, factor above 1) it must be 1 (lognormal), 2 "
                      "(geometric) or 3 (uniform)");
    }
    if (g.function >= 1 && g.function <= 9 && g.cv > 0.0f && g.low >= g.high) {
        stop_with(s, {"Recruitment truncation limits admit no deviate in regime", r});
    }
}

// Length-based growth, selection and maturity from nine parameter records.
void read_growth_parameters(State& s, Cursor& c) {
    float m = 0.0f, linf = 0.0f, l0 = 0.0f, k = 0.0f, cond = 0.0f, sm = 0.0f, ls = 0.0f, ss = 0.0f;
    float f1 = 0.0f, f2 = 0.0f, g = 0.0f;
    c.next("M (every age)", {m});
    if (m < 0.0f) refuse(s, c.where() + ": natural mortality M is " + num(m) + "; it cannot be below 0");
    const std::string m_where = c.where();
    c.next("L-infinity", {linf});
    c.next("L0", {l0});
    c.next("K", {k});
    c.next("c (condition factor)", {cond});
    c.next("s_m (slope of the maturity ogive)", {sm});
    const std::string sm_where = c.where();
    c.next("L_s (length at 50 % selection)", {ls});
    c.next("s_s (slope of the selection curve)", {ss});
    c.next("f1, f2, g", {f1, f2, g});

    const float kk = 1.0f - exp_sp(-k);
    const float lm = 0.667f * linf;  // length at 50 % maturity
    AgeVec len;
    for (int a = s.firstage; a <= s.lastage; ++a) {
        len(a) = (a == s.firstage) ? l0 : len(a - 1) + (linf - len(a - 1)) * kk;
        const float l = len(a);
        s.natmor(a) = m;
        s.sel(a, 1) = (1.0f + exp_sp(-(linf - ls) * ss)) / (1.0f + exp_sp(-(l - ls) * ss));
        const float w = cond * ((l * l) * l);
        for (AgePar* wp : {&s.wecapar, &s.westpar}) {
            (*wp)(a, 1) = w;
            (*wp)(a, 2) = f1 * w;
            (*wp)(a, 3) = f2 * w;
            (*wp)(a, 4) = g;
            (*wp)(a, 5) = 0.0f;
        }
        const float mat = (1.0f + exp_sp(-(linf - lm) * sm)) / (1.0f + exp_sp(-(l - lm) * sm));
        s.maturpar(a, 1) = mat;
        s.maturpar(a, 2) = f1 * mat;
        s.maturpar(a, 3) = std::max(f2 * mat, 1.0f);
        s.maturpar(a, 4) = g;
        s.maturpar(a, 5) = 0.0f;
        if (!(w >= 0.0f)) {
            refuse(s, c.where() + ": the growth parameters give a weight of " + num(w) + " at age " +
                          std::to_string(a) + " (c times length cubed); a weight cannot be below 0");
        }
        if (!(mat >= 0.0f && mat <= 1.0f)) {
            refuse(s, sm_where + ": the maturity ogive gives " + num(mat) + " at age " + std::to_string(a) +
                          "; a maturity must lie within 0..1");
        }
    }
    if (m > 2.0f) doubt(s, m_where + ": natural mortality M is " + num(m) + ", above 2 a year; is it meant?");
}

// Values at age: five blocks, one record per age, each starting with the age.
// Refuses values that cannot be true: natural mortality, selection or a
// base weight below 0, a maturity outside 0..1. The limits of weights and
// maturity may lie anywhere: they bound the simulated values, and maturity
// is kept within 0..1 after them.
void read_values_at_age(State& s, Cursor& c) {
    struct Block {
        const char* what;  // "M at age 5"
        const char* name;  // of the block, in messages
    };
    auto check_age = [&](const Block& b, int got, int want) {
        if (got == want) return;
        if (s.messages_to_err) {
            std::string m = c.where() + ": the block of " + b.name + " holds one line per age " +
                            std::to_string(s.firstage) + ".." + std::to_string(s.lastage) + " in order; this line gives age " +
                            std::to_string(got) + " where age " + std::to_string(want) + " is expected";
            m += got > want ? ": a line is missing above it" : ": a line above it is one too many";
            refuse(s, m);
        }
        stop_with(s, {"Check ageing of biol. data input at ", got});
    };
    auto what = [](const char* w, int a) { return std::string(w) + " at age " + std::to_string(a); };
    auto below0 = [&](float v, int a, const char* w, const char* why) {
        if (v < 0.0f) refuse(s, c.where() + ": " + what(w, a) + " is " + num(v) + "; " + why);
    };
    int ia = 0;
    const Block mb{"M", "natural mortality"};
    for (int a = s.firstage; a <= s.lastage; ++a) {
        c.next(what(mb.what, a), {ia, s.natmor(a)});
        check_age(mb, ia, a);
        below0(s.natmor(a), a, "M", "natural mortality cannot be below 0");
        if (s.natmor(a) > 2.0f) {
            doubt(s, c.where() + ": " + what("M", a) + " is " + num(s.natmor(a)) + ", above 2 a year; is it meant?");
        }
    }
    const Block sb{"selection", "selection"};
    for (int a = s.firstage; a <= s.lastage; ++a) {
        c.next(what(sb.what, a), {ia, s.sel(a, 1)});
        check_age(sb, ia, a);
        below0(s.sel(a, 1), a, "selection", "selection cannot be below 0");
    }
    const Block wb[] = {{"catch weight", "catch weights"}, {"stock weight", "stock weights"},
                        {"maturity", "maturity"}};
    AgePar* const pars[] = {&s.wecapar, &s.westpar, &s.maturpar};
    for (int k = 0; k < 3; ++k) {
        AgePar& p = *pars[k];
        for (int a = s.firstage; a <= s.lastage; ++a) {
            c.next(what(wb[k].what, a) + " (age, base, lower limit, upper limit, density, CV)",
                   {ia, p(a, 1), p(a, 2), p(a, 3), p(a, 4), p(a, 5)});
            check_age(wb[k], ia, a);
            if (k < 2) {
                below0(p(a, 1), a, wb[k].what, "a weight cannot be below 0");
                continue;
            }
            if (!(p(a, 1) >= 0.0f && p(a, 1) <= 1.0f)) {
                refuse(s, c.where() + ": " + what("maturity", a) + " is " + num(p(a, 1)) +
                              "; a maturity must lie within 0..1");
            }
            if (p(a, 3) > 1.0f) {
                doubt(s, c.where() + ": the upper limit of " + what("maturity", a) + " is " + num(p(a, 3)) +
                             ", above 1: it bounds nothing, and noise and density may take maturity at this age up to 1");
            }
        }
    }
}

}  // namespace

void getpopinn(State& s) {
    const Records recs = load_records(s, in_path(s, file_name(s.biofile)), 100);
    Cursor c(s, recs);

    c.next("year0", {s.year0});
    c.next("firstage, lastage", {s.firstage, s.lastage});
    if (s.lastage > maxage) {
        say(s, {"Oldest age larger than maxage"});
        stop_with(s, {"Adjust maxage in the model state and recompile the program"});
    }
    if (s.firstage < 0) stop_with(s, {"The youngest age (firstage) must not be negative"});
    if (s.lastage < 1) stop_with(s, {"The oldest age (lastage) must be at least 1"});
    if (s.firstage > s.lastage) stop_with(s, {"The youngest age is larger than the oldest age"});

    c.next("fbar1, fbar2", {s.fbar1, s.fbar2});
    if (!(s.firstage <= s.fbar1 && s.fbar1 <= s.fbar2 && s.fbar2 <= s.lastage)) {
        if (s.messages_to_err) {
            refuse(s, c.where() + ": the reference F ages " + std::to_string(s.fbar1) + " to " +
                          std::to_string(s.fbar2) + " must lie within the ages " + std::to_string(s.firstage) + ".." +
                          std::to_string(s.lastage) + " and not run downwards");
        }
        stop_with(s, {"The reference F ages must satisfy firstage <= fbar1 <= fbar2 <= lastage"});
    }
    c.next("tsbage", {s.tsbage});
    if (s.tsbage < 0 || s.tsbage > s.lastage) {
        if (s.messages_to_err) {
            refuse(s, c.where() + ": the youngest age in total stock biomass (tsbage) is " +
                          std::to_string(s.tsbage) + "; it must lie within 0.." + std::to_string(s.lastage));
        }
        stop_with(s, {"The youngest age in total stock biomass must lie within 0..lastage"});
    }
    c.next("fprop, mprop", {s.fprop, s.mprop});
    // Fractions of the year's mortality that come before spawning.
    for (const auto& [v, name] : {std::pair{s.fprop, "fishing"}, std::pair{s.mprop, "natural"}}) {
        if (!(v >= 0.0f && v <= 1.0f)) {
            refuse(s, c.where() + ": the fraction of " + name + " mortality before spawning (" +
                          (name[0] == 'f' ? "fprop" : "mprop") + ") is " + num(v) + "; it must lie within 0..1");
        }
    }

    // Recruitment regimes: how many, and when each begins.
    c.next("nreg, regtype", {s.nreg, s.regtype}, true);
    if (s.nreg < 1) stop_with(s, {"The number of recruitment regimes must be at least 1"});
    if (s.nreg > maxreg) stop_with(s, {"The number of recruitment regimes must not exceed 40"});
    if (s.nreg < 2) {
        s.regstart(1) = 1;
    } else if (s.regtype == 1) {
        if (s.nreg > maxreg - 1) {
            stop_with(s, {"The number of recruitment regimes must not exceed 39 with regimes at fixed years"});
        }
        s.regstart(1) = 1;
        std::vector<InItem> items;
        int skip1 = 0, skip2 = 0;
        items.emplace_back(skip1);
        items.emplace_back(skip2);
        for (int r = 2; r <= s.nreg; ++r) items.emplace_back(s.regstart(r));
        c.read(std::span<const InItem>(items));
        s.regstart(s.nreg + 1) = maxyear;
    } else if (s.regtype == 2) {
        int skip1 = 0, skip2 = 0;
        c.read({skip1, skip2, s.regdur, s.regbase});
        if (s.regdur <= 1.0f) {
            stop_with(s, {"The mean regime duration must exceed 1 year with regimes at random times"});
        }
    } else {
        stop_with(s, {"Something wrong with specification of recruitment regimes"});
    }

    // Four records per regime. A regime whose function code exceeds 9 takes
    // its parameters per iteration from "srspec", read once after all regimes.
    bool want_srspec = false;
    for (int r = 1; r <= s.nreg; ++r) {
        s.srflag(r) = 0;
        read_regime(s, c, r, s.regime(r));
        if (s.regime(r).function > 9) {
            s.srflag(r) = 1;
            want_srspec = true;
            // Every set "not read" until srspec gives it.
            if (s.srpar.upper(0) != s.nsim) s.srpar.size_to(s.nsim);
            for (int n = 1; n <= s.nsim; ++n)
                for (int k = 1; k <= 5; ++k) s.srpar(n, r, k) = -1.0f;
        }
    }
    s.reading_at.clear();  // srspec and what follows say where they are themselves
    if (want_srspec) read_srspec(s);

    c.next("bref", {s.bref});
    c.next("rref", {s.rref});
    c.next("wcv", {s.wcv});
    c.next("wamp, wper, wphase", {s.wamp, s.wper, s.wphase});
    c.next("ycmin, ycmax, ycslope", {s.ycmin, s.ycmax, s.ycslope});

    c.take("the format letter (i or p)");
    const char fmt = c.text()[0];
    if (fmt == 'i' || fmt == 'I') {
        read_values_at_age(s, c);
        const int nages = s.lastage - s.firstage + 1;
        const int expected = 4 * s.nreg + 12 + 5 * nages;
        const int found = static_cast<int>(recs.text.size());
        if (found != expected) {
            warn(s, {"WARNING!"});
            warn(s, {"The number of accepted lines on the bio.inn file"});
            warn(s, {"deviates from the number expetced"});
            warn(s, {"Expected", expected});
            warn(s, {"Found   ", found});
            warn(s, {"Last accepted line read:", c.text()});
        }
    } else if (fmt == 'p' || fmt == 'P') {
        read_growth_parameters(s, c);
    } else {
        say(s, {"Incomprehensible specification of biological input"});
        say(s, {"file format: ", std::string_view(&fmt, 1)});
        stop_with(s, {"Must be i or p - correct the file and start again"});
    }

    s.reading_at.clear();
    // Derived values: current weights and maturity, nothing below the
    // recruitment age, the historical years, and selection scaled to a mean
    // of 1 over the reference ages.
    for (int a = s.firstage; a <= s.lastage; ++a) {
        s.weca(a) = s.wecapar(a, 1);
        s.west(a) = s.westpar(a, 1);
        s.matur(a) = s.maturpar(a, 1);
    }
    for (int a = 0; a < s.firstage; ++a) {
        s.natmor(a) = 0.0f;
        s.sel(a, 1) = 0.0f;
        s.weca(a) = 0.0f;
        s.west(a) = 0.0f;
        s.matur(a) = 0.0f;
    }
    for (int y = -15; y <= 0; ++y) {
        for (int a = 0; a <= s.lastage; ++a) {
            s.wecayr(y, a) = s.weca(a);
            s.westyr(y, a) = s.west(a);
            s.maturyr(y, a) = s.matur(a);
        }
    }
    float sum = 0.0f;
    for (int a = s.fbar1; a <= s.fbar2; ++a) sum += s.sel(a, 1);
    const float mean = sum / static_cast<float>(s.fbar2 - s.fbar1 + 1);
    if (!(mean > 0.0f) || !std::isfinite(mean)) {
        stop_with(s, {"The selection over the reference F ages (fbar1..fbar2) must be positive"});
    }
    for (int a = 0; a <= s.lastage; ++a) {
        s.sel(a, 1) = s.sel(a, 1) / mean;
        s.sel(a, 2) = s.sel(a, 1);
    }
}

// ------------------------------------------------------------- options

namespace {

// Which files the initial stock comes from and what their messages say.
struct InitFile {
    const char* name;
    const char* wrong_ages;
    const char* correct;
};

[[noreturn]] void wrong_age(State& s, const InitFile& f, int got, int want) {
    say(s, {f.wrong_ages});
    say(s, {"Stated as ", got, " Expected ", want});
    stop_with(s, {f.correct});
}

// Year-0 numbers at age (with their covariance or variances) and the
// spawning stock behind the year classes still below the recruitment age.
void read_initial_stock(State& s) {
    static const InitFile files[] = {
        {"nin.inn", "Wrong ages on nin.inn-file", "Correct the file"},
        {"nin.num", "Wrong ages in the nin.num file", "Correct the file and start again"},
        {"nin.obs", "Wrong ages in the nin.obs file", "Correct the file and start again"},
    };
    const InitFile& f = files[s.opt0 - 2];
    const std::string name = in_path(s, f.name);
    InFile in;
    if (!in.open(name)) cannot_open(s, name);

    std::vector<InItem> items;
    for (int a = s.firstage; a <= s.lastage; ++a) {
        int ia = 0;
        items.clear();
        items.emplace_back(ia);
        items.emplace_back(s.nin(a));
        if (s.opt0 == 2) {
            for (int k = s.firstage; k <= s.lastage; ++k) items.emplace_back(s.ninvar(a, k));
        } else if (s.opt0 == 3) {
            items.emplace_back(s.nindiag(a));
        }
        if (!in.list_read(std::span<const InItem>(items))) ends_early(s, name);
        if (ia != a && s.messages_to_err) {
            refuse(s, at_line(name, in.line_number()) + ": the numbers at age hold one record per age " +
                          std::to_string(s.firstage) + ".." + std::to_string(s.lastage) +
                          " in order; this record gives age " + std::to_string(ia) + " where age " +
                          std::to_string(a) + " is expected");
        }
        if (ia != a) wrong_age(s, f, ia, a);
        // The numbers are drawn around their logarithm; 0 is an age without fish.
        if (s.opt0 != 4 && s.nin(a) < 0.0f) {
            stop_with(s, {std::string("The numbers at age must not be negative (") + f.name + ", age, value):", a,
                          s.nin(a)});
        }
    }
    for (int j = 1; j <= s.firstage; ++j) {
        if (!in.list_read({s.ssbpre(j - 1)})) ends_early(s, name);
    }
    in.close();

    if (s.opt0 != 2) return;
    // Off the diagonal the file gives correlations, on it the spread of log
    // numbers; turn the correlations into covariances.
    for (int a = s.firstage; a <= s.lastage; ++a) {
        for (int k = a; k <= s.lastage; ++k) {
            if (s.ninvar(a, k) != s.ninvar(k, a)) {
                say(s, {"Correlation matrix in ninfile is not symmetric"});
                say(s, {a, k, s.ninvar(a, k)});
                say(s, {"is different from "});
                say(s, {k, a, s.ninvar(k, a)});
                stop_with(s, {"Correct the file"});
            }
        }
    }
    for (int a = s.firstage; a <= s.lastage; ++a) {
        for (int k = a + 1; k <= s.lastage; ++k) {
            s.ninvar(a, k) = s.ninvar(a, k) * s.ninvar(a, a) * s.ninvar(k, k);
            s.ninvar(k, a) = s.ninvar(a, k);
        }
    }
}

// Widens the years that the bases need by one basis (decision basis element
// or constraint basis), and refuses recruitment data not yet available.
void note_basis_years(State& s, int kind, int first, int last) {
    s.minbyr = std::min(s.minbyr, first);
    s.lastbyr = std::max(s.lastbyr, last);
    if (kind == 3 && last > 0) {
        say(s, {"You ask for recruitment indicator for years"});
        say(s, {"after the current year, which are undefined"});
        stop_with(s, {"Check the opt.inn file"});
    }
    if (kind == 4 && last > -1) {
        say(s, {"You ask for recruitment index for years"});
        say(s, {"after the last observed year, which are undefined"});
        stop_with(s, {"Check the opt.inn file"});
    }
}

void check_basis(State& s, int kind, int first, int last) {
    if (kind < 1 || kind > 6) stop_with(s, {"A decision basis element must be of kind 1 to 6"});
    if (first > last) stop_with(s, {"A decision basis window must not end before it starts"});
}

// "the range of Target (option 3)".
std::string range_what(const State& s, int i) {
    const std::string name = run_rule(s) != nullptr ? option_names(s)[i - 1] : std::string();
    return "the range of " + (name.empty() ? "option " + std::to_string(i) : name + " (option " + std::to_string(i) + ")");
}

void read_range(Cursor& c, State& s, int i) {
    c.next(range_what(s, i), {s.parrange(i, 1), s.parrange(i, 2), s.parrange(i, 3)});
    s.rangeline[i] = c.line();
}

// Rules 2 and 6 raise their value above Btrig2 by Alfa2 x (B2 - Btrig2) /
// Btrig2 with no guard on the sign of Btrig2: below 0 the rise turns into a
// fall that grows with the stock. (The other rules take a trigger of 0 or
// less as no trigger.) Refused where Alfa2 is used, that is not 0 throughout.
void refuse_negative_upper_trigger(State& s) {
    if (s.rulebook != nullptr || (s.nrule != 2 && s.nrule != 6)) return;
    const auto names = option_names(s);
    int trig = 0, alfa = 0;
    for (int i = 1; i <= 10; ++i) {
        if (names[i - 1] == "Btrig2") trig = i;
        if (names[i - 1] == "Alfa2") alfa = i;
    }
    if (trig == 0 || alfa == 0) return;
    if (s.parrange(trig, 1) < 0.0f && (s.parrange(alfa, 1) != 0.0f || s.parrange(alfa, 2) != 0.0f)) {
        refuse(s, at_line(in_path(s, file_name(s.optfile)), s.rangeline[trig]) + ": " + range_what(s, trig) +
                      " starts at " + num(s.parrange(trig, 1)) + "; rule " + std::to_string(s.nrule) +
                      " divides by Btrig2, and below 0 its rise above the trigger turns into a fall");
    }
}

// The three constraint slots: TAC filter, limit on TAC change, TAC bounds.
void read_constraints(State& s, Cursor& c) {
    bool filter_given = false;
    bool taken = false;  // the current record is still to be used as a slot
    for (int slot = 1; slot <= 3; ++slot) {
        if (!taken) c.take("constraint slot " + std::to_string(slot) + " (its type)");
        taken = false;
        int t = 0;
        c.read({t}, true);
        if (t == 1) {
            filter_given = true;
            read_range(c, s, shared("Filter"));
            read_range(c, s, shared("Trig_filt"));
            c.next("the filter basis (kind, first year, last year, how)", {s.cbkind(1), s.cbfirst(1), s.cblast(1), s.cbhow(1)});
            check_basis(s, s.cbkind(1), s.cbfirst(1), s.cblast(1));
            if (s.cbhow(1) < 1 || s.cbhow(1) > 3) {
                stop_with(s, {"How the filter basis combines its years must be 1, 2 or 3"});
            }
            note_basis_years(s, s.cbkind(1), s.cbfirst(1), s.cblast(1));
        } else if (t == 2) {
            c.read({t, s.pctmode});
            read_range(c, s, shared("Percent"));
            if (s.pctmode == 2) {
                read_range(c, s, shared("Trig_perc"));
                c.next("the TAC-change basis (kind, first year, last year, how)", {s.cbkind(2), s.cbfirst(2), s.cblast(2), s.cbhow(2)});
                check_basis(s, s.cbkind(2), s.cbfirst(2), s.cblast(2));
                if (s.cbhow(2) < 1 || s.cbhow(2) > 3) {
                    stop_with(s, {"How the TAC-change basis combines its years must be 1, 2 or 3"});
                }
            }
            note_basis_years(s, s.cbkind(2), s.cbfirst(2), s.cblast(2));
        } else if (t == 3) {
            read_range(c, s, shared("MinTAC"));
            read_range(c, s, shared("MaxTAC"));
        } else {
            warn(s, {"Asked for non-existing constraint option", t});
            taken = true;  // the record is read again by what follows
        }
    }
    // Without a filter slot the filter is off (a factor of 1 on the new TAC).
    if (!filter_given) {
        for (int k = 1; k <= 3; ++k) s.parrange(shared("Filter"), k) = 1.0f;
    }
    if (!taken) c.take("tacfill");
}

// Historical catch numbers at age by calendar year.
void read_catches(State& s) {
    for (int a = 0; a <= maxage; ++a)
        for (int y = -15; y <= maxproj; ++y) s.canobs(a, y) = 0.0f;
    const std::string name = in_path(s, file_name(s.canumfile));
    InFile in;
    if (!in.open(name)) cannot_open(s, name);
    std::string line;
    std::vector<InItem> items;
    while (in.read_fixed(line, 200)) {
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        const Where where{name, in.line_number()};
        int year = 0;
        list_read(line, {year}, where);
        // In 64 bits: extreme calendar years must not overflow the difference.
        const long long dy = static_cast<long long>(year) - static_cast<long long>(s.year0);
        if (dy < -15) continue;
        const int y = static_cast<int>(dy);
        if (dy > maxproj) stop_with(s, {"Historical catch year beyond year0 + 45 in the catch file:", year});
        items.clear();
        items.emplace_back(year);
        for (int a = s.firstage; a <= s.lastage; ++a) items.emplace_back(s.canobs(a, y));
        list_read(line, std::span<const InItem>(items), where);
    }
    in.close();
}

}  // namespace

void getoptinn(State& s) {
    const Records recs = load_records(s, in_path(s, file_name(s.optfile)), 200);
    Cursor c(s, recs);

    for (int i = 1; i <= noptions; ++i) {
        s.parrange(i, 1) = 0.0f;
        s.parrange(i, 2) = 0.0f;
        s.parrange(i, 3) = (i < noptions) ? 1.0f : 0.0f;
    }

    // The stock in year 0.
    c.next("opt0", {s.opt0});
    if (s.opt0 < 1 || s.opt0 > 4) stop_with(s, {"Invalid option for year 0: ", s.opt0});
    if (s.opt0 == 1) {
        c.next("fprime", {s.fprime});
    } else {
        c.next("catch0", {s.catch0});
        s.reading_at.clear();
        read_initial_stock(s);
    }

    c.next("fcap", {s.fcap});
    c.next("lag", {s.lag});
    c.next("ntacyr", {s.ntacyr});
    c.next("riskmeth, Blim, blimsig", {s.riskmeth, s.blim, s.blimsig});
    if (s.riskmeth < 0 || s.riskmeth > 2) stop_with(s, {"The risk method must be 0, 1 or 2"});
    // The risk methods with an uncertain Blim refuse a Blim of 0 or less
    // later, with their own message; the plain fraction below Blim would
    // give 0 % for every risk.
    if (s.riskmeth == 0 && s.blim < 0.0f) {
        refuse(s, c.where() + ": Blim is " + num(s.blim) +
                      "; a limit biomass cannot be below 0 (every risk would be 0 %)");
    }
    if (s.riskmeth == 0 && s.blim == 0.0f) {
        doubt(s, c.where() + ": Blim is 0: every risk to Blim is then 0 % and no iteration counts as crashed by SSB");
    }
    c.next("bpage", {s.bpage});
    // An age above the oldest one leaves the biomass above that age empty;
    // a negative one would count ages that do not exist.
    if (s.bpage < 0) stop_with(s, {"The youngest age of the biomass above an age (bpage) must not be negative"});

    // The decision basis.
    c.next("nbasis", {s.nbasis});
    if (s.nbasis < 1 || s.nbasis > maxbasis) {
        stop_with(s, {"The number of decision basis elements must lie within 1..5"});
    }
    s.minbyr = s.lag;
    s.lastbyr = 0;
    for (int i = 1; i <= s.nbasis; ++i) {
        int ib = 0;
        c.next("decision basis element " + std::to_string(i) + " (number, kind, first year, last year, how)", {ib, s.bkind(i), s.bfirst(i), s.blast(i), s.bhow(i)});
        if (ib != i) warn(s, {"Warning: decision basis confused"});
        check_basis(s, s.bkind(i), s.bfirst(i), s.blast(i));
        if (s.bhow(i) < 1 || s.bhow(i) > 3) {
            stop_with(s, {"How a decision basis element combines its years must be 1, 2 or 3"});
        }
        note_basis_years(s, s.bkind(i), s.bfirst(i), s.blast(i));
    }

    // The harvest rule and the ranges of its parameters.
    c.next("nrule, vtype", {s.nrule, s.vtype});
    const HarvestRule* rule = run_rule(s);
    if (rule == nullptr) stop_with(s, {"Asked for non-existing rule:", s.nrule});
    if (s.vtype < 1 || s.vtype > 4) stop_with(s, {"The meaning of the rule value (vtype) must be 1..4"});
    if ((rule->desc.vtypes & (1u << (s.vtype - 1))) == 0) {
        stop_with(s, {"Harvest rule " + std::to_string(s.nrule) + " does not take the meaning of its value (vtype) " +
                      std::to_string(s.vtype)});
    }
    for (int k = s.nbasis + 1; k <= static_cast<int>(rule->desc.basis.size()); ++k) {
        warn(s, {"Warning: harvest rule " + std::to_string(s.nrule) + " reads basis element " + std::to_string(k) +
                ", which is not specified; it is taken as 0"});
    }
    for (int i = 1; i <= rule->nparams(); ++i) read_range(c, s, i);
    refuse_negative_upper_trigger(s);

    read_constraints(s, c);
    c.read({s.tacfill});

    // Option 17 (unnamed, unused) and the error options.
    read_range(c, s, 17);
    for (int i = shared("Bias_obs"); i <= shared("CV_biosurv"); ++i) read_range(c, s, i);

    for (int a = s.firstage; a <= s.lastage; ++a) {
        int ia = 0;
        c.next("the CVs at age " + std::to_string(a) + " (age, cvage, cvcanum, cvimpage)", {ia, s.cvage(a), s.cvcanum(a), s.cvimpage(a)});
        if (ia != a) {
            if (s.messages_to_err) {
                std::string m = c.where() + ": the block of CVs at age holds one line per age " +
                                std::to_string(s.firstage) + ".." + std::to_string(s.lastage) +
                                " in order; this line gives age " + std::to_string(ia) + " where age " +
                                std::to_string(a) + " is expected";
                if (a == s.firstage) {
                    m += ": is a record missing above it? The line above was read as " + c.before();
                } else {
                    m += ia > a ? ": a line is missing above it" : ": a line above it is one too many";
                }
                refuse(s, m);
            }
            say(s, {"Wrong ages for cv-values in the opt file"});
            say(s, {"Stated as ", ia, " Expected ", a});
            stop_with(s, {"Correct the file and start again"});
        }
    }

    c.next("ncorr and its weights", {s.ncorr}, true);
    if (s.ncorr < 0 || s.ncorr > 15) {
        stop_with(s, {"The number of cohort weights (ncorr) must lie within 0..15"});
    }
    for (int j = 0; j <= 15; ++j) s.corrw(j) = 0.0f;
    {
        std::vector<InItem> items;
        items.emplace_back(s.ncorr);
        for (int j = 0; j < s.ncorr; ++j) items.emplace_back(s.corrw(j));
        c.read(std::span<const InItem>(items));
    }

    c.next("recobs, recproj, mrfirst, mrlast, recobscv", {s.recobs, s.recproj, s.mrfirst, s.mrlast, s.recobscv});
    if (s.recproj < 1 || s.recproj > 2) {
        stop_with(s, {"The recruitment of the decision projections (recproj) must be 1 or 2"});
    }
    s.minbyr = std::min(s.minbyr, s.mrfirst);

    // Output switches, taken by position; the scratch file has none.
    for (const LegacyFile& f : legacy_files) {
        const int i = f.unit;
        s.iout(i) = 0;
        if (!switched(f)) continue;
        int k = 0, v = 0;
        c.next("the output switch of unit " + std::to_string(i), {k, v}, i == 12);
        if (k < 11 || k > 27 || !switched(legacy_files[k - 11])) stop_with(s, {"Output switch for a non-existing file unit:", k});
        s.iout(k) = v;
        if (i == 12 && v == 1) c.read({k, v, s.sumyr1, s.sumyr2});
        if (s.iout(12) == 1 && !(1 <= s.sumyr1 && s.sumyr1 <= s.sumyr2 && s.sumyr2 <= maxyear)) {
            stop_with(s, {"The summary years must satisfy 1 <= sumyr1 <= sumyr2 <= 40"});
        }
    }

    s.reading_at.clear();
    // Spawning after part of the year's mortality needs the numbers one year
    // further on (a window already at the largest year stays there: it is far
    // beyond the TAC year either way).
    if ((s.mprop > 0.0f || s.fprop > 0.0f) && s.lastbyr < std::numeric_limits<int>::max()) {
        s.lastbyr = s.lastbyr + 1;
    }

    // Every year the decisions use must lie within the years the model holds.
    if (s.lag < -1 || s.lag > 0) stop_with(s, {"The assessment lag (lag) must be 0 or -1"});
    if (s.minbyr < -15) stop_with(s, {"The options reach back more than 15 years before the TAC year"});
    if (s.lastbyr > 5) stop_with(s, {"The options reach more than 5 years beyond the TAC year"});
    if (s.ntacyr < 1 || s.ntacyr > 16) {
        stop_with(s, {"The number of years of a TAC decision (ntacyr) must lie within 1..16"});
    }
    if (!(s.mrfirst <= s.mrlast && s.mrlast <= 0)) {
        stop_with(s, {"The years of the mean recruitment must satisfy mrfirst <= mrlast <= 0"});
    }

    if (s.minbyr < 0) read_catches(s);
}

}  // namespace tacsim
