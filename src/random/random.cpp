#include "random/random.hpp"

#include <cmath>

#include "model/state.hpp"

namespace tacsim {

float rnx(double& seed) {
    // Lehmer generator, multiplier 23, modulus 100000001; exact in double.
    constexpr double modulus = 100000001.0;
    seed = seed * 23.0;
    seed = seed - modulus * std::trunc(seed / modulus);
    return static_cast<float>(seed / modulus);
}

float snrn(float u) {
    // Rational approximation of the normal quantile applied to |u - 0.5|, the
    // sign taken from the side of 0.5.
    float s;
    if (u > 0.5f) {
        s = 1.0f;
    } else if (u < 0.5f) {
        s = -1.0f;
    } else {
        return 0.0f;
    }
    const float d = 1.0f / (u - 0.5f);
    const float t = std::sqrt(std::log(d * d));
    return s * (t - (2.30753f + 0.27061f * t) / (1.0f + 0.99229f * t + 0.04481f * t * t));
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

void multnorm(State& s, const Vec20& mean, const Mat20& cov, Vec20& x, double& seed, int n) {
    float z = snrn(rnx(seed));
    x(1) = mean(1) + std::sqrt(cov(1, 1)) * z;
    Mat20 prec;
    for (int k = 2; k <= n; ++k) {
        z = snrn(rnx(seed));
        syminv(s, cov, prec, k);
        if (prec(k, k) <= 0.0f) {
            list_write(s.con, {"Covariance martrix not positive definite"});
            list_write(s.con, {"Get a better one!"});
            stop(s);
        }
        const float sd = std::sqrt(1.0f / prec(k, k));
        float sum = 0.0f;
        for (int i = 1; i <= k - 1; ++i) sum = sum + (prec(k, i) / prec(k, k)) * (x(i) - mean(i));
        const float m = mean(k) - sum;
        x(k) = m + sd * z;
    }
}

}  // namespace tacsim
