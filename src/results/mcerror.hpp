// Monte Carlo standard errors of the window statistics of an option set: how
// far each estimate from the set's iterations may lie from the value an
// unlimited number of iterations would give.
#pragma once

#include <array>
#include <string>

#include "model/state.hpp"
#include "results/results.hpp"

namespace tacsim {

inline constexpr const char* kMcErrorCsv = "mcerror.csv";
// Its columns, in the order written.
inline constexpr std::array kMcErrorColumns{"set",       "window",   "first_year", "last_year",
                                            "statistic", "estimate", "se",         "method"};

// One statistic: its name as the summary table spells it, its estimate (as
// the summary table gives it), its standard error in the same unit, and how
// that error is found.
struct McError {
    const char* statistic = "";
    float estimate = 0.0f;
    float se = 0.0f;
    const char* method = "";
};
// Cmean, C50, IAV, risk1, risk2, risk3, Probtrig.
inline constexpr int nmcerror = 7;
using McErrors = std::array<McError, nmcerror>;

// The standard errors of the window of model years first..last from the
// set's result arrays (after its crash flags are made permanent); plim, ptrig
// and pcrash as from yearlyrisks.
void mcerrors(State& s, int first, int last, const YearVec& plim, const YearVec& ptrig, const YearVec& pcrash,
              McErrors& out);
// The error of the mean of x(1..n): their standard deviation over the
// square root of their number.
float mean_se(const ValueSet& x);
// The error of the median of x(1..n) from the order statistics that
// bound its distribution-free 95 % interval (NaN when n is too small for
// one); x is reordered, scratch (of x's size) overwritten.
float median_se(ValueSet& x, ValueSet& scratch);
// The error of a share p of n iterations (binomial).
float share_se(float p, int n);

// Header and rows of mcerror.csv for option set `set`: its windows as in the
// summary table (set, window, first_year, last_year, statistic, estimate, se,
// method).
void mcerrorheader(std::string& b);
void mcerrorrows(State& s, long long set, std::string& b, const YearVec& plim, const YearVec& ptrig,
                 const YearVec& pcrash);

}  // namespace tacsim
