// Ascending sort of the 1000 per-iteration values, the risk of SSB below
// Blim, and the normal distribution function behind it.
#include <cmath>

#include "io/records.hpp"
#include "results/results.hpp"
#include "model/mathf.hpp"

namespace tacsim {

void sort(ValueSet& x) {
    // Insertion sort: a new value goes after the equal values already placed,
    // so equal values keep their input order.
    float* w = x.data();
    bool nan = false;
    for (int i = 0; i < maxiter; ++i) nan = nan || std::isnan(w[i]);
    if (nan) {
        // A NaN compares with nothing, so the values placed so far need not
        // be ordered: each new value goes before the first one placed that
        // is strictly greater, searching from the bottom.
        for (int i = 1; i < maxiter; ++i) {
            const float v = w[i];
            int j = 0;
            while (j < i && !(w[j] > v)) ++j;
            for (int m = i; m > j; --m) w[m] = w[m - 1];
            w[j] = v;
        }
        return;
    }
    for (int i = 1; i < maxiter; ++i) {
        const float v = w[i];
        int j = i;
        while (j > 0 && w[j - 1] > v) {
            w[j] = w[j - 1];
            --j;
        }
        w[j] = v;
    }
}

void cumnorm(float x, float mean, float sd, float& p) {
    const float z = (x - mean) / sd;
    const float b = -(z * z);
    const float q = 7.0f * exp_sp(0.5f * b) + 16.0f * exp_sp(0.58558f * b) + (7.0f - 0.7854f * b) * exp_sp(b);
    const float h = 0.5f * std::sqrt(1.0f - q / 30.0f);
    p = (z < 0.0f) ? 0.5f - h : 0.5f + h;
}

void risk(State& s, const ValueSet& values, float blim, float sigma, int method, float& result) {
    const float nn = static_cast<float>(maxiter);
    if (method == 0) {
        int below = 0;
        for (int i = 1; i <= maxiter; ++i) {
            if (values(i) < blim) ++below;
        }
        result = static_cast<float>(below) / nn;
        return;
    }
    if (blim <= 0.0f) {
        list_write(s.con, {"You ask for the risk to Blim=0"});
        list_write(s.con, {"That does not make sense - correct the opt.inn file"});
        stop(s);
    }
    if (sigma <= 0.0f) {
        list_write(s.con, {"You ask for the risk to Blim with sigma=0"});
        list_write(s.con, {"That does not make sense - correct the opt.inn file"});
        stop(s);
    }
    float sum = 0.0f;
    if (method == 1) {
        const float sd = sigma * blim;
        for (int i = 1; i <= maxiter; ++i) {
            float p = 0.0f;
            cumnorm(values(i), blim, sd, p);
            sum = sum + (1.0f - p);
        }
    } else if (method == 2) {
        const float lb = std::log(blim);
        for (int i = 1; i <= maxiter; ++i) {
            float p = 0.0f;
            // A non-positive SSB counts as certainly below Blim.
            if (values(i) > 0.0f) cumnorm(std::log(values(i)), lb, sigma, p);
            sum = sum + (1.0f - p);
        }
    }
    result = (sum > 0.0f) ? sum / nn : 0.0f;
}

}  // namespace tacsim
