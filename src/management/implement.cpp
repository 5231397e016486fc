// Implementation model: the fleet takes the TAC with a yearly error and a
// bias, the age composition of its catch is distorted by age errors, and the
// year's fishing mortality and exploitation pattern follow from the catch
// numbers.
#include <algorithm>
#include <cmath>

#include "random/draws.hpp"
#include "management/management.hpp"
#include "random/random.hpp"
#include "stock/stock.hpp"
#include "model/mathf.hpp"
#include "model/mathf_log.hpp"

namespace tacsim {

void implement(State& s, float& tac, float& catchv, AgeVec& ntrue, float& f, int& flag, AgeVec& cnum) {
    s.biasimpl = s.par(shared("Bias_impl"));
    s.cvimpl = s.par(shared("CVyr_impl"));
    flag = 0;

    // F that would take the TAC with the usual selection (the search may
    // lower a TAC the stock cannot yield).
    float f0 = 0.0f;
    findf(s, ntrue, tac, f0, flag, 1);

    // Expected catch numbers at age. The exponentials of the ages are taken
    // all at once (x holds their arguments at a - first).
    const int first = std::max(s.firstage, 0);
    const auto ages = static_cast<std::size_t>(std::max(s.lastage - first + 1, 0));
    float z[maxage + 1], x[maxage + 1], e[maxage + 1];
    for (int a = 0; a < first && a <= s.lastage; ++a) cnum(a) = 0.0f;
    for (int a = first; a <= s.lastage; ++a) {
        z[a] = s.natmor(a) + f0 * s.sel(a, 1);
        x[a - first] = -z[a];
    }
    exp_sp(x, e, ages);
    for (int a = first; a <= s.lastage; ++a)
        cnum(a) = (z[a] > 0.0f) ? ntrue(a) * f0 * s.sel(a, 1) * (1.0f - e[a - first]) / z[a] : 0.0f;

    // Catch taken: the TAC times a yearly factor with median 1 + bias. Its
    // deviate and then those of the age errors of the catch composition, in
    // age order, are one run of draws.
    int drawn = 0;
    for (int a = first; a <= s.lastage; ++a) drawn += s.cvimpage(a) > 0.0f ? 1 : 0;
    float dev[maxage + 2];
    draw_normals(s, dev, drawn + 1);
    const float fi = (1.0f + s.biasimpl) * exp_sp(s.cvimpl * dev[0]);
    catchv = tac * fi;
    drawn = 1;
    for (int a = first; a <= s.lastage; ++a) x[a - first] = s.cvimpage(a) > 0.0f ? s.cvimpage(a) * dev[drawn++] : 0.0f;
    exp_sp(x, e, ages);
    for (int a = first; a <= s.lastage; ++a) {
        cnum(a) = cnum(a) * e[a - first] * fi;
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
    for (int a = first; a <= s.lastage; ++a) x[a - first] = s.natmor(a) / 2.0f;
    exp_sp(x, e, ages);
    for (int a = first; a <= s.lastage; ++a) {
        if (cnum(a) > 0.0f) {
            const float left = 1.0f - e[a - first] * cnum(a) / ntrue(a);
            fa(a) = (left > 0.0f) ? -log_sp(left) : s.fcap;
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
