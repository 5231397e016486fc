#include "report/numbers.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tacsim::report {

namespace {

// Float steps a swept value may lie away from the decimal the user typed:
// lowest + k x step in float arithmetic rounds once per operation.
constexpr float sweep_steps = 4.0f;

double round_to(double v, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(v * scale) / scale;
}

}  // namespace

int option_decimals(std::span<const double> values) {
    for (int d = 0; d < max_decimals; ++d) {
        const bool reads = std::all_of(values.begin(), values.end(), [&](double v) {
            if (!std::isfinite(v)) return true;
            const float f = static_cast<float>(v);
            const float ulp = std::nextafter(std::fabs(f), INFINITY) - std::fabs(f);
            return std::fabs(round_to(v, d) - v) <= sweep_steps * ulp;
        });
        if (reads) return d;
    }
    return max_decimals;
}

namespace {

// Decimals that give `largest` its significant digits.
int significant_decimals(double largest, int significant) {
    if (largest == 0.0 || !std::isfinite(largest)) return 0;
    // The digits before the point once rounded (999.96 rounds to 1000.0 with
    // four digits: four before the point).
    int before = static_cast<int>(std::floor(std::log10(largest))) + 1;
    if (round_to(largest, std::max(0, significant - before)) >= std::pow(10.0, before)) ++before;
    return std::clamp(significant - before, 0, max_decimals);
}

}  // namespace

int column_decimals(std::span<const double> values, int significant) {
    double largest = 0.0;
    for (double v : values) {
        if (std::isfinite(v)) largest = std::max(largest, std::fabs(v));
    }
    // No more decimals than the values have: risks counted in tenths of a
    // percent read 0.2 and 0.8, not 0.2000.
    return std::min(significant_decimals(largest, significant), option_decimals(values));
}

int resolution_decimals(double step) {
    if (!(step > 0.0) || !std::isfinite(step)) return 0;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, max_decimals);
}

int tuned_decimals(float lo, float hi, float tol) {
    const double range[] = {lo, hi};
    const int d = option_decimals(range);
    const int beyond = resolution_decimals(tol) + 1;
    // The search halves down to a step below half the tolerance (with
    // several values a round, the values tried come closer than the
    // tolerance).
    double step = static_cast<double>(hi) - static_cast<double>(lo);
    for (int n = 0; n < 40 && step > static_cast<double>(tol) / 2.0; ++n) step /= 2.0;
    const double grid[] = {static_cast<double>(lo) + step};
    const int fine = option_decimals(grid);
    // (option_decimals gives max_decimals also where no decimal reads back.)
    return std::max(d, fine <= std::min(beyond + 2, max_decimals - 1) ? fine : std::min(beyond, max_decimals));
}

std::string fixed(double v, int decimals) {
    if (std::isnan(v)) return "-";
    if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", std::clamp(decimals, 0, 17), v);
    std::string s = buf;
    // -0.00 is 0.00 to a reader.
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

std::string significant(double v, int significant) { return fixed(v, significant_decimals(std::fabs(v), significant)); }

}  // namespace tacsim::report
