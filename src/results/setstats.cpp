#include "results/setstats.hpp"

#include <limits>

#include "results/results.hpp"

namespace tacsim {

namespace {

constexpr std::string_view names[nstats] = {
    "Cmean", "C10",  "C50",   "C90",  "Fmean", "F10",     "F50",   "F90",
    "Smean", "SSB10", "SSB50", "SSB90", "Tmean", "TSB10", "TSB50", "TSB90",
    "IAV",   "Risklim", "Probtrig", "Crash", "risk1", "risk2", "risk3"};

}  // namespace

std::string_view window_name(Window w) {
    switch (w) {
        case Window::first5: return "first5";
        case Window::summary: return "summary";
        default: return "all";
    }
}

void window_years(const State& s, Window w, int& first, int& last) {
    switch (w) {
        case Window::first5:
            first = 1;
            last = 5;
            break;
        case Window::summary:
            first = s.sumyr1;
            last = s.sumyr2;
            break;
        default:
            first = 1;
            last = maxyear;
            break;
    }
}

std::string_view stat_name(int k) { return names[k]; }

void setstats(State& s, SetValues& out) {
    YearVec plim, ptrig, pcrash;
    yearlyprobs(s, plim, ptrig, pcrash);
    for (int k = 0; k < nwindows; ++k) {
        const Window w = static_cast<Window>(k);
        int first = 0, last = 0;
        window_years(s, w, first, last);
        WindowValues& v = out[k];
        if (!(1 <= first && first <= last && last <= maxyear)) {
            // No summary window was asked for: its statistics do not exist.
            v.fill(std::numeric_limits<float>::quiet_NaN());
            continue;
        }
        WindowStats st;
        windowstats(s, first, last, plim, ptrig, pcrash, st);
        for (int j = 1; j <= 20; ++j) v[j - 1] = st(j);
        const float nf = static_cast<float>(last - first + 1);
        float mean = 0.0f, peak = 0.0f;
        for (int y = first; y <= last; ++y) {
            mean = mean + plim(y) / nf;
            if (plim(y) > peak) peak = plim(y);
        }
        int hit = 0;
        for (int i = 1; i <= maxiter; ++i) {
            for (int y = first; y <= last; ++y) {
                if (s.ssbres(y, i) < s.blim) {
                    ++hit;
                    break;
                }
            }
        }
        v[risk1] = mean;
        v[risk2] = static_cast<float>(hit) / static_cast<float>(maxiter);
        v[risk3] = peak;
    }
}

}  // namespace tacsim
