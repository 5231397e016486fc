// Numbers as people write them in a report: an option with the decimals of
// its sweep (0.35, not the float 0.35000002 that 0.05 + 6 x 0.05 gives), a
// column of statistics with one number of decimals for the whole column.
// The tables keep every value in full; these are for the page and the
// terminal only.
#pragma once

#include <span>
#include <string>

namespace tacsim::report {

// The most decimals an option or statistic is shown with.
inline constexpr int max_decimals = 6;

// The fewest decimals (0..max_decimals) at which every value of an option
// reads as the user typed its range: each value, rounded to that many
// decimals, lies within a few float steps of the value (the rounding a
// float sweep adds). max_decimals when none does. NaN values are skipped.
int option_decimals(std::span<const double> values);

// Decimals for a column of statistics: four significant digits for the
// largest magnitude in the column, the same decimals for every value (so
// that 504.0 stands beside 509.4, 0.3810 beside 0.3747), but no more than
// the values have (option_decimals: 0.2 and 0.8 stay so). NaN and infinite
// values are skipped; 0 for an empty column.
int column_decimals(std::span<const double> values, int significant = 4);

// Decimals that tell apart two values `step` apart (0.05: 2, 0.0065: 3),
// 0..max_decimals.
int resolution_decimals(double step);

// Decimals of a tuned option searched in [lo, hi] to the tolerance `tol`
// by halving in decimals: those of the finest values the search tries
// where they are short (0.450 and 0.475 in [0.3, 0.5] to 0.05), else one
// decimal beyond the tolerance (0.4039 and 0.4090 to 0.0065); never fewer
// than the range has.
int tuned_decimals(float lo, float hi, float tol);

// The value with `decimals` decimals ("-" for NaN, "Inf", "-Inf"); never "-0".
std::string fixed(double v, int decimals);

// The value with `significant` significant digits, trailing zeros kept
// (504.0, 0.3810), without an exponent for the sizes a stock has.
std::string significant(double v, int significant = 4);

}  // namespace tacsim::report
