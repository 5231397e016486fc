// The worked example of docs/adding-a-rule.md: a constant-catch rule, the
// same TAC whatever the stock. It is registered here, in a rulebook of the
// test's own, so the program itself never gains it; the example runs the
// bundled stock under it from end to end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../io/io_fixture.hpp"
#include "golden/run_helper.hpp"
#include "driver/driver.hpp"
#include "management/rulebook.hpp"

namespace tacsim {
namespace {

// Step 1: the function. Its one parameter is the catch; it reads no basis.
constexpr ParamList<1> kConstantCatch = {{{"Catch", ParUnit::Value}}};
float constant_catch(const OptionVec& par, const BasisVec&) {
    return NamedOptions<kConstantCatch>(par)["Catch"];
}

// Step 2: the description.
RuleDescription constant_catch_rule() {
    return {.number = 9,
            .name = "constant catch",
            .params = params_of(kConstantCatch),
            .basis = {},                // reads no basis element
            .ptrig = 0,                 // no trigger: Ptrig and Probtrig are 0
            .vtypes = 1u << (4 - 1),    // its value is the TAC itself (vtype 4)
            .option_layout = "(f10.1,f10.3,5f10.1,6f6.3)",
            .summary_layout = "(f10.1,f5.2,f10.2,f5.1,2f10.2,2f10.1,2f5.2,3f6.3,4f10.1,4f8.3,12f8.1)",
            .eval = constant_catch};
}

// Step 3: a rulebook with the rule, handed to the run through its state.
Rulebook with_constant_catch() {
    Rulebook book = standard_rulebook();
    book.add(constant_catch_rule());
    return book;
}

// The bundled example's options with its rule record and five parameter
// records replaced by `rule` (the rule record and its parameters' ranges),
// and the limit on TAC changes switched off.
std::string example_options(const std::string& rule) {
    std::ifstream in(std::filesystem::path(TACSIM_SOURCE_DIR) / "examples" / "opt.inn");
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    std::string out;
    int data = 0;     // accepted (non-comment) records so far
    int skip = 0;     // records of the example's rule still to leave out
    for (const std::string& l : lines) {
        if (!l.empty() && l[0] == '#') continue;
        ++data;
        if (skip > 0) {
            --skip;
            continue;
        }
        if (l == "1 1" && data == 11) {  // nrule, vtype: after the 10 records before it
            out += rule;
            skip = 5;
            continue;
        }
        out += (l == "20 20 0" ? "0 0 0" : l) + "\n";
    }
    return out;
}

class ConstantCatch : public testing::ScratchDir {
protected:
    void SetUp() override {
        ScratchDir::SetUp();
        std::filesystem::copy_file(std::filesystem::path(TACSIM_SOURCE_DIR) / "examples" / "bio.inn", "bio.inn");
        err_ = std::tmpfile();
        s_->err.attach(err_, "error stream");
    }
    void TearDown() override {
        s_.reset();
        if (err_) std::fclose(err_);
        ScratchDir::TearDown();
    }
    std::FILE* err_ = nullptr;
};

TEST_F(ConstantCatch, RunsTheExampleStockAtItsCatch) {
    write("opt.inn", example_options("9 4\n150 150 0\n"));
    const Rulebook book = with_constant_catch();
    s_->rulebook = &book;
    ASSERT_EQ(run(*s_), 0) << testing::read_from(err_);

    // The summary files are headed with the rule's name for its parameter.
    const auto all = testing::split_records(slurp("All_years"));
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].rfind(" Catch Filter Except_F Percent", 0), 0u) << all[0];
    EXPECT_EQ(all[1].rfind("     150.0", 0), 0u) << all[1];
    EXPECT_EQ(all[1].size(), 10u + 5 + 10 + 5 + 20 + 20 + 10 + 18 + 40 + 32 + 96);
    // The TAC is the catch every year from year 1 on, whatever the stock.
    const std::string results = slurp("Results");
    const auto tac = results.find(" Fractiles for TAC");
    ASSERT_NE(tac, std::string::npos);
    const auto rows = testing::split_records(results.substr(tac));
    EXPECT_EQ(rows[3].substr(7), "     150.0     150.0     150.0     150.0");  // year 1
    EXPECT_EQ(rows[42].substr(7), "     150.0     150.0     150.0     150.0");  // year 40
    // No trigger: Ptrig is 0 in every year.
    const auto yearly = testing::split_records(results.substr(results.find(" Yearly true mean values")));
    for (int y = 0; y <= maxyear; ++y) EXPECT_EQ(yearly[2 + y].substr(42, 7), "    0.0") << yearly[2 + y];
}

TEST_F(ConstantCatch, TheProgramItselfDoesNotKnowTheRule) {
    write("opt.inn", example_options("9 4\n150 150 0\n"));
    EXPECT_EQ(run(*s_), 1);
    EXPECT_EQ(console(), (std::vector<std::string>{" Asked for non-existing rule:           9"}));
}

TEST_F(ConstantCatch, OnlyATacValueIsAccepted) {
    write("opt.inn", example_options("9 1\n150 150 0\n"));
    const Rulebook book = with_constant_catch();
    s_->rulebook = &book;
    EXPECT_EQ(run(*s_), 1);
    EXPECT_EQ(console(),
              (std::vector<std::string>{" Harvest rule 9 does not take the meaning of its value (vtype) 1"}));
}

// The guide's excerpts of this example are this file's text.
TEST(ConstantCatchGuide, ExcerptsMatchTheTest) {
    const std::filesystem::path root(TACSIM_SOURCE_DIR);
    const std::string guide = tacsim_test::read_file(root / "docs" / "adding-a-rule.md");
    const std::string source = tacsim_test::read_file(root / "tests" / "management" / "constant_catch_test.cpp");
    std::size_t at = guide.find("## Worked example");
    ASSERT_NE(at, std::string::npos);
    int excerpts = 0;
    const std::string open = "```cpp\n", close = "```\n";
    while ((at = guide.find(open, at)) != std::string::npos) {
        const std::size_t from = at + open.size();
        const std::size_t to = guide.find(close, from);
        ASSERT_NE(to, std::string::npos);
        const std::string code = guide.substr(from, to - from);
        EXPECT_NE(source.find(code), std::string::npos) << "not in the test:\n" << code;
        ++excerpts;
        at = to + close.size();
    }
    EXPECT_EQ(excerpts, 4);
}

}  // namespace
}  // namespace tacsim
