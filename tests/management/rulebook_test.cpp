// The rule descriptions: the legacy headings and layouts they give, the
// option names, the checks a new description must pass, the shape helpers,
// and the input guide's rule table, which must be the one they produce.
#include "management/rulebook.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "golden/run_helper.hpp"
#include "management/management.hpp"

namespace tacsim {
namespace {

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string x; in >> x;) w.push_back(x);
    return w;
}

TEST(Rulebook, StandardRulesAndTheirParameterCounts) {
    const Rulebook& book = standard_rulebook();
    ASSERT_EQ(book.rules().size(), 8u);
    const int count[] = {5, 6, 6, 6, 7, 8, 5, 7};
    for (int n = 1; n <= 8; ++n) {
        const HarvestRule* r = book.find(n);
        ASSERT_NE(r, nullptr) << n;
        EXPECT_EQ(r->desc.number, n);
        EXPECT_EQ(r->nparams(), count[n - 1]) << n;
        EXPECT_EQ(r->desc.ptrig, n == 2 ? 2 : 1) << n;  // rule 2 counts below Btrig1, the rest below their first parameter
        EXPECT_EQ(r->desc.vtypes, 0xFu) << n;
    }
    EXPECT_EQ(book.find(0), nullptr);
    EXPECT_EQ(book.find(9), nullptr);
    // Elements read: B1 only for rule 7, B3 also for rules 3, 5 and 6.
    const std::size_t reads[] = {2, 2, 3, 2, 3, 3, 1, 2};
    for (int n = 1; n <= 8; ++n) EXPECT_EQ(book.find(n)->desc.basis.size(), reads[n - 1]) << n;
}

// The headings the descriptions give are the legacy ones, byte for byte,
// where they are built from the names as well as where they are held whole.
TEST(Rulebook, LegacyHeadingsAndLayouts) {
    const std::string labels_tail =
        "Filter Trig_filt Percent Trig_perc MinTAC MaxTAC Bias_obs Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv";
    const std::string summary_tail =
        "Filter Except_F Percent Except_P MinTAC MaxTAC Bias_obs Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv "
        "Cmean C10 C50 C90 Fmean F10 F50 F90 Smean SSB10 SSB50 SSB90 Tmean TSB10 TSB50 TSB90 IAV Risklim "
        "Probtrig Crash";
    const Rulebook& book = standard_rulebook();
    EXPECT_EQ(book.find(1)->desc.label_line, "Btrig1 Btrig2 Target Alfa1 Alfa2 " + labels_tail);
    EXPECT_EQ(book.find(7)->desc.label_line, book.find(1)->desc.label_line);
    EXPECT_EQ(book.find(6)->desc.label_line, "B0 Btrig1 Btrig2 RefRec Alfa2 V0 Vlow Vhigh " + labels_tail);
    EXPECT_EQ(book.find(8)->desc.label_line,
              "Btrig1 Btrig2 Vstd Alfa1 Alfa2 Vlow Vhigh Filter   Trig_filt Percent Trig_perc MinTAC MaxTAC "
              "Bias_obs Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv");
    EXPECT_EQ(book.find(1)->desc.summary_heading, "Btrig1 Btrig2 Target Alfa1 Alfa2 " + summary_tail);
    EXPECT_EQ(book.find(7)->desc.summary_heading, book.find(1)->desc.summary_heading);
    EXPECT_EQ(book.find(2)->desc.summary_heading, "B0 Btrig1 Btrig2 Target Level1 Alfa2 " + summary_tail);

    const char* const option_layouts[] = {
        "(2f10.1,4f10.3,5f10.1,6f6.3)", "(3f10.1,4f10.3,5f10.1,6f6.3)", "(2f10.1,5f10.3,5f10.1,6f6.3)",
        "(2f10.1,5f10.3,5f10.1,6f6.3)", "(3f10.1,5f10.3,5f10.1,6f6.3)", "(4f10.1,5f10.3,5f10.1,6f6.3)",
        "(2f10.1,4f10.3,5f10.1,6f6.3)", "(2f10.1,6f10.3,5f10.1,6f6.3)"};
    const std::string tail = "f5.2,f10.2,f5.1, 2f10.2,2f10.1,2f5.2,3f6.3,  4f10.1,4f8.3,12f8.1)";
    const std::string r17 = "(2f10.2,3f10.3,f5.2,f10.1,f5.1,3f10.1,6f6.3,                4f10.1,4f8.3,12f8.1)";
    const std::string summary_layouts[] = {r17,
                                           "(3f10.2,3f10.3," + tail,
                                           "(2f10.2,4f10.3," + tail,
                                           "(2f10.1,4f10.3," + tail,
                                           "(2f10.1,5f10.3," + tail,
                                           "(4f10.1,4f10.3," + tail,
                                           r17,
                                           "(2f10.1,5f10.3," + tail};
    for (int n = 1; n <= 8; ++n) {
        EXPECT_EQ(book.find(n)->desc.option_layout, option_layouts[n - 1]) << n;
        EXPECT_EQ(book.find(n)->desc.summary_layout, summary_layouts[n - 1]) << n;
    }
}

// The option names are the words of the per-set header labels, in the order
// of the options, with the unused slots and option 17 left empty.
TEST(Rulebook, OptionNamesAreTheHeaderLabels) {
    for (const HarvestRule& r : standard_rulebook().rules()) {
        const auto names = option_names(r);
        std::vector<std::string> named;
        for (int k = 1; k <= noptions; ++k) {
            const std::string& n = names[static_cast<std::size_t>(k - 1)];
            const bool unnamed = (k > r.nparams() && k <= 10) || k == 17;
            EXPECT_EQ(n.empty(), unnamed) << "rule " << r.desc.number << ", option " << k;
            if (!n.empty()) named.push_back(n);
        }
        EXPECT_EQ(named, words(r.desc.label_line)) << "rule " << r.desc.number;
    }
    auto s = make_state();
    s->nrule = 6;
    const auto six = option_names(*s);
    EXPECT_EQ(six[7], "Vhigh");
    EXPECT_EQ(six[10], "Filter");
    EXPECT_EQ(six[15], "MaxTAC");
    EXPECT_EQ(six[17], "Bias_obs");
    EXPECT_EQ(six[22], "CV_biosurv");
    s->nrule = 9;
    for (const std::string& n : option_names(*s)) EXPECT_EQ(n, "");
}

// The run dispatches through the state's rulebook to the described function.
TEST(Rulebook, RunRuleAndEvaluation) {
    auto s = make_state();
    s->nrule = 7;
    ASSERT_EQ(run_rule(*s), standard_rulebook().find(7));
    const float p[] = {100.0f, 200.0f, 0.3f, 1.0f, 0.1f};
    for (int k = 0; k < 5; ++k) s->par(k + 1) = p[k];
    BasisVec basis;
    basis.fill(0.0f);
    basis(1) = 150.0f;
    float v = 0.0f;
    rule(*s, v, basis);
    EXPECT_FLOAT_EQ(v, 0.2f);
    EXPECT_EQ(v, evaluate(*run_rule(*s), s->par, basis));
    EXPECT_EQ(v, rule7(s->par, basis));
}

// The shape of a rule against its basis, as a report draws it.
TEST(Rulebook, ShapeHelpers) {
    OptionVec par;
    par.fill(0.0f);
    // Rule 1: Btrig1 100, Btrig2 300, Target 0.3, Alfa1 1, Alfa2 0.5.
    const float p1[] = {100.0f, 300.0f, 0.3f, 1.0f, 0.5f};
    for (int k = 0; k < 5; ++k) par(k + 1) = p1[k];
    const HarvestRule& r1 = *standard_rulebook().find(1);
    EXPECT_EQ(value_at(r1, par, 0.0f), 0.0f);
    EXPECT_FLOAT_EQ(value_at(r1, par, 50.0f), 0.15f);
    EXPECT_FLOAT_EQ(value_at(r1, par, 200.0f), 0.3f);
    EXPECT_FLOAT_EQ(value_at(r1, par, 600.0f), 0.3f * 1.5f);  // B2 moves with B1

    // Rule 5: the recruitment indicator picks the base value.
    const float p5[] = {100.0f, 300.0f, 50.0f, 1.0f, 0.0f, 0.1f, 0.4f};
    for (int k = 0; k < 7; ++k) par(k + 1) = p5[k];
    const HarvestRule& r5 = *standard_rulebook().find(5);
    EXPECT_FLOAT_EQ(value_at(r5, par, 200.0f, 10.0f), 0.1f);
    EXPECT_FLOAT_EQ(value_at(r5, par, 200.0f, 60.0f), 0.4f);
}

constexpr ParamList<1> kFixed = {{{"V", ParUnit::Value}}};

// A description that does not hold together is refused with the fault
// named, and a refused or accepted addition never touches the standard
// rulebook.
TEST(Rulebook, AdditionsAreCheckedAndStayInTheirOwnBook) {
    auto fixed = [](const OptionVec& par, const BasisVec&) { return NamedOptions<kFixed>(par)["V"]; };
    auto described = [&] {
        RuleDescription r;
        r.number = 12;
        r.name = "fixed value";
        r.params = params_of(kFixed);
        r.ptrig = 0;
        r.option_layout = "(f10.3,f10.3,5f10.1,6f6.3)";
        r.summary_layout = "(f10.3,f5.2,f10.2,f5.1,2f10.2,2f10.1,2f5.2,3f6.3,4f10.1,4f8.3,12f8.1)";
        r.eval = fixed;
        return r;
    };
    auto refused = [&](RuleDescription r, const std::string& fault) {
        Rulebook book;
        try {
            book.add(std::move(r));
            ADD_FAILURE() << "accepted; expected: " << fault;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(fault), std::string::npos) << e.what();
        }
        EXPECT_TRUE(book.rules().empty());
    };
    RuleDescription r = described();
    r.number = 1;
    {
        Rulebook book = standard_rulebook();
        EXPECT_THROW(book.add(r), std::invalid_argument);  // rule 1 exists
    }
    r = described();
    r.option_layout = "(f10.3,5f10.1,6f6.3)";
    refused(r, "must hold 13 values");
    r = described();
    r.summary_layout = "(f10.3";
    refused(r, "the summary layout");
    r = described();
    r.ptrig = 2;
    refused(r, "Ptrig");
    r = described();
    r.params.assign(11, RuleParam{"P", ParUnit::Value});
    refused(r, "1 to 10 parameters");
    r = described();
    r.basis.assign(6, BasisUse::LowerTrigger);
    refused(r, "at most 5");
    r = described();
    r.vtypes = 0;
    refused(r, "value type");
    r = described();
    r.eval = nullptr;
    refused(r, "no function");
    r = described();
    r.number = 100;
    refused(r, "1..99");

    Rulebook mine = standard_rulebook();
    mine.add(described());
    ASSERT_NE(mine.find(12), nullptr);
    EXPECT_EQ(mine.rules().back().desc.number, 12);
    EXPECT_EQ(mine.find(12)->desc.label_line,
              "V Filter Trig_filt Percent Trig_perc MinTAC MaxTAC Bias_obs Bias_impl CVyr_obs CVyr_impl CV_recr "
              "CV_biosurv");
    EXPECT_EQ(standard_rulebook().find(12), nullptr);
    EXPECT_EQ(standard_rulebook().rules().size(), 8u);
}

// The input guide's rule table is the one the descriptions produce: change
// a rule, and this test shows the table to paste.
TEST(Rulebook, InputGuideTableComesFromTheDescriptions) {
    const std::string text =
        tacsim_test::read_file(std::filesystem::path(TACSIM_SOURCE_DIR) / "docs" / "inputs.md");
    const std::string begin = "<!-- rule table: begin -->\n", end = "<!-- rule table: end -->";
    const auto b = text.find(begin);
    const auto e = text.find(end);
    ASSERT_NE(b, std::string::npos);
    ASSERT_NE(e, std::string::npos);
    EXPECT_EQ(text.substr(b + begin.size(), e - b - begin.size()), rules_markdown(standard_rulebook()));
}

}  // namespace
}  // namespace tacsim
