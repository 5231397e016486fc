// The output files: each has a fixed unit number and name and is written only
// when its switch is 1. Summary files get the rule's column heading once per
// run; the per-set files get the option labels and values of every option set
// (headings, labels and layouts come from the rule's description).
#include "io/outfiles.hpp"

#include <array>

#include "management/rulebook.hpp"

namespace tacsim {

namespace {

// File name of each unit; unit 12 is named after its summary years and unit
// 13 is the scratch file, opened by the driver.
const char* unit_name(int k) {
    static const char* const names[] = {
        "Results",       // 11
        "",              // 12
        "kladd",         // 13
        "First_5",       // 14
        "Traj",          // 15
        "S0_distr",      // 16
        "F_distr",       // 17
        "IAV_distr",     // 18
        "compbas",       // 19
        "SRpairs",       // 20
        "All_years",     // 21
        "Yieldrecr",     // 22
        "Catch_agedist", // 23
        "SSB_agedist",   // 24
        "Wema",          // 25
        "Comprecr",      // 26
        "Recovery",      // 27
    };
    return names[k - 11];
}

const char* column_line(int u) {
    switch (u) {
    case 17: return "Iter  Year Decid   Real";
    case 18: return "Iter   Year     IAV";
    case 19: return "Year True   Obs";
    case 20: return "Iter  Year     SSB      Recr";
    case 26: return "Iter  Year     TrueR      ObsR";
    default: return nullptr;
    }
}

}  // namespace

std::string unit_file_name(const State& s, int k) {
    return (k == 12) ? s.unit12name : std::string(unit_name(k));
}

const char* unit_file(int k) { return unit_name(k); }

std::string summary_file(const State& s) {
    return "Years" + format_int(s.sumyr1, 2) + "_" + format_int(s.sumyr2, 2);
}

void prepfiles(State& s) {
    if (s.iout(12) == 1) s.unit12name = summary_file(s);
    for (int k = 11; k <= 27; ++k) {
        if (k == 13 || s.iout(k) != 1) continue;
        const std::string name = out_path(s, unit_file_name(s, k));
        if (s.holdfiles)
            s.unit(k).hold(name);
        else if (!s.unit(k).open(name, write_path(s, unit_file_name(s, k))))
            stop_with(s, {"Cannot open output file ", name});
    }
    const HarvestRule* rule = run_rule(s);
    if (rule == nullptr) return;
    for (int k : {12, 14, 21}) {
        if (s.iout(k) == 1) list_write(s.unit(k), {rule->desc.summary_heading});
    }
}

void header(State& s, int u) {
    const HarvestRule* rule = run_rule(s);
    if (rule == nullptr) return;
    OutFile& out = s.unit(u);
    list_write(out, {rule->desc.label_line});

    // At most ten rule parameters, then 11..16 and 18..23: on the stack, as
    // the header is written again for every option set.
    std::array<Item, 22> values{};
    std::size_t nv = 0;
    for (int i = 1; i <= rule->nparams() && i <= 10; ++i) values[nv++] = Item(s.par(i));
    for (int i = 11; i <= 16; ++i) values[nv++] = Item(s.par(i));
    for (int i = 18; i <= 23; ++i) values[nv++] = Item(s.par(i));
    fmt_write(out, rule->option_layout, std::span<const Item>(values.data(), nv));

    list_write(out, std::span<const Item>());
    if (const char* col = column_line(u)) list_write(out, {col});
}

void closefiles(State& s) {
    for (int k = 11; k <= 27; ++k) {
        if (k == 13 || (k >= 22 && k <= 24)) continue;
        if (s.iout(k) == 1 && s.unit(k).is_open()) s.unit(k).close(&s.con);
    }
}

}  // namespace tacsim
