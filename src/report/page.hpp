// The report's page, of one run or of several side by side, in three parts:
// its frame (frame.cpp: the head, the header of facts, the notes, the order
// of the sections and the data the page carries), the views of the data
// (views.cpp: every chart and table with its data, its chart description and its
// section) and what a page of several runs adds (compare.cpp: the runs'
// sets merged, the header of runs, the runs side by side). A new chart is a
// view: its chart description and its section in views.cpp, each called once
// where the frame lists the others.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "report/runtables.hpp"

namespace tacsim::report {

// What every part of a page draws from: the runs, and what is merged over
// them (the option sets of every run, one run after the other).
struct Page {
    explicit Page(const std::vector<RunTables>& all) : runs(all), one(all.front()) {}
    const std::vector<RunTables>& runs;
    const RunTables& one;  // the first run; a page of one run is its page
    bool several = false;
    // What the page says of every run: the first run's facts, with the units
    // and the kind of the rule's value only where every run agrees.
    RunFacts run;
    std::string limit_note;  // when the runs record different risk limits
    std::vector<std::string> options, stat_names, risks, swept;
    std::vector<std::vector<double>> values;  // (set of the page, option)
    Json option_decimals = Json::array();     // each option with the decimals of its sweep
    std::size_t nwindows = 0;
    bool any_shape = false;  // some run has rule shapes
};

// ---- the frame (frame.cpp)

// A chart's place on the page with its title and caption.
std::string figure(const std::string& id, const std::string& title, const std::string& caption);
// The whole page; what it lacks is added to `notes`.
std::string page_text(const std::vector<RunTables>& runs, const std::string& version, std::vector<std::string>& notes);

// ---- the comparison of runs (compare.cpp)

// The page's facts and option sets merged over its runs.
Page merged_page(const std::vector<RunTables>& runs, const std::string& version);
// The data of the option sets: options, sets, runs, values, windows.
void put_sets(Json& d, const Page& p);
// The header of a page of several runs: a row per run, and whether they are
// of one stock.
std::string runs_header(const std::vector<RunTables>& runs, const RunFacts& page);
// One set of every run side by side: the charts (into `d` too) and their section.
void side_specs(Json& specs, Json& d, const Page& p);
void side_section(std::ostream& h, const Page& p);
// Each run by a name of its own where none is given: the folder's, or the
// folder as given where two folders share a name.
void name_runs(std::vector<RunTables>& runs);

// ---- the data views (views.cpp)

// The statistics of every set in every window, with their names, groups,
// decimals and the words of the risks.
void put_statistics(Json& d, const Page& p);
// The rule shapes into `d`; each set's series for the page, deflated.
std::vector<std::string> put_series(Json& d, const Page& p);
// The chart descriptions of the views, in the page's order; `per_set` and
// `fixed` list the charts drawn per chosen set and once.
void series_specs(Json& specs, Json& per_set, const Page& p);
void perrecruit_specs(Json& specs, Json& fixed, const Page& p);
void tuning_specs(Json& specs, Json& fixed, const Page& p);
// False, with a note, when the summary lacks what the trade-offs draw.
bool tradeoff_specs(Json& specs, const Page& p, std::vector<std::string>& notes);
// The answer at the top and the per-recruit reference points under the header.
std::string answer_section(const Page& p);
void refpoints_section(std::ostream& h, const Page& p);
// The sections, in the page's order.
void tradeoff_section(std::ostream& h, const Page& p, bool tradeoffs);
void tuning_section(std::ostream& h, const Page& p);
void series_section(std::ostream& h, const Page& p);
void perrecruit_section(std::ostream& h, const Page& p);
void table_section(std::ostream& h);

}  // namespace tacsim::report
