// The output files: which are created, their names, the rule headings and
// the per-set header blocks.
#include "io/outfiles.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io_fixture.hpp"

using namespace tacsim;
using tacsim::testing::ScratchDir;
using tacsim::testing::split_records;

namespace {

const char* const kAllNames[] = {"Results", "First_5",  "Traj",      "S0_distr",      "F_distr",
                                 "IAV_distr", "compbas", "SRpairs",   "All_years",     "Yieldrecr",
                                 "Catch_agedist", "SSB_agedist", "Wema", "Comprecr", "Recovery"};

class OutFiles : public ScratchDir {
protected:
    void switch_all(int v) {
        for (int k = 11; k <= 27; ++k) s_->iout(k) = (k == 13) ? 0 : v;
    }
    // The records a file holds once it is closed.
    std::vector<std::string> records(const std::string& name) { return split_records(slurp(name)); }
    void set_par(std::initializer_list<float> v) {
        int i = 1;
        for (float x : v) s_->par(i++) = x;
    }
};

TEST_F(OutFiles, SummaryYearsFileName) {
    struct Case {
        int y1, y2;
        const char* name;
    };
    for (const Case& c : {Case{3, 7, "Years 3_ 7"}, Case{10, 20, "Years10_20"}, Case{1, 10, "Years 1_10"},
                          Case{-10, 100, "Years**_**"}}) {
        s_->iout(12) = 1;
        s_->nrule = 1;
        s_->sumyr1 = c.y1;
        s_->sumyr2 = c.y2;
        prepfiles(*s_);
        closefiles(*s_);
        EXPECT_EQ(s_->unit12name, c.name);
        EXPECT_TRUE(exists(c.name)) << c.name;
    }
}

TEST_F(OutFiles, OnlySwitchOneOpensAFile) {
    s_->nrule = 1;
    switch_all(0);
    prepfiles(*s_);
    closefiles(*s_);
    switch_all(2);
    s_->sumyr1 = 1;
    s_->sumyr2 = 2;
    prepfiles(*s_);
    closefiles(*s_);
    std::size_t n = 0;
    for (auto it = std::filesystem::directory_iterator("."); it != std::filesystem::directory_iterator(); ++it) ++n;
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(s_->unit12name.empty());
}

TEST_F(OutFiles, EverySwitchOnCreatesEveryFileWithItsFirstLine) {
    s_->nrule = 7;  // rule 7 shares the heading of rule 1
    switch_all(1);
    s_->sumyr1 = 5;
    s_->sumyr2 = 15;
    prepfiles(*s_);
    EXPECT_FALSE(s_->unit(13).is_open());
    // The per-recruit analysis closes its own three files.
    for (int k = 22; k <= 24; ++k) s_->unit(k).close();
    closefiles(*s_);
    for (const char* n : kAllNames) EXPECT_TRUE(exists(n)) << n;
    EXPECT_FALSE(exists("kladd"));
    const std::string heading =
        " Btrig1 Btrig2 Target Alfa1 Alfa2 Filter Except_F Percent Except_P MinTAC MaxTAC Bias_obs Bias_impl "
        "CVyr_obs CVyr_impl CV_recr CV_biosurv Cmean C10 C50 C90 Fmean F10 F50 F90 Smean SSB10 SSB50 SSB90 "
        "Tmean TSB10 TSB50 TSB90 IAV Risklim Probtrig Crash\r\n";
    EXPECT_EQ(slurp("Years 5_15"), heading);
    EXPECT_EQ(slurp("First_5"), heading);
    EXPECT_EQ(slurp("All_years"), heading);
    EXPECT_EQ(slurp("Results"), "");
    EXPECT_EQ(slurp("Traj"), "");
}

TEST_F(OutFiles, HeadingsOfTheOtherRules) {
    // Spellings and double blanks belong to the headings.
    struct Case {
        int rule;
        const char* start;
    };
    for (const Case& c : {Case{2, " B0 Btrig1 Btrig2 Target Level1 Alfa2 Filter Except_F"},
                          Case{3, " Btrig1 Btrig2 Target Alfa1 Alfa2 Gain Filter Execpt_Fer Percent Except_P MinTAC "
                                  "MaxTAC Bias_obs Bias_impl CVyr_obs CVyr_impl  CV_recr CV_Biosurv Cmean"},
                          Case{4, " Btrig1 Btrig2 Target Slope1 Slope2 Vmax Filter"},
                          Case{5, " Btrig1 Btrig2 RefRec Alfa1 Alfa2 Vlow Vhigh Filter Except_F Percent Except_P "
                                  "MinTAC MaxTAC Bias_obs Bias_impl CVyr_obs CVyr_impl  CV_recr Cmean"},
                          Case{6, " B0 Btrig1 Btrig2 RefRec Alfa2 V0 Vlow Vhigh Filter"},
                          Case{8, " Btrig1 Btrig2 Vstd   Alfa1 Alfa2 Vlow Vhigh Filter Except_F"}}) {
        s_->nrule = c.rule;
        s_->iout(14) = 1;
        prepfiles(*s_);
        closefiles(*s_);
        const auto r = records("First_5");
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].rfind(c.start, 0), 0u) << r[0];
        EXPECT_EQ(r[0].substr(r[0].size() - 32), "TSB90 IAV Risklim Probtrig Crash") << c.rule;
    }
}

TEST_F(OutFiles, HeaderBlockOfRuleOne) {
    s_->nrule = 1;
    s_->iout(11) = 1;
    s_->iout(17) = 1;
    s_->iout(25) = 1;
    prepfiles(*s_);
    set_par({0, 0, 0.3f, 0, 0, 0, 0, 0, 0, 0, 1.0f, 0, 0, 0, 0, 0, 7.0f, 0, 0, 0, 0, 0, 0});
    header(*s_, 11);
    header(*s_, 17);
    header(*s_, 25);
    closefiles(*s_);
    const std::string labels =
        " Btrig1 Btrig2 Target Alfa1 Alfa2 Filter Trig_filt Percent Trig_perc MinTAC MaxTAC Bias_obs Bias_impl "
        "CVyr_obs CVyr_impl CV_recr CV_biosurv";
    const std::string values =
        "       0.0       0.0     0.300     0.000     0.000     1.000       0.0       0.0       0.0       0.0"
        "       0.0 0.000 0.000 0.000 0.000 0.000 0.000";
    EXPECT_EQ(records("Results"), (std::vector<std::string>{labels, values, ""}));
    EXPECT_EQ(records("F_distr"), (std::vector<std::string>{labels, values, "", " Iter  Year Decid   Real"}));
    EXPECT_EQ(records("Wema"), (std::vector<std::string>{labels, values, ""}));
}

TEST_F(OutFiles, HeaderBlocksOfRulesThreeAndEight) {
    s_->nrule = 3;
    s_->iout(19) = 1;
    prepfiles(*s_);
    set_par({60, 300, 0.25f, 1, 0.2f, 0.05f, 0, 0, 0, 0, 0.7f, 0.05f, 15, 100, 10, 400, 0, 0.1f, 0.05f, 0.2f,
             0.1f, 0.3f, 0.25f});
    header(*s_, 19);
    closefiles(*s_);
    EXPECT_EQ(records("compbas"),
              (std::vector<std::string>{
                  " Btrig1 Btrig2 Target Alfa1 Alfa2 Gain Filter Trig_filt Percent Trig_perc MinTAC MaxTAC Bias_obs "
                  "Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv",
                  "      60.0     300.0     0.250     1.000     0.200     0.050     0.700       0.1      15.0     "
                  "100.0      10.0     400.0 0.100 0.050 0.200 0.100 0.300 0.250",
                  "", " Year True   Obs"}));

    s_->nrule = 8;
    s_->iout(19) = 0;
    s_->iout(26) = 1;
    prepfiles(*s_);
    set_par({200, 600, 0.15f, 1, 0.5f, 0.05f, 0.3f, 0, 0, 0, 1, 0, 0, 0, 50, 0, 0, 0, 0, 0.15f, 0.1f, 0.2f,
             0.2f});
    header(*s_, 26);
    closefiles(*s_);
    EXPECT_EQ(records("Comprecr"),
              (std::vector<std::string>{
                  " Btrig1 Btrig2 Vstd Alfa1 Alfa2 Vlow Vhigh Filter   Trig_filt Percent Trig_perc MinTAC MaxTAC "
                  "Bias_obs Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv",
                  "     200.0     600.0     0.150     1.000     0.500     0.050     0.300     1.000       0.0       "
                  "0.0       0.0      50.0       0.0 0.000 0.000 0.150 0.100 0.200 0.200",
                  "", " Iter  Year     TrueR      ObsR"}));
}

TEST_F(OutFiles, ValueRecordLengthByRule) {
    // 17, 18, 18, 18, 19, 20, 17, 19 values, all on one record.
    const int count[] = {0, 17, 18, 18, 18, 19, 20, 17, 19};
    const int wide[] = {0, 11, 12, 12, 12, 13, 14, 11, 13};  // fields of width 10
    for (int rule = 1; rule <= 8; ++rule) {
        s_ = make_state();
        s_->con.attach(out_, "standard output");
        s_->nrule = rule;
        s_->iout(20) = 1;
        prepfiles(*s_);
        for (int i = 1; i <= 23; ++i) s_->par(i) = static_cast<float>(i);
        header(*s_, 20);
        closefiles(*s_);
        const auto r = records("SRpairs");
        ASSERT_EQ(r.size(), 4u);
        EXPECT_EQ(r[1].size(), static_cast<std::size_t>(wide[rule] * 10 + (count[rule] - wide[rule]) * 6))
            << "rule " << rule;
        EXPECT_EQ(r[1].find("17.0"), std::string::npos) << "option 17 is not written";
        EXPECT_EQ(r[3], " Iter  Year     SSB      Recr");
        if (rule == 6) {
            // B0, Btrig1, Btrig2 and RefRec with one decimal, Alfa2 with three.
            EXPECT_EQ(r[1].substr(0, 50), "       1.0       2.0       3.0       4.0     5.000");
        }
    }
}

TEST_F(OutFiles, ColumnLinesOfIterationFiles) {
    s_->nrule = 1;
    for (int k : {15, 16, 18, 27}) s_->iout(k) = 1;
    prepfiles(*s_);
    for (int k : {15, 16, 18, 27}) header(*s_, k);
    closefiles(*s_);
    EXPECT_EQ(records("IAV_distr").back(), " Iter   Year     IAV");
    for (const char* n : {"Traj", "S0_distr", "Recovery"}) {
        const auto r = records(n);
        ASSERT_EQ(r.size(), 3u) << n;
        EXPECT_EQ(r[2], "") << n;
    }
}

TEST_F(OutFiles, UnwritableFileStops) {
    std::filesystem::create_directory("Traj");
    s_->nrule = 1;
    s_->iout(11) = 1;
    s_->iout(15) = 1;
    EXPECT_EQ(status_of(prepfiles), 1);
    EXPECT_EQ(console(), (std::vector<std::string>{" Cannot open output file Traj"}));
}

}  // namespace
