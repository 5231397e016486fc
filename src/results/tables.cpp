// The CSV tables of a run: the rows of each option set built from its result
// arrays, the per-recruit tables, and the files they go to.
#include "results/tables.hpp"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "io/outfiles.hpp"
#include "management/rulebook.hpp"
#include "perrecruit/perrecruit.hpp"
#include "results/mcerror.hpp"
#include "results/results.hpp"

namespace tacsim {

namespace {

void comma(std::string& b) { b.push_back(','); }
void endrow(std::string& b) { b.push_back('\n'); }
void emptyfield(std::string&) {}

// The result arrays of the series, in the order of kSeries.
std::array<const ResArr*, kSeries.size()> seriesarrays(const State& s) {
    return {&s.ssbres, &s.tsbres, &s.fres, &s.catchres, &s.tacres, &s.recres};
}

// Row start shared by the per-set tables: the set number.
void setfield(std::string& b, long long set) { putint(b, set); }

// Mean and the seven fractiles of one year's values (w is reordered).
void fractilefields(std::string& b, float mean, ValueSet& w, ValueSet& scratch) {
    const int n = w.upper(0);
    const int pos[] = {fractile_at(n, 0.05f), fractile_at(n, 0.1f),  fractile_at(n, 0.25f), fractile_at(n, 0.5f),
                       fractile_at(n, 0.75f), fractile_at(n, 0.9f), fractile_at(n, 0.95f)};
    float v[7];
    sorted_at(w, scratch, pos, 7, v);
    putnum(b, mean);
    for (float x : v) {
        comma(b);
        putnum(b, x);
    }
}

void yearstart(std::string& b, const State& s, long long set, int y, const char* quantity) {
    setfield(b, set);
    comma(b);
    putint(b, y + s.year0);
    comma(b);
    putint(b, y);
    comma(b);
    b.append(quantity);
    comma(b);
}

void yearlyrows(State& s, long long set, std::string& b, const YearVec& plim, const YearVec& ptrig,
                const YearVec& pcrash) {
    ValueSet &w = s.values, &scratch = s.scratch;
    const auto series = seriesarrays(s);
    for (std::size_t q = 0; q < series.size(); ++q) {
        const ResArr& a = *series[q];
        for (int y = 0; y <= maxyear; ++y) {
            for (int i = 1; i <= s.nsim; ++i) w(i) = a(y, i);
            yearstart(b, s, set, y, kSeries[q]);
            fractilefields(b, yearmean(a, y), w, scratch);
            endrow(b);
        }
    }
    // Signed relative TAC change in % (0 where a TAC is not positive, as in
    // the legacy IAV table); none in year 0.
    for (int y = 0; y <= maxyear; ++y) {
        yearstart(b, s, set, y, kTacChange);
        if (y == 0) {
            b.append(",,,,,,,");
        } else {
            fractilefields(b, tac_changes(s, y, w), w, scratch);
        }
        endrow(b);
    }
    struct Prob {
        const char* name;
        const YearVec* p;
    };
    const Prob ps[] = {{kYearlyRisks[0], &plim}, {kYearlyRisks[1], &ptrig}, {kYearlyRisks[2], &pcrash}};
    for (const Prob& p : ps) {
        for (int y = 0; y <= maxyear; ++y) {
            yearstart(b, s, set, y, p.name);
            // No decision, so no trigger comparison, in year 0.
            if (!(y == 0 && p.p == &ptrig)) putnum(b, 100.0f * (*p.p)(y));
            b.append(",,,,,,,");
            endrow(b);
        }
    }
}

// Statistic names of the window summaries: those of the legacy summary
// records, then the advice risks and the TAC stability.
constexpr const char* summarynames[nsummary] = {
    "Cmean", "C10",   "C50",   "C90",   "Fmean",   "F10",      "F50",   "F90",   "Smean", "SSB10", "SSB50", "SSB90",
    "Tmean", "TSB10", "TSB50", "TSB90", "IAV",     "Risklim",  "Probtrig", "Crash", "risk1", "risk2", "risk3",
    "tac_change_under_20"};

}  // namespace

const char* summaryname(int k) { return summarynames[k]; }

void windowsummary(State& s, int first, int last, const YearVec& plim, const YearVec& ptrig, const YearVec& pcrash,
                   SummaryValues& out) {
    WindowStats st;
    windowstats(s, first, last, plim, ptrig, pcrash, st);
    const float nf = static_cast<float>(last - first + 1);

    float risk1 = 0.0f, risk3 = 0.0f;
    for (int y = first; y <= last; ++y) {
        risk1 = risk1 + plim(y) / nf;
        if (plim(y) > risk3) risk3 = plim(y);
    }
    // An iteration falls below Blim in some year of the window when its
    // lowest SSB there does; with an uncertain Blim, the risk of that lowest
    // SSB.
    const float nit = static_cast<float>(s.nsim);
    ValueSet& w = s.values;
    for (int i = 1; i <= s.nsim; ++i) {
        float lo = s.ssbres(first, i);
        for (int y = first + 1; y <= last; ++y) lo = std::fmin(lo, s.ssbres(y, i));
        w(i) = lo;
    }
    float risk2 = 0.0f;
    risk(s, w, s.blim, s.blimsig, s.riskmeth, risk2);
    long long steady = 0;
    for (int i = 1; i <= s.nsim; ++i) {
        for (int y = first; y <= last; ++y) {
            float r = 0.0f;
            relchange(s.tacres(y - 1, i), s.tacres(y, i), r);
            if (std::fabs(r) < 0.2f) ++steady;
        }
    }
    const float stable = 100.0f * static_cast<float>(steady) / (nf * nit);

    for (int k = 1; k <= 20; ++k) out[k - 1] = st(k);
    out[20] = 100.0f * risk1;
    out[21] = 100.0f * risk2;
    out[22] = 100.0f * risk3;
    out[23] = stable;
}

namespace {

void windowrows(State& s, long long set, std::string& b, int first, int last, const YearVec& plim,
                const YearVec& ptrig, const YearVec& pcrash) {
    SummaryValues v;
    windowsummary(s, first, last, plim, ptrig, pcrash, v);
    for (int k = 0; k < nsummary; ++k) {
        setfield(b, set);
        comma(b);
        putint(b, first + s.year0);
        comma(b);
        putint(b, last + s.year0);
        comma(b);
        b.append(summarynames[k]);
        comma(b);
        putnum(b, v[k]);
        endrow(b);
    }
}

void iterationrows(const State& s, long long set, std::string& b) {
    for (int i = 1; i <= s.nsim; ++i) {
        for (int y = 0; y <= maxyear; ++y) {
            setfield(b, set);
            comma(b);
            putint(b, i);
            comma(b);
            putint(b, y + s.year0);
            for (const ResArr* a : seriesarrays(s)) {
                comma(b);
                putnum(b, (*a)(y, i));
            }
            comma(b);
            putint(b, s.regres(y, i));
            endrow(b);
        }
    }
}

}  // namespace

void TableRows::clear() {
    sets.clear();
    yearly.clear();
    summary.clear();
    iterations.clear();
    samples.clear();
    mcerror.clear();
}

void putnum(std::string& b, float v) {
    if (std::isnan(v)) return emptyfield(b);
    if (std::isinf(v)) {
        b.append(v > 0.0f ? "Inf" : "-Inf");
        return;
    }
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    b.append(buf, r.ptr);
}

void putint(std::string& b, long long v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    b.append(buf, r.ptr);
}

void puttext(std::string& b, std::string_view t) {
    if (t.find_first_of(",\"\r\n") == std::string_view::npos) {
        b.append(t);
        return;
    }
    b.push_back('"');
    for (char c : t) {
        if (c == '"') b.push_back('"');
        b.push_back(c);
    }
    b.push_back('"');
}

void headerline(std::string& b, std::span<const char* const> columns) {
    for (std::size_t k = 0; k < columns.size(); ++k) {
        if (k > 0) b.push_back(',');
        b.append(columns[k]);
    }
    b.push_back('\n');
}

std::vector<std::string> uniquenames(const std::vector<std::string>& names) {
    std::vector<std::string> cols;
    for (const std::string& n : names) {
        std::string name = n;
        // A name met before gets the next free suffix _2, _3, ...
        for (int k = 2;; ++k) {
            bool taken = name == kSetsColumns[0] || name == kSetsColumns[1];
            for (const std::string& c : cols) taken = taken || c == name;
            if (!taken) break;
            name = n + "_" + std::to_string(k);
        }
        cols.push_back(name);
    }
    return cols;
}

std::vector<std::string> setcolumns(const State& s) {
    std::vector<std::string> names;
    for (const std::string& n : option_names(s))
        if (!n.empty()) names.push_back(n);
    std::vector<std::string> cols = uniquenames(names);
    cols.push_back(name_in(kSetsColumns, "rule"));
    return cols;
}

void headerrows(const State& s, TableRows& out, bool iterations, bool samples) {
    out.sets.append(name_in(kSetsColumns, "set"));
    for (const std::string& c : setcolumns(s)) {
        comma(out.sets);
        puttext(out.sets, c);
    }
    endrow(out.sets);
    headerline(out.yearly, kYearlyColumns);
    headerline(out.summary, kSummaryColumns);
    mcerrorheader(out.mcerror);
    if (iterations) headerline(out.iterations, kIterationColumns);
    if (samples) headerline(out.samples, kSampleColumns);
}

void samplerows(const State& s, long long set, std::string& b) {
    for (int it = 1; it <= sample_count && it <= s.nsim; ++it) {
        for (int y = 0; y <= maxyear; ++y) {
            putint(b, set);
            comma(b);
            putint(b, it);
            comma(b);
            putint(b, s.year0 + y);
            for (const ResArr* a : seriesarrays(s)) {
                comma(b);
                putnum(b, (*a)(y, it));
            }
            endrow(b);
        }
    }
}

void setrows(State& s, long long set, TableRows& out, bool iterations, bool samples) {
    setfield(out.sets, set);
    const auto names = option_names(s);
    for (int k = 1; k <= noptions; ++k) {
        if (names[k - 1].empty()) continue;
        comma(out.sets);
        putnum(out.sets, s.par(k));
    }
    comma(out.sets);
    putint(out.sets, s.nrule);
    endrow(out.sets);

    YearVec plim, ptrig, pcrash;
    yearlyrisks(s, plim, ptrig, pcrash);
    yearlyrows(s, set, out.yearly, plim, ptrig, pcrash);

    // The windows of the legacy summary files: First_5, the summary years
    // (when that file is on and its window differs from the other two),
    // All_years.
    windowrows(s, set, out.summary, 1, 5, plim, ptrig, pcrash);
    if (s.iout(12) == 1 && !(s.sumyr1 == 1 && (s.sumyr2 == 5 || s.sumyr2 == maxyear))) {
        windowrows(s, set, out.summary, s.sumyr1, s.sumyr2, plim, ptrig, pcrash);
    }
    windowrows(s, set, out.summary, 1, maxyear, plim, ptrig, pcrash);
    mcerrorrows(s, set, out.mcerror, plim, ptrig, pcrash);

    if (iterations) iterationrows(s, set, out.iterations);
    if (samples) samplerows(s, set, out.samples);
}

void perrecruitrows(const State& s, std::string& pr, std::string& rp) {
    headerline(pr, kPerRecruitColumns);
    headerline(rp, kRefPointsColumns);
    for (int r = 1; r <= s.nreg; ++r) {
        const int rows = s.prrows(r);
        if (rows == 0) continue;  // no per-recruit analysis for this regime
        float ypr = 0.0f, spr = 0.0f;
        for (int k = 0; k < rows; ++k) {
            putint(pr, r);
            for (int c = 1; c <= 9; ++c) {
                comma(pr);
                // A mean age of an empty catch or spawning stock is held
                // as -1: there is none.
                const float v = s.prtable(r, k, c);
                if (!((c == 7 || c == 8) && v < 0.0f)) putnum(pr, v);
            }
            perrecruit(s, s.prtable(r, k, 1), ypr, spr);
            comma(pr);
            putnum(pr, ypr);
            comma(pr);
            putnum(pr, spr);
            endrow(pr);
        }

        // A reference point: its F-factor (none when negative or NaN), the
        // equilibrium yield and SSB where the analysis has them, and the
        // values per recruit.
        const float nan = std::nanf("");
        auto point = [&](const char* name, float f, float y, float b) {
            putint(rp, r);
            comma(rp);
            rp.append(name);
            comma(rp);
            if (f >= 0.0f) {
                perrecruit(s, f, ypr, spr);
            } else {
                f = y = b = ypr = spr = nan;
            }
            for (float v : {f, y, b, ypr, spr}) {
                putnum(rp, v);
                comma(rp);
            }
            rp.pop_back();
            endrow(rp);
        };
        point("Fmax", s.prref(r, 1), s.prref(r, 2), s.prref(r, 3));
        point("F0.1", s.prref(r, 4), s.prref(r, 5), s.prref(r, 6));
        perrecruit(s, 0.0f, ypr, spr);
        const float spr0 = spr;
        point("F35", fforspr(s, 0.35f * spr0), nan, nan);
        point("F40", fforspr(s, 0.40f * spr0), nan, nan);
        const float slope = originslope(s.regime(r).function, s.prref(r, 7), s.regime(r).ssb);
        point("Fcrash", std::isfinite(slope) && slope > 0.0f ? fforspr(s, 1.0f / slope) : nan, nan, nan);
    }
}

// ------------------------------------------------------------ the files

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

Tables::~Tables() {
    if (zinit_) deflateEnd(&z_);
}

void Tables::openfile(State& s, File& f, const char* name) {
    f.name = name;
    f.path = (std::filesystem::path(dir_) / name).string();
    f.size = 0;
    if (s.holdfiles) {
        f.out.hold(f.path);
    } else if (!f.out.open(f.path, write_path(s, name))) {
        stop_with(s, {"Cannot open output file ", f.path});
    }
}

void Tables::open(State& s, const std::string& dir, bool iterations, bool samples) {
    dir_ = dir;
    iterations_ = iterations;
    samples_ = samples;
    if (samples_) openfile(s, samples_f_, kSamplesCsv);
    openfile(s, sets_f_, kSetsCsv);
    openfile(s, yearly_f_, kYearlyCsv);
    openfile(s, summary_f_, kSummaryCsv);
    openfile(s, mcerror_f_, kMcErrorCsv);
    if (iterations_) {
        openfile(s, iters_f_, kIterationsCsv);
        // One gzip member per option set (and one for the header row): a file
        // cut back to the end of a set still reads as a whole.
        if (deflateInit2(&z_, 1, Z_DEFLATED, 15 + 16, 8, Z_HUFFMAN_ONLY) != Z_OK) {
            stop_with(s, {"Cannot start the compression of ", iters_f_.path});
        }
        zinit_ = true;
    }
    open_ = true;
    // Room for a whole set's rows, so that building them allocates nothing.
    rows_.clear();
    rows_.sets.reserve(1024);
    rows_.yearly.reserve(10 * (maxyear + 1) * 128);
    rows_.summary.reserve(3 * 24 * 64);
    rows_.mcerror.reserve(3 * nmcerror * 160);
    if (iterations_) rows_.iterations.reserve(static_cast<std::size_t>(s.nsim) * (maxyear + 1) * 96);
    if (samples_) rows_.samples.reserve(static_cast<std::size_t>(sample_count) * (maxyear + 1) * 96);
    headerrows(s, rows_, iterations_, samples_);
    commit(&s.con);
    last_ = now();
}

void Tables::writeperrecruit(State& s) {
    std::string pr, rp;
    perrecruitrows(s, pr, rp);
    for (const char* name : {kPerRecruitCsv, kRefPointsCsv}) {
        File f;
        openfile(s, f, name);
        put(f, name == kPerRecruitCsv ? pr : rp);
        f.out.close(&s.con);
    }
    perrecruit_ = true;
    last_ = now();  // the first set's time starts here
}

void Tables::endset(State& s, long long set) {
    set_ = set;
    setrows(s, set_, rows_, iterations_, samples_);
}

void Tables::put(File& f, const std::string& text) {
    f.out.put(text);
    f.size += text.size();
}

void Tables::gzipmember(const std::string& text) {
    deflateReset(&z_);
    const uLong bound = deflateBound(&z_, static_cast<uLong>(text.size())) + 64;
    if (zout_.size() < bound) zout_.resize(bound);
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z_.avail_in = static_cast<uInt>(text.size());
    z_.next_out = reinterpret_cast<Bytef*>(zout_.data());
    z_.avail_out = static_cast<uInt>(zout_.size());
    deflate(&z_, Z_FINISH);
    const std::size_t n = zout_.size() - z_.avail_out;
    iters_f_.out.put(std::string_view(zout_.data(), n));
    iters_f_.size += n;
}

void Tables::commit(OutFile* console) { write(rows_, set_, console); }

void Tables::write(TableRows& rows, long long set, OutFile* console) {
    if (!open_) return;
    put(sets_f_, rows.sets);
    put(yearly_f_, rows.yearly);
    put(summary_f_, rows.summary);
    put(mcerror_f_, rows.mcerror);
    if (iterations_ && !rows.iterations.empty()) gzipmember(rows.iterations);
    if (samples_) put(samples_f_, rows.samples);
    for (File* f : {&sets_f_, &yearly_f_, &summary_f_, &iters_f_, &samples_f_, &mcerror_f_}) {
        if (f->out.is_open()) f->out.flush(console);
    }
    rows.clear();
    set_ = set;
    if (set_ > static_cast<long long>(seconds_.size())) {
        const double t = now();
        seconds_.push_back(t - last_);
        last_ = t;
    }
}

void Tables::close(OutFile* console) {
    for (File* f : {&sets_f_, &yearly_f_, &summary_f_, &iters_f_, &samples_f_, &mcerror_f_}) {
        if (f->out.is_open()) f->out.close(console);
    }
}

bool Tables::resume(long long sets, const std::vector<double>& seconds,
                    const std::function<bool(const std::string&, OutFile&, std::uintmax_t&)>& at) {
    for (File* f : {&sets_f_, &yearly_f_, &summary_f_, &iters_f_, &samples_f_, &mcerror_f_}) {
        if (f->out.holding() && !at(f->name, f->out, f->size)) return false;
    }
    set_ = sets;
    seconds_ = seconds;
    last_ = now();
    return true;
}

std::vector<Tables::Committed> Tables::committed() const {
    std::vector<Committed> out;
    for (const File* f : {&sets_f_, &yearly_f_, &summary_f_, &iters_f_, &samples_f_, &mcerror_f_}) {
        if (!f->path.empty()) out.push_back({f->path, f->size});
    }
    return out;
}

std::vector<std::string> Tables::names() const {
    std::vector<std::string> out;
    if (!open_) return out;
    out = {kSetsCsv, kYearlyCsv, kSummaryCsv, kMcErrorCsv};
    if (perrecruit_) {
        out.push_back(kPerRecruitCsv);
        out.push_back(kRefPointsCsv);
    }
    if (iterations_) out.push_back(kIterationsCsv);
    if (samples_) out.push_back(kSamplesCsv);
    return out;
}

}  // namespace tacsim
