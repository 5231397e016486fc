// The frame of the report's page: the head with the plotting libraries, the
// title, the header of facts, the notes of what is not drawn, the sections
// of the views in their order, and the data the page carries for its script.
#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>

#include "report/assets.hpp"
#include "report/page.hpp"

namespace tacsim::report {

namespace {

void head(std::ostream& h, const Page& p, const std::string& version) {
    std::string title = p.run.stock;
    if (p.several) {
        title.clear();
        for (const auto& t : p.runs) title += (title.empty() ? "" : ", ") + t.label;
    }
    h << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      << "<meta name=\"generator\" content=\"" << esc(version) << "\">\n"
      << "<title>tacsim report: " << esc(title) << "</title>\n<style>\n" << asset_page_css() << "</style>\n"
      << "<script>" << script_safe(asset_vega_js()) << "</script>\n"
      << "<script>" << script_safe(asset_vega_lite_js()) << "</script>\n"
      << "<script>" << script_safe(asset_vega_embed_js()) << "</script>\n</head>\n<body>\n";
}

// The facts of a page of one run.
void run_facts(std::ostream& h, const RunFacts& run, const RunTables& one) {
    h << "<dt>Stock</dt><dd>" << esc(run.stock) << "</dd>\n";
    if (!run.date.empty()) h << "<dt>Run</dt><dd>" << esc(run.date) << "</dd>\n";
    h << "<dt>Program</dt><dd>" << esc(run.version) << "</dd>\n";
    if (!run.command.empty()) h << "<dt>Command</dt><dd><code>" << esc(run.command) << "</code></dd>\n";
    if (!run.random.empty()) h << "<dt>Random numbers</dt><dd>" << esc(run.random) << "</dd>\n";
    h << "<dt>Harvest rule</dt><dd>" << (one.sets.rule > 0 ? "rule " + std::to_string(one.sets.rule) : "unknown") << "</dd>\n";
    if (!one.yearly.years.empty()) {
        h << "<dt>Years</dt><dd>" << text_of(one.yearly.years.front()) << "-" << text_of(one.yearly.years.back()) << "</dd>\n";
    }
    if (run.blim || !run.risk_method.empty()) {
        h << "<dt>Risk to Blim</dt><dd>";
        if (run.blim) h << "Blim " << people(*run.blim, option_digits);
        if (!run.risk_method.empty()) h << (run.blim ? "; " : "") << esc(run.risk_method);
        h << "; every risk of the page counts by this method</dd>\n";
    }
}

// The units, the number of option sets and the values of every swept option.
void sweep_facts(std::ostream& h, const Page& p) {
    const RunFacts& run = p.run;
    h << "<dt>Units</dt><dd>biomass: " << esc(run.biomass_unit.empty() ? "the input's (not given)" : run.biomass_unit)
      << "; numbers: " << esc(run.number_unit.empty() ? "the input's (not given)" : run.number_unit)
      << (run.biomass_unit.empty() || run.number_unit.empty() ? " (--biomass-unit, --number-unit)" : "") << "</dd>\n";
    h << "<dt>Option sets</dt><dd>" << p.values.size() << (p.several ? " in " + std::to_string(p.runs.size()) + " runs" : "")
      << "</dd>\n";
    h << "<dt>Swept options</dt><dd>";
    if (p.swept.empty()) h << "none (one option set)";
    for (std::size_t k = 0; k < p.swept.size(); ++k) {
        const auto col = static_cast<std::size_t>(std::find(p.options.begin(), p.options.end(), p.swept[k]) - p.options.begin());
        std::set<double> distinct;
        for (const auto& v : p.values) {
            if (!std::isnan(v[col])) distinct.insert(v[col]);
        }
        h << (k ? "; " : "") << "<b>" << esc(p.swept[k]) << "</b> ";
        if (p.several && std::any_of(p.values.begin(), p.values.end(), [&](const auto& v) { return std::isnan(v[col]); })) {
            h << "(not in every run) ";
        }
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
}

// The title, the answer at the top, the facts of the run or the runs, and
// what the page does not draw.
void header(std::ostream& h, const Page& p, std::vector<std::string>& notes) {
    const std::string answer = answer_section(p);
    if (p.several) {
        h << "<h1>Management strategy evaluation: " << p.runs.size() << " runs compared</h1>\n" << answer << "<dl class=\"meta\">\n"
          << runs_header(p.runs, p.run);
    } else {
        h << "<h1>Management strategy evaluation: " << esc(p.run.stock) << "</h1>\n" << answer << "<dl class=\"meta\">\n";
        run_facts(h, p.run, p.one);
    }
    sweep_facts(h, p);
    refpoints_section(h, p);
    for (const auto& n : notes) h << "<p class=\"note\">Not drawn: " << esc(n) << ".</p>\n";
    if (!p.limit_note.empty()) {
        h << "<p class=\"note\">Note: " << esc(p.limit_note) << ".</p>\n";
        notes.push_back(p.limit_note);
    }
}

// The data of the page, each set's series in an element of its own, and the
// page's script.
void data_scripts(std::ostream& h, const Json& d, const RunFacts& run, const std::vector<std::string>& perset) {
    h << "<script type=\"application/json\" id=\"tacsim-data\">" << script_safe(with_units(d.dump(), run, true)) << "</script>\n";
    for (std::size_t i = 0; i < perset.size(); ++i) {
        h << "<script type=\"application/octet-stream\" id=\"tacsim-set-" << i << "\">" << perset[i] << "</script>\n";
    }
    h << "<script>" << script_safe(asset_page_js()) << "</script>\n</body>\n</html>\n";
}

}  // namespace

std::string figure(const std::string& id, const std::string& title, const std::string& caption) {
    return "<figure><div class=\"chart\" id=\"chart-" + id + "\" role=\"img\" aria-label=\"" + esc(title) +
           "\"></div><figcaption><b>" + esc(title) + ".</b> " + caption + "</figcaption></figure>\n";
}

// The page of one run (drawn as ever) or of several runs side by side.
std::string page_text(const std::vector<RunTables>& runs, const std::string& version, std::vector<std::string>& notes) {
    const Page p = merged_page(runs, version);
    // ---- the data of the page and every view's chart description
    Json d;
    put_sets(d, p);
    put_statistics(d, p);
    const std::vector<std::string> perset = put_series(d, p);
    Json specs, per_set_charts, static_charts = Json::array();
    series_specs(specs, per_set_charts, p);
    perrecruit_specs(specs, static_charts, p);
    tuning_specs(specs, static_charts, p);
    side_specs(specs, d, p);
    const bool tradeoffs = tradeoff_specs(specs, p, notes);
    format_tooltips(specs);
    d["specs"] = std::move(specs);
    d["perSetCharts"] = std::move(per_set_charts);
    d["staticCharts"] = std::move(static_charts);
    d["tradeoffs"] = tradeoffs;

    // ---- the page: the frame around the sections of the views
    std::ostringstream h;
    head(h, p, version);
    header(h, p, notes);
    tradeoff_section(h, p, tradeoffs);
    side_section(h, p);
    tuning_section(h, p);
    series_section(h, p);
    perrecruit_section(h, p);
    table_section(h);
    data_scripts(h, d, p.run, perset);
    return h.str();
}

}  // namespace tacsim::report
