#include "results/setstats.hpp"

#include <limits>

#include "results/results.hpp"

namespace tacsim {

std::string_view window_name(Window w) {
    switch (w) {
        case Window::first5: return "first5";
        case Window::summary: return "summary";
        default: return "all";
    }
}

void window_years(const State& s, Window w, int& first, int& last) {
    first = 1;
    last = (w == Window::first5) ? 5 : maxyear;
    if (w == Window::summary) {
        first = s.sumyr1;
        last = s.sumyr2;
    }
}

void setstats(State& s, SetValues& out) {
    crashperm(s);
    YearVec plim, ptrig, pcrash;
    yearlyrisks(s, plim, ptrig, pcrash);
    for (int k = 0; k < nwindows; ++k) {
        const Window w = static_cast<Window>(k);
        int first = 0, last = 0;
        window_years(s, w, first, last);
        if (w == Window::summary && !(s.iout(12) == 1 && 1 <= first && first <= last && last <= maxyear)) {
            out[k].fill(std::numeric_limits<float>::quiet_NaN());
            continue;
        }
        windowsummary(s, first, last, plim, ptrig, pcrash, out[k]);
    }
}

}  // namespace tacsim
