// Ascending sort of the 1000 per-iteration values, the risk of SSB below
// Blim, and the normal distribution function behind it.
#include <cmath>

#include "io/records.hpp"
#include "results/results.hpp"

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

void stablesort(ValueSet& x, ValueSet& scratch) {
    float* a = x.data();
    for (int i = 0; i < maxiter; ++i) {
        if (std::isnan(a[i])) return sort(x);
    }
    // Runs of 16 by insertion, then a bottom-up merge sort; on ties the
    // left run goes first, which keeps equal values (+0 and -0 among them)
    // in input order.
    constexpr int run = 16;
    for (int lo = 0; lo < maxiter; lo += run) {
        const int hi = lo + run < maxiter ? lo + run : maxiter;
        for (int i = lo + 1; i < hi; ++i) {
            const float v = a[i];
            int j = i;
            while (j > lo && a[j - 1] > v) {
                a[j] = a[j - 1];
                --j;
            }
            a[j] = v;
        }
    }
    float* from = a;
    float* to = scratch.data();
    for (int width = run; width < maxiter; width *= 2) {
        for (int lo = 0; lo < maxiter; lo += 2 * width) {
            const int mid = lo + width < maxiter ? lo + width : maxiter;
            const int hi = lo + 2 * width < maxiter ? lo + 2 * width : maxiter;
            int i = lo, j = mid, k = lo;
            // Branch-free merge step: the comparison picks the source.
            while (i < mid && j < hi) {
                const float a = from[i], b = from[j];
                const bool right = b < a;
                to[k++] = right ? b : a;
                j += right;
                i += !right;
            }
            while (i < mid) to[k++] = from[i++];
            while (j < hi) to[k++] = from[j++];
        }
        float* t = from;
        from = to;
        to = t;
    }
    if (from != a) {
        for (int i = 0; i < maxiter; ++i) a[i] = from[i];
    }
}

void cumnorm(float x, float mean, float sd, float& p) {
    const float z = (x - mean) / sd;
    const float b = -(z * z);
    const float q = 7.0f * std::exp(0.5f * b) + 16.0f * std::exp(0.58558f * b) + (7.0f - 0.7854f * b) * std::exp(b);
    const float h = 0.5f * std::sqrt(1.0f - q / 30.0f);
    p = (z < 0.0f) ? 0.5f - h : 0.5f + h;
}

void checkriskref(State& s, float blim, float sigma) {
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
    checkriskref(s, blim, sigma);
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
