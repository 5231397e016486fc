// A run's result tables as the report's page draws them: each table read
// and checked once (report.cpp), then handed to the page (page.hpp). The
// numbers and words every part of the page shares are here too.
#pragma once

#include <cstddef>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/report.hpp"
#include "report/specs.hpp"
#include "report/table.hpp"

namespace tacsim::report {

namespace fs = std::filesystem;

// A number for the page: exactly the value of the table (each table number
// is the shortest text of a float, read as a double, and the page carries the
// same double); whole numbers without a decimal point, not finite as null.
Json num(double v);
Json num(const std::optional<double>& v);
// A float the program computed, by the shortest text that reads back to it.
Json numf(float v);
std::string text_of(double v);
std::string text_of(float v);
// A number for people: rounded to `digits` significant digits, then the
// shortest text of that double.
std::string people(double v, int digits);
inline constexpr int stat_digits = 4;
inline constexpr int option_digits = 6;
// The text deflated (zlib format) and in base64.
std::string deflate_base64(const std::string& text);
std::string lower(std::string s);

// sets.csv: every option set and its options.
struct Sets {
    std::vector<int> ids;                        // set numbers in sweep order
    std::map<int, std::size_t> index;            // set number -> position
    std::vector<std::string> options;            // option columns
    std::vector<std::vector<double>> values;     // (set, option)
    std::vector<std::string> swept;              // options with more than one value
    int rule = 0;
};

// A statistics window of summary.csv by its model years and its label.
struct Window {
    double first = 0, last = 0;
    std::string label;
};

// summary.csv (and mcerror.csv): every statistic of every set, per window.
struct Summary {
    std::vector<Window> windows;
    std::vector<std::string> names;                                  // statistics in order of appearance
    std::vector<std::vector<std::vector<std::optional<double>>>> v;  // (window, set, statistic)
};

// yearly.csv: the fractiles of the fan charts and the yearly risk, per set.
struct Yearly {
    std::vector<double> years;  // calendar years, ascending
    // (set, quantity, fractile, year)
    std::vector<std::map<std::string, std::vector<std::vector<std::optional<double>>>>> fan;
    std::vector<std::vector<std::optional<double>>> plim;  // (set, year), %
    std::string plim_name;
};

// Single iterations per set: (set, quantity, iteration, year).
struct Samples {
    std::vector<int> iterations;
    std::vector<std::map<std::string, std::vector<std::vector<std::optional<double>>>>> v;
    std::string source;
};

// The rule of every set evaluated by the program's own rule code (ruleshape.csv);
// sets that share their rule parameters share one shape.
struct Shapes {
    Json list = Json::array();
    std::vector<int> of_set;
    bool present = false;
};

// perrecruit.csv and refpoints.csv: the equilibrium curves and reference points.
struct PerRecruit {
    Json ypr = Json::array(), spr = Json::array();          // regime, f, value
    Json ypr_points = Json::array(), spr_points = Json::array();
    std::string refpoints_html;
    std::string answer_html;  // the reference points in one line, for the answer at the top
    bool fmax_at_end = false;  // some regime's Fmax is the end of the equilibrium curve (Fcrash)
    bool present = false;
};

// tune.csv of `tacsim tune`: every value tried, by combination of the other
// swept options, with the answer and the nearest value tried beyond it.
struct Tuning {
    Json rows = Json::array();  // label, combination, value, risk, meets, answer, bracket
    std::string option, statistic;
    std::string window;  // the statistic's window: first5, summary or all
    std::string risk;    // the risk without its window: risk3, say
    double limit = 5.0;
    int decimals = 0;    // of the tuned option, as the tuning resolved it
    std::string answer_html;  // the tuned value of each combination, for the answer at the top
    std::vector<double> answers;  // the tuned value of each combination that has one
    bool present = false;
};

// run.json, or what the run gave for --report: the header's facts.
struct RunFacts {
    std::string stock, date, version, command;
    std::optional<double> blim;
    int vtype = 0;
    double risk_limit = 5.0;  // %
    std::string risk_method;  // how the risk to Blim is counted, as run.json names it
    std::string random;       // the counter-based generator and its seed; empty: the legacy stream
    std::string biomass_unit, number_unit;  // empty: not known
    // What tells the run's stock from another's: the names and hashes of its
    // inputs but the management options (opt.inn) as run.json records them,
    // else the stock's name.
    std::string stock_key;
    std::string stock_files;  // those inputs, "bio.inn" say; empty: the key is the name
};


// The options whose value is not the same in every set.
std::vector<std::string> swept_of(const std::vector<std::string>& options, const std::vector<std::vector<double>>& values);
// The window to show first: the window a tuning of the run used (`tuned`:
// first5, summary or all, from tune.csv), else all years.
std::size_t default_window(const Summary& s, const std::string& tuned);
// The group of a statistic in the table's heading, with its unit; "" for a
// statistic of no group.
std::string stat_group(const std::string& name);
// What a risk statistic counts, for people.
std::string risk_words(const std::string& risk);
// The labels' units: the placeholders "input biomass unit", "input number
// unit" and "input biomass unit per recruit" replaced where the run names
// its units. `json` escapes the units for JSON text.
std::string with_units(std::string text, const RunFacts& r, bool json);
// Title of the rule's value by what it is.
std::string value_title(int vtype);

// Everything the page draws of one run.
struct RunTables {
    fs::path dir;
    std::string label;  // the run's name on a page of several runs
    Sets sets;
    Summary summary;
    Yearly yearly;
    Samples samples;
    Shapes shapes;
    PerRecruit pr;
    RunFacts run;
    Tuning tuning;
    std::string catch_stat, iav_stat;
    std::vector<std::string> risks;
    int trig_col = 0, target_col = -1;
};

// Reads a run's tables. `alone`: the page is this run's alone, with its
// per-recruit curves and tuning; `in_place`: the page goes into the run's
// folder, and so does ruleshape.csv (else nothing is written there).
RunTables read_run_tables(const fs::path& dir, const std::string& version, const RunContext& context,
                          std::vector<std::string>& notes, bool alone, bool in_place);

}  // namespace tacsim::report
