// Per-recruit curves with the base weights and maturities at age, and the
// reference points read from them: F at a percentage of the unfished SSB
// per recruit, and Fcrash, where the SSB per recruit no longer replaces the
// recruits at the slope of the recruitment function at the origin.
#include <cmath>
#include <limits>

#include "model/mathf.hpp"
#include "perrecruit/perrecruit.hpp"

namespace tacsim {

void perrecruit(const State& s, float f, float& ypr, float& spr) {
    const int last = s.lastage;
    float lx = 1.0f;  // survivors per recruit at the start of age a
    float y = 0.0f, b = 0.0f;
    for (int a = 0; a <= last; ++a) {
        const float z = s.natmor(a) + f * s.sel(a, 1);
        const float surv = exp_sp(-z);
        // The oldest age is a plus group: it keeps its own survivors, a
        // geometric series.
        float n = lx;
        if (a == last) n = (surv < 1.0f) ? lx / (1.0f - surv) : std::numeric_limits<float>::infinity();
        if (z > 0.0f) y = y + n * s.sel(a, 1) * f * (1.0f - surv) / z * s.wecapar(a, 1);
        if (a >= s.firstage) {
            b = b + n * exp_sp(-s.sel(a, 1) * f * s.fprop - s.natmor(a) * s.mprop) * s.westpar(a, 1) *
                        s.maturpar(a, 1);
        }
        lx = lx * surv;
    }
    ypr = y;
    spr = b;
}

float fforspr(const State& s, float target) {
    float ypr = 0.0f, spr = 0.0f;
    perrecruit(s, 0.0f, ypr, spr);
    if (!(spr > target)) return 0.0f;
    // Bracket the F-factor, then halve the bracket until it no longer
    // narrows in single precision.
    float lo = 0.0f, hi = 1.0f;
    for (;;) {
        perrecruit(s, hi, ypr, spr);
        if (spr <= target) break;
        lo = hi;
        hi = 2.0f * hi;
        if (hi > 1.0e6f) return -1.0f;
    }
    for (int k = 0; k < 200; ++k) {
        const float mid = 0.5f * (lo + hi);
        if (mid <= lo || mid >= hi) break;
        perrecruit(s, mid, ypr, spr);
        if (spr > target) lo = mid;
        else hi = mid;
    }
    return 0.5f * (lo + hi);
}

float originslope(int rfun, float level, float rssb) {
    if (!(rssb > 0.0f)) return std::numeric_limits<float>::infinity();
    switch (rfun) {
        case 1:  // segmented: level reached at rssb
        case 2:  // Beverton-Holt: half the level at rssb
            return level / rssb;
        case 3:  // Ricker with its maximum level at rssb
            return level * exp_sp(1.0f) / rssb;
        default:
            return std::numeric_limits<float>::quiet_NaN();
    }
}

}  // namespace tacsim
