// Per-age terms of the catch equation for all ages of the model at once, in
// vectors where the processor has them (chosen at run time). The caller adds
// them up in age order: the order of the additions is part of the result.
#pragma once

#include "model/mathf.hpp"
#include "model/state.hpp"

namespace tacsim {

inline constexpr int nages = maxage + 1;

// For the ages a of 0..count-1 (and possibly more, up to maxage: the rest of
// the last vector), with sel the selection of the column in use:
//   z(a)    = natmor(a) + sel(a) * f
//   term(a) = n(a) * sel(a) * f * (1 - exp(-z(a))) / z(a) * weca(a)
// each product and quotient rounded to float in that order.
void catch_terms(const float* n, const float* sel, const float* natmor, const float* weca, float f, int count,
                 float* z, float* term);

// The version of catch_terms for this processor, for callers that call it
// many times in a row (the F search): saves the choice at every call.
// The terms of ages from..count-1 one at a time, as the vector code does them.
inline void catch_terms_from(int from, const float* n, const float* sel, const float* natmor, const float* weca,
                             float f, int count, float* z, float* term) {
    for (int a = from; a < count; ++a) {
        const float sa = sel[a];
        z[a] = natmor[a] + sa * f;
        term[a] = n[a] * sa * f * (1.0f - exp_sp(-z[a])) / z[a] * weca[a];
    }
}

using CatchTermsFn = void (*)(const float*, const float*, const float*, const float*, float, int, float*, float*);
CatchTermsFn catch_terms_here();

}  // namespace tacsim
