// Weights and maturity at age: a base value scaled by density dependence on
// total stock biomass, a common cycle, a common yearly noise, the growth
// factor of the year class and an individual noise, held within limits.
// Maturity is read from the ogive at an effective age scaled the same way.
#include <algorithm>
#include <cmath>

#include "random/draws.hpp"
#include "model/mathf_cos.hpp"
#include "random/random.hpp"
#include "stock/stock.hpp"

namespace tacsim {

namespace {

// Weights and maturity of age a with the individual deviates dev[0..2] (of
// the stock weight, the catch weight and the maturity), or none.
void weights_at_age(State& s, int a, float tsb, float cyc, float e, float g, const float* dev);

}  // namespace

void updatewema(State& s, int y, const AgeVec& n) {
    float tsb = 0.0f;
    calctsb(s, n, tsb);
    float cyc = 1.0f;
    if (s.wper > 0.001f) {
        cyc = 1.0f + s.wamp * cos_sp((static_cast<float>(y) - s.wphase) * 6.283185f / s.wper);
    }
    // One draw for the common factor, also when its CV is 0, then three for
    // each age, in the order the ages use them: one run of draws.
    float run[3 * (maxage + 1) + 1];
    const int ndev = 3 * std::max(s.lastage - s.firstage + 1, 0);
    draw_normals(s, run, ndev + 1);
    const float e = 1.0f + s.wcv * run[0];
    const float* dev = run + 1;
    for (int a = s.firstage; a <= s.lastage; ++a) {
        const float g = (y >= -s.lastage && y - a >= -15) ? s.ycfac(y - a) : 1.0f;
        weights_at_age(s, a, tsb, cyc, e, g, dev + 3 * (a - s.firstage));
        const int ny = y + 1;
        if (ny >= -15 && ny <= maxyear) {
            s.westyr(ny, a) = s.west(a);
            s.wecayr(ny, a) = s.weca(a);
            s.maturyr(ny, a) = s.matur(a);
        }
    }
}

void calcwema(State& s, int a, float tsb, float cyc, float e, float g, int noise) {
    if (noise == 0) {
        weights_at_age(s, a, tsb, cyc, e, g, nullptr);
        return;
    }
    float dev[3];
    for (float& d : dev) d = draw_normal(s);
    weights_at_age(s, a, tsb, cyc, e, g, dev);
}

namespace {

void weights_at_age(State& s, int a, float tsb, float cyc, float e, float g, const float* dev) {
    const float k = g * e * cyc;
    const float excess = s.bref - tsb;
    // The density term of a coefficient: 1 without density dependence,
    // whatever the reference biomass is (it may then be 0).
    auto density = [&](float coef) { return coef != 0.0f ? 1.0f + excess * coef / s.bref : 1.0f; };

    const float ew = dev != nullptr ? 1.0f + s.westpar(a, 5) * dev[0] : 1.0f;
    s.west(a) = k * density(s.westpar(a, 4)) * s.westpar(a, 1) * ew;

    const float ec = dev != nullptr ? 1.0f + s.wecapar(a, 5) * dev[1] : 1.0f;
    s.weca(a) = k * density(s.wecapar(a, 4)) * s.wecapar(a, 1) * ec;

    const float em = dev != nullptr ? 1.0f + s.maturpar(a, 5) * dev[2] : 1.0f;
    const float x = k * density(s.maturpar(a, 4)) * static_cast<float>(a) * em;
    const int ka = static_cast<int>(x);
    if (ka < s.firstage) {
        s.matur(a) = s.maturpar(s.firstage, 1);
    } else if (ka + 1 > s.lastage) {
        s.matur(a) = s.maturpar(s.lastage, 1);
    } else {
        s.matur(a) = s.maturpar(ka, 1) + (x - static_cast<float>(ka)) * (s.maturpar(ka + 1, 1) - s.maturpar(ka, 1));
    }

    if (s.weca(a) < s.wecapar(a, 2)) s.weca(a) = s.wecapar(a, 2);
    if (s.weca(a) > s.wecapar(a, 3)) s.weca(a) = s.wecapar(a, 3);
    if (s.west(a) < s.westpar(a, 2)) s.west(a) = s.westpar(a, 2);
    if (s.west(a) > s.westpar(a, 3)) s.west(a) = s.westpar(a, 3);
    if (s.matur(a) < s.maturpar(a, 2)) s.matur(a) = s.maturpar(a, 2);
    if (s.matur(a) > s.maturpar(a, 3)) s.matur(a) = s.maturpar(a, 3);
    if (s.matur(a) > 1.0f) s.matur(a) = 1.0f;
    if (s.matur(a) < 0.0f) s.matur(a) = 0.0f;
}

}  // namespace

}  // namespace tacsim
