// The summary statistics of one simulated option set, per window, as values
// with names: what tuning compares against a risk limit and writes per point.
#pragma once

#include <array>
#include <string_view>

#include "model/state.hpp"

namespace tacsim {

// The three windows of the summary records.
enum class Window { first5, summary, all };
inline constexpr int nwindows = 3;
std::string_view window_name(Window w);  // "first5", "summary", "all"
// First and last model year of a window.
void window_years(const State& s, Window w, int& first, int& last);

// Statistics of a window: the twenty of the legacy summary record (Cmean ..
// Crash, in its order and units) followed by the three risks used in advice
// (fractions): risk1 = mean over the window's years of the yearly risk to
// Blim, risk2 = share of iterations with SSB < Blim in at least one year of
// the window, risk3 = the largest yearly risk to Blim in the window.
inline constexpr int nstats = 23;
enum Stat : int { C50 = 2, IAV = 16, S50 = 10, risk1 = 20, risk2 = 21, risk3 = 22 };
std::string_view stat_name(int k);
using WindowValues = std::array<float, nstats>;
using SetValues = std::array<WindowValues, nwindows>;

// Statistics of the option set whose results the state holds (after
// `simulateset`). Makes the crash flags permanent, as the summary does.
void setstats(State& s, SetValues& out);

}  // namespace tacsim
