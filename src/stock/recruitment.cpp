// Recruitment: the parameters of the regime in force for a year, and one draw
// of recruitment from a spawning stock with its deviate and truncation, which
// also sets the growth factor of the new year class.
#include <cmath>

#include "random/draws.hpp"
#include "random/random.hpp"
#include "stock/stock.hpp"
#include "model/mathf.hpp"
#include "model/mathf_cos.hpp"
#include "model/mathf_pow.hpp"

namespace tacsim {

void put_in_force(State& s, int r) {
    const Regime& g = s.regime(r);
    s.rreg = r;
    s.rfun = g.function;
    s.rdist = g.distribution;
    s.rtrunc = g.truncation;
    s.rlevel = g.level;
    s.rssb = g.ssb;
    s.rcv = g.cv;
    s.rlow = g.low;
    s.rhigh = g.high;
    s.rpow = g.exponent;
    s.ramp = g.amplitude;
    s.rper = g.period;
    s.rphase = g.phase;
    s.obmean = g.outburst_interval;
    s.obfac = g.outburst_factor;
}

void rcrparam(State& s, int y, int mode) {
    // Years beyond the simulated range (decision projections look past year
    // 40) keep the regime of the last simulated year.
    const int r = y >= 1 ? s.ireg(y < maxyear ? y : maxyear) : 1;
    put_in_force(s, r);
    if (s.srflag(r) == 1) {
        const int it = s.iter;
        if (s.srpar(it, r, 1) < 0.0f) {
            list_write(messages(s), {it, r, s.srpar(it, r, 1), s.srpar(it, r, 2), s.srpar(it, r, 3), s.srpar(it, r, 4),
                               s.srpar(it, r, 5)});
            list_write(messages(s), {"Need ", s.nsim, " sets of recruitment parameters for"});
            list_write(messages(s), {"regime ", r});
            list_write(messages(s), {"Only got", it - 1});
            list_write(messages(s), {"Amend the srspec file"});
            stop(s);
        }
        s.rlevel = s.srpar(it, r, 3);
        s.rssb = s.srpar(it, r, 4);
        s.rcv = s.srpar(it, r, 5);
        s.rfun = static_cast<int>(s.srpar(it, r, 1) + 0.001f);
        s.rdist = static_cast<int>(s.srpar(it, r, 2) + 0.001f);
    }

    if (mode > 0 && s.rper > 0.0f) {
        // Cycle in the level (the period constant is 6.28), and outbursts on
        // top of it; years outside the simulated range keep the level.
        const float f = s.rlevel * (1.0f + s.ramp * cos_sp((static_cast<float>(y) - s.rphase) * 6.28f / s.rper));
        if (y >= 0 && y <= maxyear) s.rmax = s.iob(y) == 1 ? f * s.obfac : f;
    } else {
        s.rmax = s.rlevel;
    }
}

void recr(State& s, float& r, float ssb, float cv) {
    constexpr int max_draws = 1000000;
    float r0 = 0.0f;
    switch (s.rfun) {
        case 1:  // segmented power (hockey stick when the exponent is 1)
            r0 = ssb < s.rssb ? s.rmax * pow_sp(ssb / s.rssb, s.rpow) : s.rmax;
            break;
        case 2:  // Shepherd (Beverton-Holt when the exponent is 1)
            r0 = s.rmax * pow_sp(ssb, s.rpow) / (pow_sp(s.rssb, s.rpow) + pow_sp(ssb, s.rpow));
            break;
        case 3:  // Ricker with its maximum rmax at rssb
            r0 = (s.rmax * ssb / s.rssb) * exp_sp(1.0f - ssb / s.rssb);
            break;
        default:
            stop_with(s, {"Incomprehensible recruit function", s.rfun});
    }

    if (cv <= 0.0f) {
        r = r0;
    } else {
        int draws = 0;
        for (;;) {
            if (++draws > max_draws) {
                stop_with(s, {"Recruitment truncation limits admit no deviate in regime", s.rreg});
            }
            const float z = draw_normal(s);
            float m = 0.0f;
            if (s.rdist == 1) {
                m = 1.0f + cv * z;
            } else if (s.rdist == 2) {
                m = exp_sp(cv * z - cv * cv / 2.0f);
            } else {
                stop_with(s, {"Incomprehensible recruit distribution", s.rdist});
            }
            const float t = s.rtrunc == 1 ? z : m;
            if (t < s.rlow || t > s.rhigh) continue;
            r = m * r0;
            if (r < 0.0f) continue;
            break;
        }
    }

    // Without a slope the factor is 1 whatever the reference recruitment is
    // (it may then be 0).
    float g = s.ycslope != 0.0f ? 1.0f + s.ycslope * (s.rref - r) / s.rref : 1.0f;
    if (g < s.ycmin) g = s.ycmin;
    if (g > s.ycmax) g = s.ycmax;
    s.ycf = g;
    // The cycle and outburst adjustment of the level serves one draw only.
    s.rmax = s.rlevel;
}

}  // namespace tacsim
