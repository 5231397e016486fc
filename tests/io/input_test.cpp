// The biological and options readers: record counting, the stops and
// warnings with their exit status, and the values derived from the input.
#include "io/input.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "io_fixture.hpp"

using namespace tacsim;
using tacsim::testing::ScratchDir;
using Out = std::vector<std::string>;

namespace {

// A file as lines. Each line ends with a label that no read reaches, so a
// test can replace a line by its label.
struct Lines {
    std::vector<std::string> v;
    Lines& set(const std::string& label, const std::string& line) {
        for (auto& l : v)
            if (l.size() >= label.size() && l.compare(l.size() - label.size(), label.size(), label) == 0) {
                l = line;
                return *this;
            }
        ADD_FAILURE() << "no line labelled " << label;
        return *this;
    }
    std::string text() const {
        std::string t;
        for (const auto& l : v) t += l + "\n";
        return t;
    }
};

// Ages 1..4, reference ages 2..4, one hockey-stick regime, values at age:
// 36 accepted lines.
Lines bio_i() {
    return Lines{{"# test stock", "2000 year0", "1 4 ages", "2 4 fbar", "1 tsbage", "0.0 0.0 fprop", "1 1 nreg",
                  "1 2 2 rega", "1000 1000 0.3 0.1 10 1 regb", "0 0 0 regc", "1 0 0 0 0 regd", "5000 bref",
                  "1000 rref", "0.0 wcv", "0 0 0 wamp", "1 1 0 ycmin", "i format",
                  "1 0.2 m1", "2 0.2 m2", "3 0.2 m3", "4 0.2 m4", "1 1 s1", "2 2 s2", "3 4 s3", "4 4 s4",
                  "1 0.1 0.05 0.2 0.1 0.05 c1", "2 0.3 0.2 0.4 0.1 0.05 c2", "3 0.6 0.5 0.7 0.1 0.05 c3",
                  "4 0.9 0.8 1.0 0.1 0.05 c4", "1 0.1 0.05 0.2 0.1 0.05 w1", "2 0.3 0.2 0.4 0.1 0.05 w2",
                  "3 0.6 0.5 0.7 0.1 0.05 w3", "4 0.9 0.8 1.0 0.1 0.05 w4", "1 0.0 0.0 0.1 0 0 mat1",
                  "2 0.2 0.1 0.4 0 0 mat2", "3 0.7 0.5 1.0 0 0 mat3", "4 1.0 1.0 1.0 0 0 mat4"}};
}

// Other ages, flat values at age.
Lines bio_ages(int first, int last, int fbar1, int fbar2) {
    Lines b = bio_i();
    b.v.resize(17);
    b.set("ages", std::to_string(first) + " " + std::to_string(last) + " ages");
    b.set("fbar", std::to_string(fbar1) + " " + std::to_string(fbar2) + " fbar");
    for (int blk = 0; blk < 5; ++blk)
        for (int a = first; a <= last; ++a) b.v.push_back(std::to_string(a) + (blk < 2 ? " 0.5" : " 0.5 0.4 0.6 0 0"));
    return b;
}

const std::string kRegime = "1 2 2\n1000 1000 0.3 0.1 10 1\n0 0 0\n1 0 0 0 0";

class InputBio : public ScratchDir {
protected:
    int read(const Lines& b) {
        write("bio.inn", b.text());
        return status_of(getpopinn);
    }
};

TEST_F(InputBio, ValuesAtAgeAndDerivedValues) {
    ASSERT_EQ(read(bio_i()), 0);
    State& s = *s_;
    EXPECT_TRUE(console().empty());
    EXPECT_EQ(s.regstart(1), 1);
    EXPECT_FLOAT_EQ(s.regime(1).high, 10.0f);
    EXPECT_FLOAT_EQ(s.wecapar(2, 3), 0.4f);
    EXPECT_FLOAT_EQ(s.westyr(-15, 3), 0.6f);
    EXPECT_FLOAT_EQ(s.maturyr(0, 3), 0.7f);
    EXPECT_EQ(s.natmor(0), 0.0f);
    EXPECT_EQ(s.srpar.size(), 0u);  // no regime reads srspec: no per-iteration sets are made
    // Selection 1, 2, 4, 4 with reference ages 2..4 becomes 0.3, 0.6, 1.2, 1.2.
    const float want[] = {0.3f, 0.6f, 1.2f, 1.2f};
    for (int a = 1; a <= 4; ++a) {
        EXPECT_NEAR(s.sel(a, 1), want[a - 1], 1e-6f) << a;
        EXPECT_EQ(s.sel(a, 2), s.sel(a, 1));
    }
}

TEST_F(InputBio, RecordCounting) {
    // Comment lines anywhere do not count.
    Lines b = bio_i();
    for (std::size_t i = b.v.size(); i-- > 1;) b.v.insert(b.v.begin() + static_cast<long>(i), "#  note");
    ASSERT_EQ(read(b), 0);
    EXPECT_TRUE(console().empty());
    // A "#" after a blank is data.
    b = bio_i();
    b.set("year0", "  # not a comment\n2000");
    EXPECT_EQ(read(b), 2);
    EXPECT_NE(last_error_.find("bio.inn, line 2"), std::string::npos) << last_error_;
    // A blank line shifts the later records: here it becomes the format record.
    b = bio_i();
    b.set("ycmin", "1 1 0\n");
    EXPECT_EQ(read(b), 1);
    EXPECT_EQ(console(), (Out{" Incomprehensible specification of biological input", " file format:  ",
                              " Must be i or p - correct the file and start again"}));
    b = bio_i();
    b.set("format", "I");
    EXPECT_EQ(read(b), 0);
    b.set("I", "x");
    EXPECT_EQ(read(b), 1);
    EXPECT_EQ(console()[1], " file format: x");
    // Only the first 100 characters of a line count.
    b = bio_i();
    b.set("year0", std::string(98, ' ') + "2000");
    EXPECT_EQ(read(b), 0);
    EXPECT_EQ(s_->year0, 20);
}

TEST_F(InputBio, SurplusLineWarnsAndChangesNothing) {
    Lines b = bio_i();
    b.v.push_back("9 9 9");
    ASSERT_EQ(read(b), 0);
    EXPECT_EQ(console(), (Out{" WARNING!", " The number of accepted lines on the bio.inn file",
                              " deviates from the number expetced", " Expected          36",
                              " Found             37",
                              " Last accepted line read:4 1.0 1.0 1.0 0 0 mat4" + std::string(78, ' ')}));
    EXPECT_NEAR(s_->sel(1, 1), 0.3f, 1e-6f);
}

TEST_F(InputBio, RegimesAndManyLines) {
    // 10 regimes at fixed years and ages 0..15: 132 accepted lines.
    Lines b = bio_ages(0, 15, 3, 8);
    b.set("nreg", "10 1 4 8 12 16 20 24 28 32 36");
    b.v.erase(b.v.begin() + 8, b.v.begin() + 11);
    b.set("rega", kRegime);
    for (int r = 2; r <= 10; ++r) b.v.insert(b.v.begin() + 8, kRegime);
    ASSERT_EQ(read(b), 0) << last_error_;
    EXPECT_TRUE(console().empty());
    EXPECT_EQ(s_->regstart(10), 36);
    EXPECT_EQ(s_->regstart(11), 40);
    EXPECT_FLOAT_EQ(s_->matur(15), 0.5f);
    // Regimes at random times.
    b = bio_i();
    b.set("nreg", "2 2 8.5 3").set("regd", "1 0 0 0 0\n" + kRegime);
    ASSERT_EQ(read(b), 0);
    EXPECT_FLOAT_EQ(s_->regdur, 8.5f);
    EXPECT_EQ(s_->regbase, 3);
}

TEST_F(InputBio, GrowthParameters) {
    Lines b = bio_i();
    b.v.resize(17);
    b.set("ages", "2 6").set("fbar", "3 5").set("format", "p");
    for (const char* l : {"0.2", "100", "20", "0.5", "0.00001", "0.15", "40", "0.2", "0.8 1.5 0.05"}) b.v.push_back(l);
    ASSERT_EQ(read(b), 0);
    State& s = *s_;
    EXPECT_TRUE(console().empty());  // no line count in this format
    EXPECT_EQ(s.wecapar(2, 1), 0.00001f * ((20.0f * 20.0f) * 20.0f));  // length 20 at the youngest age
    const float l3 = 20.0f + 80.0f * (1.0f - std::exp(-0.5f));
    EXPECT_NEAR(s.west(3), 0.00001f * l3 * l3 * l3, 1e-6f);
    EXPECT_FLOAT_EQ(s.westpar(3, 2), 0.8f * s.westpar(3, 1));
    // The upper maturity limit is 1.5 times the maturity, but never below 1.
    EXPECT_LT(1.5f * s.matur(3), 1.0f);
    EXPECT_EQ(s.maturpar(3, 3), 1.0f);
    EXPECT_GT(1.5f * s.matur(6), 1.0f);
    EXPECT_FLOAT_EQ(s.maturpar(6, 3), 1.5f * s.matur(6));
    EXPECT_NEAR((s.sel(3, 1) + s.sel(4, 1) + s.sel(5, 1)) / 3.0f, 1.0f, 1e-6f);
    for (int a = 0; a <= 1; ++a) {
        const float below_firstage[5] = {s.natmor(a), s.sel(a, 1), s.weca(a), s.west(a), s.matur(a)};
        for (float v : below_firstage) EXPECT_EQ(v, 0.0f) << "age " << a;
    }
}

TEST_F(InputBio, SrspecKeepsTheSetsOfEveryRegime) {
    Lines b = bio_i();
    b.set("nreg", "3 1 10 20").set("rega", "12 2 2").set("regd", "1 0 0 0 0\n11 2 2\n1000 1000 0.3 0.1 10 1\n0 0 0\n1 0 0 0 0\n" + kRegime);
    write("srspec", "1 1 2 2 900.5 200 0.3\n1 2\n 1 2 800 150, 0.25\n7 2 1 1 700 100 0.2\n");
    ASSERT_EQ(read(b), 0) << last_error_;
    State& s = *s_;
    EXPECT_EQ(s.srflag(1), 1);
    EXPECT_EQ(s.srflag(2), 1);
    EXPECT_EQ(s.srflag(3), 0);
    EXPECT_FLOAT_EQ(s.srpar(1, 1, 3), 900.5f);
    EXPECT_FLOAT_EQ(s.srpar(1, 2, 5), 0.25f);
    EXPECT_FLOAT_EQ(s.srpar(7, 2, 4), 100.0f);
    EXPECT_FLOAT_EQ(s.srpar(2, 1, 3), -1.0f);
    // Truncation limits are not checked for such a regime.
    b.set("regb", "1000 1000 0.3 10 10 1");
    write("srspec", "1001 1 2 2 900 200 0.3\n");
    EXPECT_EQ(read(b), 1);
    EXPECT_EQ(console(), (Out{" A record of the srspec file has an iteration outside 1..1000 or a regime "
                              "outside 1..40:        1001           1"}));
    write("srspec", "1 41 2 2 900 200 0.3\n");
    EXPECT_EQ(read(b), 1);
    EXPECT_EQ(console(), (Out{" A record of the srspec file has an iteration outside 1..1000 or a regime "
                              "outside 1..40:           1          41"}));
    std::filesystem::remove("srspec");
    EXPECT_EQ(read(b), 1);
    EXPECT_EQ(console(), (Out{" Cannot open input file srspec"}));
}

TEST_F(InputBio, UnreadableFiles) {
    EXPECT_EQ(status_of(getpopinn), 1);
    EXPECT_EQ(console(), (Out{" Cannot open input file bio.inn"}));
    EXPECT_FALSE(exists("bio.inn"));
    write("bio.inn", "");
    EXPECT_EQ(status_of(getpopinn), 1);
    EXPECT_EQ(console(), (Out{" Input file bio.inn ends before all its records were read"}));
    Lines b = bio_i();
    b.v.pop_back();
    EXPECT_EQ(read(b), 1);
    EXPECT_EQ(console(), (Out{" Input file bio.inn ends before all its records were read"}));
    for (const std::string& bad : {std::string("one"), std::string("99999999999"), std::string("   "),
                                   std::string(100, ' ') + "1"}) {
        b = bio_i();
        b.set("tsbage", bad);
        EXPECT_EQ(read(b), 2) << bad;
        EXPECT_NE(last_error_.find("line 5"), std::string::npos) << last_error_;
    }
    b = bio_i();
    b.set("bref", "1e99");
    EXPECT_EQ(read(b), 2);
}

struct Stop {
    const char* label;
    std::string line;
    Out message;
};

class InputBioStops : public InputBio, public ::testing::WithParamInterface<Stop> {};

TEST_P(InputBioStops, StopsWithMessage) {
    Lines b = bio_i();
    b.set(GetParam().label, GetParam().line);
    EXPECT_EQ(read(b), 1);
    EXPECT_EQ(console(), GetParam().message);
}

const std::string kFbar = " The reference F ages must satisfy firstage <= fbar1 <= fbar2 <= lastage";
const std::string kTsb = " The youngest age in total stock biomass must lie within 0..lastage";

INSTANTIATE_TEST_SUITE_P(
    Input, InputBioStops,
    ::testing::Values(
        Stop{"ages", "1 16", {" Oldest age larger than maxage", " Adjust maxage in the model state and recompile the program"}},
        Stop{"ages", "-1 4", {" The youngest age (firstage) must not be negative"}},
        Stop{"ages", "0 0", {" The oldest age (lastage) must be at least 1"}},
        Stop{"ages", "5 4", {" The youngest age is larger than the oldest age"}},
        Stop{"fbar", "1 5", {kFbar}}, Stop{"fbar", "3 2", {kFbar}}, Stop{"fbar", "0 2", {kFbar}},
        Stop{"tsbage", "5", {kTsb}}, Stop{"tsbage", "-1", {kTsb}},
        Stop{"nreg", "0 1", {" The number of recruitment regimes must be at least 1"}},
        Stop{"nreg", "41 2 5 0", {" The number of recruitment regimes must not exceed 40"}},
        Stop{"nreg", "40 1", {" The number of recruitment regimes must not exceed 39 with regimes at fixed years"}},
        Stop{"nreg", "2 2 1.0 0", {" The mean regime duration must exceed 1 year with regimes at random times"}},
        Stop{"nreg", "2 3", {" Something wrong with specification of recruitment regimes"}},
        Stop{"regb", "1000 1000 0.3 10 10 1", {" Recruitment truncation limits admit no deviate in regime           1"}},
        Stop{"w3", "4 0.6 0.5 0.7 0.1 0.05", {" Check ageing of biol. data input at            4"}},
        // A negative selection is refused at its own record, before the
        // mean over the reference ages is taken.
        Stop{"s4", "4 -6", {" bio.inn line 25: selection at age 4 is -6; selection cannot be below 0"}}));

// ------------------------------------------------------------- options

// Rule 1 as a constant F, one basis element, every output file on.
Lines opt_base() {
    return Lines{{"# options", "1 opt0", "0.3 fprime", "2.0 fcap", "0 lag", "1 ntacyr", "0 1000 0 riskmeth",
                  "3 bpage", "1 nbasis", "1 1 0 0 1 el1", "1 1 nrule", "0 0 0 p1", "0 0 0 p2", "0.3 0.3 0 p3",
                  "0 0 0 p4", "0 0 0 p5", "1 slot1", "0.9 1 0.1 filter", "0 0 0 trigfilt", "1 0 0 1 cb1",
                  "2 1 slot2", "10 10 0 percent", "3 slot3", "0 0 0 mintac", "500 500 0 maxtac", "1 tacfill",
                  "0 0 0 o17", "0.1 0.1 0 o18", "0 0 0 o19", "0 0 0 o20", "0 0 0 o21", "0 0 0 o22",
                  "0.2 0.2 0 o23", "1 0.1 0.2 0.3 cv1", "2 0 0 0 cv2", "3 0 0 0 cv3", "4 0 0 0 cv4",
                  "1 1.0 ncorr", "3 1 0 0 0 recobs", "11 1 u11", "12 1 1 10 u12", "14 1 u14", "15 1 u15",
                  "16 1 u16", "17 1 u17", "18 1 u18", "19 1 u19", "20 1 u20", "21 1 u21", "22 1 u22", "23 1 u23",
                  "24 1 u24", "25 1 u25", "26 1 u26", "27 1 u27"}};
}

std::string rule_warning(int rule, int k) {
    return " Warning: harvest rule " + std::to_string(rule) + " reads basis element " + std::to_string(k) +
           ", which is not specified; it is taken as 0";
}

class InputOpt : public InputBio {
protected:
    void SetUp() override {
        InputBio::SetUp();
        ASSERT_EQ(read(bio_i()), 0);
        write("canum.inn", "");
    }
    int read_opt(const Lines& o) {
        write("opt.inn", o.text());
        return status_of(getoptinn);
    }
};

TEST_F(InputOpt, EveryRecordInOrder) {
    ASSERT_EQ(read_opt(opt_base()), 0) << last_error_;
    State& s = *s_;
    EXPECT_EQ(console(), (Out{rule_warning(1, 2)}));
    EXPECT_FLOAT_EQ(s.fprime, 0.3f);
    EXPECT_FLOAT_EQ(s.blim, 1000.0f);
    EXPECT_FLOAT_EQ(s.parrange(3, 1), 0.3f);
    EXPECT_FLOAT_EQ(s.parrange(6, 3), 1.0f);  // not given: 0, 0, 1
    EXPECT_FLOAT_EQ(s.parrange(11, 3), 0.1f);
    EXPECT_FLOAT_EQ(s.parrange(16, 2), 500.0f);
    EXPECT_FLOAT_EQ(s.parrange(23, 1), 0.2f);
    EXPECT_EQ(s.tacfill, 1);
    EXPECT_FLOAT_EQ(s.cvimpage(1), 0.3f);
    EXPECT_EQ(s.sumyr2, 10);
    for (int k = 11; k <= 27; ++k) EXPECT_EQ(s.iout(k), k == 13 ? 0 : 1) << k;
    EXPECT_EQ(s.minbyr, 0);
    EXPECT_EQ(s.lastbyr, 0);
    // A cohort weight record is read again for the weights.
    Lines o = opt_base();
    o.set("ncorr", "2 0.5 0.3");
    ASSERT_EQ(read_opt(o), 0);
    EXPECT_FLOAT_EQ(s_->corrw(1), 0.3f);
    EXPECT_EQ(s_->corrw(2), 0.0f);
}

TEST_F(InputOpt, BiomassAgeAboveTheOldestAgeIsAccepted) {
    // The biomass above an age beyond the stock is empty, not an error.
    Lines o = opt_base();
    o.set("bpage", "20");
    ASSERT_EQ(read_opt(o), 0) << last_error_;
    EXPECT_EQ(s_->bpage, 20);
    EXPECT_EQ(console(), (Out{rule_warning(1, 2)}));
}

TEST_F(InputOpt, RuleParametersAndBasisWarnings) {
    Lines o = opt_base();
    o.set("nrule", "6 1").set("p5", "0 0 0\n6 6 0\n7 7 0\n8 8 0");
    ASSERT_EQ(read_opt(o), 0) << last_error_;
    EXPECT_FLOAT_EQ(s_->parrange(8, 1), 8.0f);
    EXPECT_EQ(console(), (Out{rule_warning(6, 2), rule_warning(6, 3)}));
    o = opt_base();
    o.set("nrule", "7 1");  // five parameters, reads element 1 only
    ASSERT_EQ(read_opt(o), 0) << last_error_;
    EXPECT_TRUE(console().empty());
    o = opt_base();
    o.set("nbasis", "2").set("el1", "1 1 0 0 1\n3 1 -1 -1 1").set("nrule", "3 1").set("p5", "0 0 0\n0 0 0");
    ASSERT_EQ(read_opt(o), 0) << last_error_;
    EXPECT_EQ(console(), (Out{" Warning: decision basis confused", rule_warning(3, 3)}));
}

TEST_F(InputOpt, ConstraintSlots) {
    // One record "0" serves as all three slots and then as tacfill; without
    // a filter slot the filter is off.
    Lines o = opt_base();
    o.v.erase(o.v.begin() + 17, o.v.begin() + 26);
    o.set("slot1", "0");
    ASSERT_EQ(read_opt(o), 0) << last_error_;
    const std::string warn = " Asked for non-existing constraint option           0";
    EXPECT_EQ(console(), (Out{rule_warning(1, 2), warn, warn, warn}));
    EXPECT_EQ(s_->tacfill, 0);
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(s_->parrange(11, k), 1.0f) << k;
    // A limit with trigger and basis, and the filter given twice: each slot read counts.
    o = opt_base();
    o.set("slot2", "2 2").set("percent", "10 10 0\n50 50 0\n5 -2 -1 2");
    o.set("slot3", "1").set("mintac", "1 1 0").set("maxtac", "0 0 0\n6 -4 -3 1");
    ASSERT_EQ(read_opt(o), 0) << last_error_;
    EXPECT_FLOAT_EQ(s_->parrange(14, 1), 50.0f);
    EXPECT_EQ(s_->cbkind(1), 6);
    EXPECT_EQ(s_->cbkind(2), 5);
    EXPECT_EQ(s_->minbyr, -4);
}

TEST_F(InputOpt, RecruitmentBasesOnlyForObservedYears) {
    const Out kind3{" You ask for recruitment indicator for years", " after the current year, which are undefined",
                    " Check the opt.inn file"};
    const Out kind4{" You ask for recruitment index for years", " after the last observed year, which are undefined",
                    " Check the opt.inn file"};
    struct Case {
        const char* label;
        const char* line;
        const Out* stop;  // nullptr: accepted
    };
    for (const Case& c : {Case{"el1", "1 3 0 0 1", nullptr}, Case{"el1", "1 3 0 1 1", &kind3},
                          Case{"el1", "1 4 -2 -1 1", nullptr}, Case{"el1", "1 4 -1 0 1", &kind4},
                          Case{"cb1", "4 -1 0 1", &kind4}, Case{"cb1", "3 0 1 1", &kind3}}) {
        Lines o = opt_base();
        o.set(c.label, c.line);
        EXPECT_EQ(read_opt(o), c.stop ? 1 : 0) << c.line;
        const Out out = console();
        if (c.stop) {
            EXPECT_EQ(Out(out.end() - 3, out.end()), *c.stop) << c.line;
        }
    }
}

TEST_F(InputOpt, SwitchesAndSpawningFractions) {
    // Each position clears its own switch, and the record at the place of
    // unit 12 reads the summary years whatever unit it names.
    Lines o = opt_base();
    o.set("u12", "16 1 3 7").set("u15", "15 2").set("u16", "12 0");
    ASSERT_EQ(read_opt(o), 0);
    EXPECT_EQ(s_->sumyr1, 3);
    EXPECT_EQ(s_->sumyr2, 7);
    EXPECT_EQ(s_->iout(12), 0);
    EXPECT_EQ(s_->iout(16), 0);
    EXPECT_EQ(s_->iout(15), 2);
    // Spawning after part of the year's mortality needs one more year.
    Lines b = bio_i();
    b.set("fprop", "0.0 0.25");
    ASSERT_EQ(read(b), 0);
    ASSERT_EQ(read_opt(opt_base()), 0);
    EXPECT_EQ(s_->lastbyr, 1);
    o = opt_base();
    o.set("el1", "1 1 0 5 1");
    EXPECT_EQ(read_opt(o), 1);
    EXPECT_EQ(console().back(), " The options reach more than 5 years beyond the TAC year");
}

TEST_F(InputOpt, CorrelationsBecomeCovariances) {
    // Correlation 0.5 between ages 3 and 4 with spreads 0.2 and 0.3; a record
    // may run over several lines.
    write("nin.inn", "1 1000 0.1 0 0 0\n2 800 0 0.1 0 0\n3 600 0 0\n 0.2 0.5\n4 400 0 0 0.5 0.3\n123.5\n");
    Lines o = opt_base();
    o.set("opt0", "2").set("fprime", "150");
    ASSERT_EQ(read_opt(o), 0) << last_error_;
    EXPECT_FLOAT_EQ(s_->catch0, 150.0f);
    EXPECT_FLOAT_EQ(s_->ninvar(3, 4), 0.03f);
    EXPECT_EQ(s_->ninvar(4, 3), s_->ninvar(3, 4));
    EXPECT_FLOAT_EQ(s_->ninvar(3, 3), 0.2f);
    EXPECT_FLOAT_EQ(s_->ssbpre(0), 123.5f);
    console();
    write("nin.inn", "1 1000 0.1 0 0 0\n2 800 0 0.1 0 0\n3 600 0 0 0.2 0.5\n4 400 0 0 0.4 0.3\n1\n");
    EXPECT_EQ(read_opt(o), 1);
    EXPECT_EQ(console(), (Out{" Correlation matrix in ninfile is not symmetric", "           3           4  0.50000000    ",
                              " is different from ", "           4           3  0.40000001    ", " Correct the file"}));
    write("nin.inn", "1 1000 0.1 0 0 0\n3 800 0 0.1 0 0\n");
    EXPECT_EQ(read_opt(o), 1);
    EXPECT_EQ(console(), (Out{" Wrong ages on nin.inn-file", " Stated as            3  Expected            2",
                              " Correct the file"}));
    write("nin.inn", "1 1000 0.1 0 0 0\n2 800 0 0.1 0 0\n");
    EXPECT_EQ(read_opt(o), 1);
    EXPECT_EQ(console(), (Out{" Input file nin.inn ends before all its records were read"}));
}

TEST_F(InputOpt, VariancesAndObservedNumbers) {
    // With the youngest age 0 the files hold only the age records.
    ASSERT_EQ(read(bio_ages(0, 3, 1, 3)), 0) << last_error_;
    Lines o = opt_base();
    o.set("opt0", "3").set("cv1", "0 0 0 0").set("cv2", "1 0 0 0").set("cv3", "2 0 0 0").set("cv4", "3 0 0 0");
    write("nin.num", "0 900 0.1\n1 700 0.2\n2 500 0.3\n3 300 0.4\n");
    ASSERT_EQ(read_opt(o), 0) << last_error_;
    EXPECT_FLOAT_EQ(s_->nindiag(3), 0.4f);
    console();
    write("nin.num", "0 900 0.1\n2 700 0.2\n");
    EXPECT_EQ(read_opt(o), 1);
    EXPECT_EQ(console(), (Out{" Wrong ages in the nin.num file", " Stated as            2  Expected            1",
                              " Correct the file and start again"}));
    o.set("3", "4");
    write("nin.obs", "0 900\n1 700\n2 500\n3 300\n");
    ASSERT_EQ(read_opt(o), 0) << last_error_;
    EXPECT_FLOAT_EQ(s_->nin(2), 500.0f);
    console();
    write("nin.obs", "0 900\n1 700\n2 500\n4 300\n");
    EXPECT_EQ(read_opt(o), 1);
    EXPECT_EQ(console()[0], " Wrong ages in the nin.obs file");
}

TEST_F(InputOpt, HistoricalCatches) {
    Lines o = opt_base();
    o.set("el1", "1 1 -2 -1 1");
    // Comments, blank lines, a year long before the history, a repeated year.
    write("canum.inn", "# catches\n\n   # indented\n1970 9 9 9 9\n1998, 10, 20, 30, 40\n2000 1 2 3 4\n1998 11 21 31 41\n");
    ASSERT_EQ(read_opt(o), 0) << last_error_;
    EXPECT_FLOAT_EQ(s_->canobs(1, -2), 11.0f);
    EXPECT_FLOAT_EQ(s_->canobs(4, -2), 41.0f);
    EXPECT_FLOAT_EQ(s_->canobs(3, 0), 3.0f);
    EXPECT_EQ(s_->canobs(1, -1), 0.0f);
    console();
    write("canum.inn", "1998 1 2 3 4\nyear 1999\n");
    EXPECT_EQ(read_opt(o), 2);
    EXPECT_NE(last_error_.find("canum.inn, line 2"), std::string::npos) << last_error_;
    write("canum.inn", "2046 1 2 3 4\n");
    EXPECT_EQ(read_opt(o), 1);
    EXPECT_EQ(console().back(), " Historical catch year beyond year0 + 45 in the catch file:        2046");
    std::filesystem::remove("canum.inn");
    EXPECT_EQ(read_opt(o), 1);
    EXPECT_EQ(console().back(), " Cannot open input file canum.inn");
    EXPECT_EQ(read_opt(opt_base()), 0);  // no basis reaching back: not needed
}

TEST_F(InputOpt, UnreadableOptions) {
    EXPECT_EQ(read_opt(Lines{}), 1);
    Lines o = opt_base();
    o.v.pop_back();
    EXPECT_EQ(read_opt(o), 1);
    EXPECT_EQ(console().back(), " Input file opt.inn ends before all its records were read");
    o = opt_base();
    o.set("fcap", std::string(190, ' ') + "1.5");  // 200 characters are kept
    EXPECT_EQ(read_opt(o), 0);
    EXPECT_FLOAT_EQ(s_->fcap, 1.5f);
    o.set("1.5", "two");
    EXPECT_EQ(read_opt(o), 2);
    EXPECT_NE(last_error_.find("opt.inn, line 4"), std::string::npos) << last_error_;
}

class InputOptStops : public InputOpt, public ::testing::WithParamInterface<Stop> {};

TEST_P(InputOptStops, StopsWithMessage) {
    Lines o = opt_base();
    o.set(GetParam().label, GetParam().line);
    EXPECT_EQ(read_opt(o), 1);
    EXPECT_EQ(console().back(), GetParam().message[0]);
}

const Out kSumyr{" The summary years must satisfy 1 <= sumyr1 <= sumyr2 <= 40"};
const Out kLag{" The assessment lag (lag) must be 0 or -1"};
const Out kBack{" The options reach back more than 15 years before the TAC year"};
const Out kNtac{" The number of years of a TAC decision (ntacyr) must lie within 1..16"};
const Out kMr{" The years of the mean recruitment must satisfy mrfirst <= mrlast <= 0"};
const Out kNbasis{" The number of decision basis elements must lie within 1..5"};
const Out kKind{" A decision basis element must be of kind 1 to 6"};
const Out kWindow{" A decision basis window must not end before it starts"};
const Out kNcorr{" The number of cohort weights (ncorr) must lie within 0..15"};

INSTANTIATE_TEST_SUITE_P(
    Input, InputOptStops,
    ::testing::Values(
        Stop{"opt0", "5", {" Invalid option for year 0:            5"}},
        Stop{"riskmeth", "3 1000 0", {" The risk method must be 0, 1 or 2"}},
        Stop{"riskmeth", "-1 1000 0", {" The risk method must be 0, 1 or 2"}}, Stop{"nbasis", "0", kNbasis},
        Stop{"nbasis", "6", kNbasis},
        Stop{"bpage", "-1", {" The youngest age of the biomass above an age (bpage) must not be negative"}},
        Stop{"el1", "1 1 0 0 4", {" How a decision basis element combines its years must be 1, 2 or 3"}},
        Stop{"el1", "1 7 0 0 1", kKind}, Stop{"el1", "1 0 0 0 1", kKind}, Stop{"cb1", "0 0 0 1", kKind},
        Stop{"cb1", "7 0 0 1", kKind}, Stop{"el1", "1 1 0 -1 1", kWindow}, Stop{"cb1", "1 0 -1 1", kWindow},
        Stop{"nrule", "9 1", {" Asked for non-existing rule:           9"}},
        Stop{"nrule", "1 5", {" The meaning of the rule value (vtype) must be 1..4"}},
        Stop{"cb1", "1 0 0 0", {" How the filter basis combines its years must be 1, 2 or 3"}},
        Stop{"slot2", "2 2\n0 0 0\n0 0 0\n1 0 0 4", {" How the TAC-change basis combines its years must be 1, 2 or 3"}},
        Stop{"cv3", "4 0 0 0", {" Correct the file and start again"}},
        Stop{"ncorr", "16", kNcorr}, Stop{"ncorr", "-1", kNcorr},
        Stop{"recobs", "3 3 0 0 0", {" The recruitment of the decision projections (recproj) must be 1 or 2"}},
        Stop{"u12", "12 1 0 10", kSumyr}, Stop{"u12", "12 1 10 41", kSumyr}, Stop{"u12", "12 1 10 5", kSumyr},
        Stop{"u11", "10 1", {" Output switch for a non-existing file unit:          10"}},
        Stop{"u14", "13 1", {" Output switch for a non-existing file unit:          13"}},
        Stop{"u27", "28 1", {" Output switch for a non-existing file unit:          28"}},
        Stop{"lag", "-2", kLag}, Stop{"lag", "1", kLag}, Stop{"el1", "1 1 -16 0 1", kBack},
        Stop{"recobs", "3 1 -16 0 0", kBack},
        Stop{"el1", "1 1 0 6 1", {" The options reach more than 5 years beyond the TAC year"}},
        Stop{"ntacyr", "0", kNtac}, Stop{"ntacyr", "17", kNtac}, Stop{"recobs", "3 1 0 1 0", kMr},
        Stop{"recobs", "3 1 -1 -2 0", kMr}));

}  // namespace
