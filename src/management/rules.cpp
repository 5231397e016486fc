// Harvest rules: each maps the decision basis (B1, B2, B3 = elements 1..3)
// and the rule parameters of the option set, read by the names of its
// parameter list, to the rule value v. What v means (an F, a harvest rate or
// a TAC) is decided by the caller. Comparisons are strict, exactly as each
// rule states them. Each rule's parameters are listed once, above its
// function, and the rule described in standard_rule_descriptions() at the
// end of this file.
#include <cmath>

#include "management/management.hpp"
#include "management/rulebook.hpp"
#include "model/mathf.hpp"

namespace tacsim {

namespace {

// Proportional adjustment around the base value x: down below the lower
// trigger (which wins), up above the upper trigger.
float adjust(float x, float b1, float b2, float btrig1, float btrig2, float alfa1, float alfa2) {
    if (btrig1 > b1) {
        if (btrig1 > 0.0f) return x * (1.0f - alfa1 * (btrig1 - b1) / btrig1);
        return x;
    }
    if (b2 > btrig2) {
        if (btrig2 > 0.0f) return x * (1.0f + alfa2 * (b2 - btrig2) / btrig2);
        return x;
    }
    return x;
}

float floor0(float v) { return (v < 0.0f) ? 0.0f : v; }

float logistic(float x) { return 1.0f / (1.0f + exp_sp(-x)); }

using U = ParUnit;

}  // namespace

void rule(State& s, float& v, const BasisVec& basis) {
    const HarvestRule* r = run_rule(s);
    if (r == nullptr) stop_with(s, {"Unknown harvest rule", s.nrule});
    v = evaluate(*r, s.par, basis);
}

// Target with proportional adjustment; never negative.
constexpr ParamList<5> kRule1 = {{{"Btrig1", U::B1}, {"Btrig2", U::B2}, {"Target", U::Value},
                                  {"Alfa1", U::Proportion}, {"Alfa2", U::Proportion}}};
float rule1(const OptionVec& par, const BasisVec& basis) {
    const NamedOptions<kRule1> o(par);
    const float btrig1 = o["Btrig1"], btrig2 = o["Btrig2"], target = o["Target"], alfa1 = o["Alfa1"],
                alfa2 = o["Alfa2"];
    return floor0(adjust(target, basis(1), basis(2), btrig1, btrig2, alfa1, alfa2));
}

// Level1 below B0, a straight line up to Target at Btrig1, Target up to
// Btrig2 and a proportional rise above it.
constexpr ParamList<6> kRule2 = {{{"B0", U::B1}, {"Btrig1", U::B1}, {"Btrig2", U::B2}, {"Target", U::Value},
                                  {"Level1", U::Value}, {"Alfa2", U::Proportion}}};
float rule2(const OptionVec& par, const BasisVec& basis) {
    const NamedOptions<kRule2> o(par);
    const float b0 = o["B0"], btrig1 = o["Btrig1"], btrig2 = o["Btrig2"], target = o["Target"],
                level1 = o["Level1"], alfa2 = o["Alfa2"];
    const float b1 = basis(1), b2 = basis(2);
    if (b0 > b1) {
        return level1;
    } else if (btrig1 > b1) {
        return level1 + (target - level1) * (b1 - b0) / (btrig1 - b0);
    } else if (btrig2 > b2) {
        return target;
    } else if (btrig2 <= 0.0f) {
        return target;  // no upper trigger to scale by
    } else {
        return target * (1.0f + alfa2 * (b2 - btrig2) / btrig2);
    }
}

// As rule 1 with a target that grows with the third indicator.
constexpr ParamList<6> kRule3 = {{{"Btrig1", U::B1}, {"Btrig2", U::B2}, {"Target", U::Value},
                                  {"Alfa1", U::Proportion}, {"Alfa2", U::Proportion}, {"Gain", U::PerB3}}};
float rule3(const OptionVec& par, const BasisVec& basis) {
    const NamedOptions<kRule3> o(par);
    const float btrig1 = o["Btrig1"], btrig2 = o["Btrig2"], target = o["Target"], alfa1 = o["Alfa1"],
                alfa2 = o["Alfa2"], gain = o["Gain"];
    const float x = target * (1.0f + gain * basis(3));
    return floor0(adjust(x, basis(1), basis(2), btrig1, btrig2, alfa1, alfa2));
}

// Logistic descent to 0 below Btrig1 and logistic rise towards
// Target + (Vmax - Target)/2 above Btrig2.
constexpr ParamList<6> kRule4 = {{{"Btrig1", U::B1}, {"Btrig2", U::B2}, {"Target", U::Value},
                                  {"Slope1", U::Steepness}, {"Slope2", U::Steepness}, {"Vmax", U::Value}}};
float rule4(const OptionVec& par, const BasisVec& basis) {
    const NamedOptions<kRule4> o(par);
    const float btrig1 = o["Btrig1"], btrig2 = o["Btrig2"], target = o["Target"], slope1 = o["Slope1"],
                slope2 = o["Slope2"], vmax = o["Vmax"];
    const float b1 = basis(1), b2 = basis(2);
    float v = 0.0f;
    if (btrig1 > b1) {
        if (btrig1 > 0.0f) {
            const float den = logistic(slope1) - 0.5f;
            if (den == 0.0f)
                v = target * b1 / btrig1;  // the limit of the logistic as the slope goes to 0
            else
                v = target * (logistic(slope1 * b1 / btrig1) - 0.5f) / den;
        } else {
            v = target;
        }
    } else if (b2 > btrig2) {
        if (btrig2 > 0.0f)
            v = floor0(target + (vmax - target) * (logistic(slope2 * (b2 - btrig2) / btrig2) - 0.5f));
        else
            v = target;
    } else {
        v = target;
    }
    return floor0(v);
}

// Vhigh or Vlow by the recruitment indicator, with proportional adjustment.
constexpr ParamList<7> kRule5 = {{{"Btrig1", U::B1}, {"Btrig2", U::B2}, {"RefRec", U::B3},
                                  {"Alfa1", U::Proportion}, {"Alfa2", U::Proportion}, {"Vlow", U::Value},
                                  {"Vhigh", U::Value}}};
float rule5(const OptionVec& par, const BasisVec& basis) {
    const NamedOptions<kRule5> o(par);
    const float btrig1 = o["Btrig1"], btrig2 = o["Btrig2"], refrec = o["RefRec"], alfa1 = o["Alfa1"],
                alfa2 = o["Alfa2"], vlow = o["Vlow"], vhigh = o["Vhigh"];
    const float x = (basis(3) > refrec) ? vhigh : vlow;
    return floor0(adjust(x, basis(1), basis(2), btrig1, btrig2, alfa1, alfa2));
}

// Rule 2's shape around Vhigh or Vlow chosen by the recruitment indicator.
constexpr ParamList<8> kRule6 = {{{"B0", U::B1}, {"Btrig1", U::B1}, {"Btrig2", U::B2}, {"RefRec", U::B3},
                                  {"Alfa2", U::Proportion}, {"V0", U::Value}, {"Vlow", U::Value},
                                  {"Vhigh", U::Value}}};
float rule6(const OptionVec& par, const BasisVec& basis) {
    const NamedOptions<kRule6> o(par);
    const float b0 = o["B0"], btrig1 = o["Btrig1"], btrig2 = o["Btrig2"], refrec = o["RefRec"],
                alfa2 = o["Alfa2"], v0 = o["V0"], vlow = o["Vlow"], vhigh = o["Vhigh"];
    const float b1 = basis(1), b2 = basis(2);
    const float x = (basis(3) > refrec) ? vhigh : vlow;
    if (b0 > b1) {
        return v0;
    } else if (btrig1 > b1) {
        return v0 + (x - v0) * (b1 - b0) / (btrig1 - b0);
    } else if (btrig2 > b2) {
        return x;
    } else if (btrig2 <= 0.0f) {
        return x;  // no upper trigger to scale by
    } else {
        return x * (1.0f + alfa2 * (b2 - btrig2) / btrig2);
    }
}

// B1 only: Target above Btrig2, a straight line from Alfa2 at Btrig1 to
// Target at Btrig2, a proportional cut of Alfa2 below Btrig1 (when Btrig1 is
// positive; Alfa2 otherwise), floored at 0. Alfa2 is the value at Btrig1
// (in the unit of the rule value), not a proportion; both triggers are
// levels of B1.
constexpr ParamList<5> kRule7 = {{{"Btrig1", U::B1}, {"Btrig2", U::B1}, {"Target", U::Value},
                                  {"Alfa1", U::Proportion}, {"Alfa2", U::Value}}};
float rule7(const OptionVec& par, const BasisVec& basis) {
    const NamedOptions<kRule7> o(par);
    const float btrig1 = o["Btrig1"], btrig2 = o["Btrig2"], target = o["Target"], alfa1 = o["Alfa1"],
                alfa2 = o["Alfa2"];
    const float b1 = basis(1);
    if (b1 > btrig2) {
        return target;
    } else if (btrig1 < b1 && b1 < btrig2) {
        return alfa2 + (target - alfa2) * (b1 - btrig1) / (btrig2 - btrig1);
    } else if (b1 < btrig1) {
        // Without a positive lower trigger there is nothing to cut in
        // proportion to: Alfa2 itself.
        return floor0(btrig1 > 0.0f ? alfa2 * (1.0f - alfa1 * (btrig1 - b1) / btrig1) : alfa2);
    } else if (b1 == btrig2) {
        return target;
    } else {
        return alfa2;
    }
}

// Vstd with proportional adjustment, held within Vlow..Vhigh.
constexpr ParamList<7> kRule8 = {{{"Btrig1", U::B1}, {"Btrig2", U::B2}, {"Vstd", U::Value},
                                  {"Alfa1", U::Proportion}, {"Alfa2", U::Proportion}, {"Vlow", U::Value},
                                  {"Vhigh", U::Value}}};
float rule8(const OptionVec& par, const BasisVec& basis) {
    const NamedOptions<kRule8> o(par);
    const float btrig1 = o["Btrig1"], btrig2 = o["Btrig2"], vstd = o["Vstd"], alfa1 = o["Alfa1"],
                alfa2 = o["Alfa2"], vlow = o["Vlow"], vhigh = o["Vhigh"];
    float v = adjust(vstd, basis(1), basis(2), btrig1, btrig2, alfa1, alfa2);
    if (vlow > v) v = vlow;
    if (v > vhigh) v = vhigh;
    return v;
}

// ------------------------------------------------------------ descriptions

// The layouts and headings are those of the result files; where a heading
// is given in full it keeps its historical spelling (Execpt_Fer, CV_Biosurv,
// double blanks, no CV_biosurv for rules 5 and 6), byte for byte.
std::vector<RuleDescription> standard_rule_descriptions() {
    using B = BasisUse;
    const std::vector<B> b12 = {B::LowerTrigger, B::UpperTrigger};
    const std::vector<B> b123 = {B::LowerTrigger, B::UpperTrigger, B::Recruitment};
    const char* const tail = "5f10.1,6f6.3)";
    const char* const sumtail = "f5.2,f10.2,f5.1, 2f10.2,2f10.1,2f5.2,3f6.3,  4f10.1,4f8.3,12f8.1)";
    std::vector<RuleDescription> r;

    r.push_back({.number = 1,
                 .name = "target with proportional adjustment",
                 .params = params_of(kRule1),
                 .basis = b12,
                 .option_layout = std::string("(2f10.1,4f10.3,") + tail,
                 .summary_layout = "(2f10.2,3f10.3,f5.2,f10.1,f5.1,3f10.1,6f6.3,                4f10.1,4f8.3,12f8.1)",
                 .eval = rule1});

    r.push_back({.number = 2,
                 .name = "straight line from Level1 at B0 to Target at Btrig1",
                 .params = params_of(kRule2),
                 .basis = b12,
                 .ptrig = 2,
                 .option_layout = std::string("(3f10.1,4f10.3,") + tail,
                 .summary_layout = std::string("(3f10.2,3f10.3,") + sumtail,
                 .eval = rule2});

    r.push_back({.number = 3,
                 .name = "rule 1 with a target growing with B3",
                 .params = params_of(kRule3),
                 .basis = {B::LowerTrigger, B::UpperTrigger, B::GainDriver},
                 .option_layout = std::string("(2f10.1,5f10.3,") + tail,
                 .summary_layout = std::string("(2f10.2,4f10.3,") + sumtail,
                 .summary_heading =
                     "Btrig1 Btrig2 Target Alfa1 Alfa2 Gain Filter Execpt_Fer Percent Except_P MinTAC MaxTAC "
                     "Bias_obs Bias_impl CVyr_obs CVyr_impl  CV_recr CV_Biosurv Cmean C10 C50 C90 Fmean F10 F50 "
                     "F90 Smean SSB10 SSB50 SSB90 Tmean TSB10 TSB50 TSB90 IAV Risklim Probtrig Crash",
                 .eval = rule3});

    r.push_back({.number = 4,
                 .name = "logistic curves below and above the triggers",
                 .params = params_of(kRule4),
                 .basis = b12,
                 .option_layout = std::string("(2f10.1,5f10.3,") + tail,
                 .summary_layout = std::string("(2f10.1,4f10.3,") + sumtail,
                 .summary_heading =
                     "Btrig1 Btrig2 Target Slope1 Slope2 Vmax Filter Except_F Percent Except_P MinTAC MaxTAC "
                     "Bias_obs Bias_impl CVyr_obs CVyr_impl  CV_recr CV_Biosurv Cmean C10 C50 C90 Fmean F10 F50 "
                     "F90 Smean SSB10 SSB50 SSB90 Tmean TSB10 TSB50 TSB90 IAV Risklim Probtrig Crash",
                 .eval = rule4});

    r.push_back({.number = 5,
                 .name = "Vlow or Vhigh by recruitment, with proportional adjustment",
                 .params = params_of(kRule5),
                 .basis = b123,
                 .option_layout = std::string("(3f10.1,5f10.3,") + tail,
                 .summary_layout = std::string("(2f10.1,5f10.3,") + sumtail,
                 .summary_heading =
                     "Btrig1 Btrig2 RefRec Alfa1 Alfa2 Vlow Vhigh Filter Except_F Percent Except_P MinTAC MaxTAC "
                     "Bias_obs Bias_impl CVyr_obs CVyr_impl  CV_recr Cmean C10 C50 C90 Fmean F10 F50 F90 Smean "
                     "SSB10 SSB50 SSB90 Tmean TSB10 TSB50 TSB90 IAV Risklim Probtrig Crash",
                 .eval = rule5});

    // Ptrig counts below the first parameter, B0, as for every rule but 2.
    r.push_back({.number = 6,
                 .name = "rule 2's shape around Vlow or Vhigh chosen by recruitment",
                 .params = params_of(kRule6),
                 .basis = b123,
                 .option_layout = std::string("(4f10.1,5f10.3,") + tail,
                 .summary_layout = std::string("(4f10.1,4f10.3,") + sumtail,
                 .summary_heading =
                     "B0 Btrig1 Btrig2 RefRec Alfa2 V0 Vlow Vhigh Filter Except_F Percent Except_P MinTAC MaxTAC "
                     "Bias_obs Bias_impl CVyr_obs CVyr_impl  CV_recr Cmean C10 C50 C90 Fmean F10 F50 F90 Smean "
                     "SSB10 SSB50 SSB90 Tmean TSB10 TSB50 TSB90 IAV Risklim Probtrig Crash",
                 .eval = rule6});

    r.push_back({.number = 7,
                 .name = "B1 only: straight line from Alfa2 at Btrig1 to Target at Btrig2",
                 .params = params_of(kRule7),
                 .basis = {B::BothTriggers},
                 .option_layout = std::string("(2f10.1,4f10.3,") + tail,
                 .summary_layout = "(2f10.2,3f10.3,f5.2,f10.1,f5.1,3f10.1,6f6.3,                4f10.1,4f8.3,12f8.1)",
                 .eval = rule7});

    r.push_back({.number = 8,
                 .name = "Vstd with proportional adjustment, held within Vlow..Vhigh",
                 .params = params_of(kRule8),
                 .basis = b12,
                 .option_layout = std::string("(2f10.1,6f10.3,") + tail,
                 .summary_layout = std::string("(2f10.1,5f10.3,") + sumtail,
                 .label_line = "Btrig1 Btrig2 Vstd Alfa1 Alfa2 Vlow Vhigh Filter   Trig_filt Percent Trig_perc MinTAC "
                               "MaxTAC Bias_obs Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv",
                 .summary_heading =
                     "Btrig1 Btrig2 Vstd   Alfa1 Alfa2 Vlow Vhigh Filter Except_F Percent Except_P MinTAC MaxTAC "
                     "Bias_obs Bias_impl CVyr_obs CVyr_impl  CV_recr CV_biosurv Cmean C10 C50 C90 Fmean F10 F50 "
                     "F90 Smean SSB10 SSB50 SSB90 Tmean TSB10 TSB50 TSB90 IAV Risklim Probtrig Crash",
                 .eval = rule8});
    return r;
}

}  // namespace tacsim
