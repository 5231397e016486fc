// Ascending sort of the per-iteration values, the risk of SSB below
// Blim, and the normal distribution function behind it.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "records/records.hpp"
#include "results/results.hpp"
#include "model/mathf.hpp"
#include "model/mathf_log.hpp"

namespace tacsim {

namespace {

// Bits of a float mapped to an unsigned integer of the same order; both zeros
// map to the key of +0 because they compare equal.
std::uint32_t order_key(float v) {
    const std::uint32_t b = std::bit_cast<std::uint32_t>(v == 0.0f ? 0.0f : v);
    return (b & 0x80000000u) ? ~b : (b | 0x80000000u);
}

}  // namespace

// The order of an insertion sort in which each new value goes before the
// first value already placed that is strictly greater (searching from the
// bottom), found in O(n log n). Without NaN that is the ascending order with
// equal values in input order. A NaN is greater than nothing and nothing is
// greater than it: it stays after every value placed before it, and a later
// value goes in front of it exactly when it is smaller than the largest value
// that preceded the NaN in the input. So the NaN sorts as that largest value
// (below every number when none preceded it), placed after the equal values
// that preceded it and before those that follow it. Each value is sorted by
// (its key, its input position) packed in one 64-bit integer (the keys and
// the copy of the input are allocated: a NaN among the results is rare).
void sort(ValueSet& x) {
    float* w = x.data();
    const int n = x.upper(0);
    std::vector<std::uint64_t> keys(static_cast<std::size_t>(n));
    std::uint32_t lead = 0;  // key of the largest number so far (0: none yet)
    for (int i = 0; i < n; ++i) {
        std::uint32_t k = lead;
        if (!std::isnan(w[i])) {
            k = order_key(w[i]);
            if (k > lead) lead = k;
        }
        keys[static_cast<std::size_t>(i)] = (static_cast<std::uint64_t>(k) << 32) | static_cast<std::uint32_t>(i);
    }
    std::sort(keys.begin(), keys.end());
    const std::vector<float> in(w, w + n);
    for (int i = 0; i < n; ++i) w[i] = in[static_cast<std::uint32_t>(keys[static_cast<std::size_t>(i)])];
}

void sorted_at(ValueSet& x, ValueSet& scratch, const int* pos, int npos, float* out) {
    float* a = x.data();
    const int n = x.upper(0);
    int negative = 0;
    for (int i = 0; i < n; ++i) {
        if (std::isnan(a[i])) {
            // NaN has a place of its own in the sort: sort them all.
            sort(x);
            for (int k = 0; k < npos; ++k) out[k] = x(pos[k]);
            return;
        }
        negative += a[i] < 0.0f ? 1 : 0;
    }
    scratch = x;  // the input order, for the zeros
    // Each position by selection within what lies above the one before.
    int from = 0;
    for (int k = 0; k < npos; ++k) {
        const int at = pos[k] - 1;
        std::nth_element(a + from, a + at, a + n);
        float v = a[at];
        if (v == 0.0f) {
            // Equal values keep their input order, and +0 and -0 are equal:
            // the zeros fill the places after the negative values in the
            // order they came, so the place says which zero it holds.
            int zero = at - negative;
            for (int i = 1; i <= n; ++i) {
                if (scratch(i) == 0.0f && zero-- == 0) {
                    v = scratch(i);
                    break;
                }
            }
        }
        out[k] = v;
        from = at + 1;
    }
}

void cumnorm(float x, float mean, float sd, float& p) {
    const float z = (x - mean) / sd;
    const float b = -(z * z);
    // Far from the mean e^b is 0 and the third term with it; its first factor
    // may be infinite there (z*z overflows for a tiny sd), so it is not formed.
    const float eb = exp_sp(b);
    const float third = eb != 0.0f ? (7.0f - 0.7854f * b) * eb : 0.0f;
    const float q = 7.0f * exp_sp(0.5f * b) + 16.0f * exp_sp(0.58558f * b) + third;
    const float h = 0.5f * std::sqrt(1.0f - q / 30.0f);
    p = (z < 0.0f) ? 0.5f - h : 0.5f + h;
}

void checkriskref(State& s, float blim, float sigma) {
    if (blim <= 0.0f) {
        list_write(messages(s), {"You ask for the risk to Blim=0"});
        list_write(messages(s), {"That does not make sense - correct the opt.inn file"});
        stop(s);
    }
    if (sigma <= 0.0f) {
        list_write(messages(s), {"You ask for the risk to Blim with sigma=0"});
        list_write(messages(s), {"That does not make sense - correct the opt.inn file"});
        stop(s);
    }
}

void risk(State& s, const ValueSet& values, float blim, float sigma, int method, float& result) {
    const int n = values.upper(0);
    const float nn = static_cast<float>(n);
    if (method == 0) {
        int below = 0;
        for (int i = 1; i <= n; ++i) {
            if (values(i) < blim) ++below;
        }
        result = static_cast<float>(below) / nn;
        return;
    }
    checkriskref(s, blim, sigma);
    float sum = 0.0f;
    if (method == 1 || method == 2) {
        for (int i = 1; i <= n; ++i) sum = sum + pbelow(values(i), blim, sigma, method);
    }
    result = (sum > 0.0f) ? sum / nn : 0.0f;
}

float pbelow(float v, float blim, float sigma, int method) {
    float p = 0.0f;
    if (method == 1) {
        cumnorm(v, blim, sigma * blim, p);
    } else if (method == 2) {
        // A non-positive SSB counts as certainly below Blim.
        if (v > 0.0f) cumnorm(log_sp(v), log_sp(blim), sigma, p);
    } else {
        return v < blim ? 1.0f : 0.0f;
    }
    return 1.0f - p;
}

}  // namespace tacsim
