// The set of output files: names, units, switches, header lines and closing.
#pragma once

#include <iterator>
#include <string>
#include <vector>

#include "model/state.hpp"

namespace tacsim {

// What a legacy result file holds, which says when it is opened, headed and
// closed.
enum class FileKind {
    results,      // the statistics of every option set
    summary,      // the rule's column heading once, then a record per option set
    per_set,      // each option set's records under a header of its values
    scratch,      // always made empty by a run in place; no output switch
    per_recruit,  // written whole by the per-recruit analysis before the sweep
};

// The legacy result files, one row a unit. Unit k is written when its output
// switch in opt.inn (`iout(k)`) is 1; `columns` is the line under the header
// of each option set.
struct LegacyFile {
    int unit;
    const char* name;  // "" for unit 12, named after its summary years
    FileKind kind;
    const char* columns = nullptr;
};
inline constexpr LegacyFile legacy_files[] = {
    {11, "Results", FileKind::results},
    {12, "", FileKind::summary},
    {13, "kladd", FileKind::scratch},
    {14, "First_5", FileKind::summary},
    {15, "Traj", FileKind::per_set},
    {16, "S0_distr", FileKind::per_set},
    {17, "F_distr", FileKind::per_set, "Iter  Year Decid   Real"},
    {18, "IAV_distr", FileKind::per_set, "Iter   Year     IAV"},
    {19, "compbas", FileKind::per_set, "Year True   Obs"},
    {20, "SRpairs", FileKind::per_set, "Iter  Year     SSB      Recr"},
    {21, "All_years", FileKind::summary},
    {22, "Yieldrecr", FileKind::per_recruit},
    {23, "Catch_agedist", FileKind::per_recruit},
    {24, "SSB_agedist", FileKind::per_recruit},
    {25, "Wema", FileKind::per_set},
    {26, "Comprecr", FileKind::per_set, "Iter  Year     TrueR      ObsR"},
    {27, "Recovery", FileKind::per_set},
};
static_assert(std::size(legacy_files) == 17 && legacy_files[0].unit == 11 && legacy_files[16].unit == 27);
// Whether the unit of f has an output switch.
constexpr bool switched(const LegacyFile& f) { return f.kind != FileKind::scratch; }

// Name of the legacy file of unit k (11..27) as this run names it.
std::string unit_file_name(const State& s, int k);

void prepfiles(State& s);
void header(State& s, int u);
void closefiles(State& s);

// File name of result unit k (11..27); unit 12 is named after its summary
// years (`unit12name`), so empty here.
const char* unit_file(int k);
// Name of the summary file of the years sumyr1..sumyr2 (unit 12).
std::string summary_file(const State& s);

}  // namespace tacsim
