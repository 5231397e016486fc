// Normal deviates from uniforms on vectors, compiled for each processor
// target and chosen at run time: the same IEEE operations as snrn, lane by
// lane, and the model's own logarithm, so the same bits.
// (Without Google Highway, snrn one value at a time.)
#ifdef TACSIM_HWY
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "random/deviates.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per target

#include <hwy/highway.h>

#include "model/log-inl.hpp"
#include "random/random.hpp"

HWY_BEFORE_NAMESPACE();
namespace tacsim {
namespace HWY_NAMESPACE {

// snrn of the uniforms u (as many floats as a double vector of tag d holds:
// the logarithm works in doubles).
template <class D>
HWY_INLINE hn::Vec<hn::Rebind<float, D>> NormalQuantile(D d, hn::Vec<hn::Rebind<float, D>> u) {
    const hn::Rebind<float, D> df;
    const auto half = hn::Set(df, 0.5f);
    const auto one = hn::Set(df, 1.0f);
    const auto centred = hn::Sub(u, half);
    const auto s = hn::CopySign(one, centred);
    const auto q = hn::Div(one, centred);
    const auto t = hn::Sqrt(LogSp(d, hn::Mul(q, q)));
    const auto num = hn::Add(hn::Set(df, 2.30753f), hn::Mul(hn::Set(df, 0.27061f), t));
    const auto den = hn::Add(hn::Add(one, hn::Mul(hn::Set(df, 0.99229f), t)), hn::Mul(hn::Mul(hn::Set(df, 0.04481f), t), t));
    const auto z = hn::Mul(s, hn::Sub(t, hn::Div(num, den)));
    // u = 0.5 (and NaN) give 0.
    return hn::IfThenElseZero(hn::Or(hn::Gt(u, half), hn::Lt(u, half)), z);
}

void NormalQuantiles(float* HWY_RESTRICT z, std::size_t n) {
    const hn::ScalableTag<double> d;
    const hn::Rebind<float, decltype(d)> df;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t i = 0;
    for (; i + lanes <= n; i += lanes) hn::StoreU(NormalQuantile(d, hn::LoadU(df, z + i)), df, z + i);
    if (i < n) {  // the rest as one more vector, loaded and stored under a mask
        const auto m = hn::FirstN(df, n - i);
        hn::BlendedStore(NormalQuantile(d, hn::MaskedLoad(m, df, z + i)), m, df, z + i);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace tacsim
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tacsim {

HWY_EXPORT(NormalQuantiles);

void normal_quantiles(float* z, int count) {
    if (count > 0) HWY_DYNAMIC_DISPATCH(NormalQuantiles)(z, static_cast<std::size_t>(count));
}

}  // namespace tacsim
#endif

#else

#include "random/random.hpp"

namespace tacsim {

void normal_quantiles(float* z, int count) {
    for (int k = 0; k < count; ++k) z[k] = snrn(z[k]);
}

}  // namespace tacsim
#endif
