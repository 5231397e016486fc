// Array form of the model's exponential, compiled for each processor target
// and chosen at run time.
// (Without Google Highway, one value at a time: the same bits.)
#ifdef TACSIM_HWY
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "model/mathf.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per target

#include <hwy/highway.h>

#include "model/exp-inl.hpp"
#include "model/mathf.hpp"

HWY_BEFORE_NAMESPACE();
namespace tacsim {
namespace HWY_NAMESPACE {

void ExpArray(const float* HWY_RESTRICT x, float* HWY_RESTRICT y, std::size_t n) {
    std::size_t i = 0;
    if constexpr (kVectorExp) {
        const hn::ScalableTag<double> d;
        const hn::Rebind<float, decltype(d)> df;
        const std::size_t lanes = hn::Lanes(d);
        for (; i + lanes <= n; i += lanes) hn::StoreU(ExpSp(d, hn::LoadU(df, x + i)), df, y + i);
        // The rest (fewer than a vector: the ages of a stock rarely fill the
        // last one) as one more vector, loaded and stored under a mask.
        if (i < n) {
            const auto m = hn::FirstN(df, n - i);
            hn::BlendedStore(ExpSp(d, hn::MaskedLoad(m, df, x + i)), m, df, y + i);
            return;
        }
    }
    for (; i < n; ++i) y[i] = exp_sp(x[i]);
}

}  // namespace HWY_NAMESPACE
}  // namespace tacsim
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tacsim {

HWY_EXPORT(ExpArray);

void exp_sp(const float* x, float* y, std::size_t n) { HWY_DYNAMIC_DISPATCH(ExpArray)(x, y, n); }

}  // namespace tacsim
#endif

#else

#include "model/mathf.hpp"

namespace tacsim {

void exp_sp(const float* x, float* y, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) y[i] = exp_sp(x[i]);
}

}  // namespace tacsim
#endif
