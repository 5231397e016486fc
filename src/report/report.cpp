#include "report/report.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include <zlib.h>

#include "io/durable.hpp"
#include "report/assets.hpp"
#include "report/shape.hpp"
#include "report/specs.hpp"

namespace tacsim::report {

namespace fs = std::filesystem;

namespace {

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

inline constexpr int stat_digits = 4;
inline constexpr int option_digits = 6;

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

struct Sets {
    std::vector<int> ids;                        // set numbers in sweep order
    std::map<int, std::size_t> index;            // set number -> position
    std::vector<std::string> options;            // option columns
    std::vector<std::vector<double>> values;     // (set, option)
    std::vector<std::string> swept;              // options with more than one value
    int rule = 0;
};

Sets read_sets(const fs::path& dir) {
    const Table t = read_table(dir / "sets.csv");
    Sets s;
    const int cset = t.need("set");
    const int crule = t.find("rule");
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
    for (std::size_t k = 0; k < s.options.size(); ++k) {
        for (const auto& v : s.values) {
            if (!(v[k] == s.values[0][k]) && !(std::isnan(v[k]) && std::isnan(s.values[0][k]))) {
                s.swept.push_back(s.options[k]);
                break;
            }
        }
    }
    return s;
}

struct Window {
    double first = 0, last = 0;
    std::string label;
};

struct Summary {
    std::vector<Window> windows;
    std::vector<std::string> names;                                  // statistics in order of appearance
    std::vector<std::vector<std::vector<std::optional<double>>>> v;  // (window, set, statistic)
};

Summary read_summary(const fs::path& dir, const Sets& sets) {
    const Table t = read_table(dir / "summary.csv");
    const int cset = t.need("set"), cfirst = t.need("first_year"), clast = t.need("last_year");
    const int cstat = t.need("statistic"), cval = t.need("value");
    Summary s;
    std::map<std::pair<double, double>, std::size_t> windex;
    std::map<std::string, std::size_t> sindex;
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        const auto key = std::make_pair(t.value(r, cfirst), t.value(r, clast));
        auto w = windex.find(key);
        if (w == windex.end()) {
            w = windex.emplace(key, s.windows.size()).first;
            s.windows.push_back({key.first, key.second,
                                 "years " + text_of(key.first) + "-" + text_of(key.second)});
            s.v.emplace_back(sets.ids.size());
        }
        const std::string& name = t.rows[r][static_cast<std::size_t>(cstat)];
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
    for (auto& w : s.v) {
        for (auto& row : w) row.resize(s.names.size());
    }
    return s;
}

// The window to show first: the summary window (neither the first five
// years nor all years) when there is one.
std::size_t default_window(const Summary& s) {
    if (s.windows.empty()) return 0;
    double lo = s.windows[0].first, hi = s.windows[0].last;
    for (const auto& w : s.windows) {
        lo = std::min(lo, w.first);
        hi = std::max(hi, w.last);
    }
    for (std::size_t i = 0; i < s.windows.size(); ++i) {
        const auto& w = s.windows[i];
        const bool all = (w.first == lo && w.last == hi);
        const bool first5 = (w.first == lo && w.last == lo + 4);
        if (!all && !first5) return i;
    }
    for (std::size_t i = 0; i < s.windows.size(); ++i) {
        if (s.windows[i].first == lo && s.windows[i].last == hi) return i;
    }
    return 0;
}

// Yearly fractiles of the quantities drawn as fan charts.
const char* const fan_quantities[] = {"ssb", "f", "catch", "tac", "recruitment"};
const char* const fan_columns[] = {"p10", "p25", "p50", "p75", "p90"};

struct Yearly {
    std::vector<double> years;  // calendar years, ascending
    // (set, quantity, fractile, year)
    std::vector<std::map<std::string, std::vector<std::vector<std::optional<double>>>>> fan;
    std::vector<std::vector<std::optional<double>>> plim;  // (set, year), %
    std::string plim_name;
};

Yearly read_yearly(const fs::path& dir, const Sets& sets) {
    const Table t = read_table(dir / "yearly.csv");
    const int cset = t.need("set"), cyear = t.need("year"), cq = t.need("quantity"), cmean = t.need("mean");
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
        if (q.find("blim") != std::string::npos) {
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

// Single iterations per set: (set, quantity, iteration, year).
struct Samples {
    std::vector<int> iterations;
    std::vector<std::map<std::string, std::vector<std::vector<std::optional<double>>>>> v;
    std::string source;
};

Samples read_samples(const fs::path& dir, const Sets& sets, const Yearly& yearly) {
    Samples s;
    fs::path file = dir / sample_file;
    if (!fs::exists(file)) file = dir / "iterations.csv.gz";
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
    const int cset = t.need("set"), cit = t.need("iteration"), cyear = t.need("year");
    std::map<double, std::size_t> yindex;
    for (std::size_t i = 0; i < yearly.years.size(); ++i) yindex[yearly.years[i]] = i;
    std::vector<std::pair<std::string, int>> cols;
    for (const char* q : {"ssb", "f", "catch", "recruitment"}) {
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
struct Shapes {
    Json list = Json::array();
    std::vector<int> of_set;
    bool present = false;
};

Shapes write_shapes(const fs::path& dir, const Sets& sets) {
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
    if (!write_whole(file.string(), csv)) throw ReportError("Cannot write " + file.string());
    out.present = true;
    return out;
}

// ------------------------------------------------------------------ per recruit

struct PerRecruit {
    Json ypr = Json::array(), spr = Json::array();          // regime, f, value
    Json ypr_points = Json::array(), spr_points = Json::array();
    std::string refpoints_html;
    bool present = false;
};

PerRecruit read_perrecruit(const fs::path& dir, std::vector<std::string>& notes) {
    PerRecruit p;
    if (!fs::exists(dir / "perrecruit.csv")) {
        notes.push_back("perrecruit.csv is missing: no per-recruit curves");
        return p;
    }
    const Table t = read_table(dir / "perrecruit.csv");
    const int creg = find_any(t, {"regime"});
    const int cf = find_any(t, {"f", "f_factor", "ffactor", "f-factor"});
    const int cy = find_any(t, {"yield_per_recruit", "ypr", "yield"});
    const int cs = find_any(t, {"ssb_per_recruit", "spr", "ssb"});
    if (cf < 0 || cy < 0 || cs < 0) throw ReportError(t.name + ": needs the columns f, yield and ssb");
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        const Json reg = creg >= 0 ? Json(t.rows[r][static_cast<std::size_t>(creg)]) : Json("1");
        const auto f = t.number(r, cf);
        if (!f) continue;
        p.ypr.push_back({{"regime", reg}, {"f", num(*f)}, {"value", num(t.number(r, cy))}});
        p.spr.push_back({{"regime", reg}, {"f", num(*f)}, {"value", num(t.number(r, cs))}});
    }
    p.present = true;
    if (!fs::exists(dir / "refpoints.csv")) {
        notes.push_back("refpoints.csv is missing: no reference points");
        return p;
    }
    const Table rp = read_table(dir / "refpoints.csv");
    // The table as it stands, for the header.
    std::ostringstream h;
    h << "<table><thead><tr>";
    for (const auto& c : rp.header) h << "<th>" << esc(c) << "</th>";
    h << "</tr></thead><tbody>";
    for (const auto& row : rp.rows) {
        h << "<tr>";
        for (const auto& v : row) {
            // Numbers (F, yield, SSB, per recruit: statistics) to four digits.
            double x = 0.0;
            const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), x);
            const bool number = ec == std::errc() && p == v.data() + v.size() && &v != &row.front() && !v.empty();
            h << "<td>" << (number ? people(x, stat_digits) : esc(v)) << "</td>";
        }
        h << "</tr>";
    }
    h << "</tbody></table>";
    p.refpoints_html = h.str();
    // Reference points on the curves: long layout (a row per point) or wide
    // (columns F<point>, yield_<point>, ssb_<point>).
    const int rreg = find_any(rp, {"regime"});
    const int rpoint = find_any(rp, {"point", "reference_point", "refpoint", "name"});
    const int rf = find_any(rp, {"f", "f_factor"});
    const int ry = find_any(rp, {"yield_per_recruit", "ypr", "yield"});
    const int rs = find_any(rp, {"ssb_per_recruit", "spr", "ssb"});
    for (std::size_t r = 0; r < rp.rows.size(); ++r) {
        const Json reg = rreg >= 0 ? Json(rp.rows[r][static_cast<std::size_t>(rreg)]) : Json("1");
        const auto add = [&](const std::string& name, std::optional<double> f, std::optional<double> y,
                             std::optional<double> s) {
            if (!f || *f < 0.0) return;  // a point not found is given as -1 or empty
            if (y) p.ypr_points.push_back({{"regime", reg}, {"point", name}, {"f", num(*f)}, {"value", num(*y)}});
            if (s) p.spr_points.push_back({{"regime", reg}, {"point", name}, {"f", num(*f)}, {"value", num(*s)}});
        };
        if (rpoint >= 0 && rf >= 0) {
            add(rp.rows[r][static_cast<std::size_t>(rpoint)], rp.number(r, rf),
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
    return p;
}

// ------------------------------------------------------------------ tuning

// tune.csv of `tacsim tune`: every value tried, by combination of the other
// swept options, with the answer and the nearest value tried beyond it.
struct Tuning {
    Json rows = Json::array();  // label, combination, value, risk, meets, answer, bracket
    std::string option, statistic;
    double limit = 5.0;
    bool present = false;
};

Tuning read_tuning(const fs::path& dir) {
    Tuning tu;
    if (!fs::exists(dir / "tune.csv")) return tu;
    const Table t = read_table(dir / "tune.csv");
    const int ccomb = t.need("combination"), cround = t.need("round"), cmeets = t.need("meets");
    const int cans = t.need("answer"), ctuned = t.need("tuned"), cstat = t.need("statistic"), climit = t.need("limit");
    if (t.rows.empty()) return tu;
    const auto cell = [&](std::size_t r, int c) { return t.rows[r][static_cast<std::size_t>(c)]; };
    tu.option = cell(0, ctuned);
    tu.statistic = cell(0, cstat);
    tu.limit = t.value(0, climit);
    const int cval = t.need(tu.option), crisk = t.need(tu.statistic);
    // The other options that differ between combinations name them.
    std::vector<int> others;
    for (int c = ccomb + 1; c < cround; ++c) {
        if (c == cval) continue;
        for (std::size_t r = 1; r < t.rows.size(); ++r) {
            if (cell(r, c) != cell(0, c)) {
                others.push_back(c);
                break;
            }
        }
    }
    std::map<int, std::vector<std::size_t>> by;
    for (std::size_t r = 0; r < t.rows.size(); ++r) by[as_int(t, r, ccomb)].push_back(r);
    for (const auto& [comb, rows] : by) {
        std::string label = others.empty() ? "combination " + std::to_string(comb) : "";
        for (int c : others) {
            label += (label.empty() ? "" : ", ") + t.header[static_cast<std::size_t>(c)] + " " +
                     people(t.value(rows.front(), c), option_digits);
        }
        // The bracket's other end: the value tried nearest the answer on the
        // other side of the limit.
        std::optional<std::size_t> answer, beyond;
        for (std::size_t r : rows) {
            if (t.value(r, cans) == 1.0) answer = r;
        }
        if (answer) {
            const double a = t.value(*answer, cval);
            for (std::size_t r : rows) {
                if (t.value(r, cmeets) == t.value(*answer, cmeets)) continue;
                if (!beyond || std::fabs(t.value(r, cval) - a) < std::fabs(t.value(*beyond, cval) - a)) beyond = r;
            }
        }
        for (std::size_t r : rows) {
            tu.rows.push_back({{"label", label},
                               {"combination", comb},
                               {"value", num(t.value(r, cval))},
                               {"risk", num(t.number(r, crisk))},
                               {"meets", t.value(r, cmeets) == 1.0},
                               {"answer", answer && r == *answer},
                               {"bracket", beyond && r == *beyond}});
        }
    }
    tu.present = true;
    return tu;
}

// ------------------------------------------------------------------ run.json

struct RunFacts {
    std::string stock, date, version, command;
    std::optional<double> blim;
    int vtype = 0;
    double risk_limit = 5.0;  // %
    std::string risk_method;  // how the risk to Blim is counted, as run.json names it
    std::string biomass_unit, number_unit;  // empty: not known
};

// The labels' units: the placeholders "input biomass unit", "input number
// unit" and "input weight unit" (biomass per number) replaced where the run
// names its units. `json` escapes the units for JSON text.
std::string with_units(std::string text, const RunFacts& r, bool json) {
    const auto quoted = [&](const std::string& u) { return json ? Json(u).dump().substr(1, Json(u).dump().size() - 2) : u; };
    const auto replace = [&](const std::string& from, const std::string& to) {
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
            text.replace(at, from.size(), to);
        }
    };
    if (!r.biomass_unit.empty() && !r.number_unit.empty()) {
        replace("input weight unit", quoted(r.biomass_unit + " per " + r.number_unit));
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
    if (!context.risk_limit && j.contains("risk_limit") && j["risk_limit"].is_number()) {
        r.risk_limit = j["risk_limit"].get<double>();
    }
    return r;
}

// ------------------------------------------------------------------ the page

std::string figure(const std::string& id, const std::string& title, const std::string& caption) {
    return "<figure><div class=\"chart\" id=\"chart-" + id + "\" role=\"img\" aria-label=\"" + esc(title) +
           "\"></div><figcaption><b>" + esc(title) + ".</b> " + caption + "</figcaption></figure>\n";
}

std::string stat_named(const Summary& s, std::initializer_list<std::string_view> names) {
    for (auto n : names) {
        for (const auto& have : s.names) {
            if (lower(have) == lower(std::string(n))) return have;
        }
    }
    return {};
}

}  // namespace

ReportResult write_report(const fs::path& dir, const std::string& version, const RunContext& context) {
    ReportResult result;
    auto& notes = result.notes;
    if (!fs::is_directory(dir)) throw ReportError("No results folder " + dir.string());
    const Sets sets = read_sets(dir);
    const Summary summary = read_summary(dir, sets);
    const Yearly yearly = read_yearly(dir, sets);
    const Samples samples = read_samples(dir, sets, yearly);
    if (samples.source.empty()) {
        notes.push_back(std::string(sample_file) + " and iterations.csv.gz are missing: no single iterations drawn");
    }
    const Shapes shapes = write_shapes(dir, sets);
    if (!shapes.present) notes.push_back("sets.csv names no known rule: no rule shape");
    PerRecruit pr = read_perrecruit(dir, notes);
    const RunFacts run = read_run(dir, version, context, notes);
    const Tuning tuning = read_tuning(dir);

    const std::string catch_stat = stat_named(summary, {"C50", "catch_p50", "catch_median"});
    const std::string iav_stat = stat_named(summary, {"IAV", "tac_change", "mean_tac_change"});
    std::vector<std::string> risks;
    for (const char* r : {"risk1", "risk2", "risk3"}) {
        if (auto n = stat_named(summary, {r}); !n.empty()) risks.push_back(n);
    }
    if (risks.empty()) {
        if (auto n = stat_named(summary, {"Risklim"}); !n.empty()) risks.push_back(n);
    }


    // Trigger of the SSB chart: the lower biomass trigger of the rule (Btrig1;
    // for rules 2 and 6, whose first parameter is B0, Btrig1 is the second).
    const int trig_col = (sets.rule == 2 || sets.rule == 6) ? 1 : 0;
    const int target_col = [&] {
        for (std::size_t k = 0; k < sets.options.size(); ++k) {
            if (lower(sets.options[k]) == "target") return static_cast<int>(k);
        }
        return -1;
    }();

    // ---- data of the page
    Json d;
    d["options"] = sets.options;
    d["swept"] = sets.swept;
    d["colourOptions"] = sets.swept.empty() ? Json::array() : Json(sets.swept);
    d["sets"] = sets.ids;
    Json values = Json::array();
    for (const auto& v : sets.values) {
        Json row = Json::array();
        for (double x : v) row.push_back(num(x));
        values.push_back(std::move(row));
    }
    d["values"] = std::move(values);
    d["windows"] = Json::array();
    for (const auto& w : summary.windows) d["windows"].push_back({{"label", w.label}, {"first", w.first}, {"last", w.last}});
    d["defaultWindow"] = default_window(summary);
    d["statNames"] = summary.names;
    Json stats = Json::array();
    for (const auto& w : summary.v) {
        Json ws = Json::array();
        for (const auto& row : w) {
            Json r = Json::array();
            for (const auto& x : row) r.push_back(num(x));
            ws.push_back(std::move(r));
        }
        stats.push_back(std::move(ws));
    }
    d["stats"] = std::move(stats);
    d["statTitles"] = Json::object();
    d["keys"] = {{"catch", catch_stat}, {"iav", iav_stat}};
    d["risks"] = risks;
    d["riskDefinitions"] = {
        {"risk1", "risk1: mean over the window's years of the yearly probability of SSB below Blim."},
        {"risk2", "risk2: probability that an iteration's SSB is below Blim in at least one year of the window "
                  "(with an uncertain Blim: the risk of the iteration's lowest SSB there)."},
        {"risk3", "risk3: largest yearly probability of SSB below Blim in the window."},
        {"Risklim", "Risklim: largest yearly probability of SSB below Blim in the window."}};
    d["years"] = Json::array();
    for (double y : yearly.years) d["years"].push_back(num(y));
    d["iterations"] = samples.iterations;
    // Each set's series go into an element of their own, deflated, and are
    // inflated and parsed by the page only when the set is chosen: the page
    // stays small and the first chart does not wait for a thousand sets.
    std::vector<std::string> perset;
    perset.reserve(sets.ids.size());
    for (std::size_t i = 0; i < sets.ids.size(); ++i) {
        Json p;
        Json q = Json::object();
        for (const auto& [name, cols] : yearly.fan[i]) {
            Json c = Json::array();
            for (const auto& col : cols) {
                Json a = Json::array();
                for (const auto& x : col) a.push_back(num(x));
                c.push_back(std::move(a));
            }
            q[name] = std::move(c);
        }
        p["q"] = std::move(q);
        Json plim = Json::array();
        for (const auto& x : yearly.plim[i]) plim.push_back(num(x));
        p["plim"] = std::move(plim);
        if (!samples.v.empty()) {
            Json it = Json::object();
            for (const auto& [name, series] : samples.v[i]) {
                Json s = Json::array();
                for (int k : samples.iterations) {
                    Json a = Json::array();
                    for (const auto& x : series[static_cast<std::size_t>(k - 1)]) a.push_back(num(x));
                    s.push_back(std::move(a));
                }
                it[name] = std::move(s);
            }
            p["it"] = std::move(it);
        }
        p["shape"] = shapes.present ? shapes.of_set[i] : -1;
        Json refs = {{"ssb", Json::array()}, {"f", Json::array()}};
        if (run.blim && *run.blim > 0.0) refs["ssb"].push_back({{"label", "Blim"}, {"value", numf(static_cast<float>(*run.blim))}});
        if (shapes.present && static_cast<std::size_t>(trig_col) < sets.options.size()) {
            refs["ssb"].push_back({{"label", "Trigger (" + sets.options[static_cast<std::size_t>(trig_col)] + ")"},
                                   {"value", num(sets.values[i][static_cast<std::size_t>(trig_col)])}});
        }
        if (target_col >= 0 && run.vtype == 1) {
            refs["f"].push_back({{"label", "Target"}, {"value", num(sets.values[i][static_cast<std::size_t>(target_col)])}});
        }
        p["refs"] = std::move(refs);
        perset.push_back(deflate_base64(p.dump()));
    }
    d["shapes"] = shapes.list;

    // ---- chart specifications
    Json tooltip = Json::array({Json{{"field", "set"}, {"title", "Set"}}});
    for (const auto& o : sets.options) tooltip.push_back({{"field", o}, {"type", "quantitative"}});
    for (const auto& n : summary.names) tooltip.push_back({{"field", n}, {"type", "quantitative"}});
    Json specs;
    specs["ssb"] = fan_spec("SSB (input biomass unit)", "");
    specs["f"] = fan_spec("F (per year, mean over the F ages)", "");
    specs["catch"] = fan_spec("Catch (input biomass unit)", "Median TAC");
    specs["recruitment"] = fan_spec("Recruitment (input number unit)", "");
    specs["plim"] = probability_spec(run.risk_limit);
    Json per_set_charts = Json::array({"ssb", "f", "catch", "recruitment", "plim"});
    if (shapes.present) {
        specs["shape"] = shape_spec(value_title(run.vtype));
        per_set_charts.push_back("shape");
    }
    Json static_charts = Json::array();
    if (pr.present) {
        specs["ypr"] = perrecruit_spec("Yield per recruit (input weight unit)", pr.ypr, pr.ypr_points);
        specs["spr"] = perrecruit_spec("SSB per recruit (input weight unit)", pr.spr, pr.spr_points);
        static_charts = Json::array({"ypr", "spr"});
    }
    if (tuning.present) {
        specs["tune"] = tune_spec(tuning.option, tuning.statistic, tuning.rows, tuning.limit);
        static_charts.push_back("tune");
    }
    const bool tradeoffs = !catch_stat.empty() && !risks.empty();
    if (tradeoffs) {
        specs["tradeoff"] = tradeoff_spec(catch_stat, tooltip, run.risk_limit);
        specs["iav"] = iav_spec(catch_stat, iav_stat, tooltip);
    } else {
        notes.push_back("summary.csv lacks the median catch or the risks: no trade-off charts");
    }
    d["specs"] = std::move(specs);
    d["perSetCharts"] = std::move(per_set_charts);
    d["staticCharts"] = std::move(static_charts);
    d["tradeoffs"] = tradeoffs;

    // ---- the page
    std::ostringstream h;
    h << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      << "<meta name=\"generator\" content=\"" << esc(version) << "\">\n"
      << "<title>tacsim report: " << esc(run.stock) << "</title>\n<style>\n" << asset_page_css() << "</style>\n"
      << "<script>" << script_safe(asset_vega_js()) << "</script>\n"
      << "<script>" << script_safe(asset_vega_lite_js()) << "</script>\n"
      << "<script>" << script_safe(asset_vega_embed_js()) << "</script>\n</head>\n<body>\n";

    h << "<h1>Management strategy evaluation: " << esc(run.stock) << "</h1>\n<dl class=\"meta\">\n";
    h << "<dt>Stock</dt><dd>" << esc(run.stock) << "</dd>\n";
    if (!run.date.empty()) h << "<dt>Run</dt><dd>" << esc(run.date) << "</dd>\n";
    h << "<dt>Program</dt><dd>" << esc(run.version) << "</dd>\n";
    if (!run.command.empty()) h << "<dt>Command</dt><dd><code>" << esc(run.command) << "</code></dd>\n";
    h << "<dt>Harvest rule</dt><dd>" << (sets.rule > 0 ? "rule " + std::to_string(sets.rule) : "unknown") << "</dd>\n";
    if (!yearly.years.empty()) {
        h << "<dt>Years</dt><dd>" << text_of(yearly.years.front()) << "-" << text_of(yearly.years.back()) << "</dd>\n";
    }
    if (run.blim || !run.risk_method.empty()) {
        h << "<dt>Risk to Blim</dt><dd>";
        if (run.blim) h << "Blim " << people(*run.blim, option_digits);
        if (!run.risk_method.empty()) h << (run.blim ? "; " : "") << esc(run.risk_method);
        h << "; every risk of the page counts by this method</dd>\n";
    }
    h << "<dt>Units</dt><dd>biomass: " << esc(run.biomass_unit.empty() ? "the input's (not given)" : run.biomass_unit)
      << "; numbers: " << esc(run.number_unit.empty() ? "the input's (not given)" : run.number_unit)
      << (run.biomass_unit.empty() || run.number_unit.empty() ? " (--biomass-unit, --number-unit)" : "") << "</dd>\n";
    h << "<dt>Option sets</dt><dd>" << sets.ids.size() << "</dd>\n";
    h << "<dt>Swept options</dt><dd>";
    if (sets.swept.empty()) h << "none (one option set)";
    for (std::size_t k = 0; k < sets.swept.size(); ++k) {
        const auto col = static_cast<std::size_t>(
            std::find(sets.options.begin(), sets.options.end(), sets.swept[k]) - sets.options.begin());
        std::set<double> distinct;
        for (const auto& v : sets.values) distinct.insert(v[col]);
        h << (k ? "; " : "") << "<b>" << esc(sets.swept[k]) << "</b> ";
        std::size_t n = 0;
        for (double v : distinct) {
            if (n++ == 12 && distinct.size() > 14) {
                h << " ... (" << distinct.size() << " values) " << people(*distinct.rbegin(), option_digits);
                break;
            }
            h << (n > 1 ? ", " : "") << people(v, option_digits);
        }
    }
    h << "</dd>\n</dl>\n";
    if (!pr.refpoints_html.empty()) {
        h << "<p><b>Per-recruit reference points</b> (F as the multiplier of the selection pattern; yield and SSB "
             "per recruit):</p>\n<div class=\"tablewrap\" style=\"max-height:none\">" << pr.refpoints_html << "</div>\n";
    }
    for (const auto& n : notes) h << "<p class=\"note\">Not drawn: " << esc(n) << ".</p>\n";

    const std::string window_note = "The statistics window is chosen above the chart.";
    const std::string limit_text = text_of(run.risk_limit) + " %";
    if (tradeoffs) {
        h << "<h2>Trade-offs across option sets</h2>\n<div class=\"controls\">"
          << "<label>Window <select id=\"window-select\"></select></label>"
          << "<label>Risk <select id=\"risk-select\"></select></label>"
          << "<label>Colour by <select id=\"colour-select\"></select></label></div>\n"
          << "<p class=\"note\" id=\"risk-definition\"></p>\n<div class=\"grid\">\n"
          << figure("tradeoff", "Catch against risk",
                    "One point per option set: the median over iterations of the mean catch in the window (" +
                        esc(catch_stat) + ") against the chosen risk of SSB below Blim, coloured by a swept option. "
                        "The dashed line marks the risk limit, " + limit_text + ". Hover for every option and statistic; click a point to "
                        "choose that set below. " + window_note)
          << figure("iav", "TAC change against catch",
                    "One point per option set: the mean relative change of the TAC from year to year (" +
                        esc(iav_stat) + ", %) against the median catch in the window. Stable advice lies low, "
                        "high catch to the right.")
          << "</div>\n";
    } else {
        h << "<div hidden><select id=\"window-select\"></select><select id=\"risk-select\"></select>"
             "<select id=\"colour-select\"></select><p id=\"risk-definition\"></p></div>\n";
    }

    if (tuning.present) {
        h << "<h2>Tuning of " << esc(tuning.option) << "</h2>\n<div class=\"grid\">\n"
          << figure("tune", "Risk against " + tuning.option,
                    "Every value of " + esc(tuning.option) + " that <code>tacsim tune</code> tried (tune.csv), with its "
                    "risk " + esc(tuning.statistic) + " in %, a line per combination of the other swept options. The "
                    "dashed line is the limit, " + text_of(tuning.limit) + " %; the diamond is the answer, the open "
                    "circle the value tried nearest to it beyond the limit (the bracket).")
          << "</div>\n";
    }
    h << "<h2>One option set over the years</h2>\n<div class=\"controls\"><label>Option set "
         "<select id=\"set-select\"></select></label><span id=\"chosen-label\" class=\"note\"></span></div>\n"
         "<div class=\"grid\">\n";
    const std::string bands = "The dark band holds the middle 50 % of the iterations (25-75 %), the light band 80 % "
                              "(10-90 %); the thick line is the median";
    const std::string singles = samples.source.empty() ? "" : ", thin grey lines are single iterations";
    h << figure("ssb", "Spawning stock biomass",
                bands + singles + ". Dashed lines: Blim" + std::string(run.blim ? "" : " (when the run records it)") +
                    " and the rule's biomass trigger of the chosen set.")
      << figure("f", "Fishing mortality",
                bands + singles + ". The dashed line is the rule's Target where the rule's value is an F. The "
                "realised F stays a little off the Target even with every error switched off (0.4006 for a Target "
                "of 0.4 in the bundled example), and the stock settles up to about 0.2 % away from the per-recruit "
                "equilibrium at that F: the fleet takes the TAC, and the year's fishing pattern is rebuilt from the "
                "catch numbers with Pope's approximation (docs/outputs.md, section 8.3).")
      << figure("catch", "Catch and TAC", bands + " of the catch" + singles + "; the dashed red line is the median TAC.")
      << figure("recruitment", "Recruitment", bands + singles + ".")
      << figure("plim", "Probability of SSB below Blim",
                "Share of iterations whose SSB is below Blim in each year, in %; the dashed line marks the risk "
                "limit, " + limit_text + ".");
    if (shapes.present) {
        h << figure("shape", "The harvest rule",
                    "The rule's value against its decision basis (both basis indicators at the value on the axis), "
                    "from 0 to twice the highest trigger, computed by the simulation's own rule code for the chosen "
                    "set's parameters; the triggers are marked. Also in " + std::string(shape_file) + ".");
    }
    h << "</div>\n";

    if (pr.present) {
        h << "<h2>Yield and SSB per recruit</h2>\n<div class=\"grid\">\n"
          << figure("ypr", "Yield per recruit",
                    "Equilibrium yield per recruit against F, a line per recruitment regime; the reference points "
                    "(Fmax, F0.1, F at a share of unfished SSB per recruit) are marked.")
          << figure("spr", "SSB per recruit",
                    "Equilibrium SSB per recruit against F, a line per recruitment regime; the reference points are "
                    "marked.")
          << "</div>\n";
    }

    h << "<h2>Summary statistics of every option set</h2>\n<p class=\"note\">Window: <span id=\"table-window\"></span>. "
         "Click a heading to sort, a row to choose the set above. Statistic names as in summary.csv "
         "(docs/outputs.md).</p>\n<div class=\"tablewrap\"><table id=\"stats-table\"></table></div>\n";

    h << "<script type=\"application/json\" id=\"tacsim-data\">" << script_safe(with_units(d.dump(), run, true)) << "</script>\n";
    for (std::size_t i = 0; i < perset.size(); ++i) {
        h << "<script type=\"application/octet-stream\" id=\"tacsim-set-" << i << "\">" << perset[i] << "</script>\n";
    }
    h
      << "<script>" << script_safe(asset_page_js()) << "</script>\n</body>\n</html>\n";

    result.file = dir / report_file;
    std::string why;
    if (!write_whole(result.file.string(), h.str(), &why)) {
        throw ReportError("Cannot write " + result.file.string() + ": " + why);
    }
    return result;
}

}  // namespace tacsim::report
