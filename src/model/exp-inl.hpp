// The exponential of model/mathf.hpp on Highway vectors, for code compiled
// once per processor target (include it after hwy/highway.h, inside a file
// that hwy/foreach_target.h re-includes).
#if defined(TACSIM_MODEL_EXP_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TACSIM_MODEL_EXP_INL_H_
#undef TACSIM_MODEL_EXP_INL_H_
#else
#define TACSIM_MODEL_EXP_INL_H_
#endif

#include <hwy/highway.h>

#include "model/mathf.hpp"

HWY_BEFORE_NAMESPACE();
namespace tacsim {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Whether this target fuses a multiply-add in one rounding; targets without
// it take the one-value function, which calls std::fma.
inline constexpr bool kVectorExp = HWY_NATIVE_FMA != 0;

// exp_sp of the floats x (as many as a double vector of tag d holds).
template <class D>
HWY_INLINE hn::Vec<hn::Rebind<float, D>> ExpSp(D d, hn::Vec<hn::Rebind<float, D>> x) {
    namespace e = expf_detail;
    const hn::Rebind<float, D> df;
    const hn::RebindToSigned<D> di;
    const auto xd = hn::PromoteTo(d, x);
    const auto shift = hn::Set(d, e::shift);
    const auto inv_ln2_n = hn::Set(d, e::inv_ln2_n);
    auto kd = hn::Add(hn::Mul(inv_ln2_n, xd), shift);
    const auto ki = hn::BitCast(di, kd);
    kd = hn::Sub(kd, shift);
    const auto r = hn::MulAdd(inv_ln2_n, xd, hn::Neg(kd));  // the one fused multiply-add
    const auto tab = hn::GatherIndex(di, e::table, hn::And(ki, hn::Set(di, 31)));
    const auto s = hn::BitCast(d, hn::Add(tab, hn::ShiftLeft<47>(ki)));
    const auto p = hn::Add(hn::Mul(hn::Set(d, e::c0), r), hn::Set(d, e::c1));
    const auto q = hn::Add(hn::Mul(hn::Set(d, e::c2), r), hn::Set(d, 1.0));
    const auto y = hn::Mul(hn::Add(hn::Mul(p, hn::Mul(r, r)), q), s);
    auto out = hn::DemoteTo(df, y);
    // Inputs beyond the range of the steps above, as the one-value function.
    out = hn::IfThenZeroElse(hn::Lt(x, hn::Set(df, e::underflow_bound)), out);  // -inf too
    out = hn::IfThenElse(hn::Gt(x, hn::Set(df, e::overflow_bound)), hn::Inf(df), out);
    out = hn::IfThenElse(hn::IsNaN(x), hn::Add(x, x), out);
    return out;
}

}  // namespace HWY_NAMESPACE
}  // namespace tacsim
HWY_AFTER_NAMESPACE();

#endif  // TACSIM_MODEL_EXP_INL_H_
