// The output files: each has a fixed unit number and name and is written only
// when its switch is 1. Summary files get the rule's column heading once per
// run; the per-set files get the option labels and values of every option set.
#include "io/outfiles.hpp"

#include <string_view>
#include <vector>

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

// Column heading of the summary files (units 12, 14, 21), by rule.
const char* rule_header(int rule) {
    switch (rule) {
    case 1:
    case 7:
        return "Btrig1 Btrig2 Target Alfa1 Alfa2 Filter Except_F Percent Except_P MinTAC MaxTAC Bias_obs "
               "Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv Cmean C10 C50 C90 Fmean F10 F50 F90 Smean "
               "SSB10 SSB50 SSB90 Tmean TSB10 TSB50 TSB90 IAV Risklim Probtrig Crash";
    case 2:
        return "B0 Btrig1 Btrig2 Target Level1 Alfa2 Filter Except_F Percent Except_P MinTAC MaxTAC Bias_obs "
               "Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv Cmean C10 C50 C90 Fmean F10 F50 F90 Smean "
               "SSB10 SSB50 SSB90 Tmean TSB10 TSB50 TSB90 IAV Risklim Probtrig Crash";
    case 3:
        return "Btrig1 Btrig2 Target Alfa1 Alfa2 Gain Filter Execpt_Fer Percent Except_P MinTAC MaxTAC "
               "Bias_obs Bias_impl CVyr_obs CVyr_impl  CV_recr CV_Biosurv Cmean C10 C50 C90 Fmean F10 F50 "
               "F90 Smean SSB10 SSB50 SSB90 Tmean TSB10 TSB50 TSB90 IAV Risklim Probtrig Crash";
    case 4:
        return "Btrig1 Btrig2 Target Slope1 Slope2 Vmax Filter Except_F Percent Except_P MinTAC MaxTAC "
               "Bias_obs Bias_impl CVyr_obs CVyr_impl  CV_recr CV_Biosurv Cmean C10 C50 C90 Fmean F10 F50 "
               "F90 Smean SSB10 SSB50 SSB90 Tmean TSB10 TSB50 TSB90 IAV Risklim Probtrig Crash";
    case 5:
        return "Btrig1 Btrig2 RefRec Alfa1 Alfa2 Vlow Vhigh Filter Except_F Percent Except_P MinTAC MaxTAC "
               "Bias_obs Bias_impl CVyr_obs CVyr_impl  CV_recr Cmean C10 C50 C90 Fmean F10 F50 F90 Smean "
               "SSB10 SSB50 SSB90 Tmean TSB10 TSB50 TSB90 IAV Risklim Probtrig Crash";
    case 6:
        return "B0 Btrig1 Btrig2 RefRec Alfa2 V0 Vlow Vhigh Filter Except_F Percent Except_P MinTAC MaxTAC "
               "Bias_obs Bias_impl CVyr_obs CVyr_impl  CV_recr Cmean C10 C50 C90 Fmean F10 F50 F90 Smean "
               "SSB10 SSB50 SSB90 Tmean TSB10 TSB50 TSB90 IAV Risklim Probtrig Crash";
    case 8:
        return "Btrig1 Btrig2 Vstd   Alfa1 Alfa2 Vlow Vhigh Filter Except_F Percent Except_P MinTAC MaxTAC "
               "Bias_obs Bias_impl CVyr_obs CVyr_impl  CV_recr CV_biosurv Cmean C10 C50 C90 Fmean F10 F50 "
               "F90 Smean SSB10 SSB50 SSB90 Tmean TSB10 TSB50 TSB90 IAV Risklim Probtrig Crash";
    default:
        return "";
    }
}

// Labels of the options of one set, by rule.
const char* option_labels(int rule) {
    switch (rule) {
    case 1:
    case 7:
        return "Btrig1 Btrig2 Target Alfa1 Alfa2 Filter Trig_filt Percent Trig_perc MinTAC MaxTAC Bias_obs "
               "Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv";
    case 2:
        return "B0 Btrig1 Btrig2 Target Level1 Alfa2 Filter Trig_filt Percent Trig_perc MinTAC MaxTAC Bias_obs "
               "Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv";
    case 3:
        return "Btrig1 Btrig2 Target Alfa1 Alfa2 Gain Filter Trig_filt Percent Trig_perc MinTAC MaxTAC Bias_obs "
               "Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv";
    case 4:
        return "Btrig1 Btrig2 Target Slope1 Slope2 Vmax Filter Trig_filt Percent Trig_perc MinTAC MaxTAC "
               "Bias_obs Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv";
    case 5:
        return "Btrig1 Btrig2 RefRec Alfa1 Alfa2 Vlow Vhigh Filter Trig_filt Percent Trig_perc MinTAC MaxTAC "
               "Bias_obs Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv";
    case 6:
        return "B0 Btrig1 Btrig2 RefRec Alfa2 V0 Vlow Vhigh Filter Trig_filt Percent Trig_perc MinTAC MaxTAC "
               "Bias_obs Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv";
    case 8:
        return "Btrig1 Btrig2 Vstd Alfa1 Alfa2 Vlow Vhigh Filter   Trig_filt Percent Trig_perc MinTAC MaxTAC "
               "Bias_obs Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv";
    default:
        return "";
    }
}

// Layout of the option values: biomass-like rule parameters with one
// decimal, the other rule parameters and the filter with three, the TAC
// constraint options with one, the error options in narrow fields.
const Layout& option_layout(int rule) {
    static const Layout r1("(2f10.1,4f10.3,5f10.1,6f6.3)");
    static const Layout r2("(3f10.1,4f10.3,5f10.1,6f6.3)");
    static const Layout r34("(2f10.1,5f10.3,5f10.1,6f6.3)");
    static const Layout r5("(3f10.1,5f10.3,5f10.1,6f6.3)");
    static const Layout r6("(4f10.1,5f10.3,5f10.1,6f6.3)");
    static const Layout r8("(2f10.1,6f10.3,5f10.1,6f6.3)");
    switch (rule) {
    case 2: return r2;
    case 3:
    case 4: return r34;
    case 5: return r5;
    case 6: return r6;
    case 8: return r8;
    default: return r1;
    }
}

constexpr int rule_params[9] = {0, 5, 6, 6, 6, 7, 8, 5, 7};

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

std::vector<OptionName> option_names(int rule) {
    std::vector<OptionName> out;
    if (rule < 1 || rule > 8) return out;
    const std::string_view labels = option_labels(rule);
    int option = 0;
    std::size_t at = 0;
    while (at < labels.size()) {
        if (labels[at] == ' ') {
            ++at;
            continue;
        }
        std::size_t end = labels.find(' ', at);
        if (end == std::string_view::npos) end = labels.size();
        ++option;
        if (option == rule_params[rule] + 1) option = 11;
        if (option == 17) option = 18;
        out.push_back({option, std::string(labels.substr(at, end - at))});
        at = end;
    }
    return out;
}

std::string unit_file_name(const State& s, int k) {
    return (k == 12) ? s.unit12name : std::string(unit_name(k));
}

void prepfiles(State& s) {
    if (s.iout(12) == 1) {
        s.unit12name = "Years" + format_int(s.sumyr1, 2) + "_" + format_int(s.sumyr2, 2);
    }
    for (int k = 11; k <= 27; ++k) {
        if (k == 13 || s.iout(k) != 1) continue;
        const std::string name = out_path(s, unit_file_name(s, k));
        if (!s.unit(k).open(name)) stop_with(s, {"Cannot open output file ", name});
    }
    if (s.nrule < 1 || s.nrule > 8) return;
    for (int k : {12, 14, 21}) {
        if (s.iout(k) == 1) list_write(s.unit(k), {rule_header(s.nrule)});
    }
}

void header(State& s, int u) {
    if (s.nrule < 1 || s.nrule > 8) return;
    OutFile& out = s.unit(u);
    list_write(out, {option_labels(s.nrule)});

    std::vector<Item> values;
    values.reserve(20);
    for (int i = 1; i <= rule_params[s.nrule]; ++i) values.emplace_back(s.par(i));
    for (int i = 11; i <= 16; ++i) values.emplace_back(s.par(i));
    for (int i = 18; i <= 23; ++i) values.emplace_back(s.par(i));
    fmt_write(out, option_layout(s.nrule), std::span<const Item>(values));

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
