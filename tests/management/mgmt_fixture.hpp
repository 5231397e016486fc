// A small stock (ages 1..6 with the year class at age 0 below the recruitment
// age) and a management set-up that the observation, basis, rule, decision and
// implementation tests adjust case by case. Standard output is captured.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "model/state.hpp"
#include "management/management.hpp"
#include "random/random.hpp"
#include "simulation/simulation.hpp"
#include "stock/stock.hpp"
#include "support/capture.hpp"
#include "support/regime.hpp"

namespace tacsim::testing {

class MgmtTest : public ::testing::Test {
protected:
    void SetUp() override {
        sp_ = make_state();
        out_ = std::tmpfile();
        s().con.attach(out_, "standard output");
        State& st = s();
        st.seed = start_seed;
        st.iter = 1;
        st.firstage = 1;
        st.lastage = 6;
        st.fbar1 = 3;
        st.fbar2 = 5;
        st.bpage = 3;
        st.tsbage = 1;
        st.fcap = 2.0f;
        const float sel[] = {0.0f, 0.2f, 0.6f, 1.0f, 1.0f, 1.0f, 1.0f};
        const float w[] = {0.0f, 0.1f, 0.3f, 0.6f, 0.9f, 1.2f, 1.5f};
        const float mat[] = {0.0f, 0.0f, 0.2f, 0.6f, 1.0f, 1.0f, 1.0f};
        const float n[] = {1000.0f, 800.0f, 600.0f, 400.0f, 250.0f, 150.0f, 200.0f};
        for (int a = 0; a <= 6; ++a) {
            st.natmor(a) = a >= 1 ? 0.2f : 0.0f;
            st.sel(a, 1) = sel[a];
            st.sel(a, 2) = sel[a];
            st.weca(a) = w[a];
            st.west(a) = w[a];
            st.matur(a) = mat[a];
            for (int y = -15; y <= maxyear; ++y) {
                st.wecayr(y, a) = w[a];
                st.westyr(y, a) = w[a];
                st.maturyr(y, a) = mat[a];
            }
            ntrue_(a) = n[a];
        }
        // One recruitment regime (Beverton-Holt) for projections that draw
        // recruits from the SSB.
        one_regime_in_force(st, 2, 2, 900.0f, 100.0f);

        // Management: rule 1 as a constant F of 0.3, no constraints.
        st.nrule = 1;
        st.vtype = 1;
        option(st, "Target") = 0.3f;
        st.par(shared("Filter")) = 1.0f;
        st.ntacyr = 1;
        st.tacfill = 1;
        st.pctmode = 1;
        st.nbasis = 1;
        st.bkind(1) = 1;
        st.bhow(1) = 1;
        st.recobs = 3;
        st.recproj = 1;
        st.ncorr = 1;
        st.corrw(0) = 1.0f;
        for (int y = -15; y <= maxproj; ++y) {
            st.ssbsurv(y) = -1.0f;
            st.bsurv(y) = -1.0f;
        }
    }
    void TearDown() override {
        sp_.reset();
        if (out_) std::fclose(out_);
    }

    State& s() { return *sp_; }

    // The seed after `draws` more uniform deviates.
    double seed_after(int draws) const {
        double seed = sp_->seed;
        for (int i = 0; i < draws; ++i) rnx(seed);
        return seed;
    }

    // Makes the perceived stock of assessment year y the fixture's numbers
    // and sets the TACs decided before y.
    void perceive(int y, float pasttac) {
        for (int a = 0; a <= maxage; ++a) s().nperc(a, y, y) = ntrue_(a);
        for (int k = 0; k < y; ++k) s().tacres(k, s().iter) = pasttac;
    }

    // What has been written on standard output, one string per record.
    std::vector<std::string> console() {
        s().con.flush();
        return split_records(read_from(out_));
    }

    std::unique_ptr<State> sp_;
    std::FILE* out_ = nullptr;
    AgeVec ntrue_{};
};

}  // namespace tacsim::testing
