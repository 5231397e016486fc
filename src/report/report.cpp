// The report's reading of a run's result tables (each table checked as it is read,
// a fault named by its file and line) and the two ways a page is written: a
// run's own page into its folder, and a page of several runs elsewhere. The
// page itself is drawn in frame.cpp, views.cpp and compare.cpp (page.hpp).
#include "report/report.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include <zlib.h>

#include "records/durable.hpp"
#include "report/assets.hpp"
#include "report/numbers.hpp"
#include "report/page.hpp"
#include "report/runtables.hpp"
#include "report/shape.hpp"
#include "report/specs.hpp"
#include "results/mcerror.hpp"
#include "results/tables.hpp"

namespace tacsim::report {

namespace fs = std::filesystem;

// Text placed inside a <script> element must not end it early.
std::string script_safe(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '<' && i + 1 < s.size() && (s[i + 1] == '/' || s[i + 1] == '!')) {
            out += "\\x3C";  // the same character in a JavaScript string, regular expression or JSON text
        } else {
            out += s[i];
        }
    }
    return out;
}

// Text placed in HTML, as an element's text or an attribute's value.
std::string esc(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// ------------------------------------------------------------------ helpers

// A number for the page: exactly the value of the table (each table number
// is the shortest text of a float, read as a double, and the page carries the
// same double); whole numbers without a decimal point, not finite as null.
Json num(double v) {
    if (!std::isfinite(v)) return nullptr;
    if (v == std::floor(v) && std::fabs(v) < 1e15) return static_cast<long long>(v);
    return v;
}

// A float the program computed, by the shortest text that reads back to it.
Json numf(float v) {
    if (!std::isfinite(v)) return nullptr;
    char buf[32];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    double r = v;
    std::from_chars(buf, p, r);
    return num(r);
}

Json num(const std::optional<double>& v) { return v ? num(*v) : Json(nullptr); }

std::string text_of(double v) {
    char buf[32];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, p);
}

std::string text_of(float v) {
    char buf[32];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, p);
}

// A number for people: rounded to `digits` significant digits, then the
// shortest text of that double. Statistics get 4 digits; options 6, the
// decimal precision of a float, so that a swept value such as 0.05 + 6 x 0.05
// (the float 0.35000002) reads 0.35, as the user wrote the sweep.
std::string people(double v, int digits) {
    if (!std::isfinite(v)) return v != v ? "NaN" : (v > 0 ? "Inf" : "-Inf");
    char buf[40];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, digits - 1);
    double r = v;
    std::from_chars(buf, p, r);
    auto [q, ec2] = std::to_chars(buf, buf + sizeof buf, r);
    return std::string(buf, q);
}




// The text deflated (zlib format) and in base64: the form in which the page
// carries each set's series; the browser inflates it with its own
// DecompressionStream.
std::string deflate_base64(const std::string& text) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(text.data()),
                  static_cast<uLong>(text.size()), 1) != Z_OK) {
        throw ReportError("Cannot compress the data of the page");
    }
    packed.resize(size);
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((packed.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < packed.size(); i += 3) {
        const unsigned v = (unsigned(static_cast<unsigned char>(packed[i])) << 16) |
                           (unsigned(static_cast<unsigned char>(packed[i + 1])) << 8) |
                           unsigned(static_cast<unsigned char>(packed[i + 2]));
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += digits[(v >> 6) & 63];
        out += digits[v & 63];
    }
    if (i < packed.size()) {
        unsigned v = unsigned(static_cast<unsigned char>(packed[i])) << 16;
        if (i + 1 < packed.size()) v |= unsigned(static_cast<unsigned char>(packed[i + 1])) << 8;
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += (i + 1 < packed.size()) ? digits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// First column whose name is one of the candidates, or -1.
int find_any(const Table& t, std::initializer_list<std::string_view> names) {
    for (auto n : names) {
        const int i = t.find(n);
        if (i >= 0) return i;
    }
    return -1;
}

int as_int(const Table& t, std::size_t row, int col) {
    const double v = t.value(row, col);
    if (v != std::floor(v) || std::fabs(v) > 1e9) {
        throw ReportError(t.name + ", line " + std::to_string(t.lines[row]) + ": column " +
                          t.header[static_cast<std::size_t>(col)] + " is not a whole number");
    }
    return static_cast<int>(v);
}

// ------------------------------------------------------------------ the tables

// The options whose value is not the same in every set.
std::vector<std::string> swept_of(const std::vector<std::string>& options, const std::vector<std::vector<double>>& values) {
    std::vector<std::string> swept;
    for (std::size_t k = 0; k < options.size(); ++k) {
        for (const auto& v : values) {
            if (!(v[k] == values[0][k]) && !(std::isnan(v[k]) && std::isnan(values[0][k]))) {
                swept.push_back(options[k]);
                break;
            }
        }
    }
    return swept;
}

Sets read_sets(const fs::path& dir) {
    const Table t = read_table(dir / kSetsCsv);
    Sets s;
    const int cset = t.need(name_in(kSetsColumns, "set"));
    const int crule = t.find(name_in(kSetsColumns, "rule"));
    std::vector<int> cols;
    for (std::size_t c = 0; c < t.header.size(); ++c) {
        if (static_cast<int>(c) == cset || static_cast<int>(c) == crule) continue;
        cols.push_back(static_cast<int>(c));
        s.options.push_back(t.header[c]);
    }
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        const int id = as_int(t, r, cset);
        if (!s.index.emplace(id, s.ids.size()).second) {
            throw ReportError(t.name + ", line " + std::to_string(t.lines[r]) + ": set " + std::to_string(id) + " appears twice");
        }
        s.ids.push_back(id);
        std::vector<double> v;
        for (int c : cols) v.push_back(t.number(r, c).value_or(NAN));
        s.values.push_back(std::move(v));
        if (crule >= 0 && r == 0) s.rule = as_int(t, r, crule);
    }
    if (s.ids.empty()) throw ReportError(t.name + ": no option sets");
    s.swept = swept_of(s.options, s.values);
    return s;
}

// The statistics of summary.csv and, when the run wrote mcerror.csv, their
// Monte Carlo standard errors as statistics of their own, named with "_se"
// (in the summary's windows only).
Summary read_summary(const fs::path& dir, const Sets& sets) {
    Summary s;
    std::map<std::pair<double, double>, std::size_t> windex;
    std::map<std::string, std::size_t> sindex;
    for (const bool errors : {false, true}) {
        if (errors && !fs::exists(dir / kMcErrorCsv)) break;
        const Table t = read_table(dir / (errors ? kMcErrorCsv : kSummaryCsv));
        // The columns the two tables share, by each table's own names.
        const auto need = [&](const char* summary, const char* mcerror) { return t.need(errors ? mcerror : summary); };
        const int cset = need(name_in(kSummaryColumns, "set"), name_in(kMcErrorColumns, "set"));
        const int cfirst = need(name_in(kSummaryColumns, "first_year"), name_in(kMcErrorColumns, "first_year"));
        const int clast = need(name_in(kSummaryColumns, "last_year"), name_in(kMcErrorColumns, "last_year"));
        const int cstat = need(name_in(kSummaryColumns, "statistic"), name_in(kMcErrorColumns, "statistic"));
        const int cval = need(name_in(kSummaryColumns, "value"), name_in(kMcErrorColumns, "se"));
        for (std::size_t r = 0; r < t.rows.size(); ++r) {
            const auto key = std::make_pair(t.value(r, cfirst), t.value(r, clast));
            auto w = windex.find(key);
            if (w == windex.end() && errors) continue;
            if (w == windex.end()) {
                w = windex.emplace(key, s.windows.size()).first;
                s.windows.push_back({key.first, key.second,
                                     "years " + text_of(key.first) + "-" + text_of(key.second)});
                s.v.emplace_back(sets.ids.size());
            }
            const std::string name = t.rows[r][static_cast<std::size_t>(cstat)] + (errors ? "_se" : "");
            auto k = sindex.find(name);
            if (k == sindex.end()) {
                k = sindex.emplace(name, s.names.size()).first;
                s.names.push_back(name);
            }
            const auto set = sets.index.find(as_int(t, r, cset));
            if (set == sets.index.end()) {
                throw ReportError(t.name + ", line " + std::to_string(t.lines[r]) + ": set " +
                                  t.rows[r][static_cast<std::size_t>(cset)] + " is not in sets.csv");
            }
            auto& row = s.v[w->second][set->second];
            if (row.size() <= k->second) row.resize(k->second + 1);
            row[k->second] = t.number(r, cval);
        }
    }
    for (auto& w : s.v) {
        for (auto& row : w) row.resize(s.names.size());
    }
    return s;
}

// The window to show first: the window a tuning of the run used
// (`tuned`: first5, summary or all, from tune.csv), else all years, so that
// the page's risk is the risk the tuning held to its limit.
std::size_t default_window(const Summary& s, const std::string& tuned) {
    if (s.windows.empty()) return 0;
    double lo = s.windows[0].first, hi = s.windows[0].last;
    for (const auto& w : s.windows) {
        lo = std::min(lo, w.first);
        hi = std::max(hi, w.last);
    }
    std::optional<std::size_t> all, first5, summary;
    for (std::size_t i = 0; i < s.windows.size(); ++i) {
        const auto& w = s.windows[i];
        if (w.first == lo && w.last == hi) {
            if (!all) all = i;
        } else if (w.first == lo && w.last == lo + 4) {
            if (!first5) first5 = i;
        } else if (!summary) {
            summary = i;
        }
    }
    if (tuned == "first5" && first5) return *first5;
    if (tuned == "summary" && summary) return *summary;
    return all.value_or(0);
}

// Yearly fractiles of the quantities drawn as fan charts.
const char* const fan_quantities[] = {name_in(kSeries, "ssb"), name_in(kSeries, "f"), name_in(kSeries, "catch"),
                                      name_in(kSeries, "tac"), name_in(kSeries, "recruitment")};
const char* const fan_columns[] = {name_in(kYearlyColumns, "p10"), name_in(kYearlyColumns, "p25"),
                                   name_in(kYearlyColumns, "p50"), name_in(kYearlyColumns, "p75"),
                                   name_in(kYearlyColumns, "p90")};

Yearly read_yearly(const fs::path& dir, const Sets& sets) {
    const Table t = read_table(dir / kYearlyCsv);
    const int cset = t.need(name_in(kYearlyColumns, "set")), cyear = t.need(name_in(kYearlyColumns, "year"));
    const int cq = t.need(name_in(kYearlyColumns, "quantity")), cmean = t.need(name_in(kYearlyColumns, "mean"));
    int cf[5];
    for (int k = 0; k < 5; ++k) cf[k] = t.need(fan_columns[k]);
    Yearly y;
    std::set<double> years;
    for (std::size_t r = 0; r < t.rows.size(); ++r) years.insert(t.value(r, cyear));
    y.years.assign(years.begin(), years.end());
    std::map<double, std::size_t> yindex;
    for (std::size_t i = 0; i < y.years.size(); ++i) yindex[y.years[i]] = i;
    y.fan.resize(sets.ids.size());
    y.plim.assign(sets.ids.size(), std::vector<std::optional<double>>(y.years.size()));
    const std::size_t ny = y.years.size();
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        const std::string q = lower(t.rows[r][static_cast<std::size_t>(cq)]);
        const auto set = sets.index.find(as_int(t, r, cset));
        if (set == sets.index.end()) {
            throw ReportError(t.name + ", line " + std::to_string(t.lines[r]) + ": set " +
                              t.rows[r][static_cast<std::size_t>(cset)] + " is not in sets.csv");
        }
        const std::size_t yi = yindex[t.value(r, cyear)];
        if (q == name_in(kYearlyRisks, "p_below_blim")) {
            // A probability in %, in `mean`.
            y.plim[set->second][yi] = t.number(r, cmean);
            y.plim_name = t.rows[r][static_cast<std::size_t>(cq)];
            continue;
        }
        if (std::find(std::begin(fan_quantities), std::end(fan_quantities), q) == std::end(fan_quantities)) continue;
        auto& cols = y.fan[set->second][q];
        if (cols.empty()) cols.assign(5, std::vector<std::optional<double>>(ny));
        for (int k = 0; k < 5; ++k) cols[static_cast<std::size_t>(k)][yi] = t.number(r, cf[k]);
    }
    return y;
}

Samples read_samples(const fs::path& dir, const Sets& sets, const Yearly& yearly) {
    Samples s;
    fs::path file = dir / kSamplesCsv;
    if (!fs::exists(file)) file = dir / kIterationsCsv;
    if (!fs::exists(file)) return s;
    // The full series of every iteration can be large: only the lines of
    // the first iterations are kept (the second field is the iteration).
    const auto first_iterations = [](std::string_view line) {
        const auto a = line.find(',');
        if (a == std::string_view::npos) return false;
        const auto b = line.find(',', a + 1);
        const std::string_view it = line.substr(a + 1, b == std::string_view::npos ? b : b - a - 1);
        int v = 0;
        auto [p, ec] = std::from_chars(it.data(), it.data() + it.size(), v);
        return ec == std::errc() && p == it.data() + it.size() && v >= 1 && v <= 5;
    };
    const Table t = read_table_lines(file, first_iterations);
    s.source = t.name;
    // The first columns of both tables (the iterations' table adds one at the end).
    const int cset = t.need(name_in(kSampleColumns, "set")), cit = t.need(name_in(kSampleColumns, "iteration"));
    const int cyear = t.need(name_in(kSampleColumns, "year"));
    std::map<double, std::size_t> yindex;
    for (std::size_t i = 0; i < yearly.years.size(); ++i) yindex[yearly.years[i]] = i;
    std::vector<std::pair<std::string, int>> cols;
    for (const char* q : {name_in(kSeries, "ssb"), name_in(kSeries, "f"), name_in(kSeries, "catch"),
                          name_in(kSeries, "recruitment")}) {
        const int c = t.find(q);
        if (c >= 0) cols.emplace_back(q, c);
    }
    s.v.resize(sets.ids.size());
    const std::size_t ny = yearly.years.size();
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        const int it = as_int(t, r, cit);
        if (it < 1 || it > 5) continue;  // the first five iterations are drawn
        const auto set = sets.index.find(as_int(t, r, cset));
        const auto yi = yindex.find(t.value(r, cyear));
        if (set == sets.index.end() || yi == yindex.end()) continue;
        if (std::find(s.iterations.begin(), s.iterations.end(), it) == s.iterations.end()) s.iterations.push_back(it);
        for (const auto& [q, c] : cols) {
            auto& series = s.v[set->second][q];
            if (series.size() < 5) series.assign(5, std::vector<std::optional<double>>(ny));
            series[static_cast<std::size_t>(it - 1)][yi->second] = t.number(r, c);
        }
    }
    std::sort(s.iterations.begin(), s.iterations.end());
    return s;
}

// ------------------------------------------------------------------ rule shapes

// Evaluates every set's rule with its parameters (the first options of
// sets.csv, in the order of the rule's options) and writes ruleshape.csv.
// Sets that share their rule parameters share one shape in the page.
Shapes write_shapes(const fs::path& dir, const Sets& sets, bool write_table) {
    Shapes out;
    out.of_set.assign(sets.ids.size(), -1);
    const int n = rule_parameter_count(sets.rule);
    if (n == 0 || static_cast<int>(sets.options.size()) < n) return out;
    std::string csv = "set,series,basis,value\n";
    std::map<std::vector<float>, int> seen;
    std::vector<RuleShape> computed;
    for (std::size_t i = 0; i < sets.ids.size(); ++i) {
        std::vector<float> par;
        for (int k = 0; k < n; ++k) par.push_back(static_cast<float>(sets.values[i][static_cast<std::size_t>(k)]));
        auto [it, fresh] = seen.emplace(par, static_cast<int>(computed.size()));
        if (fresh) {
            computed.push_back(rule_shape(sets.rule, par));
            const RuleShape& shape = computed.back();
            Json s{{"series", shape.series}, {"basis", Json::array()}, {"values", Json::array()}, {"triggers", Json::array()}};
            for (float b : shape.basis) s["basis"].push_back(numf(b));
            for (const auto& vals : shape.values) {
                Json v = Json::array();
                for (float x : vals) v.push_back(numf(x));
                s["values"].push_back(std::move(v));
            }
            // Each trigger's label on a line of its own, so that no two collide;
            // a trigger beyond the range is named at the range's edge.
            for (std::size_t k = 0; k < shape.triggers.size(); ++k) {
                const auto& [name, t] = shape.triggers[k];
                const bool beyond = shape.beyond[k];
                s["triggers"].push_back({{"label", name},
                                         {"value", numf(beyond ? shape.xmax : t)},
                                         {"trigger", numf(t)},
                                         {"text", beyond ? name + " = " + text_of(t) + ", beyond the axis" : name},
                                         {"row", 4 + 14 * static_cast<int>(k)},
                                         {"beyond", beyond}});
            }
            out.list.push_back(std::move(s));
        }
        out.of_set[i] = it->second;
        const RuleShape& shape = computed[static_cast<std::size_t>(it->second)];
        const std::string set = std::to_string(sets.ids[i]);
        for (std::size_t k = 0; k < shape.series.size(); ++k) {
            for (std::size_t j = 0; j < shape.basis.size(); ++j) {
                csv += set;
                csv += ',';
                csv += shape.series[k];
                csv += ',';
                csv += text_of(shape.basis[j]);
                csv += ',';
                csv += text_of(shape.values[k][j]);
                csv += '\n';
            }
        }
    }
    const fs::path file = dir / shape_file;
    if (write_table && !write_whole(file.string(), csv)) throw ReportError("Cannot write " + file.string());
    out.present = true;
    return out;
}

// ------------------------------------------------------------------ per recruit

// Reference points that lie on each other (within 2 % of the F axis) are
// drawn one above the other: the n-th of a cluster `offset` pixels up, so
// that every marker stays visible.
void spread_points(Json& points, double span) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        int n = 0;
        for (std::size_t j = 0; j < i; ++j) {
            if (points[j]["regime"] == points[i]["regime"] &&
                std::fabs(points[j]["f"].get<double>() - points[i]["f"].get<double>()) <= 0.02 * span) {
                ++n;
            }
        }
        points[i]["offset"] = -12 * n;
    }
}

// The per-recruit curves of perrecruit.csv into `p`, by its columns of the
// regime (-1: one regime), the F-factor, the yield and the SSB per recruit;
// the highest F-factor of the curves.
double read_curves(const Table& t, int creg, int cf, int cy, int cs, PerRecruit& p) {
    double max_f = 0.0;
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        const Json reg = creg >= 0 ? Json(t.rows[r][static_cast<std::size_t>(creg)]) : Json("1");
        const auto f = t.number(r, cf);
        if (!f) continue;
        max_f = std::max(max_f, *f);
        p.ypr.push_back({{"regime", reg}, {"f", num(*f)}, {"value", num(t.number(r, cy))}});
        p.spr.push_back({{"regime", reg}, {"f", num(*f)}, {"value", num(t.number(r, cs))}});
    }
    return max_f;
}

// The curves of perrecruit.csv (`t`) and the points of refpoints.csv (`rp`)
// read together: where a regime's Fmax is the end of its equilibrium curve.
struct RefPointReading {
    const Table& t;   // perrecruit.csv
    const Table& rp;  // refpoints.csv
    int creg, cf, cy;      // perrecruit.csv: regime (-1: one regime), F-factor, yield per recruit
    int rreg, rpoint, rf;  // refpoints.csv: regime, point and F-factor (-1: absent)
    double max_f;          // the highest F-factor of the curves
    // Where the equilibrium curve of each regime ends: the highest F-factor
    // with an equilibrium yield (beyond it recruitment fails).
    std::map<std::string, double> curve_end;

    RefPointReading(const Table& t_, const Table& rp_, int creg_, int cf_, int cy_, double max_f_)
        : t(t_), rp(rp_), creg(creg_), cf(cf_), cy(cy_), max_f(max_f_) {
        rreg = find_any(rp, {name_in(kRefPointsColumns, "regime")});
        rpoint = find_any(rp, {"point", "reference_point", name_in(kRefPointsColumns, "refpoint"), "name"});
        rf = find_any(rp, {name_in(kRefPointsColumns, "f"), "f_factor"});
        const int cyield = find_any(t, {name_in(kPerRecruitColumns, "yield")});
        for (std::size_t r = 0; r < t.rows.size(); ++r) {
            const auto f = t.number(r, cf);
            if (!f || cyield < 0 || !t.number(r, cyield)) continue;
            double& end = curve_end[curve_regime(r)];
            end = std::max(end, *f);
        }
    }
    std::string curve_regime(std::size_t r) const { return creg >= 0 ? t.rows[r][static_cast<std::size_t>(creg)] : "1"; }
    std::string point_regime(std::size_t r) const { return rreg >= 0 ? rp.rows[r][static_cast<std::size_t>(rreg)] : "1"; }

    // Whether yield per recruit still rises beyond F-factor f: the next row
    // of the regime's grid has the higher yield per recruit.
    bool ypr_rises(const std::string& reg, double f) const {
        std::optional<double> at, next, next_f;
        for (std::size_t r = 0; r < t.rows.size(); ++r) {
            if (curve_regime(r) != reg) continue;
            const auto g = t.number(r, cf);
            const auto y = t.number(r, cy);
            if (!g || !y) continue;
            if (std::fabs(*g - f) < 1e-6) at = y;
            if (*g > f + 1e-6 && (!next_f || *g < *next_f)) {
                next_f = g;
                next = y;
            }
        }
        return at && next && *next > *at;
    }
    // Whether point r is an Fmax at the end of the equilibrium curve, where
    // recruitment fails: the highest yield there is the end of the curve, not
    // a maximum of the yield per recruit.
    bool fmax_at_end(std::size_t r) const {
        if (rpoint < 0 || rf < 0 || lower(rp.rows[r][static_cast<std::size_t>(rpoint)]) != "fmax") return false;
        const std::string reg = point_regime(r);
        const auto f = rp.number(r, rf);
        if (!f) return false;
        const auto end = curve_end.find(reg);
        // The curve's end short of the grid's end: the grid step is 0.01.
        const bool at_end = end != curve_end.end() && *f >= end->second - 1e-6 && end->second < max_f - 1e-6;
        bool at_crash = false;
        for (std::size_t q = 0; q < rp.rows.size(); ++q) {
            if (point_regime(q) != reg || lower(rp.rows[q][static_cast<std::size_t>(rpoint)]) != "fcrash") continue;
            const auto fc = rp.number(q, rf);
            at_crash = fc && *fc > 0.0 && std::fabs(*fc - *f) <= 0.0101;
        }
        return at_end || at_crash;
    }
    bool rises(std::size_t r) const {
        const auto f = rp.number(r, rf);
        return f && ypr_rises(point_regime(r), *f);
    }
};

// refpoints.csv as it stands, for the page; each number column with one
// number of decimals.
std::string refpoints_html(const RefPointReading& q) {
    const Table& rp = q.rp;
    std::vector<int> decimals(rp.header.size(), -1);
    for (std::size_t c = 0; c < rp.header.size(); ++c) {
        if (static_cast<int>(c) == q.rreg || static_cast<int>(c) == q.rpoint) continue;
        std::vector<double> col;
        bool numbers = true;
        for (std::size_t r = 0; r < rp.rows.size() && numbers; ++r) {
            const std::string& v = rp.rows[r][c];
            double x = 0.0;
            const auto [e, ec] = std::from_chars(v.data(), v.data() + v.size(), x);
            if (v.empty()) continue;
            numbers = ec == std::errc() && e == v.data() + v.size();
            col.push_back(x);
        }
        if (numbers) decimals[c] = column_decimals(col);
    }
    std::ostringstream h;
    h << "<table><thead><tr>";
    for (const auto& c : rp.header) h << "<th>" << esc(c) << "</th>";
    h << "</tr></thead><tbody>";
    for (std::size_t r = 0; r < rp.rows.size(); ++r) {
        const auto& row = rp.rows[r];
        h << "<tr>";
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::string& v = row[c];
            if (static_cast<int>(c) == q.rpoint && q.fmax_at_end(r)) {
                h << "<td class=\"text\">" << esc(v) << " = Fcrash: the end of the equilibrium curve, where recruitment "
                     "fails" << (q.rises(r) ? "; yield per recruit still rises there" : "") << "</td>";
            } else if (c < decimals.size() && decimals[c] >= 0 && !v.empty()) {
                h << "<td>" << fixed(rp.value(r, static_cast<int>(c)), decimals[c]) << "</td>";
            } else {
                h << "<td>" << esc(v) << "</td>";
            }
        }
        h << "</tr>";
    }
    h << "</tbody></table>";
    return h.str();
}

// The reference points on the curves, into `p`: long layout (a row per
// point) or wide (columns F<point>, yield_<point>, ssb_<point>).
void refpoint_markers(const RefPointReading& q, PerRecruit& p) {
    const Table& rp = q.rp;
    const int ry = find_any(rp, {name_in(kRefPointsColumns, "yield_per_recruit"), "ypr", name_in(kRefPointsColumns, "yield")});
    const int rs = find_any(rp, {name_in(kRefPointsColumns, "ssb_per_recruit"), "spr", name_in(kRefPointsColumns, "ssb")});
    for (std::size_t r = 0; r < rp.rows.size(); ++r) {
        const Json reg = q.rreg >= 0 ? Json(rp.rows[r][static_cast<std::size_t>(q.rreg)]) : Json("1");
        const auto add = [&](const std::string& name, std::optional<double> f, std::optional<double> y,
                             std::optional<double> s) {
            if (!f || *f < 0.0) return;  // a point not found is given as -1 or empty
            const std::string label = lower(name) == "fmax" && q.fmax_at_end(r) ? name + " = Fcrash (end of the curve)" : name;
            if (y) p.ypr_points.push_back({{"regime", reg}, {"point", name}, {"label", label}, {"f", num(*f)}, {"value", num(*y)}});
            if (s) p.spr_points.push_back({{"regime", reg}, {"point", name}, {"label", label}, {"f", num(*f)}, {"value", num(*s)}});
        };
        if (q.rpoint >= 0 && q.rf >= 0) {
            add(rp.rows[r][static_cast<std::size_t>(q.rpoint)], rp.number(r, q.rf),
                ry >= 0 ? rp.number(r, ry) : std::nullopt, rs >= 0 ? rp.number(r, rs) : std::nullopt);
            continue;
        }
        for (std::size_t c = 0; c < rp.header.size(); ++c) {
            const std::string name = rp.header[c];
            const std::string lname = lower(name);
            if (lname.size() < 2 || lname[0] != 'f' || lname == "fcrash") continue;
            const std::string point = name;
            const std::string suffix = lname.substr(1);
            const int cyy = find_any(rp, {"yield_" + suffix, "yield_" + lname, "y_" + lname});
            const int css = find_any(rp, {"ssb_" + suffix, "ssb_" + lname, "s_" + lname});
            if (cyy < 0 && css < 0) continue;
            add(point, rp.number(r, static_cast<int>(c)), cyy >= 0 ? rp.number(r, cyy) : std::nullopt,
                css >= 0 ? rp.number(r, css) : std::nullopt);
        }
    }
    spread_points(p.ypr_points, q.max_f);
    spread_points(p.spr_points, q.max_f);
}

// The answer's line, into `p`: each regime's points by their F-factor (long
// layout only).
void refpoints_answer(const RefPointReading& q, PerRecruit& p) {
    const Table& rp = q.rp;
    if (q.rpoint < 0 || q.rf < 0) return;
    std::vector<double> fs_;
    for (std::size_t r = 0; r < rp.rows.size(); ++r) {
        if (const auto f = rp.number(r, q.rf)) fs_.push_back(*f);
    }
    const int d = column_decimals(fs_, 3);
    std::string last_regime;
    std::ostringstream a;
    for (std::size_t r = 0; r < rp.rows.size(); ++r) {
        const std::string reg = q.point_regime(r);
        const auto f = rp.number(r, q.rf);
        if (!f || *f < 0.0) continue;
        if (reg != last_regime) a << (last_regime.empty() ? "" : "; ") << "regime " << esc(reg) << ": ";
        else a << ", ";
        last_regime = reg;
        a << esc(rp.rows[r][static_cast<std::size_t>(q.rpoint)]) << " " << fixed(*f, d);
        if (q.fmax_at_end(r)) {
            a << " (= Fcrash, the end of the equilibrium curve" << (q.rises(r) ? ": yield per recruit still rises there" : "")
              << ")";
            p.fmax_at_end = true;
        }
    }
    p.answer_html = a.str();
}

PerRecruit read_perrecruit(const fs::path& dir, std::vector<std::string>& notes) {
    PerRecruit p;
    if (!fs::exists(dir / kPerRecruitCsv)) {
        notes.push_back("perrecruit.csv is missing: no per-recruit curves");
        return p;
    }
    const Table t = read_table(dir / kPerRecruitCsv);
    const int creg = find_any(t, {name_in(kPerRecruitColumns, "regime")});
    const int cf = find_any(t, {"f", name_in(kPerRecruitColumns, "f_factor"), "ffactor", "f-factor"});
    const int cy = find_any(t, {name_in(kPerRecruitColumns, "yield_per_recruit"), "ypr", name_in(kPerRecruitColumns, "yield")});
    const int cs = find_any(t, {name_in(kPerRecruitColumns, "ssb_per_recruit"), "spr", name_in(kPerRecruitColumns, "ssb")});
    if (cf < 0 || cy < 0 || cs < 0) throw ReportError(t.name + ": needs the columns f, yield and ssb");
    const double max_f = read_curves(t, creg, cf, cy, cs, p);
    p.present = true;
    if (!fs::exists(dir / kRefPointsCsv)) {
        notes.push_back("refpoints.csv is missing: no reference points");
        return p;
    }
    const Table rp = read_table(dir / kRefPointsCsv);
    const RefPointReading q(t, rp, creg, cf, cy, max_f);
    p.refpoints_html = refpoints_html(q);
    refpoint_markers(q, p);
    refpoints_answer(q, p);
    return p;
}

// ------------------------------------------------------------------ tuning

// The group of a statistic in the table's heading, with its unit: catch,
// F, SSB, TSB (in the biomass unit or per year), the TAC's changes and the
// risks (in %); "" for a statistic of no group.
std::string stat_group(const std::string& name) {
    const std::string n = lower(name);
    if (n == "cmean" || (n.size() > 1 && n[0] == 'c' && std::isdigit(static_cast<unsigned char>(n[1])))) {
        return "Catch (input biomass unit)";
    }
    if (n == "fmean" || (n.size() > 1 && n[0] == 'f' && std::isdigit(static_cast<unsigned char>(n[1])))) return "F (per year)";
    if (n == "smean" || n.rfind("ssb", 0) == 0) return "SSB (input biomass unit)";
    if (n == "tmean" || n.rfind("tsb", 0) == 0) return "TSB (input biomass unit)";
    if (n == "iav" || n.rfind("tac_change", 0) == 0) return "TAC change (%)";
    if (n.rfind("risk", 0) == 0 || n == "probtrig" || n == "crash") return "Risk (%)";
    return "";
}

// What a risk statistic counts, for people.
std::string risk_words(const std::string& risk) {
    const std::string r = lower(risk);
    if (r == "risk1") return "mean yearly P(SSB < Blim)";
    if (r == "risk2") return "P(SSB < Blim at least once)";
    if (r == "risk3" || r == "risklim") return "largest yearly P(SSB < Blim)";
    return risk;
}

// The columns of tune.csv a search's rows are read by.
struct TuneColumns {
    int value, risk, meets, answer;  // the tuned option, its statistic, whether it meets the limit, the answer
};

// The other options (the columns between `combination` and `round`, but the
// tuned option's) that differ between combinations: they name them.
std::vector<int> naming_options(const Table& t, int ccomb, int cround, int cval) {
    std::vector<int> others;
    for (int c = ccomb + 1; c < cround; ++c) {
        if (c == cval) continue;
        for (std::size_t r = 1; r < t.rows.size(); ++r) {
            if (t.rows[r][static_cast<std::size_t>(c)] != t.rows[0][static_cast<std::size_t>(c)]) {
                others.push_back(c);
                break;
            }
        }
    }
    return others;
}

// One search's rows into `tu.rows`: its answer and the bracket's other end
// (the value tried nearest the answer on the other side of the limit), which
// may ask for more decimals of the tuned option. The search's answer, if any.
std::optional<double> read_search(const Table& t, const TuneColumns& c, int comb, const std::string& label,
                                  const std::vector<std::size_t>& rows, Tuning& tu) {
    std::optional<std::size_t> answer, beyond;
    for (std::size_t r : rows) {
        if (t.value(r, c.answer) == 1.0) answer = r;
    }
    if (answer) {
        const double a = t.value(*answer, c.value);
        for (std::size_t r : rows) {
            if (t.value(r, c.meets) == t.value(*answer, c.meets)) continue;
            if (!beyond || std::fabs(t.value(r, c.value) - a) < std::fabs(t.value(*beyond, c.value) - a)) beyond = r;
        }
    }
    if (answer && beyond) {
        tu.decimals = std::max(tu.decimals, resolution_decimals(std::fabs(t.value(*answer, c.value) - t.value(*beyond, c.value))));
    }
    for (std::size_t r : rows) {
        tu.rows.push_back({{"label", label},
                           {"combination", comb},
                           {"value", num(t.value(r, c.value))},
                           {"risk", num(t.number(r, c.risk))},
                           {"meets", t.value(r, c.meets) == 1.0},
                           {"answer", answer && r == *answer},
                           {"bracket", beyond && r == *beyond}});
    }
    return answer ? std::optional<double>(t.value(*answer, c.value)) : std::nullopt;
}

// The answer's line: the tuned value of each combination (by its label), at
// most twelve of them and the count beyond.
std::string tuning_answer(const Tuning& tu, const std::vector<std::pair<std::string, std::optional<double>>>& answers) {
    std::ostringstream a;
    a << "<b>Tuned " << esc(tu.option) << "</b> (the value whose " << esc(tu.risk) << ", "
      << esc(risk_words(tu.risk)) << ", is at most " << text_of(tu.limit) << " %; tune.csv): ";
    for (std::size_t k = 0; k < answers.size(); ++k) {
        a << (k ? "; " : "") << (answers[k].second ? fixed(*answers[k].second, tu.decimals) : "none in the range");
        if (!answers[k].first.empty()) a << " for " << esc(answers[k].first);
        if (k == 11 && answers.size() > 13) {
            a << "; ... (" << answers.size() << " combinations)";
            break;
        }
    }
    return a.str();
}

Tuning read_tuning(const fs::path& dir) {
    Tuning tu;
    if (!fs::exists(dir / kTuneCsv)) return tu;
    const Table t = read_table(dir / kTuneCsv);
    const int ccomb = t.need(kTuneFirstColumn), cround = t.need(name_in(kTuneColumns, "round"));
    const int cmeets = t.need(name_in(kTuneColumns, "meets")), cans = t.need(name_in(kTuneColumns, "answer"));
    const int ctuned = t.need(name_in(kTuneColumns, "tuned")), cstat = t.need(name_in(kTuneColumns, "statistic"));
    const int climit = t.need(name_in(kTuneColumns, "limit"));
    if (t.rows.empty()) return tu;
    const auto cell = [&](std::size_t r, int c) { return t.rows[r][static_cast<std::size_t>(c)]; };
    tu.option = cell(0, ctuned);
    tu.statistic = cell(0, cstat);
    tu.limit = t.value(0, climit);
    const int cval = t.need(tu.option), crisk = t.need(tu.statistic);
    if (const auto us = tu.statistic.find('_'); us != std::string::npos) {
        tu.window = tu.statistic.substr(0, us);
        tu.risk = tu.statistic.substr(us + 1);
    } else {
        tu.risk = tu.statistic;
    }
    // The tuned option with the decimals of its range (the values of the
    // first round) and of the tuning's resolution (an answer and its bracket).
    std::vector<double> range;
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        if (t.value(r, cround) == 1.0) range.push_back(t.value(r, cval));
    }
    tu.decimals = option_decimals(range);
    std::map<int, int> other_decimals;
    for (int c = ccomb + 1; c < cround; ++c) {
        std::vector<double> col;
        for (std::size_t r = 0; r < t.rows.size(); ++r) col.push_back(t.value(r, c));
        other_decimals[c] = option_decimals(col);
    }
    const std::vector<int> others = naming_options(t, ccomb, cround, cval);
    std::vector<std::pair<std::string, std::optional<double>>> answers;  // combination, tuned value
    // A search of its own per combination and, with --replicates, per
    // further seed: a line each; the answer at the top is the run's own
    // search's.
    const int crep = t.find(name_in(kTuneEndColumns, "replicate")), cseed = t.find(name_in(kTuneEndColumns, "seed"));
    std::map<std::pair<int, int>, std::vector<std::size_t>> by;
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        by[{as_int(t, r, ccomb), crep >= 0 ? as_int(t, r, crep) : 0}].push_back(r);
    }
    for (const auto& [search, rows] : by) {
        const int comb = search.first;
        std::string label = others.empty() ? "combination " + std::to_string(comb) : "";
        for (int c : others) {
            label += (label.empty() ? "" : ", ") + t.header[static_cast<std::size_t>(c)] + " " +
                     fixed(t.value(rows.front(), c), other_decimals[c]);
        }
        if (search.second > 0 && cseed >= 0) label += ", seed " + cell(rows.front(), cseed);
        const std::optional<double> answer = read_search(t, {cval, crisk, cmeets, cans}, comb, label, rows, tu);
        if (search.second == 0) {
            answers.emplace_back(others.empty() ? "" : label, answer);
            if (answer) tu.answers.push_back(*answer);
        }
    }
    tu.answer_html = tuning_answer(tu, answers);
    tu.present = true;
    return tu;
}

// ------------------------------------------------------------------ run.json

// A biomass per recruit as a reader says it: "kt per million recruits" for
// biomass in kt and numbers in millions (a plural unit read in the singular).
std::string per_recruit_unit(const std::string& biomass, std::string number) {
    if (number.size() > 3 && number.back() == 's' && number[number.size() - 2] != 's') number.pop_back();
    return biomass + " per " + number + " recruits";
}

// The labels' units: the placeholders "input biomass unit", "input number
// unit" and "input biomass unit per recruit" replaced where the run
// names its units. `json` escapes the units for JSON text.
std::string with_units(std::string text, const RunFacts& r, bool json) {
    const auto quoted = [&](const std::string& u) { return json ? Json(u).dump().substr(1, Json(u).dump().size() - 2) : u; };
    const auto replace = [&](const std::string& from, const std::string& to) {
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
            text.replace(at, from.size(), to);
        }
    };
    if (!r.biomass_unit.empty() && !r.number_unit.empty()) {
        replace("input biomass unit per recruit", quoted(per_recruit_unit(r.biomass_unit, r.number_unit)));
    }
    if (!r.biomass_unit.empty()) replace("input biomass unit", quoted(r.biomass_unit));
    if (!r.number_unit.empty()) replace("input number unit", quoted(r.number_unit));
    return text;
}

// Title of the rule's value by what it is.
std::string value_title(int vtype) {
    switch (vtype) {
        case 1: return "F (per year)";
        case 2: return "Harvest rate (of the biomass above an age)";
        case 3: return "Multiplier of the decision basis";
        case 4: return "TAC (input biomass unit)";
        default: return "Rule value";
    }
}

RunFacts read_run(const fs::path& dir, const std::string& version, const RunContext& context,
                  std::vector<std::string>& notes) {
    RunFacts r;
    r.version = version;
    r.blim = context.blim;
    r.vtype = context.vtype;
    if (context.risk_limit) r.risk_limit = *context.risk_limit;
    r.biomass_unit = context.biomass_unit;
    r.number_unit = context.number_unit;
    // Without a record, the results folder's name stands for the stock.
    const fs::path folder = fs::absolute(dir).lexically_normal();
    r.stock = (folder.has_filename() ? folder : folder.parent_path()).filename().string();
    r.stock_key = "stock " + r.stock;
    const fs::path file = dir / "run.json";
    if (!fs::exists(file)) {
        notes.push_back("run.json is missing: the header lacks the run's record");
        return r;
    }
    std::ifstream in(file, std::ios::binary);
    const Json j = Json::parse(in, nullptr, false);
    if (j.is_discarded() || !j.is_object()) throw ReportError("run.json: not a JSON object");
    const auto str = [&](std::initializer_list<const char*> keys) -> std::string {
        for (const char* k : keys) {
            if (j.contains(k) && j[k].is_string()) return j[k].get<std::string>();
        }
        return {};
    };
    if (j.contains("program") && j["program"].is_object()) {
        const auto& p = j["program"];
        if (p.contains("version") && p["version"].is_string()) {
            r.version = "tacsim " + p["version"].get<std::string>();
            if (p.contains("commit") && p["commit"].is_string()) r.version += " (commit " + p["commit"].get<std::string>() + ")";
        }
    }
    if (auto v = str({"version"}); !v.empty()) r.version = "tacsim " + v;
    r.date = str({"ended", "started"});
    if (j.contains("command_line") && j["command_line"].is_array()) {
        for (const auto& a : j["command_line"]) {
            if (!a.is_string()) continue;
            if (!r.command.empty()) r.command += ' ';
            r.command += a.get<std::string>();
        }
    }
    if (auto v = str({"stock"}); !v.empty()) r.stock = v;
    r.stock_key = "stock " + r.stock;
    if (j.contains("inputs") && j["inputs"].is_array()) {
        std::string key;
        for (const auto& in : j["inputs"]) {
            if (!in.is_object() || !in.contains("file") || !in["file"].is_string()) continue;
            const std::string name = in["file"].get<std::string>();
            if (name == "opt.inn") continue;
            key += name + " " + (in.contains("sha256") && in["sha256"].is_string() ? in["sha256"].get<std::string>() : "") + ";";
            r.stock_files += (r.stock_files.empty() ? "" : ", ") + name;
        }
        if (!key.empty()) r.stock_key = key;
    }
    if (!r.blim && j.contains("blim") && j["blim"].is_number()) r.blim = j["blim"].get<double>();
    if (r.vtype == 0 && j.contains("vtype") && j["vtype"].is_number_integer()) r.vtype = j["vtype"].get<int>();
    for (auto [key, unit] : {std::pair{"biomass_unit", &r.biomass_unit}, std::pair{"number_unit", &r.number_unit}}) {
        if (unit->empty() && j.contains(key) && j[key].is_string()) *unit = j[key].get<std::string>();
    }
    if (j.contains("risk_method") && j["risk_method"].is_number_integer()) {
        r.risk_method = "method " + std::to_string(j["risk_method"].get<int>());
        if (j.contains("risk_method_name") && j["risk_method_name"].is_string()) {
            r.risk_method += ", " + j["risk_method_name"].get<std::string>();
        }
        if (j["risk_method"].get<int>() != 0 && j.contains("blim_sigma") && j["blim_sigma"].is_number()) {
            r.risk_method += ", blim_sigma " + people(j["blim_sigma"].get<double>(), option_digits);
        }
    }
    if (j.contains("generator") && j["generator"].is_string() && j.contains("seed") && j["seed"].is_number_unsigned()) {
        r.random = j["generator"].get<std::string>() + ", seed " + std::to_string(j["seed"].get<unsigned long long>());
    }
    if (!context.risk_limit && j.contains("risk_limit") && j["risk_limit"].is_number()) {
        r.risk_limit = j["risk_limit"].get<double>();
    }
    return r;
}

// ------------------------------------------------------------------ one run

std::string stat_named(const Summary& s, std::initializer_list<std::string_view> names) {
    for (auto n : names) {
        for (const auto& have : s.names) {
            if (lower(have) == lower(std::string(n))) return have;
        }
    }
    return {};
}

RunTables read_run_tables(const fs::path& dir, const std::string& version, const RunContext& context,
                          std::vector<std::string>& notes, bool alone, bool in_place) {
    if (!fs::is_directory(dir)) throw ReportError("No results folder " + dir.string());
    if (!fs::exists(dir / kSetsCsv) && !fs::exists(dir / kYearlyCsv) && !fs::exists(dir / kSummaryCsv)) {
        throw ReportError(dir.string() + " holds no result tables (sets.csv, yearly.csv, summary.csv): a run writes "
                          "them with --csv or --report");
    }
    RunTables t;
    t.dir = dir;
    t.sets = read_sets(dir);
    t.summary = read_summary(dir, t.sets);
    t.yearly = read_yearly(dir, t.sets);
    t.samples = read_samples(dir, t.sets, t.yearly);
    if (t.samples.source.empty()) {
        notes.push_back(std::string(kSamplesCsv) + " and " + kIterationsCsv + " are missing: no single iterations drawn");
    }
    t.shapes = write_shapes(dir, t.sets, in_place);
    if (!t.shapes.present) notes.push_back("sets.csv names no known rule: no rule shape");
    if (alone) t.pr = read_perrecruit(dir, notes);
    t.run = read_run(dir, version, context, notes);
    t.tuning = read_tuning(dir);

    t.catch_stat = stat_named(t.summary, {"C50", "catch_p50", "catch_median"});
    t.iav_stat = stat_named(t.summary, {"IAV", "tac_change", "mean_tac_change"});
    for (const char* r : {"risk1", "risk2", "risk3"}) {
        if (auto n = stat_named(t.summary, {r}); !n.empty()) t.risks.push_back(n);
    }
    if (t.risks.empty()) {
        if (auto n = stat_named(t.summary, {"Risklim"}); !n.empty()) t.risks.push_back(n);
    }
    // Trigger of the SSB chart: the lower biomass trigger of the rule (Btrig1;
    // for rules 2 and 6, whose first parameter is B0, Btrig1 is the second).
    t.trig_col = (t.sets.rule == 2 || t.sets.rule == 6) ? 1 : 0;
    for (std::size_t k = 0; k < t.sets.options.size(); ++k) {
        if (lower(t.sets.options[k]) == "target") {
            t.target_col = static_cast<int>(k);
            break;
        }
    }
    return t;
}

void write_page(const fs::path& file, const std::string& text) {
    std::string why;
    if (!write_whole(file.string(), text, &why)) throw ReportError("Cannot write " + file.string() + ": " + why);
}

ReportResult write_report(const fs::path& dir, const std::string& version, const RunContext& context) {
    ReportResult result;
    std::vector<RunTables> runs;
    runs.push_back(read_run_tables(dir, version, context, result.notes, true, true));
    const std::string page = page_text(runs, version, result.notes);
    result.file = dir / report_file;
    write_page(result.file, page);
    return result;
}

ReportResult write_comparison(const std::vector<RunSource>& sources, const fs::path& out, const std::string& version,
                              const RunContext& context) {
    if (sources.empty()) throw ReportError("No run to draw");
    ReportResult result;
    std::vector<RunTables> runs;
    const bool alone = sources.size() == 1;
    std::vector<std::vector<std::string>> run_notes;
    for (const auto& src : sources) {
        std::vector<std::string>& notes = run_notes.emplace_back();
        try {
            runs.push_back(read_run_tables(src.dir, version, context, notes, alone, false));
        } catch (const ReportError& e) {
            const std::string what = e.what();
            // Messages that name the folder already stand as they are.
            if (what.find(src.dir.string()) != std::string::npos) throw;
            throw ReportError(src.dir.string() + ": " + what);
        }
        runs.back().label = src.label;
    }
    name_runs(runs);
    // What a run's page lacks, under the run's name once it has one.
    for (std::size_t r = 0; r < runs.size(); ++r)
        for (const auto& n : run_notes[r]) result.notes.push_back(alone ? n : runs[r].label + ": " + n);
    std::error_code ec;
    fs::create_directories(out, ec);
    if (!fs::is_directory(out)) throw ReportError("Cannot make the folder " + out.string() + (ec ? ": " + ec.message() : ""));
    const std::string page = page_text(runs, version, result.notes);
    result.file = out / report_file;
    write_page(result.file, page);
    return result;
}

}  // namespace tacsim::report
