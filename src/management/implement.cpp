// Implementation model: the fleet takes the TAC with a yearly error and a
// bias, the age composition of its catch is distorted by age errors, and the
// year's fishing mortality and exploitation pattern follow from the catch
// numbers.
#include <cmath>

#include "management/management.hpp"
#include "random/random.hpp"
#include "stock/stock.hpp"
#include "model/mathf.hpp"

namespace tacsim {

void implement(State& s, float& tac, float& catchv, AgeVec& ntrue, float& f, int& flag, AgeVec& cnum) {
    s.biasimpl = s.par(19);
    s.cvimpl = s.par(21);
    flag = 0;

    // F that would take the TAC with the usual selection (the search may
    // lower a TAC the stock cannot yield).
    float f0 = 0.0f;
    findf(s, ntrue, tac, f0, flag, 1);

    // Expected catch numbers at age.
    for (int a = 0; a <= s.lastage; ++a) {
        if (a < s.firstage) {
            cnum(a) = 0.0f;
            continue;
        }
        const float z = s.natmor(a) + f0 * s.sel(a, 1);
        cnum(a) = (z > 0.0f) ? ntrue(a) * f0 * s.sel(a, 1) * (1.0f - exp_sp(-z)) / z : 0.0f;
    }

    // Catch taken: the TAC times a yearly factor with median 1 + bias.
    const float fi = (1.0f + s.biasimpl) * exp_sp(s.cvimpl * snrn(rnx(s.seed)));
    catchv = tac * fi;

    // Age errors of the catch composition.
    for (int a = s.firstage; a <= s.lastage; ++a) {
        float e = 0.0f;
        if (s.cvimpage(a) > 0.0f) e = s.cvimpage(a) * snrn(rnx(s.seed));
        cnum(a) = cnum(a) * exp_sp(e) * fi;
        if (!(cnum(a) > 0.0f)) cnum(a) = 0.0f;
    }

    // Scale the catch numbers so that they weigh exactly the catch taken.
    float w = 0.0f;
    for (int a = s.firstage; a <= s.lastage; ++a) w = w + s.weca(a) * cnum(a);
    for (int a = s.firstage; a <= s.lastage; ++a) cnum(a) = (w > 0.0f) ? catchv * cnum(a) / w : 0.0f;

    // Fishing mortality at age from the catch numbers (Pope's approximation),
    // its mean over the reference ages and the realised pattern.
    AgeVec fa;
    fa.fill(0.0f);
    for (int a = s.firstage; a <= s.lastage; ++a) {
        if (cnum(a) > 0.0f) {
            const float x = 1.0f - exp_sp(s.natmor(a) / 2.0f) * cnum(a) / ntrue(a);
            fa(a) = (x > 0.0f) ? -std::log(x) : s.fcap;
        } else {
            fa(a) = 0.0f;
        }
    }
    float sum = 0.0f;
    for (int a = s.fbar1; a <= s.fbar2; ++a) sum = sum + fa(a);
    const float fbar = sum / static_cast<float>(s.fbar2 - s.fbar1 + 1);
    for (int a = s.firstage; a <= s.lastage; ++a) s.sel(a, 2) = (fbar > 0.0f) ? fa(a) / fbar : 0.0f;

    // The F that takes the catch with the realised pattern.
    findf(s, ntrue, catchv, f, flag, 2);
}

}  // namespace tacsim
