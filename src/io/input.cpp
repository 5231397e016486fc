// The input readers. The biological file and the options file have no
// keywords: a value's meaning is given by the number of its record (comment
// lines with "#" in column 1 do not count) and its place on the record. Both
// files are first read into memory as fixed-width lines and then parsed
// record by record; the initial-stock files, "srspec" and the historical
// catch file are read as they come.
#include "io/input.hpp"
#include "model/mathf.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

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
void say(State& s, std::initializer_list<Item> items) { list_write(messages(s), items); }
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

// Walks through the accepted lines. take() moves to the next record (a file
// that has no more ends the run); read() reads free-form from the record
// taken last, from its first value, as often as the layout asks.
class Cursor {
public:
    Cursor(State& s, const Records& r) : s_(s), r_(r) {}

    void take() {
        if (next_ >= static_cast<int>(r_.text.size())) ends_early(s_, r_.file);
        cur_ = next_++;
    }
    void read(std::initializer_list<InItem> items) const {
        list_read(r_.text[cur_], items, Where{r_.file, r_.line[cur_]});
    }
    void read(std::span<const InItem> items) const {
        list_read(r_.text[cur_], items, Where{r_.file, r_.line[cur_]});
    }
    // take() then read().
    void next(std::initializer_list<InItem> items) {
        take();
        read(items);
    }
    const std::string& text() const { return r_.text[cur_]; }
    int line() const { return r_.line[cur_]; }  // physical line of the record taken last
    int taken() const { return next_; }  // records taken so far

private:
    State& s_;
    const Records& r_;
    int next_ = 0;
    int cur_ = -1;
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
        if (n < 1 || n > maxiter || r < 1 || r > maxreg) {
            stop_with(s, {"A record of the srspec file has an iteration outside 1..1000",
                          " or a regime outside 1..40:", n, r});
        }
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

// Length-based growth, selection and maturity from nine parameter records.
void read_growth_parameters(State& s, Cursor& c) {
    float m = 0.0f, linf = 0.0f, l0 = 0.0f, k = 0.0f, cond = 0.0f, sm = 0.0f, ls = 0.0f, ss = 0.0f;
    float f1 = 0.0f, f2 = 0.0f, g = 0.0f;
    c.next({m});
    c.next({linf});
    c.next({l0});
    c.next({k});
    c.next({cond});
    c.next({sm});
    c.next({ls});
    c.next({ss});
    c.next({f1, f2, g});

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
    }
}

// Values at age: five blocks, one record per age, each starting with the age.
void read_values_at_age(State& s, Cursor& c) {
    auto check_age = [&](int got, int want) {
        if (got != want) stop_with(s, {"Check ageing of biol. data input at ", got});
    };
    int ia = 0;
    for (int a = s.firstage; a <= s.lastage; ++a) {
        c.next({ia, s.natmor(a)});
        check_age(ia, a);
    }
    for (int a = s.firstage; a <= s.lastage; ++a) {
        c.next({ia, s.sel(a, 1)});
        check_age(ia, a);
    }
    for (AgePar* p : {&s.wecapar, &s.westpar, &s.maturpar}) {
        for (int a = s.firstage; a <= s.lastage; ++a) {
            c.next({ia, (*p)(a, 1), (*p)(a, 2), (*p)(a, 3), (*p)(a, 4), (*p)(a, 5)});
            check_age(ia, a);
        }
    }
}

}  // namespace

void getpopinn(State& s) {
    const Records recs = load_records(s, in_path(s, file_name(s.biofile)), 100);
    Cursor c(s, recs);

    c.next({s.year0});
    c.next({s.firstage, s.lastage});
    if (s.lastage > maxage) {
        say(s, {"Oldest age larger than maxage"});
        stop_with(s, {"Adjust maxage in the model state and recompile the program"});
    }
    if (s.firstage < 0) stop_with(s, {"The youngest age (firstage) must not be negative"});
    if (s.lastage < 1) stop_with(s, {"The oldest age (lastage) must be at least 1"});
    if (s.firstage > s.lastage) stop_with(s, {"The youngest age is larger than the oldest age"});

    c.next({s.fbar1, s.fbar2});
    if (!(s.firstage <= s.fbar1 && s.fbar1 <= s.fbar2 && s.fbar2 <= s.lastage)) {
        stop_with(s, {"The reference F ages must satisfy firstage <= fbar1 <= fbar2 <= lastage"});
    }
    c.next({s.tsbage});
    if (s.tsbage < 0 || s.tsbage > s.lastage) {
        stop_with(s, {"The youngest age in total stock biomass must lie within 0..lastage"});
    }
    c.next({s.fprop, s.mprop});

    // Recruitment regimes: how many, and when each begins.
    c.next({s.nreg, s.regtype});
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
        for (int n = 1; n <= maxiter; ++n)
            for (int k = 1; k <= 5; ++k) s.srpar(n, r, k) = -1.0f;
        c.next({s.recpari(r, 1), s.recpari(r, 2), s.recpari(r, 3)});
        if (s.recpari(r, 1) > 9) {
            s.srflag(r) = 1;
            want_srspec = true;
        }
        c.next({s.recparr(r, 1), s.recparr(r, 2), s.recparr(r, 3), s.recparr(r, 4), s.recparr(r, 5),
                s.recparr(r, 6)});
        // The Ricker function divides by its SSB parameter and takes the
        // logarithm of a ratio with it.
        if (s.recpari(r, 1) == 3 && s.recparr(r, 2) <= 0.0f) {
            stop_with(s, {"The SSB parameter of a Ricker regime must be positive (bio.inn, regime, value):", r,
                          s.recparr(r, 2)});
        }
        c.next({s.recparr(r, 7), s.recparr(r, 8), s.recparr(r, 9)});
        c.next({s.recpari(r, 4), s.recparr(r, 10), s.recparr(r, 11), s.recparr(r, 12), s.recpari(r, 5)});
        const int code = s.recpari(r, 1);
        if (code >= 1 && code <= 9 && s.recparr(r, 3) > 0.0f && s.recparr(r, 4) >= s.recparr(r, 5)) {
            stop_with(s, {"Recruitment truncation limits admit no deviate in regime", r});
        }
    }
    if (want_srspec) read_srspec(s);

    c.next({s.bref});
    c.next({s.rref});
    c.next({s.wcv});
    c.next({s.wamp, s.wper, s.wphase});
    c.next({s.ycmin, s.ycmax, s.ycslope});

    c.take();
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

void read_range(Cursor& c, State& s, int i) {
    c.next({s.parrange(i, 1), s.parrange(i, 2), s.parrange(i, 3)});
    s.rangeline[i] = c.line();
}

// The three constraint slots: TAC filter, limit on TAC change, TAC bounds.
void read_constraints(State& s, Cursor& c) {
    bool filter_given = false;
    bool taken = false;  // the current record is still to be used as a slot
    for (int slot = 1; slot <= 3; ++slot) {
        if (!taken) c.take();
        taken = false;
        int t = 0;
        c.read({t});
        if (t == 1) {
            filter_given = true;
            read_range(c, s, 11);
            read_range(c, s, 12);
            c.next({s.cbkind(1), s.cbfirst(1), s.cblast(1), s.cbhow(1)});
            check_basis(s, s.cbkind(1), s.cbfirst(1), s.cblast(1));
            if (s.cbhow(1) < 1 || s.cbhow(1) > 3) {
                stop_with(s, {"How the filter basis combines its years must be 1, 2 or 3"});
            }
            note_basis_years(s, s.cbkind(1), s.cbfirst(1), s.cblast(1));
        } else if (t == 2) {
            c.read({t, s.pctmode});
            read_range(c, s, 13);
            if (s.pctmode == 2) {
                read_range(c, s, 14);
                c.next({s.cbkind(2), s.cbfirst(2), s.cblast(2), s.cbhow(2)});
                check_basis(s, s.cbkind(2), s.cbfirst(2), s.cblast(2));
                if (s.cbhow(2) < 1 || s.cbhow(2) > 3) {
                    stop_with(s, {"How the TAC-change basis combines its years must be 1, 2 or 3"});
                }
            }
            note_basis_years(s, s.cbkind(2), s.cbfirst(2), s.cblast(2));
        } else if (t == 3) {
            read_range(c, s, 15);
            read_range(c, s, 16);
        } else {
            warn(s, {"Asked for non-existing constraint option", t});
            taken = true;  // the record is read again by what follows
        }
    }
    // Without a filter slot the filter is off (a factor of 1 on the new TAC).
    if (!filter_given) {
        s.parrange(11, 1) = 1.0f;
        s.parrange(11, 2) = 1.0f;
        s.parrange(11, 3) = 1.0f;
    }
    if (!taken) c.take();  // the tacfill record
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
    c.next({s.opt0});
    if (s.opt0 < 1 || s.opt0 > 4) stop_with(s, {"Invalid option for year 0: ", s.opt0});
    if (s.opt0 == 1) {
        c.next({s.fprime});
    } else {
        c.next({s.catch0});
        read_initial_stock(s);
    }

    c.next({s.fcap});
    c.next({s.lag});
    c.next({s.ntacyr});
    c.next({s.riskmeth, s.blim, s.blimsig});
    if (s.riskmeth < 0 || s.riskmeth > 2) stop_with(s, {"The risk method must be 0, 1 or 2"});
    c.next({s.bpage});
    // An age above the oldest one leaves the biomass above that age empty;
    // a negative one would count ages that do not exist.
    if (s.bpage < 0) stop_with(s, {"The youngest age of the biomass above an age (bpage) must not be negative"});

    // The decision basis.
    c.next({s.nbasis});
    if (s.nbasis < 1 || s.nbasis > maxbasis) {
        stop_with(s, {"The number of decision basis elements must lie within 1..5"});
    }
    s.minbyr = s.lag;
    s.lastbyr = 0;
    for (int i = 1; i <= s.nbasis; ++i) {
        int ib = 0;
        c.next({ib, s.bkind(i), s.bfirst(i), s.blast(i), s.bhow(i)});
        if (ib != i) warn(s, {"Warning: decision basis confused"});
        check_basis(s, s.bkind(i), s.bfirst(i), s.blast(i));
        if (s.bhow(i) < 1 || s.bhow(i) > 3) {
            stop_with(s, {"How a decision basis element combines its years must be 1, 2 or 3"});
        }
        note_basis_years(s, s.bkind(i), s.bfirst(i), s.blast(i));
    }

    // The harvest rule and the ranges of its parameters.
    c.next({s.nrule, s.vtype});
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

    read_constraints(s, c);
    c.read({s.tacfill});

    // Option 17 and the error options.
    read_range(c, s, 17);
    for (int i = 18; i <= 23; ++i) read_range(c, s, i);

    for (int a = s.firstage; a <= s.lastage; ++a) {
        int ia = 0;
        c.next({ia, s.cvage(a), s.cvcanum(a), s.cvimpage(a)});
        if (ia != a) {
            say(s, {"Wrong ages for cv-values in the opt file"});
            say(s, {"Stated as ", ia, " Expected ", a});
            stop_with(s, {"Correct the file and start again"});
        }
    }

    c.next({s.ncorr});
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

    c.next({s.recobs, s.recproj, s.mrfirst, s.mrlast, s.recobscv});
    if (s.recproj < 1 || s.recproj > 2) {
        stop_with(s, {"The recruitment of the decision projections (recproj) must be 1 or 2"});
    }
    s.minbyr = std::min(s.minbyr, s.mrfirst);

    // Output switches, taken by position; unit 13 (the scratch file) has none.
    for (int i = 11; i <= 27; ++i) {
        s.iout(i) = 0;
        if (i == 13) continue;
        int k = 0, v = 0;
        c.next({k, v});
        if (k == 13 || k < 11 || k > 27) stop_with(s, {"Output switch for a non-existing file unit:", k});
        s.iout(k) = v;
        if (i == 12 && v == 1) c.read({k, v, s.sumyr1, s.sumyr2});
        if (s.iout(12) == 1 && !(1 <= s.sumyr1 && s.sumyr1 <= s.sumyr2 && s.sumyr2 <= maxyear)) {
            stop_with(s, {"The summary years must satisfy 1 <= sumyr1 <= sumyr2 <= 40"});
        }
    }

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
