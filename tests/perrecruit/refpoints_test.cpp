// Per-recruit curves and reference points against closed forms: one age
// class (a plus group behind an unfished, unweighted age 0) with constant
// weights, where yield per recruit is F w / Z and SSB per recruit is
// w / (1 - exp(-Z)).
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../stock/stock_testing.hpp"
#include "perrecruit/perrecruit.hpp"
#include "results/tables.hpp"

namespace tacsim {
namespace {

using testing::Captured;

constexpr float M = 0.2f, W = 0.2f, L = 1000.0f, B = 500.0f;

// Ages 0 and 1; age 1, the plus group, is the one age class of the stock.
// Beverton-Holt recruitment with level L and half the level at SSB B.
void one_age_class(State& s) {
    s.firstage = 1;
    s.lastage = 1;
    s.tsbage = 1;
    s.bref = 1000.0f;
    s.natmor(1) = M;
    s.sel(1, 1) = s.sel(1, 2) = 1.0f;
    for (AgePar* p : {&s.westpar, &s.wecapar}) {
        (*p)(1, 1) = W;
        (*p)(1, 3) = 100.0f;
    }
    s.maturpar(1, 1) = 1.0f;
    s.maturpar(1, 3) = 1.0f;
    s.weca(1) = s.west(1) = W;
    s.matur(1) = 1.0f;
    s.nreg = 1;
    s.regime(1).function = 2;
    s.regime(1).distribution = 2;
    s.regime(1).level = L;
    s.regime(1).ssb = B;
    s.regime(1).exponent = 1.0f;
}

std::vector<std::vector<std::string>> rows_of(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::string x;
        std::istringstream ls(line);
        while (std::getline(ls, x, ',')) f.push_back(x);
        if (!line.empty() && line.back() == ',') f.push_back("");
        rows.push_back(f);
    }
    return rows;
}

double num(const std::string& t) { return std::stod(t); }

// F-factor at which 1 - exp(-(M + F)) reaches q.
double f_at(double q) { return -std::log(1.0 - q) - M; }

TEST(RefPoints, PerRecruitCurvesOfOneAgeClass) {
    Captured cap;
    State& s = cap.s();
    one_age_class(s);
    for (float f : {0.0f, 0.1f, 0.37f, 1.0f, 2.5f}) {
        float ypr = 0.0f, spr = 0.0f;
        perrecruit(s, f, ypr, spr);
        const double z = M + f;
        EXPECT_NEAR(ypr, f * W / z, 1e-6) << f;
        EXPECT_NEAR(spr, W / (1.0 - std::exp(-z)), 2e-6 * spr) << f;
    }
    const double spr0 = W / (1.0 - std::exp(-M));
    EXPECT_NEAR(fforspr(s, 0.35f * static_cast<float>(spr0)), f_at((1.0 - std::exp(-M)) / 0.35), 1e-5);
    EXPECT_NEAR(fforspr(s, 0.40f * static_cast<float>(spr0)), f_at((1.0 - std::exp(-M)) / 0.40), 1e-5);
    // Not reachable: the SSB per recruit never falls below W.
    EXPECT_EQ(fforspr(s, 0.5f * W), -1.0f);
    // Already below at F = 0.
    EXPECT_EQ(fforspr(s, 2.0f * static_cast<float>(spr0)), 0.0f);
}

TEST(RefPoints, OriginSlopeOfEachFunction) {
    EXPECT_FLOAT_EQ(originslope(1, 1000.0f, 200.0f), 5.0f);
    EXPECT_FLOAT_EQ(originslope(2, 1000.0f, 200.0f), 5.0f);
    EXPECT_FLOAT_EQ(originslope(3, 1000.0f, 200.0f), 5.0f * std::exp(1.0f));
    EXPECT_TRUE(std::isinf(originslope(1, 1000.0f, 0.0f)));
    EXPECT_TRUE(std::isnan(originslope(11, 1000.0f, 200.0f)));
}

// The tables of the per-recruit analysis: the equilibrium columns agree with
// recruits times the per-recruit values, and the reference points with
// their closed forms.
TEST(RefPoints, TablesOfOneAgeClass) {
    Captured cap;
    State& s = cap.s();
    one_age_class(s);
    yieldrecr(s);
    std::string pr, rp;
    perrecruitrows(s, pr, rp);
    const auto table = rows_of(pr);
    // Recruitment L - B / spr ends where spr = B / L: 1 - exp(-Z) = W L / B.
    const double fcrash = f_at(W * L / B);
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(static_cast<int>(table.size()), static_cast<int>(fcrash / 0.01) + 1);
    double best = -1.0, fbest = 0.0;
    for (const auto& r : table) {
        ASSERT_EQ(r.size(), 12u);
        const double f = num(r[1]), y = num(r[2]), ssb = num(r[3]), rec = num(r[9]);
        const double ypr = num(r[10]), spr = num(r[11]);
        const double z = M + f;
        EXPECT_NEAR(ypr, f * W / z, 1e-6);
        EXPECT_NEAR(spr, W / (1.0 - std::exp(-z)), 1e-5 * spr);
        EXPECT_NEAR(rec, L - B / spr, 1e-3 * L);
        EXPECT_NEAR(y, rec * ypr, 1e-4 * (1.0 + y));
        EXPECT_NEAR(ssb, rec * spr, 1e-4 * (1.0 + ssb));
        if (y > best) {
            best = y;
            fbest = f;
        }
    }
    std::map<std::string, std::vector<std::string>> points;
    for (const auto& r : rows_of(rp)) points[r[1]] = r;
    ASSERT_EQ(points.size(), 5u);
    EXPECT_NEAR(num(points["Fmax"][2]), fbest, 1e-6);
    EXPECT_NEAR(num(points["Fmax"][3]), best, 1e-3);
    EXPECT_NEAR(num(points["F35"][2]), f_at((1.0 - std::exp(-M)) / 0.35), 1e-5);
    EXPECT_NEAR(num(points["F40"][2]), f_at((1.0 - std::exp(-M)) / 0.40), 1e-5);
    EXPECT_NEAR(num(points["Fcrash"][2]), fcrash, 1e-5);
    EXPECT_NEAR(num(points["Fcrash"][6]), B / L, 1e-5);
    // Equilibrium values exist only where the analysis computed them.
    EXPECT_EQ(points["F35"][3], "");
    EXPECT_EQ(points["F35"][4], "");
}

}  // namespace
}  // namespace tacsim
