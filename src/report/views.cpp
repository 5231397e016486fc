// The views of the data on the report's page: for every chart and table its
// data, its chart description and its section, grouped by what it draws (the
// statistics table, the trade-offs, one option set over the years, the
// per-recruit curves, the tuning, the answer at the top).
#include <algorithm>
#include <sstream>

#include "report/numbers.hpp"
#include "report/page.hpp"

namespace tacsim::report {

namespace {

// The series of set `i` of a run, as the page carries them: deflated, in
// base64; `shape_offset` is the position of the run's first rule shape in
// the page's list.
std::string perset_payload(const RunTables& t, std::size_t i, int shape_offset) {
    Json p;
    Json q = Json::object();
    for (const auto& [name, cols] : t.yearly.fan[i]) {
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
    for (const auto& x : t.yearly.plim[i]) plim.push_back(num(x));
    p["plim"] = std::move(plim);
    if (!t.samples.v.empty()) {
        Json it = Json::object();
        for (const auto& [name, series] : t.samples.v[i]) {
            Json s = Json::array();
            for (int k : t.samples.iterations) {
                Json a = Json::array();
                for (const auto& x : series[static_cast<std::size_t>(k - 1)]) a.push_back(num(x));
                s.push_back(std::move(a));
            }
            it[name] = std::move(s);
        }
        p["it"] = std::move(it);
    }
    p["shape"] = t.shapes.present ? t.shapes.of_set[i] + shape_offset : -1;
    Json refs = {{"ssb", Json::array()}, {"f", Json::array()}};
    const auto& sets = t.sets;
    if (t.run.blim && *t.run.blim > 0.0) {
        refs["ssb"].push_back({{"label", "Blim"}, {"value", numf(static_cast<float>(*t.run.blim))}});
    }
    if (t.shapes.present && static_cast<std::size_t>(t.trig_col) < sets.options.size()) {
        refs["ssb"].push_back({{"label", "Trigger (" + sets.options[static_cast<std::size_t>(t.trig_col)] + ")"},
                               {"value", num(sets.values[i][static_cast<std::size_t>(t.trig_col)])}});
    }
    if (t.target_col >= 0 && t.run.vtype == 1) {
        refs["f"].push_back({{"label", "Target"}, {"value", num(sets.values[i][static_cast<std::size_t>(t.target_col)])}});
    }
    p["refs"] = std::move(refs);
    return deflate_base64(p.dump());
}

// The window of a run's tuning by its years.
std::string tuned_window(const RunTables& one) {
    if (!one.tuning.present || one.summary.windows.empty()) return "";
    return one.summary.windows[default_window(one.summary, one.tuning.window)].label;
}

// A page of one tuned run draws its tuning.
bool tuned(const Page& p) { return p.one.tuning.present && !p.several; }

}  // namespace

// ------------------------------------------------------------------ the statistics

void put_statistics(Json& d, const Page& p) {
    d["defaultWindow"] = default_window(p.one.summary, p.one.tuning.window);
    d["statNames"] = p.stat_names;
    Json stats = Json::array();
    for (std::size_t w = 0; w < p.nwindows; ++w) {
        Json ws = Json::array();
        for (const auto& t : p.runs) {
            for (std::size_t i = 0; i < t.sets.ids.size(); ++i) {
                Json row = Json::array();
                for (const auto& name : p.stat_names) {
                    const auto at = std::find(t.summary.names.begin(), t.summary.names.end(), name);
                    if (w >= t.summary.v.size() || at == t.summary.names.end()) {
                        row.push_back(nullptr);
                    } else {
                        row.push_back(num(t.summary.v[w][i][static_cast<std::size_t>(at - t.summary.names.begin())]));
                    }
                }
                ws.push_back(std::move(row));
            }
        }
        stats.push_back(std::move(ws));
    }
    // Each statistic with one number of decimals per window, over every set.
    Json stat_decimals = Json::array();
    for (const auto& ws : stats) {
        Json dec = Json::array();
        for (std::size_t k = 0; k < p.stat_names.size(); ++k) {
            std::vector<double> col;
            for (const auto& row : ws) {
                if (row[k].is_number()) col.push_back(row[k].get<double>());
            }
            dec.push_back(column_decimals(col));
        }
        stat_decimals.push_back(std::move(dec));
    }
    d["statDecimals"] = std::move(stat_decimals);
    d["stats"] = std::move(stats);
    // The table's groups of columns: the statistics in their order, each run
    // of one group under one heading.
    d["statGroups"] = Json::array();
    for (const auto& n : p.stat_names) d["statGroups"].push_back(stat_group(n));
    d["riskLimit"] = p.run.risk_limit;
    d["catchUnit"] = "input biomass unit";
    d["riskWords"] = Json::object();
    for (const auto& r : p.risks) d["riskWords"][r] = risk_words(r);
    d["statTitles"] = Json::object();
    d["keys"] = {{"catch", p.one.catch_stat}, {"iav", p.one.iav_stat}};
    d["risks"] = p.risks;
    d["riskDefinitions"] = {
        {"risk1", "risk1: mean over the window's years of the yearly probability of SSB below Blim."},
        {"risk2", "risk2: probability that an iteration's SSB is below Blim in at least one year of the window "
                  "(with an uncertain Blim: the risk of the iteration's lowest SSB there)."},
        {"risk3", "risk3: largest yearly probability of SSB below Blim in the window."},
        {"Risklim", "Risklim: largest yearly probability of SSB below Blim in the window."}};
}

void table_section(std::ostream& h) {
    h << "<h2>Summary statistics of every option set</h2>\n<p class=\"note\">Window: <span id=\"table-window\"></span>. "
         "Click a heading to sort, a row to choose the set above. Statistic names as in summary.csv "
         "(docs/outputs.md); the set and option columns stay in view while the others scroll.</p>\n"
         "<div class=\"tablewrap screen-only\"><table id=\"stats-table\"></table></div>\n"
         "<div class=\"print-only\" id=\"stats-print\"></div>\n";
}

// ------------------------------------------------------------------ the trade-offs

bool tradeoff_specs(Json& specs, const Page& p, std::vector<std::string>& notes) {
    const std::string& catch_stat = p.one.catch_stat;
    if (catch_stat.empty() || p.risks.empty()) {
        notes.push_back("summary.csv lacks the median catch or the risks: no trade-off charts");
        return false;
    }
    Json tooltip = Json::array();
    if (p.several) tooltip.push_back({{"field", "run"}, {"title", "Run"}});
    tooltip.push_back({{"field", "set"}, {"title", "Set"}});
    for (std::size_t k = 0; k < p.options.size(); ++k) {
        tooltip.push_back({{"field", p.options[k]}, {"type", "quantitative"},
                           {"format", "." + std::to_string(p.option_decimals[k].get<int>()) + "f"}});
    }
    for (const auto& n : p.stat_names) tooltip.push_back({{"field", n}, {"type", "quantitative"}});
    const bool errors = std::find(p.stat_names.begin(), p.stat_names.end(), catch_stat + "_se") != p.stat_names.end();
    specs["tradeoff"] = tradeoff_spec(catch_stat, tooltip, p.run.risk_limit, p.several, errors);
    specs["iav"] = iav_spec(catch_stat, p.one.iav_stat, tooltip, p.several);
    return true;
}

void tradeoff_section(std::ostream& h, const Page& p, bool tradeoffs) {
    if (!tradeoffs) {
        h << "<div hidden><select id=\"window-select\"></select><select id=\"risk-select\"></select>"
             "<select id=\"colour-select\"></select><p id=\"risk-definition\"></p></div>\n";
        return;
    }
    const std::string window_note = "The statistics window is chosen above the chart.";
    const std::string limit_text = text_of(p.run.risk_limit) + " %";
    const std::string points = p.several ? "One point per option set of every run, its shape by run" : "One point per option set";
    h << "<h2>Trade-offs across option sets</h2>\n<div class=\"controls\">"
      << "<label>Window <select id=\"window-select\"></select></label>"
      << "<label>Risk <select id=\"risk-select\"></select></label>"
      << "<label>Colour by <select id=\"colour-select\"></select></label></div>\n"
      << "<p class=\"note\" id=\"risk-definition\"></p>\n<div class=\"grid\">\n"
      << figure("tradeoff", "Catch against risk",
                points + ": the median over iterations of the mean catch in the window (" +
                    esc(p.one.catch_stat) + ") against the chosen risk of SSB below Blim, coloured by " +
                    (p.several ? "the run or " : "") + "a swept option. "
                    "The dashed line marks the risk limit, " + limit_text + ". Hover for every option and statistic; click a point to "
                    "choose that set below. " + window_note)
      << figure("iav", "TAC change against catch",
                points + ": the mean relative change of the TAC from year to year (" +
                    esc(p.one.iav_stat) + ", %) against the median catch in the window. Stable advice lies low, "
                    "high catch to the right.")
      << "</div>\n";
}

// ------------------------------------------------------------------ one option set over the years

std::vector<std::string> put_series(Json& d, const Page& p) {
    // Each set's series go into an element of their own, deflated, and are
    // inflated and parsed by the page only when the set is chosen: the page
    // stays small and the first chart does not wait for a thousand sets.
    std::vector<std::string> perset;
    Json shapes = Json::array();
    for (const auto& t : p.runs) {
        const int offset = static_cast<int>(shapes.size());
        for (std::size_t i = 0; i < t.sets.ids.size(); ++i) perset.push_back(perset_payload(t, i, offset));
        for (const auto& s : t.shapes.list) shapes.push_back(s);
    }
    d["shapes"] = std::move(shapes);
    return perset;
}

void series_specs(Json& specs, Json& per_set, const Page& p) {
    specs["ssb"] = fan_spec("SSB (input biomass unit)", "");
    specs["f"] = fan_spec("F (per year, mean over the F ages)", "");
    specs["catch"] = fan_spec("Catch (input biomass unit)", "Median TAC");
    specs["recruitment"] = fan_spec("Recruitment (input number unit)", "");
    specs["plim"] = probability_spec(p.run.risk_limit);
    per_set = Json::array({"ssb", "f", "catch", "recruitment", "plim"});
    if (p.any_shape) {
        bool series = false;  // a rule of two series (by the recruitment indicator) in some run
        for (const auto& t : p.runs) {
            for (const auto& sh : t.shapes.list) series = series || sh["series"].size() > 1;
        }
        specs["shape"] = shape_spec(value_title(p.run.vtype), series);
        per_set.push_back("shape");
    }
}

void series_section(std::ostream& h, const Page& p) {
    h << "<h2>One option set over the years</h2>\n<div class=\"controls\"><label>" << (p.several ? "Run and option set" : "Option set")
      << " <select id=\"set-select\"></select></label><span id=\"chosen-label\" class=\"note\"></span></div>\n"
         "<div class=\"grid\">\n";
    const std::string bands = "The dark band holds the middle 50 % of the iterations (25-75 %), the light band 80 % "
                              "(10-90 %); the thick line is the median";
    const std::string limit_text = text_of(p.run.risk_limit) + " %";
    bool any_samples = false;
    for (const auto& t : p.runs) any_samples = any_samples || !t.samples.source.empty();
    const std::string singles = any_samples ? ", thin grey lines are single iterations" : "";
    bool any_blim = false;
    for (const auto& t : p.runs) any_blim = any_blim || t.run.blim.has_value();
    h << figure("ssb", "Spawning stock biomass",
                bands + singles + ". Dashed lines: Blim" + std::string(any_blim ? "" : " (when the run records it)") +
                    " and the rule's biomass trigger of the chosen set.")
      << figure("f", "Fishing mortality",
                bands + singles + ". The dashed line is the rule's Target where the rule's value is an F. The "
                "realised F stays a little off the Target even with every error switched off: the fleet takes the "
                "TAC, and the year's fishing pattern is rebuilt from the catch numbers with Pope's approximation "
                "(docs/outputs.md, section 8.3).")
      << figure("catch", "Catch and TAC", bands + " of the catch" + singles + "; the dashed red line is the median TAC.")
      << figure("recruitment", "Recruitment", bands + singles + ".")
      << figure("plim", "Probability of SSB below Blim",
                "Share of iterations whose SSB is below Blim in each year, in %; the dashed line marks the risk "
                "limit, " + limit_text + ".");
    if (p.any_shape) {
        h << figure("shape", "The harvest rule",
                    "The rule's value against its decision basis (both basis indicators at the value on the axis), "
                    "from 0 to twice the highest trigger, computed by the simulation's own rule code for the chosen "
                    "set's parameters; the triggers are marked. Also in " + std::string(shape_file) +
                    (p.several ? " (of each run's own report)." : "."));
    }
    h << "</div>\n";
}

// ------------------------------------------------------------------ per recruit

void perrecruit_specs(Json& specs, Json& fixed, const Page& p) {
    const PerRecruit& pr = p.one.pr;
    if (!pr.present) return;
    specs["ypr"] = perrecruit_spec("Yield per recruit (input biomass unit per recruit)", pr.ypr, pr.ypr_points);
    specs["spr"] = perrecruit_spec("SSB per recruit (input biomass unit per recruit)", pr.spr, pr.spr_points);
    fixed.push_back("ypr");
    fixed.push_back("spr");
}

void refpoints_section(std::ostream& h, const Page& p) {
    const PerRecruit& pr = p.one.pr;
    if (pr.refpoints_html.empty()) return;
    h << "<p><b>Per-recruit reference points</b> (F as the multiplier of the selection pattern; yield and SSB "
         "per recruit):</p>\n<div class=\"tablewrap\" style=\"max-height:none\">" << pr.refpoints_html << "</div>\n";
}

void perrecruit_section(std::ostream& h, const Page& p) {
    const PerRecruit& pr = p.one.pr;
    if (!pr.present) return;
    h << "<h2>Yield and SSB per recruit</h2>\n<div class=\"grid\">\n"
      << figure("ypr", "Yield per recruit",
                "Equilibrium yield per recruit against F, a line per recruitment regime; the reference points "
                "(Fmax, F0.1, F at a share of unfished SSB per recruit) are marked, points that lie on each other "
                "one above the other." +
                    std::string(pr.fmax_at_end
                                    ? " Where Fmax is named \"= Fcrash\", the highest equilibrium yield lies at the end "
                                      "of the equilibrium curve, where recruitment fails: Fmax is no maximum of yield "
                                      "per recruit (the reference points above say where it still rises)."
                                    : ""))
      << figure("spr", "SSB per recruit",
                "Equilibrium SSB per recruit against F, a line per recruitment regime; the reference points are "
                "marked.")
      << "</div>\n";
}

// ------------------------------------------------------------------ tuning

void tuning_specs(Json& specs, Json& fixed, const Page& p) {
    if (!tuned(p)) return;
    const Tuning& tuning = p.one.tuning;
    specs["tune"] = tune_spec(tuning.option, "Risk " + tuning.risk + ", " + risk_words(tuning.risk) + ", " + tuned_window(p.one),
                              tuning.rows, tuning.limit, tuning.decimals);
    fixed.push_back("tune");
}

void tuning_section(std::ostream& h, const Page& p) {
    if (!tuned(p)) return;
    const Tuning& tuning = p.one.tuning;
    h << "<h2>Tuning of " << esc(tuning.option) << "</h2>\n<div class=\"grid\">\n"
      << figure("tune", "Risk against " + tuning.option,
                "Every value of " + esc(tuning.option) + " that <code>tacsim tune</code> tried (tune.csv), with its "
                "risk " + esc(tuning.risk) + " (" + esc(risk_words(tuning.risk)) + ") over " + esc(tuned_window(p.one)) +
                " in %" + (tuning.rows.size() && tuning.rows.back()["combination"] != tuning.rows[0]["combination"]
                               ? ", a line per combination of the other swept options" : "") +
                ". The dashed line is the limit, " + text_of(tuning.limit) + " %; the small diamond is the answer, the "
                "wide open circle the value tried nearest to it beyond the limit (the bracket).")
      << "</div>\n";
}

// ------------------------------------------------------------------ the answer at the top

// The sets that meet the risk limit and the best of them (drawn by the page
// for its window and risk), each run's tuned value, the per-recruit
// reference points.
std::string answer_section(const Page& p) {
    std::ostringstream answer;
    answer << "<section class=\"answer\" id=\"answer\"><h2>The answer</h2>\n<ul id=\"answer-lines\"></ul>\n";
    for (const auto& t : p.runs) {
        if (!t.tuning.present) continue;
        answer << "<p class=\"tuned\">" << (p.several ? "<b>" + esc(t.label) + "</b>: " : "") << t.tuning.answer_html;
        if (!t.summary.windows.empty()) answer << ", " << esc(t.summary.windows[default_window(t.summary, t.tuning.window)].label);
        answer << ".</p>\n";
    }
    if (!p.one.pr.answer_html.empty()) {
        answer << "<p class=\"refpoints\"><b>Per-recruit reference points</b> (F-factor): " << p.one.pr.answer_html << ".</p>\n";
    }
    answer << "</section>\n";
    return answer.str();
}

}  // namespace tacsim::report
