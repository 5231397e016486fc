// The catch-equation terms, compiled for each processor target.
// (Without Google Highway, one age at a time: the same bits.)
#ifdef TACSIM_HWY
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "stock/catch_terms.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per target

#include <hwy/highway.h>

#include "model/exp-inl.hpp"
#include "model/mathf.hpp"
#include "stock/catch_terms.hpp"

HWY_BEFORE_NAMESPACE();
namespace tacsim {
namespace HWY_NAMESPACE {

void CatchTerms(const float* HWY_RESTRICT n, const float* HWY_RESTRICT sel, const float* HWY_RESTRICT natmor,
                const float* HWY_RESTRICT weca, float f, int count, float* HWY_RESTRICT z,
                float* HWY_RESTRICT term) {
    int a = 0;
    if constexpr (kVectorExp) {
        const hn::ScalableTag<double> d;
        const hn::Rebind<float, decltype(d)> df;
        const int lanes = static_cast<int>(hn::Lanes(d));
        const auto fv = hn::Set(df, f);
        const auto one = hn::Set(df, 1.0f);
        for (; a < count && a + lanes <= nages; a += lanes) {
            const auto sa = hn::LoadU(df, sel + a);
            const auto za = hn::Add(hn::LoadU(df, natmor + a), hn::Mul(sa, fv));
            const auto e = ExpSp(d, hn::Neg(za));
            auto t = hn::Mul(hn::Mul(hn::LoadU(df, n + a), sa), fv);
            t = hn::Div(hn::Mul(t, hn::Sub(one, e)), za);
            hn::StoreU(za, df, z + a);
            hn::StoreU(hn::Mul(t, hn::LoadU(df, weca + a)), df, term + a);
        }
    }
    catch_terms_from(a, n, sel, natmor, weca, f, count, z, term);
}

}  // namespace HWY_NAMESPACE
}  // namespace tacsim
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tacsim {

HWY_EXPORT(CatchTerms);

void catch_terms(const float* n, const float* sel, const float* natmor, const float* weca, float f, int count,
                 float* z, float* term) {
    HWY_DYNAMIC_DISPATCH(CatchTerms)(n, sel, natmor, weca, f, count, z, term);
}

CatchTermsFn catch_terms_here() {
    hwy::ChosenTarget& chosen = hwy::GetChosenTarget();
    if (!chosen.IsInitialized()) chosen.Update(hwy::SupportedTargets());
    return HWY_DISPATCH_TABLE(CatchTerms)[chosen.GetIndex()];
}

}  // namespace tacsim
#endif

#else

#include "model/mathf.hpp"
#include "stock/catch_terms.hpp"

namespace tacsim {

void catch_terms(const float* n, const float* sel, const float* natmor, const float* weca, float f, int count,
                 float* z, float* term) {
    catch_terms_from(0, n, sel, natmor, weca, f, count, z, term);
}

CatchTermsFn catch_terms_here() { return catch_terms; }

}  // namespace tacsim
#endif
