#include "report/specs.hpp"

#include <algorithm>
#include <cstdio>

namespace tacsim::report {

namespace {

const char* const schema = "https://vega.github.io/schema/vega-lite/v6.json";
const char* const band = "#4c78a8";
const char* const median = "#1d3557";

// Axis labels keep a gap of a few pixels; labels that would come closer are
// left out (every other one).
Json base(int width = chart_width, int height = chart_height) {
    return Json{{"$schema", schema},
                {"width", width},
                {"height", height},
                {"config", {{"view", {{"stroke", "#ccc"}}}, {"axis", {{"labelSeparation", 6}, {"labelOverlap", true}}}}}};
}

// A dashed line at the risk limit, from the data set "limit" (label, value),
// across the chart along `channel`.
Json limit_layer(const char* channel, const char* colour) {
    return Json{{"data", {{"name", "limit"}}},
                {"mark", {{"type", "rule"}, {"strokeDash", {6, 4}}, {"color", colour}}},
                {"encoding",
                 {{channel, {{"field", "value"}, {"type", "quantitative"}}},
                  {"tooltip", Json::array({Json{{"field", "label"}, {"title", "Line"}}})}}}};
}

Json limit_rows(double limit) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", limit);
    return Json::array({Json{{"label", std::string("Risk limit ") + buf + " %"}, {"value", limit}}});
}

Json year_axis() {
    return Json{{"field", "year"}, {"type", "quantitative"}, {"title", "Year"}, {"axis", {{"format", "d"}}},
                {"scale", {{"nice", false}}}};
}

Json data(const char* name) { return Json{{"name", name}}; }

}  // namespace

Json fan_spec(const std::string& y_title, const std::string& extra_label) {
    Json view = base();
    Json layers = Json::array();
    const auto area = [&](const char* lo, const char* hi, double opacity) {
        return Json{{"data", data("fan")},
                    {"mark", {{"type", "area"}, {"color", band}, {"opacity", opacity}}},
                    {"encoding",
                     {{"x", year_axis()},
                      {"y", {{"field", lo}, {"type", "quantitative"}, {"title", y_title}}},
                      {"y2", {{"field", hi}}}}}};
    };
    layers.push_back(area("p10", "p90", 0.22));
    layers.push_back(area("p25", "p75", 0.4));
    layers.push_back(Json{{"data", data("iters")},
                          {"mark", {{"type", "line"}, {"strokeWidth", 0.8}, {"opacity", 0.75}}},
                          {"encoding",
                           {{"x", year_axis()},
                            {"y", {{"field", "value"}, {"type", "quantitative"}}},
                            {"detail", {{"field", "iteration"}, {"type", "nominal"}}},
                            {"color", {{"value", "#8a8a8a"}}},
                            {"tooltip", Json::array({Json{{"field", "iteration"}, {"title", "Iteration"}},
                                                     Json{{"field", "year"}, {"title", "Year"}},
                                                     Json{{"field", "value"}, {"title", y_title}}})}}}});
    layers.push_back(Json{{"data", data("fan")},
                          {"mark", {{"type", "line"}, {"color", median}, {"strokeWidth", 2}}},
                          {"encoding",
                           {{"x", year_axis()},
                            {"y", {{"field", "p50"}, {"type", "quantitative"}}},
                            {"tooltip", Json::array({Json{{"field", "year"}, {"title", "Year"}},
                                                     Json{{"field", "p10"}, {"title", "10 %"}},
                                                     Json{{"field", "p25"}, {"title", "25 %"}},
                                                     Json{{"field", "p50"}, {"title", "median"}},
                                                     Json{{"field", "p75"}, {"title", "75 %"}},
                                                     Json{{"field", "p90"}, {"title", "90 %"}}})}}}});
    if (!extra_label.empty()) {
        layers.push_back(Json{{"data", data("extra")},
                              {"mark", {{"type", "line"}, {"color", "#e45756"}, {"strokeWidth", 1.5}, {"strokeDash", {4, 2}}}},
                              {"encoding",
                               {{"x", year_axis()},
                                {"y", {{"field", "value"}, {"type", "quantitative"}}},
                                {"tooltip", Json::array({Json{{"field", "year"}, {"title", "Year"}},
                                                         Json{{"field", "value"}, {"title", extra_label}}})}}}});
    }
    layers.push_back(Json{{"data", data("refs")},
                          {"mark", {{"type", "rule"}, {"strokeDash", {6, 4}}, {"strokeWidth", 1.5}}},
                          {"encoding",
                           {{"y", {{"field", "value"}, {"type", "quantitative"}}},
                            {"color",
                             {{"field", "label"},
                              {"type", "nominal"},
                              {"title", nullptr},
                              {"scale", {{"range", {"#d62728", "#ff7f0e", "#2ca02c", "#9467bd"}}}},
                              {"legend", {{"orient", "top"}, {"direction", "horizontal"}}}}},
                            {"tooltip", Json::array({Json{{"field", "label"}}, Json{{"field", "value"}}})}}}});
    view["layer"] = std::move(layers);
    view["resolve"] = {{"scale", {{"color", "independent"}}}};
    return view;
}

void format_tooltips(Json& spec) {
    static const char* const names[] = {"year", "iteration", "label", "regime", "run", "point", "set", "combination", "title"};
    if (spec.is_array()) {
        for (auto& x : spec) format_tooltips(x);
        return;
    }
    if (!spec.is_object()) return;
    for (auto& [key, value] : spec.items()) {
        if (key == "tooltip" && value.is_array()) {
            for (auto& f : value) {
                if (!f.is_object() || !f.contains("field") || f.contains("format")) continue;
                const std::string field = f["field"].get<std::string>();
                if (std::find(std::begin(names), std::end(names), field) != std::end(names)) continue;
                f["type"] = "quantitative";
                f["format"] = ".4r";
            }
        } else if (key != "datasets" && key != "data") {
            format_tooltips(value);
        }
    }
}

Json side_fan_spec(const std::string& y_title, int width) {
    Json inner = Json::object();
    inner["width"] = width;
    inner["height"] = 150;
    const auto area = [&](const char* lo, const char* hi, double opacity) {
        return Json{{"mark", {{"type", "area"}, {"color", band}, {"opacity", opacity}}},
                    {"encoding",
                     {{"x", year_axis()},
                      {"y", {{"field", lo}, {"type", "quantitative"}, {"title", y_title}}},
                      {"y2", {{"field", hi}}}}}};
    };
    inner["layer"] = Json::array(
        {area("p10", "p90", 0.22), area("p25", "p75", 0.4),
         Json{{"mark", {{"type", "line"}, {"color", median}, {"strokeWidth", 2}}},
              {"encoding",
               {{"x", year_axis()},
                {"y", {{"field", "p50"}, {"type", "quantitative"}}},
                {"tooltip", Json::array({Json{{"field", "run"}, {"title", "Run"}}, Json{{"field", "year"}, {"title", "Year"}},
                                         Json{{"field", "p50"}, {"title", "median"}}})}}}}});
    Json view{{"$schema", schema},
              {"data", data("fan")},
              {"facet", {{"column", {{"field", "title"}, {"type", "nominal"}, {"title", nullptr}, {"sort", {{"field", "order"}}},
                                     {"header", {{"labelFontSize", 11}, {"labelLimit", width}}}}}}},
              {"spec", std::move(inner)},
              {"config", {{"view", {{"stroke", "#ccc"}}}, {"axis", {{"labelSeparation", 6}, {"labelOverlap", true}}}}}};
    return view;
}

Json probability_spec(double risk_limit) {
    Json view = base();
    view["datasets"] = {{"limit", limit_rows(risk_limit)}};
    view["layer"] = Json::array(
        {Json{{"data", data("prob")},
              {"mark", {{"type", "line"}, {"color", "#d62728"}, {"point", {{"size", 14}}}}},
              {"encoding",
               {{"x", year_axis()},
                {"y", {{"field", "value"}, {"type", "quantitative"}, {"title", "P(SSB < Blim) (%)"},
                       {"scale", {{"domainMin", 0}}}}},
                {"tooltip", Json::array({Json{{"field", "year"}, {"title", "Year"}},
                                         Json{{"field", "value"}, {"title", "P(SSB < Blim) %"}}})}}}},
         limit_layer("y", "#777")});
    return view;
}

Json shape_spec(const std::string& value_title, bool series) {
    Json view = base();
    const auto label = [](bool beyond) {
        return Json{{"data", data("refs")},
                    {"transform", Json::array({Json{{"filter", beyond ? "datum.beyond" : "!datum.beyond"}}})},
                    {"mark", {{"type", "text"}, {"align", beyond ? "right" : "left"}, {"baseline", "top"},
                              {"dx", beyond ? -4 : 4}, {"fontSize", 11}}},
                    {"encoding", {{"x", {{"field", "value"}, {"type", "quantitative"}}},
                                  {"y", {{"field", "row"}, {"type", "quantitative"}, {"scale", nullptr}}},
                                  {"text", {{"field", "text"}}}}}};
    };
    view["layer"] = Json::array(
        {Json{{"data", data("shape")},
              {"mark", {{"type", "line"}, {"strokeWidth", 2}}},
              {"encoding",
               {{"x", {{"field", "basis"}, {"type", "quantitative"}, {"title", "Decision basis (input biomass unit)"},
                       {"scale", {{"nice", false}}}}},
                {"y", {{"field", "value"}, {"type", "quantitative"}, {"title", value_title}}},
                {"color", {{"field", "series"}, {"type", "nominal"}, {"title", nullptr},
                           {"legend", series ? Json{{"orient", "top"}, {"direction", "horizontal"}} : Json(nullptr)}}},
                {"tooltip", Json::array({Json{{"field", "basis"}, {"title", "Basis"}},
                                         Json{{"field", "value"}, {"title", value_title}}})}}}},
         Json{{"data", data("refs")},
              {"mark", {{"type", "rule"}, {"strokeDash", {5, 3}}, {"color", "#555"}}},
              {"encoding", {{"x", {{"field", "value"}, {"type", "quantitative"}}},
                            {"tooltip", Json::array({Json{{"field", "label"}}, Json{{"field", "trigger"}, {"title", "value"}}})}}}},
         label(false), label(true)});
    view["resolve"] = {{"scale", {{"color", "independent"}}}};
    return view;
}

namespace {

Json sets_layer(const std::string& x_field, const std::string& x_title, const std::string& y_field,
                const std::string& y_title, const Json& tooltip_fields, bool by_run) {
    Json layer{{"data", data("sets")},
                {"mark", {{"type", "point"}, {"filled", true}, {"size", 46}, {"opacity", 0.85}, {"cursor", "pointer"}}},
                {"encoding",
                 {{"x", {{"field", x_field}, {"type", "quantitative"}, {"title", x_title}, {"scale", {{"zero", false}}}}},
                  {"y", {{"field", y_field}, {"type", "quantitative"}, {"title", y_title}, {"scale", {{"zero", false}}}}},
                  {"color", {{"field", "colour"}, {"type", "nominal"}, {"title", "{colour}"},
                             {"sort", {{"field", "colourKey"}, {"op", "min"}}},
                             {"scale", {{"scheme", "tableau10"}}}}},
                  {"tooltip", tooltip_fields}}}};
    if (by_run) {
        layer["encoding"]["shape"] = {{"field", "run"}, {"type", "nominal"}, {"title", "Run"}};
    }
    return layer;
}

// Over the points: a ring on the best set (the highest median catch among
// the sets that meet the risk limit), a square on the set at the tuned
// value, and each point's label where the page found room for it (the
// label's anchor "lx", "ly" in the axes' units, inside the plotting area,
// chosen by the page so that no two labels overlap).
Json point_marks(const std::string& x_field, const std::string& y_field) {
    const auto position = [&]() {
        return Json{{"x", {{"field", x_field}, {"type", "quantitative"}}}, {"y", {{"field", y_field}, {"type", "quantitative"}}}};
    };
    const auto ring = [&](const char* filter, const char* shape, const char* colour) {
        return Json{{"data", data("sets")},
                    {"transform", Json::array({Json{{"filter", filter}}})},
                    {"mark", {{"type", "point"}, {"shape", shape}, {"filled", false}, {"size", 300}, {"color", colour},
                              {"strokeWidth", 1.8}}},
                    {"encoding", position()}};
    };
    // A set without a label has no anchor, and so no text.
    Json label{{"data", data("sets")},
               {"mark", {{"type", "text"}, {"align", "left"}, {"baseline", "middle"}, {"fontSize", 10}, {"color", "#333"}}},
               {"encoding",
                {{"x", {{"field", "lx"}, {"type", "quantitative"}}},
                 {"y", {{"field", "ly"}, {"type", "quantitative"}}},
                 {"text", {{"field", "label"}}}}}};
    return Json::array({ring("datum.best", "circle", "#111"), ring("datum.tuned", "square", "#b00020"), std::move(label)});
}

}  // namespace

Json tradeoff_spec(const std::string& catch_stat, const Json& tooltip_fields, double risk_limit, bool by_run,
                   bool errors) {
    Json view = base(wide_chart_width);
    view["datasets"] = {{"limit", limit_rows(risk_limit)}};
    const std::string x_title = "Risk {risk}: P(SSB < Blim) (%), {window}";
    const std::string y_title = "Median catch " + catch_stat + " (input biomass unit)";
    view["layer"] = Json::array(
        {sets_layer("risk", x_title, "catch", y_title, tooltip_fields, by_run), limit_layer("x", "#d62728")});
    for (auto& layer : point_marks("risk", "catch")) view["layer"].push_back(std::move(layer));
    // Risk runs from 0.
    view["layer"][0]["encoding"]["x"]["scale"] = {{"domainMin", 0}};
    if (errors) {
        // {risk} is the risk chosen on the page.
        const std::string rse = "datum['{risk}_se']", cse = "datum['" + catch_stat + "_se']";
        const Json interval = Json::array(
            {Json{{"filter", "isValid(datum.risk) && isValid(datum.catch) && isValid(" + rse + ") && isValid(" + cse + ")"}},
             Json{{"calculate", "max(0, datum.risk - 1.96 * " + rse + ")"}, {"as", "risk_lo"}},
             Json{{"calculate", "datum.risk + 1.96 * " + rse}, {"as", "risk_hi"}},
             Json{{"calculate", "datum.catch - 1.96 * " + cse}, {"as", "catch_lo"}},
             Json{{"calculate", "datum.catch + 1.96 * " + cse}, {"as", "catch_hi"}}});
        const auto whisker = [&](const char* along, const char* across) {
            const bool x = along[0] == 'r';
            Json enc;
            enc[x ? "x" : "y"] = {{"field", std::string(along) + "_lo"}, {"type", "quantitative"}, {"title", x ? x_title : y_title}};
            enc[x ? "x2" : "y2"] = {{"field", std::string(along) + "_hi"}};
            enc[x ? "y" : "x"] = {{"field", across}, {"type", "quantitative"}, {"title", x ? y_title : x_title}};
            return Json{{"data", data("sets")},
                        {"transform", interval},
                        {"mark", {{"type", "rule"}, {"color", "#888"}, {"opacity", 0.6}}},
                        {"encoding", enc}};
        };
        view["layer"].push_back(whisker("risk", "catch"));
        view["layer"].push_back(whisker("catch", "risk"));
    }
    return view;
}

Json tune_spec(const std::string& option, const std::string& risk_title, Json rows, double limit, int decimals) {
    Json view = base();
    bool several = false;
    for (const auto& r : rows) several = several || r["label"] != rows[0]["label"];
    view["datasets"] = {{"tune", std::move(rows)}, {"limit", limit_rows(limit)}};
    const std::string format = "." + std::to_string(decimals) + "f";
    const Json x = {{"field", "value"}, {"type", "quantitative"}, {"title", option + " (the tuned option)"},
                    {"scale", {{"zero", false}}}};
    const Json y = {{"field", "risk"}, {"type", "quantitative"}, {"title", risk_title + " (%)"},
                    {"scale", {{"domainMin", 0}}}};
    // One combination needs no legend: the chart's title names it.
    const Json colour = several ? Json{{"field", "label"}, {"type", "nominal"}, {"title", nullptr},
                                       {"legend", {{"orient", "top"}, {"direction", "horizontal"}}}}
                                : Json{{"value", "#4c78a8"}};
    Json tooltip = Json::array({Json{{"field", "value"}, {"title", option}, {"format", format}},
                                Json{{"field", "risk"}, {"title", "Risk %"}, {"format", ".2f"}}});
    if (several) tooltip.insert(tooltip.begin(), Json{{"field", "label"}, {"title", "Combination"}});
    const auto marked = [&](const char* filter, Json mark) {
        return Json{{"data", data("tune")},
                    {"transform", Json::array({Json{{"filter", filter}}})},
                    {"mark", std::move(mark)},
                    {"encoding", {{"x", x}, {"y", y}, {"color", colour}, {"tooltip", tooltip}}}};
    };
    view["layer"] = Json::array(
        {Json{{"data", data("tune")},
              {"mark", {{"type", "line"}, {"point", {{"size", 24}}}, {"strokeWidth", 1.2}}},
              {"encoding", {{"x", x}, {"y", y}, {"color", colour}, {"tooltip", tooltip}}}},
         // The answer's diamond small and the bracket's ring wide and drawn
         // over it, so that both stay visible where they lie close.
         marked("datum.answer", {{"type", "point"}, {"shape", "diamond"}, {"filled", true}, {"size", 90},
                                 {"stroke", "#111"}, {"strokeWidth", 1}}),
         marked("datum.bracket", {{"type", "point"}, {"shape", "circle"}, {"filled", false}, {"size", 360},
                                  {"strokeWidth", 1.5}}),
         limit_layer("y", "#d62728")});
    return view;
}

Json iav_spec(const std::string& catch_stat, const std::string& iav_stat, const Json& tooltip_fields, bool by_run) {
    Json view = base(wide_chart_width);
    view["layer"] = Json::array({sets_layer("catch", "Median catch " + catch_stat + " (input biomass unit), {window}",
                                            "iav", "Mean TAC change " + iav_stat + " (%)", tooltip_fields, by_run)});
    for (auto& layer : point_marks("catch", "iav")) view["layer"].push_back(std::move(layer));
    return view;
}

Json perrecruit_spec(const std::string& y_title, Json rows, Json points) {
    Json view = base();
    bool regimes = false;  // more than one: a legend of the regimes
    for (const auto& r : rows) regimes = regimes || r["regime"] != rows[0]["regime"];
    view["datasets"] = {{"curve", std::move(rows)}, {"points", std::move(points)}};
    // The reference points by their shape, named in the legend: labels beside
    // the points would collide where two points lie close (F35 and F40, or
    // Fmax at the end of a table that ends at Fcrash). Points that lie on each
    // other are drawn one above the other (their "offset" in pixels).
    view["layer"] = Json::array(
        {Json{{"data", data("curve")},
              {"mark", {{"type", "line"}, {"strokeWidth", 2}}},
              {"encoding",
               {{"x", {{"field", "f"}, {"type", "quantitative"}, {"title", "F-factor (multiplier of the selection pattern)"}}},
                {"y", {{"field", "value"}, {"type", "quantitative"}, {"title", y_title}}},
                {"color", {{"field", "regime"}, {"type", "nominal"}, {"title", "Regime"},
                           {"legend", regimes ? Json{{"orient", "top"}, {"direction", "horizontal"}} : Json(nullptr)}}},
                {"tooltip", Json::array({Json{{"field", "regime"}, {"title", "Regime"}},
                                         Json{{"field", "f"}, {"title", "F-factor"}},
                                         Json{{"field", "value"}, {"title", y_title}}})}}}},
         Json{{"data", data("points")},
              {"mark", {{"type", "point"}, {"filled", true}, {"size", 70}, {"stroke", "#222"}, {"strokeWidth", 0.6}}},
              {"encoding",
               {{"x", {{"field", "f"}, {"type", "quantitative"}}},
                {"y", {{"field", "value"}, {"type", "quantitative"}}},
                {"color", {{"field", "regime"}, {"type", "nominal"}}},
                {"shape", {{"field", "label"}, {"type", "nominal"}, {"title", nullptr},
                           {"sort", nullptr},
                           {"legend", {{"orient", "top"}, {"direction", "horizontal"}}}}},
                {"tooltip", Json::array({Json{{"field", "regime"}, {"title", "Regime"}},
                                         Json{{"field", "point"}, {"title", "Reference point"}},
                                         Json{{"field", "f"}, {"title", "F-factor"}},
                                         Json{{"field", "value"}, {"title", y_title}}})}}}}});
    // Points that lie on another are drawn again, raised by their offset,
    // with a thin leader down to their place.
    for (int level = 1; level <= 3; ++level) {
        Json raised = view["layer"][1];
        raised["transform"] = Json::array({Json{{"filter", "datum.offset == " + std::to_string(-12 * level)}}});
        raised["mark"]["yOffset"] = -12 * level;
        Json leader{{"data", data("points")},
                    {"transform", raised["transform"]},
                    {"mark", {{"type", "rule"}, {"color", "#555"}, {"strokeWidth", 0.8}, {"y2Offset", -12 * level + 4}}},
                    {"encoding", {{"x", {{"field", "f"}, {"type", "quantitative"}}},
                                  {"y", {{"field", "value"}, {"type", "quantitative"}}},
                                  {"y2", {{"field", "value"}}}}}};
        view["layer"].push_back(std::move(leader));
        view["layer"].push_back(std::move(raised));
    }
    view["layer"][1]["transform"] = Json::array({Json{{"filter", "!(datum.offset < 0)"}}});
    return view;
}

}  // namespace tacsim::report
