// Array form of the model's logarithm, compiled for each processor target and
// chosen at run time, and the one-value function's special inputs.
// (Without Google Highway, one value at a time: the same bits.)
#ifdef TACSIM_HWY
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "model/mathf_log.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per target

#include <hwy/highway.h>

#include "model/log-inl.hpp"
#include "model/mathf_log.hpp"

HWY_BEFORE_NAMESPACE();
namespace tacsim {
namespace HWY_NAMESPACE {

void LogArray(const float* HWY_RESTRICT x, float* HWY_RESTRICT y, std::size_t n) {
    const hn::ScalableTag<double> d;
    const hn::Rebind<float, decltype(d)> df;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t i = 0;
    for (; i + lanes <= n; i += lanes) hn::StoreU(LogSp(d, hn::LoadU(df, x + i)), df, y + i);
    for (; i < n; ++i) y[i] = log_sp(x[i]);
}

}  // namespace HWY_NAMESPACE
}  // namespace tacsim
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tacsim {

HWY_EXPORT(LogArray);

void log_sp(const float* x, float* y, std::size_t n) { HWY_DYNAMIC_DISPATCH(LogArray)(x, y, n); }

}  // namespace tacsim
#endif

#else

#include "model/mathf_log.hpp"

namespace tacsim {

void log_sp(const float* x, float* y, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) y[i] = log_sp(x[i]);
}

}  // namespace tacsim
#endif

#if !defined(TACSIM_HWY) || HWY_ONCE
#include <bit>
#include <cstdint>
#include <limits>

namespace tacsim {

namespace logf_detail {

float log_special(float x) {
    const std::uint32_t ix = std::bit_cast<std::uint32_t>(x);
    if (ix * 2 == 0) return -std::numeric_limits<float>::infinity();
    if (ix == 0x7f800000u) return x;  // +inf
    // Negative x (-inf included) and NaN: the same expression as the C
    // library, so the same NaN (the processor's default NaN, or the input
    // made quiet).
    if ((ix & 0x80000000u) || ix * 2 >= 0xff000000u) return (x - x) / (x - x);
    // Subnormal: scale by 2^23 (exact) and take 23 off the exponent again.
    return log_normal(std::bit_cast<std::uint32_t>(x * 0x1p23f) - (23u << 23));
}

}  // namespace logf_detail

}  // namespace tacsim
#endif
