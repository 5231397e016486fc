// The summary statistics of one simulated option set in each of the three
// windows of the summary files: what tuning compares with a risk limit and
// writes for every point it simulates.
#pragma once

#include <array>
#include <string_view>

#include "model/state.hpp"
#include "results/tables.hpp"

namespace tacsim {

// The windows: First_5, the Years file's summary years, All_years.
enum class Window { first5, summary, all };
inline constexpr int nwindows = 3;
std::string_view window_name(Window w);  // "first5", "summary", "all"
// First and last model year of a window.
void window_years(const State& s, Window w, int& first, int& last);

// Positions in SummaryValues of the statistics tuning looks at.
enum Stat : int { C50 = 2, SSB50 = 10, IAV = 16, risk1 = 20, risk2 = 21, risk3 = 22 };
using SetValues = std::array<SummaryValues, nwindows>;

// Statistics of the option set whose results the state holds (after
// `simulateset`); makes the crash flags permanent as the summaries do. The
// summary window's values do not exist (NaN) when no Years file is asked for.
void setstats(State& s, SetValues& out);

}  // namespace tacsim
