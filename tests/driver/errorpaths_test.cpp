// Error paths of the whole program: every stop and warning that bad input
// can cause is triggered here by an input set made from the "basic" inputs
// with one record changed. Each case checks the exact lines on standard
// output (or the error stream), the exit status, and that no file the run
// left behind ends inside a record.
//
// The "basic" inputs, record by record (comment lines do not count):
//   bio.inn  1 year0, 2 ages 1..8, 3 reference F ages 3..6, 4 tsbage, 5 spawning
//            fractions, 6 one regime, 7-10 the regime (function 1, lognormal,
//            factor truncated to 0.1..10), 11-15 weight parameters, 16 "i",
//            17-24 M, 25-32 selection, 33-40 catch weights, 41-48 stock weights,
//            49-56 maturity. Each record k is physical line k + 2.
//   opt.inn  1 opt0 = 1, 2 fprime, 3 fcap, 4 lag, 5 ntacyr, 6 risk, 7 bpage,
//            8 nbasis = 1, 9 the basis element (SSB of the TAC year), 10 rule 1,
//            11-15 its ranges, 16-19 filter slot, 20-21 TAC-change slot, 22-24
//            TAC-bounds slot, 25 tacfill, 26-32 options 17..23, 33-40 cv by
//            age, 41 ncorr, 42 recruitment, 43-58 output switches (all on).
//            Each record k is physical line k + 2.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "errorpaths_support.hpp"

using namespace tacsim_errtest;

namespace {

// Year-0 numbers at ages 1..8 with log-spreads 0.2 on the diagonal and the
// given correlation between ages 1 and 2 (stated separately for both halves),
// then the spawning stock behind age 0.
std::string nin_inn(const std::string& c12, const std::string& c21, const std::string& d11) {
    std::string t;
    const char* n[] = {"1000", "800", "600", "450", "300", "200", "120", "80"};
    for (int a = 1; a <= 8; ++a) {
        t += std::to_string(a) + " " + n[a - 1];
        for (int k = 1; k <= 8; ++k) {
            std::string v = (a == k) ? "0.2" : "0";
            if (a == 1 && k == 1) v = d11;
            if (a == 1 && k == 2) v = c12;
            if (a == 2 && k == 1) v = c21;
            t += " " + v;
        }
        t += "\n";
    }
    return t + "1000\n";
}

// Initial-stock file of opt0 = 3 ("nin.num": number and variance per age) or
// 4 ("nin.obs": number per age), for the ages given.
std::string nin_ages(const std::vector<int>& ages, bool with_var) {
    std::string t;
    for (int a : ages) t += std::to_string(a) + " 500" + (with_var ? " 0.1" : "") + "\n";
    return t + "1000\n";
}

// "srspec" with one parameter set (function 1, lognormal, level 1000, stock
// parameter 1000, CV 0.3) for regime 1 in each of the iterations 1..n.
std::string srspec(int n) {
    std::string t;
    for (int i = 1; i <= n; ++i) t += std::to_string(i) + " 1 1 2 1000 1000 0.3\n";
    return t;
}

struct Case {
    std::string name;
    InputSet inputs;
    std::vector<std::string> out;  // the whole standard output
};

void run_cases(const std::vector<Case>& cases, int status) {
    for (const Case& c : cases) {
        const RunResult r = c.inputs.run("err-" + c.name);
        expect_run(r, c.name, status, c.out);
    }
}

const std::string kCorrect = rec("Correct the file and start again");

}  // namespace

// --------------------------------------------------------- the biological file

TEST(EndToEndErrorsBio, StopsWithTheMessageOfTheRecord) {
    std::vector<Case> cases;
    auto bio = [&](const std::string& name, int k, const std::string& text, std::vector<std::string> out) {
        InputSet s = InputSet::basic();
        s.bio().set(k, text);
        cases.push_back({name, s, out});
    };
    bio("oldest-age", 2, "1 16",
        {rec("Oldest age larger than maxage"), rec("Adjust maxage in the model state and recompile the program")});
    bio("regime-type", 6, "2 3 10", {rec("Something wrong with specification of recruitment regimes")});
    bio("format-letter", 16, "x",
        {rec("Incomprehensible specification of biological input"), rec({T("file format: "), T("x")}),
         rec("Must be i or p - correct the file and start again")});
    bio("ageing", 19, "4 0.2", {rec({T("Check ageing of biol. data input at "), I(4)})});
    bio("ageing-selection", 32, "9 1.0", {rec({T("Check ageing of biol. data input at "), I(9)})});
    run_cases(cases, 1);
}

TEST(EndToEndErrorsBio, RickerNeedsAPositiveSsbParameter) {
    InputSet bio = InputSet::basic();
    bio.bio().set(7, "3 2 2").set(8, "1000 -5 0.3 0.1 10 1");
    expect_run(bio.run("err-ricker-bio"), "Ricker in bio.inn", 1,
               {rec({T("The SSB parameter of a Ricker regime must be positive (bio.inn, regime, value):"), I(1),
                     R("-5.0000000")})});

    // From srspec: function code int(p1 + 0.001), so 2.9995 is a Ricker set.
    InputSet sr = InputSet::basic();
    sr.bio().set(7, "10 2 2");
    sr.put("srspec", "1 1 1 2 1000 1000 0.3\n2 1 2.9995 2 1000 0 0.3\n");
    expect_run(sr.run("err-ricker-srspec"), "Ricker in srspec", 1,
               {rec({T("The SSB parameter of a Ricker set must be positive (srspec, iteration, regime, value):"),
                     I(2), I(1), R("0.0000000")})});

    // A code is cut to an integer: one beyond the integers is refused.
    sr.put("srspec", "1 1 1 3e9 1000 1000 0.3\n");
    expect_run(sr.run("err-srspec-code"), "srspec code", 1,
               {rec({T("A code of the srspec file lies beyond the integers (iteration, regime, code):"), I(1), I(1),
                     Tok{Tok::Real, "  3.0000000E+09"}})});

    // A set for a regime that takes no sets from srspec is never used: the
    // run goes on to the iteration that lacks a set.
    sr.put("srspec", srspec(2) + "1 2 3 2 1000 0 0.3\n");
    const RunResult r = sr.run("err-ricker-srspec-unused");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Only got"), std::string::npos);
}

TEST(EndToEndErrorsBio, WarnsAboutASurplusLineAndGoesOn) {
    InputSet s = InputSet::basic();
    s.bio().append("9 9.9 9.9 9.9 0 0");
    const RunResult r = s.run("err-surplus");
    // The last record the layout reads is the maturity of age 8, shown with
    // its full 100 characters.
    std::string last = "8 1.0 0.0 1.0 0 0";
    last.resize(100, ' ');
    const std::vector<std::string> warning = {
        rec("WARNING!"),
        rec("The number of accepted lines on the bio.inn file"),
        rec("deviates from the number expetced"),
        rec({T("Expected"), I(56)}),
        rec({T("Found   "), I(57)}),
        rec({T("Last accepted line read:"), T(last)}),
    };
    expect_run(r, "surplus line", 0, concat(warning, basic_stdout()));
    EXPECT_EQ(read_file(r.dir / "Results"), read_file(basic_dir() / "expected" / "Results"));
}

// ------------------------------------------------------------ the options file

TEST(EndToEndErrorsOptions, StopsWithTheMessagesOfTheReader) {
    std::vector<Case> cases;
    // Records before the rule record: no warning comes first.
    auto early = [&](const std::string& name, int k, const std::string& text, std::vector<std::string> out) {
        InputSet s = InputSet::basic();
        s.opt().set(k, text);
        cases.push_back({name, s, out});
    };
    // Records after it: the rule's warning about basis element 2 comes first.
    auto late = [&](const std::string& name, int k, const std::string& text, std::vector<std::string> out) {
        InputSet s = InputSet::basic();
        s.opt().set(k, text);
        cases.push_back({name, s, concat({kRule1Warning}, out)});
    };
    early("opt0", 1, "5", {rec({T("Invalid option for year 0: "), I(5)})});
    early("recruits-future", 9, "1 3 0 1 1",
          {rec("You ask for recruitment indicator for years"), rec("after the current year, which are undefined"),
           rec("Check the opt.inn file")});
    early("rindex-unobserved", 9, "1 4 -2 0 1",
          {rec("You ask for recruitment index for years"), rec("after the last observed year, which are undefined"),
           rec("Check the opt.inn file")});
    early("rule-9", 10, "9 1", {rec({T("Asked for non-existing rule:"), I(9)})});
    early("rule-0", 10, "0 1", {rec({T("Asked for non-existing rule:"), I(0)})});
    late("cv-ages", 35, "4 0 0 0",
         {rec("Wrong ages for cv-values in the opt file"), rec({T("Stated as "), I(4), T(" Expected "), I(3)}),
          kCorrect});
    late("constraint-recruits-future", 19, "3 0 2 1",
         {rec("You ask for recruitment indicator for years"), rec("after the current year, which are undefined"),
          rec("Check the opt.inn file")});
    run_cases(cases, 1);
}

// The ranges of the values are the reader's unit tables (tests/io/input_test.cpp);
// here the records that other records make the reader take or reach further.
TEST(EndToEndErrorsOptions, RecordsThatOtherRecordsBringIn) {
    // Spawning after part of the year's mortality needs one more projected
    // year: a basis that reaches 5 years ahead then reaches 6.
    InputSet sp = InputSet::basic();
    sp.bio().set(5, "0.5 0.5");
    sp.opt().set(9, "1 1 0 5 1");
    expect_run(sp.run("err-lastbyr-spawning"), "lastbyr with spawning fractions", 1,
               {kRule1Warning, rec("The options reach more than 5 years beyond the TAC year")});
    // Without the fractions the same basis is accepted (the run is then
    // stopped by a bad option range before the sweep).
    sp.bio().set(5, "0.0 0.0");
    sp.opt().set(13, "0.3 0.2 0");
    const RunResult ok = sp.run("err-lastbyr-5");
    EXPECT_EQ(ok.status, 1);
    EXPECT_EQ(ok.out.find("beyond the TAC year"), std::string::npos) << ok.out;

    // The TAC-change basis is read with pctmode 2 only (two more records).
    InputSet pct = InputSet::basic();
    pct.opt().set(20, "2 2").insert_after(21, {"0 0 0", "1 0 0 5"});
    expect_run(pct.run("err-cbhow-2"), "cbhow(2)", 1,
               {kRule1Warning, rec("How the TAC-change basis combines its years must be 1, 2 or 3")});
    pct.opt().set(23, "4 -1 0 1");
    expect_run(pct.run("err-cbkind-2"), "TAC-change basis of kind 4", 1,
               {kRule1Warning, rec("You ask for recruitment index for years"),
                rec("after the last observed year, which are undefined"), rec("Check the opt.inn file")});
}

TEST(EndToEndErrorsOptions, InitialStockFiles) {
    std::vector<Case> cases;
    auto with = [&](const std::string& name, int opt0, const std::string& file, const std::string& text,
                    std::vector<std::string> out) {
        InputSet s = InputSet::basic();
        s.opt().set(1, std::to_string(opt0)).set(2, "300");
        s.put(file, text);
        cases.push_back({name, s, out});
    };
    with("nin-inn-ages", 2, "nin.inn", "2 1000 0.2 0 0 0 0 0 0 0\n",
         {rec("Wrong ages on nin.inn-file"), rec({T("Stated as "), I(2), T(" Expected "), I(1)}),
          rec("Correct the file")});
    // 0.5 and 0.4 as written by the free-form rules: 0.5 is exact, the
    // nearest single-precision value to 0.4 is 0.4000000059...
    with("nin-inn-symmetry", 2, "nin.inn", nin_inn("0.5", "0.4", "0.2"),
         {rec("Correlation matrix in ninfile is not symmetric"), rec({I(1), I(2), R("0.50000000")}),
          rec("is different from "), rec({I(2), I(1), R("0.40000001")}), rec("Correct the file")});
    with("nin-num-ages", 3, "nin.num", nin_ages({1, 2, 4, 3, 5, 6, 7, 8}, true),
         {rec("Wrong ages in the nin.num file"), rec({T("Stated as "), I(4), T(" Expected "), I(3)}), kCorrect});
    with("nin-obs-ages", 4, "nin.obs", nin_ages({0, 1, 2, 3, 4, 5, 6, 7}, false),
         {rec("Wrong ages in the nin.obs file"), rec({T("Stated as "), I(0), T(" Expected "), I(1)}), kCorrect});
    // The numbers are drawn around their logarithms: a negative one is
    // refused, once its age is found right.
    std::string neg = nin_inn("0", "0", "0.2");
    neg.replace(neg.find("3 600"), 5, "3 -0.5");
    with("nin-inn-negative", 2, "nin.inn", neg,
         {rec({T("The numbers at age must not be negative (nin.inn, age, value):"), I(3), R("-0.50000000")})});
    neg = nin_ages({1, 2, 3, 5, 4, 6, 7, 8}, true);
    neg.replace(neg.find("5 500"), 5, "5 -500");
    with("nin-num-negative-wrong-age", 3, "nin.num", neg,
         {rec("Wrong ages in the nin.num file"), rec({T("Stated as "), I(5), T(" Expected "), I(4)}), kCorrect});
    run_cases(cases, 1);
}

TEST(EndToEndErrorsOptions, HistoricalCatchFile) {
    // A basis element that starts a year before the TAC year needs the
    // historical catches.
    InputSet s = InputSet::basic();
    s.opt().set(9, "1 1 -1 0 1");
    s.put("canum.inn", "# year, catch numbers at ages 1..8\n1999 1 2 3 4 5 6 7 8\n2046 1 2 3 4 5 6 7 8\n");
    expect_run(s.run("err-canum-year"), "catch year", 1,
               {kRule1Warning, rec({T("Historical catch year beyond year0 + 45 in the catch file:"), I(2046)})});
}

TEST(EndToEndErrorsOptions, ConstraintSlotOfUnknownTypeWarnsAndGoesOn) {
    // The third slot is dropped: the tacfill record, 0, is read as its type,
    // warned about, and then read again as tacfill. The bounds keep their
    // defaults, which give the same single value 0.
    InputSet s = InputSet::basic();
    s.opt().remove(22, 24).set(22, "0");
    const RunResult r = s.run("err-constraint-type");
    std::vector<std::string> out = basic_stdout();
    out.insert(out.begin() + 1, rec({T("Asked for non-existing constraint option"), I(0)}));
    expect_run(r, "constraint type 0", 0, out);
    EXPECT_EQ(read_file(r.dir / "Results"), read_file(basic_dir() / "expected" / "Results"));
}

TEST(EndToEndErrorsOptions, WarningsOfTheBasisAndTheRuleGoOn) {
    // A basis record whose first value is not its number: a warning, and the
    // run is the reference run.
    InputSet s = InputSet::basic();
    s.opt().set(9, "2 1 0 0 1");
    const RunResult r = s.run("err-basis-confused");
    expect_run(r, "basis confused", 0, concat({rec("Warning: decision basis confused")}, basic_stdout()));
    EXPECT_EQ(read_file(r.dir / "Results"), read_file(basic_dir() / "expected" / "Results"));

    // Rule 3 reads elements 2 and 3 of a basis of one element: two warnings
    // right after the rule record (the run is then stopped by a bad switch).
    InputSet r3 = InputSet::basic();
    r3.opt().set(10, "3 1").insert_after(15, {"0 0 0"}).set(44, "13 1");
    expect_run(r3.run("err-rule3-warnings"), "rule 3 warnings", 1,
               {rec("Warning: harvest rule 3 reads basis element 2, which is not specified; it is taken as 0"),
                rec("Warning: harvest rule 3 reads basis element 3, which is not specified; it is taken as 0"),
                rec({T("Output switch for a non-existing file unit:"), I(13)})});
    // Rule 7 reads neither.
    InputSet r7 = InputSet::basic();
    r7.opt().set(10, "7 1").set(43, "13 1");
    expect_run(r7.run("err-rule7-warnings"), "rule 7 warnings", 1,
               {rec({T("Output switch for a non-existing file unit:"), I(13)})});
}

// ------------------------------------------------- missing and short input files

TEST(EndToEndErrorsFiles, MissingInputFileStopsAndIsNotCreated) {
    struct Missing {
        std::string name;
        InputSet inputs;
        std::string file;
        std::vector<std::string> before;
    };
    std::vector<Missing> cases;
    cases.push_back({"bio", InputSet::basic().drop("bio.inn"), "bio.inn", {}});
    cases.push_back({"opt", InputSet::basic().drop("opt.inn"), "opt.inn", {}});
    {
        InputSet s = InputSet::basic();
        s.opt().set(1, "3").set(2, "300");
        cases.push_back({"nin-num", s, "nin.num", {}});
    }
    {
        InputSet s = InputSet::basic();
        s.opt().set(1, "2").set(2, "300");
        cases.push_back({"nin-inn", s, "nin.inn", {}});
    }
    {
        InputSet s = InputSet::basic();
        s.opt().set(9, "1 1 -1 0 1");
        cases.push_back({"canum", s, "canum.inn", {kRule1Warning}});
    }
    {
        InputSet s = InputSet::basic();
        s.bio().set(7, "10 2 2");
        cases.push_back({"srspec", s, "srspec", {}});
    }
    for (const auto& c : cases) {
        const RunResult r = c.inputs.run("err-missing-" + c.name);
        expect_run(r, "missing " + c.file, 1,
                   concat(c.before, {rec({T("Cannot open input file "), T(c.file)})}));
        EXPECT_FALSE(fs::exists(r.dir / c.file)) << c.file << " was created";
    }
}

TEST(EndToEndErrorsFiles, InputFileEndsBeforeItsLastRecord) {
    auto ends = [](const std::string& f) {
        return rec({T("Input file "), T(f), T(" ends before all its records were read")});
    };
    InputSet bio = InputSet::basic();
    bio.bio().keep_first(40);
    expect_run(bio.run("err-short-bio"), "short bio.inn", 1, {ends("bio.inn")});

    InputSet bio2 = InputSet::basic();
    bio2.bio().keep_first(15);  // ends right before the format letter
    expect_run(bio2.run("err-short-bio-letter"), "bio.inn without format", 1, {ends("bio.inn")});

    InputSet opt = InputSet::basic();
    opt.opt().keep_first(50);
    expect_run(opt.run("err-short-opt"), "short opt.inn", 1, {kRule1Warning, ends("opt.inn")});

    InputSet empty = InputSet::basic();
    empty.put("opt.inn", "");
    expect_run(empty.run("err-empty-opt"), "empty opt.inn", 1, {ends("opt.inn")});

    InputSet obs = InputSet::basic();
    obs.opt().set(1, "4").set(2, "300");
    obs.put("nin.obs", "1 500\n2 500\n3 500\n");
    expect_run(obs.run("err-short-nin-obs"), "short nin.obs", 1, {ends("nin.obs")});
    // All ages there, but not the spawning stock behind the youngest.
    obs.put("nin.obs", "1 500\n2 500\n3 500\n4 500\n5 500\n6 500\n7 500\n8 500\n");
    expect_run(obs.run("err-short-nin-obs-ssb"), "nin.obs without ssbpre", 1, {ends("nin.obs")});
}

// ------------------------------------------------------ record-reading failures

TEST(EndToEndErrorsRecords, UnreadableValueEndsWithStatus2) {
    struct Bad {
        std::string name;
        InputSet inputs;
        std::vector<std::string> out;
        std::string err;
    };
    std::vector<Bad> cases;
    auto bio = [&](const std::string& name, int k, const std::string& text, const std::string& err) {
        InputSet s = InputSet::basic();
        s.bio().set(k, text);
        cases.push_back({name, s, {}, err});
    };
    bio("bio-integer", 1, "20x0", "Bad integer for item 1 in list input (file bio.inn, line 3)");
    bio("bio-integer-32bit", 1, "2147483648", "Bad integer for item 1 in list input (file bio.inn, line 3)");
    bio("bio-real", 5, "0.0 0.0.1", "Bad real number in item 2 of list input (file bio.inn, line 7)");
    bio("bio-real-huge", 8, "1000 1e39 0.3 0.1 10 1", "Bad real number in item 2 of list input (file bio.inn, line 10)");
    bio("bio-repeat-overflow", 2, "3000000000*1 8", "Repeat count overflow in item 1 of list input (file bio.inn, line 4)");
    bio("bio-repeat-zero", 2, "0*1 8", "Zero repeat count in item 1 of list input (file bio.inn, line 4)");
    bio("bio-short-line", 2, "1", "End of file (file bio.inn, line 4)");
    bio("bio-blank-line", 3, "", "End of file (file bio.inn, line 5)");
    {
        InputSet s = InputSet::basic();
        s.opt().set(2, "0.3q");
        cases.push_back({"opt-real", s, {}, "Bad real number in item 1 of list input (file opt.inn, line 4)"});
    }
    {
        InputSet s = InputSet::basic();
        s.opt().set(50, "19 one");
        cases.push_back(
            {"opt-switch", s, {kRule1Warning}, "Bad integer for item 2 in list input (file opt.inn, line 52)"});
    }
    {
        // Lines of the catch file are counted as they stand in the file.
        InputSet s = InputSet::basic();
        s.opt().set(9, "1 1 -1 0 1");
        s.put("canum.inn", "# catches\n\n1999 1 2 3 4 5 6 7 8\nabc 1 2 3 4 5 6 7 8\n");
        cases.push_back(
            {"canum", s, {kRule1Warning}, "Bad integer for item 1 in list input (file canum.inn, line 4)"});
        s.put("canum.inn", "1999 1 2 3 x 5 6 7 8\n");
        cases.push_back(
            {"canum-value", s, {kRule1Warning}, "Bad real number in item 5 of list input (file canum.inn, line 1)"});
    }
    {
        InputSet s = InputSet::basic();
        s.opt().set(1, "4").set(2, "300");
        s.put("nin.obs", "1 500\n2 5o0\n");
        cases.push_back({"nin-obs", s, {}, "Bad real number in item 2 of list input (file nin.obs, line 2)"});
    }
    {
        InputSet s = InputSet::basic();
        s.bio().set(7, "10 2 2");
        s.put("srspec", "1 1 1 2 1000 1000 0.3\n2 1 1 2 abc 1000 0.3\n");
        cases.push_back({"srspec", s, {}, "Bad real number in item 5 of list input (file srspec, line 2)"});
    }
    for (const auto& c : cases) {
        const RunResult r = c.inputs.run("err-rec-" + c.name);
        expect_run(r, c.name, 2, c.out, c.err + "\r\n");
        // Only the scratch file was made, and it is empty.
        for (const auto& e : fs::directory_iterator(r.dir)) {
            const std::string f = e.path().filename().string();
            if (c.inputs.files.count(f) || f == "stdout.txt" || f == "stderr.txt") continue;
            EXPECT_EQ(f, "kladd") << c.name;
            EXPECT_EQ(fs::file_size(e.path()), 0u) << c.name << ": " << f;
        }
    }
}

// ------------------------------------------------------------ stops in the sweep

TEST(EndToEndErrorsSweep, MisSpecifiedOptionRangeStopsBeforeAnyResultFile) {
    // Target (option 3) from 0.3 down to 0.2: stopped right after the options
    // file is read, before the per-recruit analysis and before any result
    // file is opened. 0.3 and 0.2 in single precision are 0.30000001... and
    // 0.20000000...
    InputSet s = InputSet::basic();
    s.opt().set(13, "0.3 0.2 0");
    const auto r = s.run("err-range");
    expect_run(r, "option range", 1,
               {kRule1Warning, rec({T("Mis-specified options range, option"), I(3)}),
                rec({R("0.30000001"), R("0.20000000"), R("0.0000000")})});
    expect_no_result_files(r, "option range");

    // Option 23 (CV_biosurv), the last one checked.
    InputSet s23 = InputSet::basic();
    s23.opt().set(32, "1 0.5 0.25");
    expect_run(s23.run("err-range-23"), "option range 23", 1,
               {kRule1Warning, rec({T("Mis-specified options range, option"), I(23)}),
                rec({R("1.0000000"), R("0.50000000"), R("0.25000000")})});
}

TEST(EndToEndErrorsSweep, RiskSettingsThatMakeNoSenseStopBeforeAnyResultFile) {
    const std::string nonsense = rec("That does not make sense - correct the opt.inn file");
    struct Risk {
        std::string name, record, first;
    };
    for (const Risk& c : std::vector<Risk>{
             {"normal-blim-0", "1 0 0.2", "You ask for the risk to Blim=0"},
             {"lognormal-blim-negative", "2 -5 0.2", "You ask for the risk to Blim=0"},
             {"normal-sigma-0", "1 1000 0", "You ask for the risk to Blim with sigma=0"},
             {"lognormal-sigma-negative", "2 1000 -0.1", "You ask for the risk to Blim with sigma=0"}}) {
        InputSet s = InputSet::basic();
        s.opt().set(6, c.record);
        const auto r = s.run("err-risk-" + c.name);
        expect_run(r, c.name, 1, {kRule1Warning, rec(c.first), nonsense});
        expect_no_result_files(r, c.name);
    }
    // Method 0 counts values below Blim and needs neither.
    InputSet zero = InputSet::basic();
    zero.opt().set(6, "0 0 0");
    EXPECT_EQ(zero.run("err-risk-method-0").status, 0);
}

TEST(EndToEndErrorsSweep, DecisionBasisStops) {
    const auto ref = basic_stdout();
    const auto upto_set = first_n(ref, ref.size() - 1);
    const std::vector<std::string> trend = {rec("You ask for a trend over less than two years"),
                                            rec("Check definition of basis on the opt.inn file")};
    // A survey of the TAC year is not made before the decision of that year.
    for (const std::string kind : {"5", "6"}) {
        InputSet s = InputSet::basic();
        s.opt().set(9, "1 " + kind + " 0 0 1");
        expect_run(s.run("err-survey-" + kind), "survey kind " + kind, 1,
                   concat(upto_set, {rec("A biomass survey is included in the decision basis"),
                                     rec({T("in year TAC year + "), I(0), T("which is before it has been performed")}),
                                     rec("Correct the specification of the basis in the opt.inn file")}));
    }
    // A trend over one year, in the decision basis.
    InputSet d = InputSet::basic();
    d.opt().set(9, "1 1 0 0 3");
    expect_run(d.run("err-trend-basis"), "trend of the decision basis", 1, concat(upto_set, trend));
    // ... and in the basis of the TAC filter (active with a filter below 1).
    InputSet f = InputSet::basic();
    f.opt().set(17, "0.5 0.5 0").set(19, "1 0 0 3");
    const RunResult rf = f.run("err-trend-filter");
    // The option line differs from the reference run (Filter is 0.5).
    expect_run_tail(rf, "trend of the filter basis", 1, trend);
    EXPECT_EQ(split_lines(rf.out, "\r\n").size(), upto_set.size() + 2) << rf.out;
}

TEST(EndToEndErrorsSweep, RecruitmentCodesAndParameterSets) {
    // Function code 4 has no per-recruit table; the first draw of the
    // simulation stops.
    InputSet fn = InputSet::basic();
    fn.bio().set(7, "4 2 2");
    expect_run_tail(fn.run("err-recr-function"), "recruit function", 1,
                    {rec({T("Incomprehensible recruit function"), I(4)})});

    InputSet dist = InputSet::basic();
    dist.bio().set(7, "1 3 2");
    expect_run_tail(dist.run("err-recr-distribution"), "recruit distribution", 1,
                    {rec({T("Incomprehensible recruit distribution"), I(3)})});

    // "srspec" gives sets for iterations 1 and 2 only: the third iteration
    // stops with the set it found (all -1) and the five-record message.
    InputSet sr = InputSet::basic();
    sr.bio().set(7, "10 2 2");
    sr.put("srspec", srspec(2));
    const Tok m1 = R("-1.0000000");
    expect_run_tail(sr.run("err-srspec-sets"), "srspec sets", 1,
                    {rec({I(3), I(1), m1, m1, m1, m1, m1}),
                     rec({T("Need "), I(1000), T(" sets of recruitment parameters for")}),
                     rec({T("regime "), I(1)}), rec({T("Only got"), I(2)}), rec("Amend the srspec file")});

    // Limits that no deviate can meet, in a regime whose parameters come from
    // "srspec" (not checked when read): the draws give up.
    InputSet cap = InputSet::basic();
    cap.bio().set(7, "10 2 2").set(8, "1000 1000 0.3 10 0.1 1");
    cap.put("srspec", srspec(1000));
    expect_run_tail(cap.run("err-recr-cap"), "truncation draw cap", 1,
                    {rec({T("Recruitment truncation limits admit no deviate in regime"), I(1)})});
}

TEST(EndToEndErrorsSweep, CovarianceOfTheInitialStock) {
    // Correlation 10 between ages 1 and 2 with spreads 0.2: covariance 0.4
    // exceeds both variances, so the matrix is not positive definite.
    InputSet pd = InputSet::basic();
    pd.opt().set(1, "2").set(2, "300");
    pd.put("nin.inn", nin_inn("10", "10", "0.2"));
    expect_run_tail(pd.run("err-cov-pd"), "covariance", 1,
                    {rec("Covariance martrix not positive definite"), rec("Get a better one!")});

    // A zero spread at the youngest age: the first pivot of the inversion is
    // 0, a stop with a text on the error stream.
    InputSet sing = InputSet::basic();
    sing.opt().set(1, "2").set(2, "300");
    sing.put("nin.inn", nin_inn("0", "0", "0"));
    const RunResult r = sing.run("err-cov-singular");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "STOP Singular matrix\r\n");
    EXPECT_EQ(r.out.find("martrix"), std::string::npos);
    expect_whole_records(r, "singular");
}

TEST(EndToEndErrorsSweep, EndlessSearchForTheRuleValueWarnsAndGoesOn) {
    // Rule 2 as a step: F 0.1 below an SSB of 1100 next year, F 1.0 at or
    // above it. F 1.0 brings the SSB below the step and F 0.1 keeps it above,
    // so no F reproduces itself; the search ends after its last pass with the
    // midpoint (0.1 + 1.0)/2, which in single precision is 0.55000001...
    InputSet s = InputSet::basic();
    s.opt().set(9, "1 1 1 1 1").set(10, "2 1").remove(11, 15).insert_after(
        10, {"1100 1100 0", "1100 1100 0", "0 0 0", "1.0 1.0 0", "0.1 0.1 0", "0 0 0"});
    // Iteration 2 stops for want of recruitment parameters, which keeps the
    // run short.
    s.bio().set(7, "10 2 2");
    s.put("srspec", srspec(1));
    const RunResult r = s.run("err-eternal");
    EXPECT_EQ(r.status, 1);
    const auto lines = split_lines(r.out, "\r\n");
    const std::string eternal = rec("Eternal loop in search for v that reproduces itself in subroutine hcr");
    std::size_t first = lines.size(), count = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != eternal) continue;
        if (first == lines.size()) first = i;
        ++count;
        ASSERT_LT(i + 2, lines.size());
        EXPECT_EQ(lines[i + 2], rec({T("set v="), R("0.55000001")}));
        const std::string it1 = rec({T("Iteration"), I(1)});
        EXPECT_EQ(lines[i + 1].substr(0, it1.size()), it1) << "only iteration 1 runs";
    }
    ASSERT_LT(first, lines.size()) << r.out;
    EXPECT_EQ(lines[first + 1], rec({T("Iteration"), I(1), T("year"), I(1)}));
    // The run went on: later years of the iteration warn too, and the stop
    // comes in iteration 2.
    EXPECT_GT(count, 1u);
    EXPECT_LE(count, 40u);
    EXPECT_EQ(lines.back(), rec("Amend the srspec file"));
    expect_whole_records(r, "eternal loop");
}
