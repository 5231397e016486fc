// The simulation loop on a small stock: three-year TACs, what each year of
// a TAC period stores, the trace files and reproducibility.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "../results/results_fixture.hpp"
#include "io/input.hpp"
#include "perrecruit/perrecruit.hpp"
#include "random/draws.hpp"
#include "simulation/simulation.hpp"
#include "support/allocations.hpp"

namespace tacsim {
namespace {

using testing::ResultsState;

// Ages 1..4, one hockey-stick regime.
const char* const smallbio =
    "# small stock\n2000\n1 4\n2 3\n1\n0.0 0.0\n1 1\n1 2 2\n1000 1000 0.3 0.1 10 1\n0 0 0\n1 0 0 0 0\n"
    "5000\n1000\n0.0\n0 0 0\n1 1 0\ni\n1 0.2\n2 0.2\n3 0.2\n4 0.2\n1 0.2\n2 1.0\n3 1.0\n4 1.0\n"
    "1 0.2 0.2 0.2 0 0\n2 0.5 0.5 0.5 0 0\n3 0.9 0.9 0.9 0 0\n4 1.2 1.2 1.2 0 0\n"
    "1 0.2 0.2 0.2 0 0\n2 0.5 0.5 0.5 0 0\n3 0.9 0.9 0.9 0 0\n4 1.2 1.2 1.2 0 0\n"
    "1 0.0 0.0 1.0 0 0\n2 0.5 0.5 1.0 0 0\n3 1.0 0.0 1.0 0 0\n4 1.0 0.0 1.0 0 0\n";

// A primed stock, rule 1 as a constant F of 0.1 (far below the highest F,
// so every TAC is taken), TACs for three years, observation and
// implementation noise, Blim 300; the trace files compbas, SRpairs, Wema
// and Comprecr on.
const char* const smallopt =
    "# options\n1\n0.3\n2.0\n0\n3\n0 300 0\n3\n1\n1 1 0 0 1\n1 1\n0 0 0\n0 0 0\n0.1 0.1 0\n0 0 0\n0 0 0\n"
    "1\n1 1 0\n0 0 0\n1 0 0 1\n2 1\n0 0 0\n3\n0 0 0\n0 0 0\n1\n0 0 0\n"
    "0 0 0\n0 0 0\n0.2 0.2 0\n0.1 0.1 0\n0 0 0\n0 0 0\n"
    "1 0.1 0.1 0.1\n2 0.1 0.1 0.1\n3 0.1 0.1 0.1\n4 0.1 0.1 0.1\n1 1.0\n3 1 0 0 0\n"
    "11 0\n12 0\n14 0\n15 0\n16 0\n17 0\n18 0\n19 1\n20 1\n21 0\n22 0\n23 0\n24 0\n25 1\n26 1\n27 0\n";

struct Kept {
    ResArr ssb, tac, f;
    decltype(SetResults::basisres) basis;
};

TEST(SimLoop, ThreeYearTacsTraceFilesAndReproducibleSets) {
    const auto old = std::filesystem::current_path();
    char tmpl[] = "/tmp/tacsim_sim_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::filesystem::current_path(tmpl);
    std::ofstream("bio.inn", std::ios::binary) << smallbio;
    std::ofstream("opt.inn", std::ios::binary) << smallopt;

    ResultsState rs;
    State& s = rs.s();
    s.seed = 15349668.0;
    s.biofile = "bio.inn";
    s.optfile = "opt.inn";
    s.canumfile = "canum.inn";
    getpopinn(s);
    getoptinn(s);
    yieldrecr(s);
    for (int u : {19, 20, 25, 26}) rs.open(u);
    // Leftovers of an earlier option set must not survive into this one.
    s.basisres.fill(7.0f);
    s.precres.fill(7.0f);
    s.icrash.fill(1);
    ASSERT_EQ(rs.status_of([](State& st) { optruns(st); }), 0);

    for (int i = 1; i <= maxiter; ++i) {
        for (int y = 1; y <= maxyear; ++y) {
            const int d = 1 + 3 * ((y - 1) / 3);  // decision year of the period
            ASSERT_EQ(s.icrash(y, i), 0);
            ASSERT_EQ(s.basisres(y, 2, i), 0.0f);  // one basis element only
            if (y == d) {
                ASSERT_GT(s.precres(y, i), 0.0f) << "iteration " << i << " year " << y;
                ASSERT_EQ(s.fdecres(y, i), 0.1f);
                continue;
            }
            // The later years of a TAC period: same TAC and basis, no
            // decision of their own.
            ASSERT_EQ(s.tacres(y, i), s.tacres(d, i)) << "iteration " << i << " year " << y;
            ASSERT_EQ(s.basisres(y, 1, i), s.basisres(d, 1, i));
            ASSERT_EQ(s.fdecres(y, i), -1.0f);
            ASSERT_EQ(s.precres(y, i), 0.0f);
        }
    }
    EXPECT_NE(s.ssbres(10, 1), s.ssbres(10, 2));  // the noise makes iterations differ

    // After each header block (label, values, empty record and, except for
    // Wema, a column line): compbas for 100 iterations, SRpairs for 99
    // (years 2..40), Wema for 9, Comprecr for 19.
    EXPECT_EQ(rs.records(19).size(), 4u + 100u * 42u);
    EXPECT_EQ(rs.records(20).size(), 4u + 99u * 39u);
    EXPECT_EQ(rs.records(25).size(), 3u + 9u * (2u + 3u * 44u));
    EXPECT_EQ(rs.records(26).size(), 4u + 19u * 40u);

    // The same option set again gives the same results ...
    auto kept = std::make_unique<Kept>();
    kept->ssb = s.ssbres;
    kept->tac = s.tacres;
    kept->f = s.fres;
    kept->basis = s.basisres;
    // ... and allocates nothing: the stock, the decisions, the statistics and
    // the records of every file are made in storage held by the run.
    {
        const testing::Counting heap;
        ASSERT_EQ(rs.status_of([](State& st) { optruns(st); }), 0);
        EXPECT_EQ(heap.count(), 0u) << "allocations in one whole option set";
    }
    for (int i = 1; i <= maxiter; ++i) {
        for (int y = 0; y <= maxyear; ++y) {
            ASSERT_EQ(s.ssbres(y, i), kept->ssb(y, i)) << "iteration " << i << " year " << y;
            ASSERT_EQ(s.tacres(y, i), kept->tac(y, i));
            ASSERT_EQ(s.fres(y, i), kept->f(y, i));
            ASSERT_EQ(s.basisres(y, 1, i), kept->basis(y, 1, i));
        }
    }
    std::filesystem::current_path(old);
    std::filesystem::remove_all(tmpl);
}

// With a seed, every iteration draws from its own counters: an iteration run
// again on its own, after the whole set, gives its results again, for the
// first, a middle and the last iteration. A set allocates nothing.
TEST(SimLoop, SeededIterationsStandAlone) {
    const auto old = std::filesystem::current_path();
    char tmpl[] = "/tmp/tacsim_sim_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::filesystem::current_path(tmpl);
    std::ofstream("bio.inn", std::ios::binary) << smallbio;
    std::ofstream("opt.inn", std::ios::binary) << smallopt;

    ResultsState rs;
    State& s = rs.s();
    s.seed = 15349668.0;
    stream_seed(s, 99);
    s.biofile = "bio.inn";
    s.optfile = "opt.inn";
    s.canumfile = "canum.inn";
    getpopinn(s);
    getoptinn(s);
    yieldrecr(s);
    // The first set makes what the run keeps (the records' storage, the
    // layouts of the trace files); the same set again allocates nothing.
    ASSERT_EQ(rs.status_of([](State& st) { optruns(st); }), 0);
    {
        const testing::Counting heap;
        ASSERT_EQ(rs.status_of([](State& st) { optruns(st); }), 0);
        EXPECT_EQ(heap.count(), 0u) << "allocations in one whole option set";
    }
    EXPECT_EQ(s.seed, start_seed);  // the legacy stream is not drawn from
    auto kept = std::make_unique<Kept>();
    kept->ssb = s.ssbres;
    kept->tac = s.tacres;
    for (const int it : {1, 500, maxiter}) {
        bootiter(s, it);
        for (int y = 0; y <= maxyear; ++y) {
            ASSERT_EQ(s.ssbres(y, it), kept->ssb(y, it)) << "iteration " << it << " year " << y;
            ASSERT_EQ(s.tacres(y, it), kept->tac(y, it)) << "iteration " << it << " year " << y;
        }
    }
    EXPECT_NE(s.ssbres(10, 1), s.ssbres(10, 2));
    std::filesystem::current_path(old);
    std::filesystem::remove_all(tmpl);
}

}  // namespace
}  // namespace tacsim
