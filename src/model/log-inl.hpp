// The logarithm of model/mathf_log.hpp on Highway vectors, for code compiled once
// per processor target (include it after hwy/highway.h, inside a file that
// hwy/foreach_target.h re-includes).
#if defined(TACSIM_MODEL_LOG_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TACSIM_MODEL_LOG_INL_H_
#undef TACSIM_MODEL_LOG_INL_H_
#else
#define TACSIM_MODEL_LOG_INL_H_
#endif

#include <hwy/highway.h>

#include "model/mathf_log.hpp"

HWY_BEFORE_NAMESPACE();
namespace tacsim {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Entries i of a 16-entry column of the logarithm's table. With 512-bit
// vectors the column sits in two registers and one two-register permute
// picks the entries; elsewhere a gather. Both give the same entries.
template <class D>
HWY_INLINE hn::Vec<D> LogTableEntries(D d, const double* column, hn::Vec<hn::RebindToSigned<D>> i) {
#if HWY_TARGET <= HWY_AVX3 && HWY_TARGET != HWY_SCALAR
    if constexpr (hn::MaxLanes(D()) == 8) {
        const __m512d lo = _mm512_load_pd(column);
        const __m512d hi = _mm512_load_pd(column + 8);
        return hn::Vec<D>{_mm512_permutex2var_pd(lo, i.raw, hi)};  // reads bits 0..3 of i
    }
#endif
    return hn::GatherIndex(d, column, i);
}

// log_sp of the floats x (as many as a double vector of tag d holds).
template <class D>
HWY_INLINE hn::Vec<hn::Rebind<float, D>> LogSp(D d, hn::Vec<hn::Rebind<float, D>> x) {
    namespace l = logf_detail;
    const hn::Rebind<float, D> df;
    const hn::Rebind<std::uint32_t, D> du;
    const hn::Rebind<std::int32_t, D> di;
    const hn::RebindToSigned<D> di64;
    const auto ix = hn::BitCast(du, x);
    const auto tmp = hn::Sub(ix, hn::Set(du, l::off));
    const auto i = hn::PromoteTo(di64, hn::BitCast(di, hn::And(hn::ShiftRight<19>(tmp), hn::Set(du, 15))));
    const auto k = hn::PromoteTo(d, hn::ShiftRight<23>(hn::BitCast(di, tmp)));  // arithmetic shift
    const auto iz = hn::Sub(ix, hn::And(tmp, hn::Set(du, 0xff800000u)));
    const auto z = hn::PromoteTo(d, hn::BitCast(df, iz));
    const auto r = hn::MulAdd(z, LogTableEntries(d, l::invc, i), hn::Set(d, -1.0));
    const auto y0 = hn::MulAdd(k, hn::Set(d, l::ln2), LogTableEntries(d, l::logc, i));
    const auto r2 = hn::Mul(r, r);
    auto p = hn::MulAdd(hn::Set(d, l::a1), r, hn::Set(d, l::a2));
    p = hn::MulAdd(hn::Set(d, l::a0), r2, p);
    const auto y = hn::MulAdd(p, r2, hn::Add(y0, r));
    auto out = hn::DemoteTo(df, y);
    // Zero, subnormal, negative, infinite and NaN lanes as the one-value
    // function; the model's inputs almost never are any of those.
    const auto special = hn::Gt(hn::Sub(ix, hn::Set(du, 0x00800000u)), hn::Set(du, 0x7effffffu));
    if (HWY_LIKELY(hn::AllFalse(du, special))) return out;
    HWY_ALIGN float lanes[hn::MaxLanes(df)];
    hn::Store(x, df, lanes);
    for (std::size_t j = 0; j < hn::Lanes(df); ++j) lanes[j] = log_sp(lanes[j]);
    return hn::IfThenElse(hn::RebindMask(df, special), hn::Load(df, lanes), out);
}

}  // namespace HWY_NAMESPACE
}  // namespace tacsim
HWY_AFTER_NAMESPACE();

#endif  // TACSIM_MODEL_LOG_INL_H_
