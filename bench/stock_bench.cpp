// The inner kernel of every run: the catch for a given F and the F for a
// given catch, on a stock of 16 ages. Nothing is allocated inside the timed
// loops.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "stock/catch_terms.hpp"
#include "random/random.hpp"
#include "stock/stock.hpp"

namespace {

using namespace tacsim;

// A cod-like stock of ages 0..15 (plus group 15).
std::unique_ptr<State> sixteen_ages(AgeVec& n) {
    auto sp = make_state();
    State& s = *sp;
    s.firstage = 1;
    s.lastage = 15;
    s.fcap = 2.0f;
    for (int a = 0; a <= 15; ++a) {
        const float fa = static_cast<float>(a);
        s.natmor(a) = 0.2f;
        s.sel(a, 1) = a == 0 ? 0.0f : 1.0f / (1.0f + std::exp(-(fa - 4.0f)));
        s.weca(a) = 0.02f * fa * fa;
        s.west(a) = s.weca(a);
        n(a) = 1000.0f * std::exp(-0.4f * fa);
    }
    return sp;
}

void BM_yield(benchmark::State& st) {
    AgeVec n;
    auto sp = sixteen_ages(n);
    volatile float fin = 0.3f;  // read afresh each time: not folded away
    float y = 0.0f;
    for (auto _ : st) {
        yield(*sp, n, y, fin, 1);
        benchmark::DoNotOptimize(&y);
    }
    st.counters["Y"] = y;
}
BENCHMARK(BM_yield);

// The search for the F that takes a catch.
void BM_findf(benchmark::State& st) {
    AgeVec n;
    auto sp = sixteen_ages(n);
    float target = 0.0f;
    yield(*sp, n, target, 0.37f, 1);  // the catch F = 0.37 takes
    volatile float tin = target;
    float f = 0.0f;
    int flag = 0;
    for (auto _ : st) {
        float t = tin;
        findf(*sp, n, t, f, flag, 1);
        benchmark::DoNotOptimize(&f);
    }
    st.counters["F"] = f;
}
BENCHMARK(BM_findf);

}  // namespace

namespace {

// The catch-equation terms of one F on 16 ages, the vector kernel alone.
void BM_catch_terms(benchmark::State& st) {
    AgeVec n;
    auto sp = sixteen_ages(n);
    float sel[nages], z[nages], term[nages];
    for (int a = 0; a < nages; ++a) sel[a] = sp->sel(a, 1);
    const CatchTermsFn terms = catch_terms_here();
    volatile float fin = 0.3f;
    for (auto _ : st) {
        terms(n.data(), sel, sp->natmor.data(), sp->weca.data(), fin, nages, z, term);
        benchmark::DoNotOptimize(term);
    }
}
BENCHMARK(BM_catch_terms);

}  // namespace

namespace {

// A run of 48 normal deviates (three per age of a 16-age stock), the draws
// of one year's weights.
void BM_normal_deviates(benchmark::State& st) {
    double seed = 15349668.0;
    float z[48];
    for (auto _ : st) {
        normal_deviates(seed, z, 48);
        benchmark::DoNotOptimize(z);
    }
}
BENCHMARK(BM_normal_deviates);

}  // namespace
