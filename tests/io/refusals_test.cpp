// Bad inputs through the whole program, into a folder that holds an earlier
// run: values that cannot be true are refused (exit status 1, in every mode),
// values that are possible but most likely a mistake warn (with arguments
// only), and reading messages name file, line and record. Whatever the end,
// every file of the earlier run keeps its bytes.
//
// Records of the "basic" inputs (physical line = record + 2 in both files):
//   bio.inn  3 fbar, 5 fprop mprop, 17-24 M at ages 1..8, 25-32 selection,
//            33-40 catch weights, 41-48 stock weights, 49-56 maturity
//   opt.inn  6 risk, 10 rule, 11-15 its ranges, 26-32 options 17..23,
//            33-40 the CVs at age
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "../driver/errorpaths_support.hpp"

using namespace tacsim_errtest;

namespace {

// Every file in a folder but the inputs, with its bytes.
std::map<std::string, std::string> results_in(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string f = fs::relative(e.path(), dir).string();
        if (e.is_regular_file() && f != "bio.inn" && f != "opt.inn") files[f] = read_file(e.path());
    }
    return files;
}

struct Bad {
    std::string name;
    std::function<void(InputSet&)> change;
    std::vector<std::string> args;  // none: the argument-less run
    int status;
    std::string err;                 // the whole error stream
    std::string out = "*";           // the whole standard output, "*": anything
};

const std::vector<std::string> kRun = {"-q", "."};
const std::vector<std::string> kCheck = {"--check", "."};

}  // namespace

TEST(BadInputs, RefusedOrWarnedWithWhereAndWhatAndTheEarlierRunKept) {
    const fs::path dir = tacsim_test::fresh_dir("bad-inputs");
    const InputSet base = InputSet::basic();
    auto put = [&](const InputSet& in) {
        for (const auto& [name, text] : in.files) {
            std::ofstream(dir / name, std::ios::binary) << text.text();
        }
    };
    put(base);
    const RunResult first = tacsim_test::run_with(dir, kRun);
    ASSERT_EQ(first.status, 0) << first.err;
    const auto earlier = results_in(dir);
    ASSERT_GT(earlier.size(), 10u);

    const std::string bio = "./bio.inn line ", opt = "./opt.inn line ";
    auto bio_set = [](int k, std::string t) { return [k, t](InputSet& s) { s.bio().set(k, t); }; };
    auto opt_set = [](int k, std::string t) { return [k, t](InputSet& s) { s.opt().set(k, t); }; };
    const std::vector<Bad> cases = {
        // ---- values that cannot be true, with arguments and without
        {"M", bio_set(21, "5 -0.3"), kRun, 1, bio + "23: M at age 5 is -0.3; natural mortality cannot be below 0\n"},
        {"M legacy", bio_set(21, "5 -0.3"), {}, 1, "",
         " bio.inn line 23: M at age 5 is -0.3; natural mortality cannot be below 0\r\n"},
        {"selection", bio_set(29, "5 -1"), kRun, 1, bio + "31: selection at age 5 is -1; selection cannot be below 0\n"},
        {"catch weight", bio_set(37, "5 -1.2 1.2 1.2 0 0"), kRun, 1,
         bio + "39: catch weight at age 5 is -1.2; a weight cannot be below 0\n"},
        {"stock weight", bio_set(45, "5 -1.2 1.2 1.2 0 0"), {}, 1, "",
         " bio.inn line 47: stock weight at age 5 is -1.2; a weight cannot be below 0\r\n"},
        {"maturity above 1", bio_set(53, "5 8.5 0.0 0.95 0 0"), kRun, 1,
         bio + "55: maturity at age 5 is 8.5; a maturity must lie within 0..1\n"},
        {"maturity below 0", bio_set(51, "3 -0.5 0.0 1.0 0 0"), {}, 1, "",
         " bio.inn line 53: maturity at age 3 is -0.5; a maturity must lie within 0..1\r\n"},
        {"fprop", bio_set(5, "1.5 0.0"), kRun, 1,
         bio + "7: the fraction of fishing mortality before spawning (fprop) is 1.5; it must lie within 0..1\n"},
        {"mprop", bio_set(5, "0.0 -0.1"), kRun, 1,
         bio + "7: the fraction of natural mortality before spawning (mprop) is -0.1; it must lie within 0..1\n"},
        {"Blim", opt_set(6, "0 -800 0"), kRun, 1,
         opt + "8: Blim is -800; a limit biomass cannot be below 0 (every risk would be 0 %)\n"},
        {"Blim legacy", opt_set(6, "0 -800 0"), {}, 1, "",
         " opt.inn line 8: Blim is -800; a limit biomass cannot be below 0 (every risk would be 0 %)\r\n"},
        {"rule 2 Btrig2",
         [](InputSet& s) {
             s.opt().set(10, "2 1").set(13, "-100 -100 0").set(14, "0.3 0.3 0").insert_after(15, {"0.5 0.5 0"});
         },
         kRun, 1,
         opt + "15: the range of Btrig2 (option 3) starts at -100; rule 2 divides by Btrig2, and below 0 its rise "
               "above the trigger turns into a fall\n"},
        {"recruitment function", bio_set(7, "4 2 2"), kRun, 1,
         bio + "9: the recruitment function of regime 1 is 4; it must be 1 (segmented power), 2 (Shepherd), 3 "
               "(Ricker) or above 9 (drawn per iteration from srspec)\n"},
        {"recruitment distribution", bio_set(7, "1 3 2"), kRun, 1,
         bio + "9: the recruitment distribution of regime 1 is 3; with a CV above 0 it must be 1 (normal) or 2 "
               "(lognormal)\n"},
        {"outburst law", bio_set(10, "4 3 0 2 0"), kRun, 1,
         bio + "12: the outburst law of regime 1 is 4; with outbursts on (mean interval above 1, factor above 1) it "
               "must be 1 (lognormal), 2 (geometric) or 3 (uniform)\n"},
        // ---- possible, but most likely a mistake: a warning with arguments
        {"decimal comma", bio_set(21, "5 0,3"), kCheck, 0,
         "Warning: " + bio + "23: \"0,3\" reads as two items, 0 and 3, and M at age 5 is 0; write 0.3 for a decimal\n"},
        {"decimal comma in a range", opt_set(13, "0,3 0.3 0"), kCheck, 0,
         "Warning: " + opt + "15: \"0,3\" reads as two items, 0 and 3, and item 1 of the range of Target "
                             "(option 3) is 0; write 0.3 for a decimal\n"},
        {"comma between items", bio_set(5, "0,0"), kCheck, 0, ""},
        {"M above 2", bio_set(21, "5 2.5"), kCheck, 0, "Warning: " + bio + "23: M at age 5 is 2.5, above 2 a year; is it meant?\n"},
        {"Blim 0", opt_set(6, "0 0 0"), kCheck, 0,
         "Warning: " + opt + "8: Blim is 0: every risk to Blim is then 0 % and no iteration counts as crashed by SSB\n"},
        {"maturity limit above 1", bio_set(53, "5 1.0 0.0 1.2 0 0"), kCheck, 0,
         "Warning: " + bio + "55: the upper limit of maturity at age 5 is 1.2, above 1: it bounds nothing, and noise "
                             "and density may take maturity at this age up to 1\n"},
        // ---- reading messages name file, line and record
        {"blank line", opt_set(13, ""), kRun, 2,
         opt + "15: a blank line where the record of the range of Target (option 3) is expected; a blank line "
               "counts as a record: remove it\n"},
        {"missing age line", [](InputSet& s) { s.bio().remove(43, 43); }, kRun, 1,
         bio + "45: the block of stock weights holds one line per age 1..8 in order; this line gives age 4 where age "
               "3 is expected: a line is missing above it\n"},
        {"Fbar", bio_set(3, "2 16"), kRun, 1,
         bio + "5: the reference F ages 2 to 16 must lie within the ages 1..8 and not run downwards\n"},
        {"missing option record", [](InputSet& s) { s.opt().remove(32, 32); }, kRun, 1,
         opt + "35: the block of CVs at age holds one line per age 1..8 in order; this line gives age 2 where age 1 "
               "is expected: is a record missing above it? The line above was read as the range of CV_biosurv "
               "(option 23)\n"},
        {"missing range record", [](InputSet& s) { s.opt().remove(13, 13); }, kRun, 2,
         "End of file (file ./opt.inn, line 17): the record of the range of Alfa2 (option 5) holds fewer values "
         "than it needs: is a record missing above it?\n"},
        {"bad real", bio_set(21, "5 0.2x"), kRun, 2,
         "Bad real number in item 2 of list input (file ./bio.inn, line 23): the record of M at age 5\n"},
        {"stop of a record", opt_set(6, "5 1000 0"), kRun, 1,
         opt + "8 (riskmeth, Blim, blimsig): The risk method must be 0, 1 or 2\n"},
        {"stop of a record, legacy", opt_set(6, "5 1000 0"), {}, 1, "", " The risk method must be 0, 1 or 2\r\n"},
        {"file ends", [](InputSet& s) { s.bio().keep_first(40); }, kRun, 1,
         "./bio.inn ends before the record of stock weight at age 1 (age, base, lower limit, upper limit, density, "
         "CV) (its last record is line 42): add the missing records\n"},
    };
    for (const Bad& c : cases) {
        InputSet in = base;
        c.change(in);
        put(in);
        const RunResult r = tacsim_test::run_with(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        if (c.out != "*") {
            EXPECT_EQ(r.out, c.out) << c.name;
        }
        EXPECT_EQ(results_in(dir), earlier) << c.name << ": the earlier run's files changed";
    }
    // Without arguments a decimal comma is read as it always was, silently.
    InputSet comma = base;
    comma.bio().set(21, "5 0,3");
    put(comma);
    const RunResult legacy = tacsim_test::run_with(dir, {});
    EXPECT_EQ(legacy.status, 0);
    EXPECT_EQ(legacy.err, "");
    EXPECT_EQ(legacy.out.find("reads as two items"), std::string::npos);
}

// The inputs of the reference runs and of the example, commas between their
// values included, give no warning with the new interface.
TEST(BadInputs, NoWarningOnTheReferenceInputsAndTheExample) {
    const fs::path src = fs::path(TACSIM_SOURCE_DIR);
    for (const fs::path& in : {src / "examples", src / "tests" / "golden" / "data" / "basic",
                               src / "tests" / "golden" / "data" / "full", src / "tests" / "golden" / "data" / "rules"}) {
        const fs::path dir = tacsim_test::fresh_dir("no-warning");
        for (const auto& e : fs::directory_iterator(in))
            if (e.is_regular_file()) fs::copy_file(e.path(), dir / e.path().filename());
        const RunResult r = tacsim_test::run_with(dir, kCheck);
        EXPECT_EQ(r.status, 0) << in;
        EXPECT_EQ(r.err, "") << in;
    }
}
