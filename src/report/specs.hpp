// Vega-Lite specifications of the report's charts. Per-set charts take their
// rows from named data sets ("fan", "iters", "extra", "refs", "prob",
// "shape") that the page fills for the chosen option set; the trade-off
// charts from "sets", with the tokens {risk}, {colour} and {window} in their
// titles replaced by the page's current choices.
#pragma once

#include <string>

#include <nlohmann/json.hpp>
#include <string_view>

namespace tacsim::report {

using Json = nlohmann::ordered_json;

// Width of a chart's plotting area in pixels: two charts with their axes
// and legends side by side on a page 1280 pixels wide, one on a narrower
// screen and on a printed A4 page. The trade-offs leave room for a legend.
inline constexpr int chart_width = 520;
inline constexpr int wide_chart_width = 450;
inline constexpr int chart_height = 210;

// Fan chart: bands 10-90 % and 25-75 %, median, single iterations, dashed
// reference lines; with `extra_label` also a line from "extra" (the TAC).
Json fan_spec(const std::string& y_title, const std::string& extra_label);
// The fans of one set of every run side by side on shared axes (data set
// "fan": title, order, run, year, p10 ... p90), one small chart of
// `width` pixels per run.
Json side_fan_spec(const std::string& y_title, int width);
// Yearly probability of SSB below Blim (%), with a line at the risk limit (%).
Json probability_spec(double risk_limit);
// Rule value against the decision basis, triggers as vertical rules;
// `series`: more than one series (cases of the recruitment indicator), named
// in a legend.
Json shape_spec(const std::string& value_title, bool series);
// Every number of the charts' tooltips (not years, iterations and names)
// with four significant digits, as people read them.
void format_tooltips(Json& spec);
// Median catch against risk, coloured by an option, with a line at the risk
// limit (%); `by_run`: the points' shape by the field "run" (several runs).
// With `errors`, each set's 95 % intervals (plus or minus 1.96 standard
// errors, from the fields "<statistic>_se") as whiskers in both directions.
Json tradeoff_spec(const std::string& catch_stat, const Json& tooltip_fields, double risk_limit, bool by_run = false,
                   bool errors = false);
// A tuning (data set "tune": label, value, risk, answer, bracket): the risk
// against the tuned option at every value tried, a line per combination,
// the answer and its bracket marked, a line at the limit.
// `risk_title` names the risk for people; `decimals`: of the tuned option.
Json tune_spec(const std::string& option, const std::string& risk_title, Json rows, double limit, int decimals);
// Mean TAC change against median catch; `by_run` as for tradeoff_spec.
Json iav_spec(const std::string& catch_stat, const std::string& iav_stat, const Json& tooltip_fields, bool by_run = false);
// A per-recruit curve against F, a line per regime (data set "curve":
// regime, f, value), the reference points by shape (data set "points":
// regime, point, f, value).
Json perrecruit_spec(const std::string& y_title, Json rows, Json points);

// Text placed inside a <script> element, made unable to end it early.
std::string script_safe(std::string_view s);

// Text placed in HTML, as an element's text or an attribute's value.
std::string esc(std::string_view s);

}  // namespace tacsim::report
