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
// it take the one-value function.
inline constexpr bool kVectorExp = HWY_NATIVE_FMA != 0;

// The 32-entry table of the exponential at the low five bits of k. With
// 512-bit vectors the table sits in four registers and two-register permutes
// pick the entries, much cheaper than a gather from memory; elsewhere a
// gather. Both give the same entries.
template <class DI>
HWY_INLINE hn::Vec<DI> TableEntries(DI di, hn::Vec<DI> ki) {
    namespace e = expf_detail;
#if HWY_TARGET <= HWY_AVX3 && HWY_TARGET != HWY_SCALAR
    if constexpr (hn::MaxLanes(DI()) == 8) {
        const __m512i t0 = _mm512_load_si512(e::table);
        const __m512i t1 = _mm512_load_si512(e::table + 8);
        const __m512i t2 = _mm512_load_si512(e::table + 16);
        const __m512i t3 = _mm512_load_si512(e::table + 24);
        const __m512i idx = ki.raw;  // the permutes read bits 0..3: entry within a half
        const __m512i low = _mm512_permutex2var_epi64(t0, idx, t1);
        const __m512i high = _mm512_permutex2var_epi64(t2, idx, t3);
        const __mmask8 upper = _mm512_test_epi64_mask(idx, _mm512_set1_epi64(16));
        return hn::Vec<DI>{_mm512_mask_blend_epi64(upper, low, high)};
    }
#endif
    return hn::GatherIndex(di, e::table, hn::And(ki, hn::Set(di, 31)));
}

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
    const auto tab = TableEntries(di, ki);
    const auto s = hn::BitCast(d, hn::Add(tab, hn::ShiftLeft<47>(ki)));
    const auto p = hn::Add(hn::Mul(hn::Set(d, e::c0), r), hn::Set(d, e::c1));
    const auto q = hn::Add(hn::Mul(hn::Set(d, e::c2), r), hn::Set(d, 1.0));
    const auto y = hn::Mul(hn::Add(hn::Mul(p, hn::Mul(r, r)), q), s);
    auto out = hn::DemoteTo(df, y);
    // Inputs beyond the range of the steps above, as the one-value function;
    // the model's inputs almost never are.
    const auto in_range = hn::And(hn::Ge(x, hn::Set(df, e::underflow_bound)), hn::Le(x, hn::Set(df, e::overflow_bound)));
    if (HWY_LIKELY(hn::AllTrue(df, in_range))) return out;
    out = hn::IfThenZeroElse(hn::Lt(x, hn::Set(df, e::underflow_bound)), out);  // -inf too
    out = hn::IfThenElse(hn::Gt(x, hn::Set(df, e::overflow_bound)), hn::Inf(df), out);
    out = hn::IfThenElse(hn::IsNaN(x), hn::Add(x, x), out);
    return out;
}

}  // namespace HWY_NAMESPACE
}  // namespace tacsim
HWY_AFTER_NAMESPACE();

#endif  // TACSIM_MODEL_EXP_INL_H_
