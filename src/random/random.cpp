#include "random/random.hpp"

#include <cmath>
#include <cstdint>

#include "model/mathf_log.hpp"
#include "model/state.hpp"
#include "random/draws.hpp"

namespace tacsim {

namespace {

// Lehmer generator, multiplier 23, modulus 100000001; exact in double.
constexpr double modulus = 100000001.0;
constexpr std::int64_t whole_modulus = 100000001;

// A whole-number seed in [0, modulus) -- every seed after the first step
// from one -- can be stepped in integers: 23 * seed is exact in double and
// the double quotient is never within rounding of a whole number unless it
// is one, so the remainder is exactly the integer remainder. It is the same
// number, with no division in the chain from draw to draw.
bool as_whole(double seed, std::int64_t& whole) {
    if (!(seed >= 0.0 && seed < modulus)) return false;
    whole = static_cast<std::int64_t>(seed);
    return static_cast<double>(whole) == seed;
}

std::int64_t next_whole(std::int64_t whole) { return whole * 23 % whole_modulus; }

float uniform_of(double seed) { return static_cast<float>(seed / modulus); }

}  // namespace

float rnx(double& seed) {
    std::int64_t whole = 0;
    if (as_whole(seed, whole)) {
        seed = static_cast<double>(next_whole(whole));
    } else {
        seed = seed * 23.0;
        seed = seed - modulus * std::trunc(seed / modulus);
    }
    return uniform_of(seed);
}

long long legacy_draws_between(double from, double to) {
    std::int64_t w = 0, target = 0;
    if (!as_whole(from, w) || !as_whole(to, target)) return -1;
    for (long long k = 0; k < legacy_period; ++k) {
        if (w == target) return k;
        w = next_whole(w);
    }
    return -1;
}

float snrn(float u) {
    // Rational approximation of the normal quantile applied to |u - 0.5|, the
    // sign taken from the side of 0.5. u = 0.5 (and NaN) give 0. The side of
    // 0.5 is taken without a branch: it is a coin toss, and a mispredicted
    // branch would cost more than the rest of the deviate. normal_quantiles
    // (random/deviates.cpp) does the same operations on vectors.
    if (!(u > 0.5f || u < 0.5f)) return 0.0f;
    const float s = std::copysign(1.0f, u - 0.5f);
    const float d = 1.0f / (u - 0.5f);
    const float t = std::sqrt(log_sp(d * d));
    return s * (t - (2.30753f + 0.27061f * t) / (1.0f + 0.99229f * t + 0.04481f * t * t));
}

void normal_deviates(double& seed, float* z, int count) {
    std::int64_t whole = 0;
    if (!as_whole(seed, whole)) {
        for (int k = 0; k < count; ++k) z[k] = snrn(rnx(seed));
        return;
    }
    // The seed stays a whole number in a register from draw to draw. The
    // uniforms come first, then their deviates, several at once in vectors.
    // Four draws at a time come from four chains, each stepping four draws
    // ahead (23^4 modulo the modulus is the same number as four steps of 23),
    // so that four multiply-remainders are under way at once instead of one
    // waiting for the other.
    int k = 0;
    if (count >= 4) {
        constexpr std::int64_t m4 = 23 * 23 * 23 * 23;  // 279841; times a seed below 2^27: exact
        std::int64_t w0 = next_whole(whole);
        std::int64_t w1 = whole * (23 * 23) % whole_modulus;
        std::int64_t w2 = whole * (23 * 23 * 23) % whole_modulus;
        std::int64_t w3 = whole * m4 % whole_modulus;
        for (;;) {
            z[k] = uniform_of(static_cast<double>(w0));
            z[k + 1] = uniform_of(static_cast<double>(w1));
            z[k + 2] = uniform_of(static_cast<double>(w2));
            z[k + 3] = uniform_of(static_cast<double>(w3));
            whole = w3;
            k += 4;
            if (k + 4 > count) break;
            w0 = w0 * m4 % whole_modulus;
            w1 = w1 * m4 % whole_modulus;
            w2 = w2 * m4 % whole_modulus;
            w3 = w3 * m4 % whole_modulus;
        }
    }
    for (; k < count; ++k) {
        whole = next_whole(whole);
        z[k] = uniform_of(static_cast<double>(whole));
    }
    normal_quantiles(z, count);
    seed = static_cast<double>(whole);
}

void syminv(State& s, const Mat20& a, Mat20& ainv, int n) {
    if (n == 1) {
        if (a(1, 1) == 0.0f) stop_text(s, "Singular matrix");
        ainv(1, 1) = 1.0f / a(1, 1);
        return;
    }
    // Packed lower triangle, row by row; 1-based as the sweep indices are.
    float p[20 * 21 / 2 + 1];
    float q[21];
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= i; ++j) p[i * (i - 1) / 2 + j] = a(i, j);
    for (int m = 1; m <= n; ++m) {
        const int nm = n + 1 - m;
        const float piv = p[1];
        int k = 1;
        int kp = 0;
        for (int i = 2; i <= n; ++i) {
            kp = k;
            k = k + i;
            const float w = p[kp + 1];
            if (piv == 0.0f) stop_text(s, "Singular matrix");
            q[i] = -w / piv;
            if (i > nm) q[i] = -q[i];
            for (int j = kp + 2; j <= k; ++j) p[j - i] = p[j] + w * q[j - kp];
        }
        kp = kp - 1;
        p[k] = 1.0f / piv;
        for (int i = 2; i <= n; ++i) p[kp + i] = q[i];
    }
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= i; ++j) {
            ainv(i, j) = p[i * (i - 1) / 2 + j];
            ainv(j, i) = ainv(i, j);
        }
}

namespace {

// The conditional construction of multnorm, drawing each deviate from `normal`.
template <class Normal>
void multnorm_with(State& s, const Vec20& mean, const Mat20& cov, Vec20& x, int n, Normal&& normal) {
    float z = normal();
    x(1) = mean(1) + std::sqrt(cov(1, 1)) * z;
    Mat20 prec;
    for (int k = 2; k <= n; ++k) {
        z = normal();
        syminv(s, cov, prec, k);
        if (prec(k, k) <= 0.0f) {
            list_write(messages(s), {"Covariance martrix not positive definite"});
            list_write(messages(s), {"Get a better one!"});
            stop(s);
        }
        const float sd = std::sqrt(1.0f / prec(k, k));
        float sum = 0.0f;
        for (int i = 1; i <= k - 1; ++i) sum = sum + (prec(k, i) / prec(k, k)) * (x(i) - mean(i));
        const float m = mean(k) - sum;
        x(k) = m + sd * z;
    }
}

}  // namespace

void multnorm(State& s, const Vec20& mean, const Mat20& cov, Vec20& x, double& seed, int n) {
    multnorm_with(s, mean, cov, x, n, [&seed] { return snrn(rnx(seed)); });
}

void multnorm(State& s, const Vec20& mean, const Mat20& cov, Vec20& x, int n) {
    multnorm_with(s, mean, cov, x, n, [&s] { return draw_normal(s); });
}

}  // namespace tacsim
