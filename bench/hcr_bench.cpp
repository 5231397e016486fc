// One whole TAC decision on a perceived cod-like stock (ages 1..10) whose
// decision basis is the mean SSB of the two years after the TAC year, so the
// rule value depends on the TAC and the decision searches for a value that
// reproduces itself. Recruits of the projections come from a Beverton-Holt
// regime; the filter and the TAC-change limit are on.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "model/state.hpp"
#include "management/management.hpp"
#include "simulation/simulation.hpp"
#include "stock/stock.hpp"
#include "support/regime.hpp"

namespace {

using namespace tacsim;

constexpr int tacyear = 12;

std::unique_ptr<State> make_stock() {
    auto sp = make_state();
    State& s = *sp;
    s.seed = start_seed;
    s.iter = 1;
    s.firstage = 1;
    s.lastage = 10;
    s.fbar1 = 4;
    s.fbar2 = 7;
    s.bpage = 3;
    s.tsbage = 1;
    s.fcap = 2.0f;
    s.fprop = 0.0f;
    s.mprop = 0.0f;
    // Selection (mean 1 over ages 4..7), weights (kg) and maturity.
    const float sel[] = {0.0f, 0.05f, 0.25f, 0.6f, 0.9f, 1.0f, 1.05f, 1.05f, 1.0f, 1.0f, 1.0f};
    const float w[] = {0.0f, 0.3f, 0.7f, 1.3f, 2.1f, 3.0f, 4.0f, 5.1f, 6.2f, 7.3f, 8.8f};
    const float mat[] = {0.0f, 0.0f, 0.05f, 0.25f, 0.55f, 0.8f, 0.95f, 1.0f, 1.0f, 1.0f, 1.0f};
    // Perceived numbers (thousands) in the assessment year.
    const float n[] = {0.0f, 180000.0f, 140000.0f, 95000.0f, 60000.0f, 36000.0f,
                       21000.0f, 12000.0f, 7000.0f, 4000.0f, 5000.0f};
    for (int a = 0; a <= s.lastage; ++a) {
        s.natmor(a) = a >= 1 ? 0.2f : 0.0f;
        s.sel(a, 1) = sel[a];
        s.sel(a, 2) = sel[a];
        s.weca(a) = w[a];
        s.west(a) = w[a];
        s.matur(a) = mat[a];
        for (int y = -15; y <= maxyear; ++y) {
            s.wecayr(y, a) = w[a];
            s.westyr(y, a) = w[a];
            s.maturyr(y, a) = mat[a];
        }
        s.nperc(a, tacyear, tacyear) = n[a];
    }
    // Perceived recruitments of the years before the assessment.
    for (int y = tacyear - 3; y < tacyear; ++y) s.nperc(1, y, tacyear) = 150000.0f + 10000.0f * static_cast<float>(y - tacyear);
    for (int y = 0; y < tacyear; ++y) s.tacres(y, 1) = 150000.0f;

    // Beverton-Holt regime for the projections.
    testing::one_regime_in_force(s, 2, 2, 200000.0f, 150000.0f);

    // Rule 1: F 0.4, cut below an SSB trigger of 500 000 t, the basis the
    // mean SSB of the two years after the TAC year.
    s.nrule = 1;
    s.vtype = 1;
    option(s, "Btrig1") = 500000.0f;
    option(s, "Btrig2") = 900000.0f;
    option(s, "Target") = 0.4f;
    option(s, "Alfa1") = 1.0f;
    option(s, "Alfa2") = 0.0f;
    s.nbasis = 1;
    s.bkind(1) = 1;
    s.bfirst(1) = 1;
    s.blast(1) = 2;
    s.bhow(1) = 1;
    s.lag = 0;
    s.lastbyr = 2;
    s.minbyr = -3;
    s.ntacyr = 1;
    s.tacfill = 1;
    // Filter 0.7 when the SSB trend is above 5 %; change limit 15 %.
    s.par(shared("Filter")) = 0.7f;
    s.par(shared("Trig_filt")) = 0.05f;
    s.cbkind(1) = 1;
    s.cbfirst(1) = 0;
    s.cblast(1) = 2;
    s.cbhow(1) = 3;
    s.par(shared("Percent")) = 15.0f;
    s.pctmode = 1;
    s.recobs = 1;
    s.recproj = 2;
    s.mrfirst = -3;
    s.mrlast = -1;
    return sp;
}

void BM_hcr(benchmark::State& st) {
    auto sp = make_stock();
    State& s = *sp;
    for (auto _ : st) {
        hcr(s, s.tac, tacyear);
        benchmark::DoNotOptimize(s.tac(tacyear));
    }
    st.counters["TAC"] = s.tac(tacyear);
    st.counters["F"] = s.fdecres(tacyear, 1);
}
BENCHMARK(BM_hcr);

}  // namespace
