// The worked examples of docs/model.md, recomputed with the program's own
// functions on the bundled example: each number must appear in the document
// as printed, so a document that drifts from the code fails here. Also the
// equilibrium property the document states: with every error off and a
// constant F, the simulated stock settles within 0.2 % of the per-recruit
// equilibrium, and the gap is the Pope step of the implementation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "io/input.hpp"
#include "management/management.hpp"
#include "perrecruit/perrecruit.hpp"
#include "simulation/simulation.hpp"
#include "stock/stock.hpp"

namespace tacsim {
namespace {

std::string fixed(double v, int digits) {
    char b[64];
    std::snprintf(b, sizeof b, "%.*f", digits, v);
    return b;
}

// The bundled example read as a run reads it, every output file off, and the
// per-recruit analysis done.
struct Example {
    std::unique_ptr<State> sp = make_state();
    std::FILE* con = std::tmpfile();
    State& s = *sp;

    explicit Example(bool errors_off = false) {
        s.con.attach(con, "standard output");
        s.indir = std::string(TACSIM_SOURCE_DIR) + "/examples";
        s.biofile = "bio.inn";
        s.optfile = "opt.inn";
        s.canumfile = "canum.inn";
        getpopinn(s);
        getoptinn(s);
        for (int u = 11; u <= 27; ++u) s.iout(u) = 0;
        if (errors_off) switch_errors_off();
        yieldrecr(s);
    }
    ~Example() {
        sp.reset();
        std::fclose(con);
    }
    Example(const Example&) = delete;
    Example& operator=(const Example&) = delete;

    // No recruitment deviate, no noise in weights and maturity, no
    // observation or implementation error.
    void switch_errors_off() {
        s.regime(1).cv = 0.0f;
        s.wcv = 0.0f;
        for (int a = 0; a <= maxage; ++a) {
            s.westpar(a, 5) = s.wecapar(a, 5) = s.maturpar(a, 5) = 0.0f;
            s.cvage(a) = s.cvcanum(a) = s.cvimpage(a) = 0.0f;
        }
    }
    // The option set with each option at its lowest value.
    void lowest_options() {
        for (int k = 1; k <= noptions; ++k) s.par(k) = s.parrange(k, 1);
    }
};

std::string read_doc(const char* name) {
    std::ifstream in(std::string(TACSIM_SOURCE_DIR) + "/docs/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
std::string model_md() { return read_doc("model.md"); }

TEST(ModelDoc, WorkedExamplesAreThoseOfTheProgram) {
    const std::string doc = model_md();
    ASSERT_FALSE(doc.empty());
    auto printed = [&doc](const std::string& text) {
        EXPECT_NE(doc.find(text), std::string::npos) << "docs/model.md should say: " << text;
    };

    Example ex;
    State& s = ex.s;

    // The truncated-mean factor and the recruitment level of the equilibrium.
    float m = 0.0f;
    truncmult(s, m, 1);
    printed("$m = " + fixed(m, 4) + "$");
    printed("$\\bar R = " + fixed(s.prref(1, 7), 2) + "$");
    // What the simulation's redrawn deviates average (exact normal integrals).
    {
        const double cv = 0.5, lo = -2.5, hi = 2.5;
        auto phi = [](double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); };
        const double mean = (phi(hi - cv) - phi(lo - cv)) / (phi(hi) - phi(lo));
        printed("conditional mean " + fixed(mean, 4));
    }

    // The catch at F = 0.40 from the equilibrium stock at that F, age by age.
    const float f = 0.40f;
    s.rmax = s.prref(1, 7);
    AgeVec n, cn;
    float ssb = 0.0f, y = 0.0f, agec = 0.0f;
    int flag = 0;
    eqlib(s, n, ssb, f, flag);
    ASSERT_EQ(flag, 0);
    yielda(s, n, y, cn, f, agec, 1);
    for (int a = s.firstage; a <= s.lastage; ++a) {
        printed("| " + std::to_string(a) + " | " + fixed(n(a), 1) + " | " + fixed(f * s.sel(a, 1), 3) + " | " +
                fixed(s.weca(a), 3) + " | " + fixed(cn(a), 1) + " | " + fixed(cn(a) * s.weca(a), 1) + " |");
    }
    float tsb = 0.0f;
    calctsb(s, n, tsb);
    printed("$Y = " + fixed(y, 2) + "$");
    printed("TSB of " + fixed(tsb, 1));
    EXPECT_EQ(fixed(y, 2), fixed(s.prtable(1, 40, 2), 2));  // the row F-factor 0.40 of Yieldrecr

    // Reference points of the example.
    printed("$F_{max} = " + fixed(s.prref(1, 1), 2) + "$");
    printed("$F_{0.1} = " + fixed(s.prref(1, 4), 3) + "$");
    float ypr = 0.0f, spr0 = 0.0f;
    perrecruit(s, 0.0f, ypr, spr0);
    printed("$F_{35} = " + fixed(fforspr(s, 0.35f * spr0), 3) + "$");
    printed("$F_{40} = " + fixed(fforspr(s, 0.40f * spr0), 3) + "$");
    const float slope = originslope(s.regime(1).function, s.prref(1, 7), s.regime(1).ssb);
    printed("$F_{crash} = " + fixed(fforspr(s, 1.0f / slope), 3) + "$");

    // Rule 1 of the example (Target 0.40) at a basis of 300 kt.
    ex.lowest_options();
    option(s, "Target") = 0.40f;
    BasisVec basis;
    basis.fill(300.0f);
    printed("$v = " + fixed(rule1(s.par, basis), 4) + "$");

    // The limit on the TAC change (20 %): last year's TAC 800, the rule's 1000
    // and 500.
    s.vtype = 4;
    option(s, "Btrig1") = 0.0f;  // no trigger: the rule gives its Target, the TAC asked for
    s.lag = 0;
    s.lastbyr = 0;
    s.iter = 1;
    s.tacres(0, 1) = 800.0f;
    for (float want : {1000.0f, 500.0f}) {
        option(s, "Target") = want;
        hcr(s, s.tac, 1);
        printed(fixed(want, 0) + " kt becomes " + fixed(s.tac(1), 0) + " kt");
    }
}

TEST(ModelDoc, ConstantFSettlesAtThePerRecruitEquilibriumBarThePopeStep) {
    Example ex(true);
    State& s = ex.s;
    ex.lowest_options();
    option(s, "Btrig1") = 0.0f;  // no reduction
    option(s, "Target") = 0.40f;  // the target F, also the F of the priming run
    s.par(shared("Percent")) = 0.0f;    // no limit on the TAC change
    for (int k = 18; k <= 23; ++k) s.par(k) = 0.0f;  // biases and yearly errors
    setbegin(s);
    bootiter(s, 1);

    const float sim = s.ssbres(maxyear, 1);
    const float eq = s.prtable(1, 40, 3);  // SSB at F-factor 0.40
    const double gap = std::fabs(sim - eq) / eq;
    EXPECT_LT(gap, 0.002);
    EXPECT_GT(gap, 1e-4);
    EXPECT_NE(model_md().find("the gap in SSB is about " + fixed(100.0 * gap, 2) + " %"), std::string::npos);
    // docs/outputs.md warns readers of `f` of the same: the realised F and
    // the SSB below the equilibrium.
    EXPECT_LT(sim, eq);
    const std::string outputs = read_doc("outputs.md");
    EXPECT_NE(outputs.find("`f` settles at " + fixed(s.fres(maxyear, 1), 4) + ","), std::string::npos);
    EXPECT_NE(outputs.find("SSB " + fixed(100.0 * gap, 2) + " % below"), std::string::npos);

    // The same equilibrium with the pattern and F the fleet realised (the
    // Pope step) is the simulated stock.
    for (int a = 0; a <= maxage; ++a) s.sel(a, 1) = s.sel(a, 2);
    s.rmax = s.prref(1, 7);
    AgeVec n;
    float ssb = 0.0f;
    int flag = 0;
    eqlib(s, n, ssb, s.fres(maxyear, 1), flag);
    EXPECT_NEAR(sim, ssb, 1e-5f * ssb);
}

}  // namespace
}  // namespace tacsim
