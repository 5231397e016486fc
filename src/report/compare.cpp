// What a page of several runs adds to the page of one: the option sets of
// every run merged, one run after the other; the header with a row per run;
// one set of every run side by side; the runs' names.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "report/numbers.hpp"
#include "report/page.hpp"

namespace tacsim::report {

namespace {

// Adds to `to` the names of `from` it lacks, in their order.
void add(std::vector<std::string>& to, const std::vector<std::string>& from) {
    for (const auto& x : from) {
        if (std::find(to.begin(), to.end(), x) == to.end()) to.push_back(x);
    }
}

}  // namespace

Page merged_page(const std::vector<RunTables>& runs, const std::string& version) {
    Page p(runs);
    p.several = runs.size() > 1;
    const RunTables& one = runs.front();
    p.run = one.run;
    for (const auto& t : runs) {
        if (t.run.biomass_unit != p.run.biomass_unit) p.run.biomass_unit.clear();
        if (t.run.number_unit != p.run.number_unit) p.run.number_unit.clear();
        if (t.run.vtype != p.run.vtype) p.run.vtype = 0;
        if (t.run.risk_limit != one.run.risk_limit) {
            p.limit_note = "the runs record different risk limits; the line is drawn at the first run's, " +
                           text_of(one.run.risk_limit) + " % (--risk-limit draws another)";
        }
    }
    if (p.several) p.run.version = version;
    for (const auto& t : runs) {
        add(p.options, t.sets.options);
        add(p.stat_names, t.summary.names);
        add(p.risks, t.risks);
        p.nwindows = std::max(p.nwindows, t.summary.windows.size());
        p.any_shape = p.any_shape || t.shapes.present;
    }
    for (const auto& t : runs) {
        for (std::size_t i = 0; i < t.sets.ids.size(); ++i) {
            std::vector<double> v;
            for (const auto& o : p.options) {
                const auto at = std::find(t.sets.options.begin(), t.sets.options.end(), o);
                v.push_back(at == t.sets.options.end() ? NAN : t.sets.values[i][static_cast<std::size_t>(at - t.sets.options.begin())]);
            }
            p.values.push_back(std::move(v));
        }
    }
    p.swept = swept_of(p.options, p.values);
    for (std::size_t k = 0; k < p.options.size(); ++k) {
        std::vector<double> col;
        for (const auto& v : p.values) col.push_back(v[k]);
        p.option_decimals.push_back(option_decimals(col));
    }
    return p;
}

void put_sets(Json& d, const Page& p) {
    Json ids = Json::array(), set_run = Json::array(), run_list = Json::array();
    for (std::size_t r = 0; r < p.runs.size(); ++r) {
        const auto& t = p.runs[r];
        for (std::size_t i = 0; i < t.sets.ids.size(); ++i) {
            ids.push_back(t.sets.ids[i]);
            set_run.push_back(r);
        }
        Json years = Json::array();
        for (double y : t.yearly.years) years.push_back(num(y));
        run_list.push_back({{"label", t.label}, {"years", std::move(years)}, {"iterations", t.samples.iterations}});
        if (t.tuning.present) {
            Json tuned = Json::array();
            for (double a : t.tuning.answers) tuned.push_back(num(a));
            run_list.back()["tunedOption"] = t.tuning.option;
            run_list.back()["tuned"] = std::move(tuned);
        }
    }
    d["options"] = p.options;
    d["swept"] = p.swept;
    Json colour_options = Json::array();
    if (p.several) colour_options.push_back("run");
    for (const auto& o : p.swept) colour_options.push_back(o);
    d["colourOptions"] = std::move(colour_options);
    d["sets"] = std::move(ids);
    d["setRun"] = std::move(set_run);
    d["runs"] = std::move(run_list);
    Json value_rows = Json::array();
    for (const auto& v : p.values) {
        Json row = Json::array();
        for (double x : v) row.push_back(num(x));
        value_rows.push_back(std::move(row));
    }
    d["values"] = std::move(value_rows);
    d["optionDecimals"] = p.option_decimals;
    // The windows by their place in summary.csv (first five years, the
    // summary years, all years), each named by the years of every run.
    d["windows"] = Json::array();
    for (std::size_t w = 0; w < p.nwindows; ++w) {
        std::vector<std::string> labels;
        const Window* first = nullptr;
        for (const auto& t : p.runs) {
            if (w >= t.summary.windows.size()) continue;
            if (!first) first = &t.summary.windows[w];
            add(labels, {t.summary.windows[w].label});
        }
        std::string label;
        for (const auto& l : labels) label += (label.empty() ? "" : " / ") + l;
        d["windows"].push_back({{"label", label}, {"first", first->first}, {"last", first->last}});
    }
}

std::string runs_header(const std::vector<RunTables>& runs, const RunFacts& page) {
    std::ostringstream h;
    // Runs of one stock share the inputs but the management options.
    std::vector<std::string> keys;
    std::vector<std::vector<std::size_t>> of_key;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const auto at = std::find(keys.begin(), keys.end(), runs[r].run.stock_key);
        if (at == keys.end()) {
            keys.push_back(runs[r].run.stock_key);
            of_key.push_back({r});
        } else {
            of_key[static_cast<std::size_t>(at - keys.begin())].push_back(r);
        }
    }
    // How the stocks were told apart: by the recorded inputs, or by name.
    std::string by;
    for (const auto& t : runs) {
        if (t.run.stock_files.empty()) by = "the names of their input folders (a run without run.json's record of its inputs)";
    }
    if (by.empty()) by = "their stock inputs (" + runs[0].run.stock_files + ", as run.json records them)";
    if (keys.size() == 1) {
        h << "<dt>Stock</dt><dd>one stock: the runs share " << esc(by) << "</dd>\n";
    } else {
        h << "<dt>Stocks</dt><dd class=\"warn\"><b>The runs are of " << keys.size() << " different stocks</b>, by "
          << esc(by) << ": ";
        for (std::size_t k = 0; k < keys.size(); ++k) {
            h << (k ? "; " : "");
            for (std::size_t n = 0; n < of_key[k].size(); ++n) h << (n ? ", " : "") << esc(runs[of_key[k][n]].label);
        }
        h << ". Their catches and risks are of different stocks.</dd>\n";
    }
    h << "<dt>Program</dt><dd>" << esc(page.version) << " (this page)</dd>\n";
    h << "<dt>Runs</dt><dd><div class=\"tablewrap\" style=\"max-height:none\"><table class=\"runs\"><thead><tr>"
         "<th>Run</th><th>Folder</th><th>Input folder</th><th>Harvest rule</th><th>Years</th><th>Option sets</th>"
         "<th>Swept options</th><th>Risk to Blim</th><th>Date</th></tr></thead><tbody>\n";
    for (const auto& t : runs) {
        h << "<tr><td>" << esc(t.label) << "</td><td>" << esc(t.dir.string()) << "</td><td>" << esc(t.run.stock)
          << "</td><td>" << (t.sets.rule > 0 ? "rule " + std::to_string(t.sets.rule) : "unknown") << "</td><td>";
        if (!t.yearly.years.empty()) h << text_of(t.yearly.years.front()) << "-" << text_of(t.yearly.years.back());
        h << "</td><td>" << t.sets.ids.size() << "</td><td>";
        for (std::size_t k = 0; k < t.sets.swept.size(); ++k) h << (k ? ", " : "") << esc(t.sets.swept[k]);
        h << "</td><td>";
        if (t.run.blim) h << "Blim " << people(*t.run.blim, option_digits);
        if (!t.run.risk_method.empty()) h << (t.run.blim ? "; " : "") << esc(t.run.risk_method);
        h << "</td><td>" << esc(t.run.date) << "</td></tr>\n";
        if (!t.run.command.empty()) {
            h << "<tr class=\"command\"><td></td><td colspan=\"8\"><code>" << esc(t.run.command) << "</code></td></tr>\n";
        }
    }
    h << "</tbody></table></div></dd>\n";
    return h.str();
}

void side_specs(Json& specs, Json& d, const Page& p) {
    Json side_charts = Json::array();
    if (p.several) {
        // Small enough that the row of charts fits a printed A4 page.
        const int width = std::clamp(620 / static_cast<int>(p.runs.size()) - 45, 120, 300);
        specs["side-ssb"] = side_fan_spec("SSB (input biomass unit)", width);
        specs["side-catch"] = side_fan_spec("Catch (input biomass unit)", width);
        specs["side-f"] = side_fan_spec("F (per year)", width);
        side_charts = Json::array({"side-ssb", "side-catch", "side-f"});
    }
    d["sideCharts"] = std::move(side_charts);
}

void side_section(std::ostream& h, const Page& p) {
    if (!p.several) return;
    h << "<h2>The runs side by side</h2>\n<p class=\"note\">For each run its best set (the highest median catch "
         "among the sets that meet the risk limit in the window and risk chosen above; the set with the lowest risk "
         "where none meets it), on shared axes: the bands hold 80 % and 50 % of the iterations, the line is the "
         "median.</p>\n<div class=\"sidebyside\">\n"
      << figure("side-ssb", "SSB of each run's best set", "Spawning stock biomass.")
      << figure("side-catch", "Catch of each run's best set", "Catch.")
      << figure("side-f", "F of each run's best set", "Fishing mortality.") << "</div>\n";
}

void name_runs(std::vector<RunTables>& runs) {
    std::vector<std::string> names;
    for (const auto& t : runs) {
        const fs::path folder = fs::absolute(t.dir).lexically_normal();
        names.push_back(t.label.empty() ? (folder.has_filename() ? folder : folder.parent_path()).filename().string() : t.label);
    }
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (!runs[r].label.empty()) continue;
        const bool shared = std::count(names.begin(), names.end(), names[r]) > 1;
        runs[r].label = shared ? runs[r].dir.string() : names[r];
    }
}

}  // namespace tacsim::report
