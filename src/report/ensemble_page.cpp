#include "report/ensemble_page.hpp"

#include <algorithm>
#include <map>
#include <sstream>

#include "records/durable.hpp"
#include "report/assets.hpp"
#include "report/specs.hpp"
#include "report/table.hpp"
#include "results/tables.hpp"

namespace fs = std::filesystem;

namespace tacsim::report {

namespace {

// A table value as the page carries it: the double of its text (null when
// empty), so that the page shows exactly what the table holds.
Json cell(const Table& t, std::size_t row, int col) {
    const auto v = t.number(row, col);
    return v ? Json(*v) : Json(nullptr);
}


// Rows of the widest window (all years) of a table with first_year and
// last_year: (row index) by the value of `key`.
std::vector<std::size_t> widest_window(const Table& t) {
    // The same names in both tables.
    static_assert(std::string_view(name_in(kEnsembleColumns, "first_year")) == name_in(kByModelColumns, "first_year"));
    static_assert(std::string_view(name_in(kEnsembleColumns, "last_year")) == name_in(kByModelColumns, "last_year"));
    const int f = t.need(name_in(kEnsembleColumns, "first_year")), l = t.need(name_in(kEnsembleColumns, "last_year"));
    double span = -1.0;
    for (std::size_t r = 0; r < t.rows.size(); ++r) span = std::max(span, t.value(r, l) - t.value(r, f));
    std::vector<std::size_t> rows;
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        if (t.value(r, l) - t.value(r, f) == span) rows.push_back(r);
    }
    return rows;
}

// The script of the page: the charts from the data, the set chooser.
constexpr const char* kScript = R"JS(
(function () {
  const d = JSON.parse(document.getElementById('tacsim-ensemble').textContent);
  window.tacsimViews = {};
  const embed = (id, spec) => vegaEmbed('#' + id, spec, { actions: false, renderer: 'svg' })
    .then((r) => { window.tacsimViews[id] = r.view; return r; });
  const tradeoff = {
    $schema: 'https://vega.github.io/schema/vega-lite/v5.json', width: 520, height: 300,
    layer: [
      { data: { values: d.pooled }, mark: { type: 'point', filled: true, size: 70 },
        encoding: {
          x: { field: 'risk3', type: 'quantitative', title: 'pooled risk3, all years (%)' },
          y: { field: 'C50', type: 'quantitative', title: 'pooled median catch, all years', scale: { zero: false } },
          color: { field: 'meets', type: 'nominal', title: 'meets the limit', scale: { domain: [true, false], range: ['#1b7837', '#b2182b'] } },
          tooltip: [{ field: 'set' }, { field: 'risk3' }, { field: 'C50' }] } },
      { data: { values: [{ limit: d.limit }] }, mark: { type: 'rule', strokeDash: [4, 3] },
        encoding: { x: { field: 'limit', type: 'quantitative' } } }] };
  const fan = (quantity, title, set) => ({
    $schema: 'https://vega.github.io/schema/vega-lite/v5.json',
    data: { values: d.fans.filter((r) => r.quantity === quantity && r.set === set) },
    facet: { column: { field: 'model', type: 'nominal', sort: d.models.map((m) => m.name), title: null } },
    spec: { width: Math.max(120, Math.floor(1100 / d.models.length) - 40), height: 160, layer: [
      { mark: { type: 'area', opacity: 0.25 }, encoding: { x: { field: 'year', type: 'quantitative', scale: { zero: false }, axis: { format: 'd' } }, y: { field: 'p05', type: 'quantitative', title }, y2: { field: 'p95' } } },
      { mark: { type: 'area', opacity: 0.4 }, encoding: { x: { field: 'year', type: 'quantitative' }, y: { field: 'p25', type: 'quantitative' }, y2: { field: 'p75' } } },
      { mark: 'line', encoding: { x: { field: 'year', type: 'quantitative' }, y: { field: 'p50', type: 'quantitative' } } }] } });
  const drawFans = (set) => Promise.all([embed('ens-ssb', fan('ssb', 'SSB', set)), embed('ens-catch', fan('catch', 'catch', set))])
    .then(() => { window.tacsimShownSet = set; });
  const chooser = document.getElementById('ens-set');
  chooser.addEventListener('change', () => { window.tacsimReady = false; drawFans(Number(chooser.value)).then(() => { window.tacsimReady = true; }); });
  Promise.all([embed('ens-tradeoff', tradeoff), drawFans(Number(chooser.value))])
    .then(() => { window.tacsimReady = true; })
    .catch((e) => { console.error(e); });
})();
)JS";

constexpr const char* kStyle = R"CSS(
body { font-family: system-ui, sans-serif; margin: 1.5em; max-width: 1240px; color: #222; }
table.matrix { border-collapse: collapse; margin: 0.5em 0 1.5em; font-size: 0.9em; }
table.matrix th, table.matrix td { border: 1px solid #ccc; padding: 0.25em 0.5em; text-align: right; }
table.matrix td.over { background: #f4c7c3; }
.answer { font-size: 1.15em; padding: 0.6em 0.9em; background: #eef5ea; border-left: 4px solid #1b7837; }
.answer.none { background: #fbeaea; border-left-color: #b2182b; }
)CSS";

}  // namespace

void write_ensemble_page(const fs::path& out, const std::vector<EnsembleMember>& models, double limit,
                         const std::string& version) {
    Json d;
    d["limit"] = limit;
    d["models"] = Json::array();
    for (const auto& m : models) d["models"].push_back({{"name", m.name}, {"reference", m.reference}});

    // Pooled trade-off of every set.
    const Table pooled = read_table(out / kEnsembleCsv);
    std::map<long long, Json> by_set;
    {
        const int set = pooled.need(name_in(kEnsembleColumns, "set"));
        const int stat = pooled.need(name_in(kEnsembleColumns, "statistic"));
        const int value = pooled.need(name_in(kEnsembleColumns, "value"));
        for (std::size_t r : widest_window(pooled)) {
            const std::string s = pooled.rows[r][static_cast<std::size_t>(stat)];
            if (s != "risk3" && s != "C50") continue;
            Json& p = by_set[static_cast<long long>(pooled.value(r, set))];
            p["set"] = static_cast<long long>(pooled.value(r, set));
            p[s] = cell(pooled, r, value);
        }
    }
    d["pooled"] = Json::array();
    long long best = 0;
    double best_catch = 0.0;
    for (auto& [k, p] : by_set) {
        const bool meets = p["risk3"].is_number() && p["risk3"].get<double>() <= limit;
        p["meets"] = meets;
        if (meets && p["C50"].is_number() && (best == 0 || p["C50"].get<double>() > best_catch)) {
            best = k;
            best_catch = p["C50"].get<double>();
        }
        d["pooled"].push_back(p);
    }

    // The matrix: every model's risk3 and C50 per set.
    const Table each = read_table(out / kByModelCsv);
    std::map<std::string, std::map<long long, std::pair<Json, Json>>> cells;
    {
        const int model = each.need(name_in(kByModelColumns, "model")), set = each.need(name_in(kByModelColumns, "set"));
        const int stat = each.need(name_in(kByModelColumns, "statistic"));
        const int value = each.need(name_in(kByModelColumns, "value"));
        // Each model's widest window: its own all years.
        for (std::size_t r : widest_window(each)) {
            const std::string s = each.rows[r][static_cast<std::size_t>(stat)];
            auto& c = cells[each.rows[r][static_cast<std::size_t>(model)]][static_cast<long long>(each.value(r, set))];
            if (s == "risk3") c.first = cell(each, r, value);
            if (s == "C50") c.second = cell(each, r, value);
        }
    }
    // Robustness models meeting the limit, per set: (meeting, models).
    std::map<long long, std::pair<long long, long long>> holds;
    for (const auto& m : models) {
        if (m.reference) continue;
        for (const auto& [k, c] : cells[m.name]) {
            auto& h = holds[k];
            ++h.second;
            if (c.first.is_number() && c.first.get<double>() <= limit) ++h.first;
        }
    }
    d["cells"] = Json::array();
    for (const auto& m : models) {
        for (const auto& [k, c] : cells[m.name]) {
            d["cells"].push_back({{"model", m.name}, {"set", k}, {"risk3", c.first}, {"C50", c.second},
                                  {"reference", m.reference}});
        }
    }

    // Fans of SSB and catch of every model.
    d["fans"] = Json::array();
    for (const auto& m : models) {
        const Table y = read_table_lines(out / m.name / kYearlyCsv, [](std::string_view line) {
            return line.find(",ssb,") != std::string_view::npos || line.find(",catch,") != std::string_view::npos;
        });
        const int set = y.need(name_in(kYearlyColumns, "set")), year = y.need(name_in(kYearlyColumns, "year"));
        const int q = y.need(name_in(kYearlyColumns, "quantity"));
        const int p05 = y.need(name_in(kYearlyColumns, "p05")), p25 = y.need(name_in(kYearlyColumns, "p25")),
                  p50 = y.need(name_in(kYearlyColumns, "p50")), p75 = y.need(name_in(kYearlyColumns, "p75")),
                  p95 = y.need(name_in(kYearlyColumns, "p95"));
        for (std::size_t r = 0; r < y.rows.size(); ++r) {
            d["fans"].push_back({{"model", m.name}, {"set", static_cast<long long>(y.value(r, set))},
                                 {"quantity", y.rows[r][static_cast<std::size_t>(q)]}, {"year", y.value(r, year)},
                                 {"p05", cell(y, r, p05)}, {"p25", cell(y, r, p25)}, {"p50", cell(y, r, p50)},
                                 {"p75", cell(y, r, p75)}, {"p95", cell(y, r, p95)}});
        }
    }

    std::ostringstream h;
    h << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>tacsim ensemble</title>\n<style>"
      << kStyle << "</style>\n<script>" << script_safe(asset_vega_js()) << "</script>\n<script>"
      << script_safe(asset_vega_lite_js()) << "</script>\n<script>" << script_safe(asset_vega_embed_js())
      << "</script>\n</head>\n<body>\n<h1>Ensemble of " << models.size() << " operating models</h1>\n";
    h << "<p class=\"answer" << (best == 0 ? " none" : "") << "\" id=\"ens-answer\">";
    if (best == 0) {
        h << "No option set meets the risk limit of " << limit << " % (risk3, all years) pooled over the reference models.";
    } else {
        h << "Best option set meeting the risk limit of " << limit << " % pooled: <b>set " << best
          << "</b>, pooled median catch " << best_catch << ".";
        if (holds.count(best) != 0) {
            h << " It meets the limit in <b>" << holds[best].first << " of " << holds[best].second
              << "</b> robustness models.";
        }
    }
    h << "</p>\n<h2>Pooled trade-offs of the reference set</h2>\n<div id=\"ens-tradeoff\" class=\"chart\"></div>\n";
    for (const bool reference : {true, false}) {
        std::vector<const EnsembleMember*> group;
        for (const auto& m : models)
            if (m.reference == reference) group.push_back(&m);
        if (group.empty()) continue;
        h << "<h2>" << (reference ? "Reference" : "Robustness") << " models: risk3 (%) / median catch, all years</h2>\n"
          << "<table class=\"matrix\" id=\"ens-matrix-" << (reference ? "reference" : "robustness") << "\"><tr><th>set</th>";
        for (const auto* m : group) h << "<th>" << esc(m->name) << "</th>";
        h << "</tr>\n";
        for (const auto& [k, p] : by_set) {
            h << "<tr><th>" << k << "</th>";
            for (const auto* m : group) {
                const auto it = cells[m->name].find(k);
                if (it == cells[m->name].end()) {
                    h << "<td></td>";
                    continue;
                }
                const auto& [risk, c50] = it->second;
                const bool over = risk.is_number() && risk.get<double>() > limit;
                h << "<td" << (over ? " class=\"over\"" : "") << " data-model=\"" << esc(m->name) << "\" data-set=\""
                  << k << "\">" << risk.dump() << " / " << c50.dump() << "</td>";
            }
            h << "</tr>\n";
        }
        h << "</table>\n";
    }
    h << "<h2>SSB and catch of every model</h2>\n<p>Option set <select id=\"ens-set\">";
    for (const auto& [k, p] : by_set) h << "<option value=\"" << k << "\"" << (k == best ? " selected" : "") << ">" << k << "</option>";
    h << "</select>: median, 25-75 % and 5-95 % of the iterations by year, shared axes.</p>\n"
      << "<div id=\"ens-ssb\" class=\"chart\"></div>\n<div id=\"ens-catch\" class=\"chart\"></div>\n"
      << "<p><small>" << esc(version) << "</small></p>\n"
      << "<script type=\"application/json\" id=\"tacsim-ensemble\">" << script_safe(d.dump()) << "</script>\n"
      << "<script>" << kScript << "</script>\n</body>\n</html>\n";
    std::string why;
    if (!write_whole((out / "report.html").string(), h.str(), &why)) {
        throw ReportError("Cannot write " + (out / "report.html").string() + ": " + why);
    }
}

std::vector<EnsembleMember> ensemble_members(const fs::path& out) {
    const Table t = read_table(out / kByModelCsv);
    const int model = t.need(name_in(kByModelColumns, "model")), set = t.need(name_in(kByModelColumns, "model_set"));
    std::vector<EnsembleMember> members;
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        const std::string& name = t.rows[r][static_cast<std::size_t>(model)];
        if (std::none_of(members.begin(), members.end(), [&](const EnsembleMember& m) { return m.name == name; })) {
            members.push_back({name, t.rows[r][static_cast<std::size_t>(set)] == "reference"});
        }
    }
    return members;
}

}  // namespace tacsim::report
