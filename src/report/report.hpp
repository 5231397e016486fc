// The report: one self-contained HTML page (report.html) drawn from the
// result tables of a run, with its plotting libraries inside it, so that it
// opens offline in any current browser.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "report/table.hpp"

namespace tacsim::report {

inline constexpr const char* report_file = "report.html";
inline constexpr const char* shape_file = "ruleshape.csv";

// What writing the report did, for the user and for run.json.
struct ReportResult {
    std::filesystem::path file;         // the page written
    std::vector<std::string> notes;     // what the page lacks and why (missing optional tables)
};

// What a run knows that its tables do not say: Blim and what the rule's
// value is (`vtype`: 1 F, 2 harvest rate of the biomass above an age, 3 a
// multiplier of the decision basis, 4 the TAC itself; 0 unknown). Given by
// the run for --report; `tacsim report` reads them from run.json when there.
struct RunContext {
    std::optional<double> blim;
    int vtype = 0;
    std::optional<double> risk_limit;  // %, the line drawn on the risk charts; 5 when not given
    // Units of the input's biomasses and numbers (say "kt", "millions"), for
    // every label; empty: from run.json, else "input biomass unit".
    std::string biomass_unit, number_unit;
};

// Reads the tables in `dir` (sets.csv, yearly.csv, summary.csv; perrecruit.csv,
// refpoints.csv, run.json and the single iterations when present), writes
// ruleshape.csv (the rule of every set evaluated by the program's own rule
// code) and then report.html into `dir`. `version` is the program's version
// line, shown when run.json does not name one. Throws ReportError with a
// message naming the file when a needed table is missing or unreadable.
ReportResult write_report(const std::filesystem::path& dir, const std::string& version, const RunContext& context = {});

// A run for a page of several: its results folder, and its name on the page
// (empty: the folder's name, or the folder as given where two share a name).
struct RunSource {
    std::filesystem::path dir;
    std::string label;
};

// The page of several runs side by side, into `out` (created when missing)
// as report.html: the trade-offs of every set of every run, the table with a
// run column, the series and rule of any set of any run. Nothing is written
// into the runs' folders. With one run: that run's page, as write_report
// draws it, elsewhere. Throws ReportError naming the folder and file when a
// needed table is missing or unreadable.
ReportResult write_comparison(const std::vector<RunSource>& runs, const std::filesystem::path& out,
                              const std::string& version, const RunContext& context = {});

}  // namespace tacsim::report
