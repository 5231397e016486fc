// --check shows what it read: the values at age, the recruitment of each
// regime with its parameters, Blim and the triggers, the per-recruit points,
// and an estimate of the run time from a trial of the first set.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "errorpaths_support.hpp"

using namespace tacsim_errtest;

TEST(CheckShowsWhatItRead, EachMistakeShowsInTheSummary) {
    struct Case {
        std::string name;
        std::function<void(InputSet&)> change;
        std::vector<std::string> shown;  // pieces of standard output
    };
    const std::vector<Case> cases = {
        {"as given", [](InputSet&) {},
         {"  regime 1, all years: hockey stick, lognormal deviates; level ",
          "Blim 1000 (risk: the fraction of iterations below it); crash below 100; triggers: Btrig1 0, Btrig2 0\n",
          "Per recruit, regime 1 at recruitment ", "Estimated run time: about "}},
        {"M at age 5", [](InputSet& s) { s.bio().set(21, "5 0.35"); }, {"\n    5    0.35 "}},
        // The decimal comma shows as what was read: M at age 5 is 0.
        {"decimal comma", [](InputSet& s) { s.bio().set(21, "5 0,3"); }, {"\n    5       0 "}},
        {"maturity", [](InputSet& s) { s.bio().set(53, "5 0.5 0.2 0.9 0 0"); }, {"       0.5 [   0.2,    0.9]\n"}},
        {"Blim", [](InputSet& s) { s.opt().set(6, "0 800 0"); }, {"Blim 800 (risk"}},
        {"trigger range", [](InputSet& s) { s.opt().set(11, "100 300 100"); }, {"triggers: Btrig1 100..300, Btrig2 0"}},
    };
    for (const Case& c : cases) {
        InputSet in = InputSet::basic();
        c.change(in);
        const auto r = tacsim_test::run_with(in.write("check-" + std::to_string(&c - cases.data())), {"--check"});
        EXPECT_EQ(r.status, 0) << c.name << r.err;
        for (const auto& piece : c.shown) EXPECT_NE(r.out.find(piece), std::string::npos) << c.name << ": " << piece
                                                                                        << "\n" << r.out;
    }
}
