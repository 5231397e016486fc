// The command line driven as a user drives it: the program as a child
// process, its exit status, its streams and the files it leaves.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "errorpaths_support.hpp"

using namespace tacsim_errtest;
using tacsim_test::fresh_dir;
using tacsim_test::run_with;

namespace {

std::set<std::string> names_in(const fs::path& dir) {
    std::set<std::string> n;
    for (const auto& e : fs::directory_iterator(dir)) n.insert(e.path().filename().string());
    return n;
}

// Every file of `a` but the inputs and captured streams is in `b` with the
// same bytes, and `b` has no other result file.
void expect_same_results(const fs::path& a, const fs::path& b, const std::string& what) {
    auto result = [](const std::string& f) {
        return !(f.size() > 4 && f.substr(f.size() - 4) == ".inn") && f != "stdout.txt" && f != "stderr.txt";
    };
    std::set<std::string> ra, rb;
    for (const auto& f : names_in(a))
        if (result(f)) ra.insert(f);
    for (const auto& f : names_in(b))
        if (result(f)) rb.insert(f);
    EXPECT_EQ(ra, rb) << what;
    for (const auto& f : ra) EXPECT_EQ(read_file(a / f), read_file(b / f)) << what << ": " << f;
}

}  // namespace

TEST(EndToEndCommandLine, HelpVersionAndMistakes) {
    const fs::path cwd = fresh_dir("cli-plain");
    auto help = run_with(cwd, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("tacsim [OPTIONS] [DIR]"), std::string::npos) << help.out;
    for (const char* opt : {"--output", "--check", "--quiet", "--version"})
        EXPECT_NE(help.out.find(opt), std::string::npos) << opt;
    EXPECT_EQ(run_with(cwd, {"-h"}).out, help.out);

    auto version = run_with(cwd, {"-V"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("tacsim ", 0), 0u) << version.out;
    EXPECT_NE(version.out.find("(commit "), std::string::npos) << version.out;
    EXPECT_EQ(run_with(cwd, {"--version"}).out, version.out);

    // One line naming the problem and pointing to --help, exit status 2.
    struct Bad {
        std::vector<std::string> args;
        std::string named;
    };
    for (const Bad& b : std::vector<Bad>{{{"--bogus"}, "--bogus"},
                                         {{"-x"}, "-x"},
                                         {{"no-such-folder"}, "no-such-folder"},
                                         {{"-o"}, "--output"},
                                         {{".", "."}, "."}}) {
        auto r = run_with(cwd, b.args);
        EXPECT_EQ(r.status, 2) << b.named;
        EXPECT_EQ(r.out, "") << b.named;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(b.named), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
    }
    // Nothing was written by any of these.
    EXPECT_TRUE(names_in(cwd).empty());
}

TEST(EndToEndCommandLine, FolderAndOutputGiveTheBytesOfTheArgumentlessRun) {
    const auto plain = tacsim_test::run_in_copy(basic_dir(), "cli-plain-run");
    ASSERT_EQ(plain.status, 0);
    // Inputs beginning with a byte-order mark read the same.
    InputSet bom = InputSet::basic();
    const fs::path in = bom.write("cli-bom");
    for (const char* f : {"bio.inn", "opt.inn"}) {
        const std::string t = read_file(in / f);
        std::ofstream(in / f, std::ios::binary) << "\xEF\xBB\xBF" << t;
    }
    const fs::path elsewhere = fresh_dir("cli-cwd");
    const fs::path out = fresh_dir("cli-out") / "nested" / "results";
    auto r = run_with(elsewhere, {in.string(), "-o", out.string()});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, plain.out);
    EXPECT_EQ(r.err, plain.err);
    expect_same_results(plain.dir, out, "DIR -o OUT");
    // The input folder and the working folder received nothing.
    EXPECT_EQ(names_in(in), (std::set<std::string>{"bio.inn", "opt.inn"}));
    EXPECT_TRUE(names_in(elsewhere).empty());

    // Without -o the results go to DIR; --quiet changes no byte.
    auto here = run_with(elsewhere, {"--quiet", in.string()});
    ASSERT_EQ(here.status, 0);
    expect_same_results(plain.dir, in, "DIR");
}

// Given any argument, the reason for a stop is on the error stream with LF
// line ends (so `tacsim -q DIR > log` shows it); warnings and results stay
// on standard output. The argument-less run keeps its bytes (the reference
// runs and StopFromTheInputsKeepsTheLastGoodResults).
TEST(EndToEndCommandLine, MessagesGoWhereUsersLook) {
    InputSet noopt = InputSet::basic();
    noopt.drop("opt.inn");
    const fs::path nooptdir = noopt.write("cli-msg-noopt");
    InputSet down = InputSet::basic();
    down.opt().set(13, "0.5 0.3 0.1");
    const fs::path downdir = down.write("cli-msg-down");
    InputSet badnum = InputSet::basic();
    badnum.opt().set(13, "0.3 x 0.1");
    const fs::path badnumdir = badnum.write("cli-msg-badnum");
    const fs::path good = InputSet::basic().write("cli-msg-good");
    // Numbers too wide for their columns, in a check that writes no file.
    InputSet wide = InputSet::basic();
    wide.opt().set(11, "1.0e9 1.0e9 0");
    const fs::path widedir = wide.write("cli-msg-wide");
    const std::string warning = kRule1Warning + "\r\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;  // exactly, unless "*" (anything)
        std::string err;  // exactly
    };
    const std::string down_line = (downdir / "opt.inn").string() +
                                  " line 15: the range of Target (option 3) runs downwards: 0.5 to 0.3 by 0.1\n";
    const std::vector<Case> cases = {
        {{nooptdir.string()}, 1, "", rec({T("Cannot open input file "), T((nooptdir / "opt.inn").string())}) + "\n"},
        {{"-q", downdir.string()}, 1, warning, down_line},
        {{"--check", downdir.string()}, 1, warning, down_line},
        {{"tune", "--option", "Target", "--risk", "5%", downdir.string()}, 1, "", kRule1Warning + "\n" + down_line},
        {{badnumdir.string()}, 2, warning, "Bad real number in item 2 of list input (file " +
                                               (badnumdir / "opt.inn").string() +
                                               ", line 15): the record of the range of Target (option 3)\n"},
        {{"tune", "--optoin", "Target", "--risk", "5%", good.string()}, 2, "",
         "tacsim: unknown option --optoin (see tacsim --help)\n"},
        {{"tune", "--option", "Target", "--risk", "5%", "--tolerance", "0", good.string()}, 2, "",
         "tacsim tune: the tolerance must be positive (see tacsim tune --help)\n"},
        {{"tune", "--option", "Target", "--risk", "5%", "--tolerance", "-1", good.string()}, 2, "",
         "tacsim tune: the tolerance must be positive (see tacsim tune --help)\n"},
        {{"--check", widedir.string()}, 0, "*", ""},
        // A page of several runs: one label per run, a folder of its own.
        {{"report", good.string(), downdir.string(), "--label", "rule 1", "-o", "cmp"}, 2, "",
         "tacsim report: 1 label for 2 runs: give one --label per run, in the order of the runs (see tacsim --help)\n"},
        {{"report", good.string(), downdir.string()}, 2, "",
         "tacsim report: a page of several runs needs -o OUT, the folder it goes into (see tacsim --help)\n"},
        {{"report", good.string(), "nowhere", "-o", "cmp"}, 2, "",
         "tacsim: DIR: Directory does not exist: nowhere (see tacsim --help)\n"},
        {{"report", good.string(), downdir.string(), "-o", downdir.string()}, 2, "",
         "tacsim report: -o " + downdir.string() + " is the folder of the run " + downdir.string() +
             "; the page of -o goes into a folder of its own (see tacsim --help)\n"},
        {{"report", good.string(), downdir.string(), "--label", "a", "--label", "a", "-o", "cmp"}, 2, "",
         "tacsim report: two runs are labelled 'a' (see tacsim --help)\n"},
        // A folder without tables is named.
        {{"report", good.string(), downdir.string(), "-o", "cmp"}, 1, "",
         "Cannot write the report: " + good.string() + " holds no result tables (sets.csv, yearly.csv, "
         "summary.csv): a run writes them with --csv or --report\n"},
    };
    const fs::path cwd = fresh_dir("cli-msg-cwd");
    for (const Case& c : cases) {
        std::string what;
        for (const auto& a : c.args) what += " " + a;
        auto r = run_with(cwd, c.args);
        EXPECT_EQ(r.status, c.status) << what << "\n" << r.out << r.err;
        if (c.out != "*") {
            EXPECT_EQ(r.out, c.out) << what;
        }
        EXPECT_EQ(r.err, c.err) << what;
    }
    // A report drawn while a run writes into the folder.
    const int fd = ::open(good.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    auto r = run_with(cwd, {"report", good.string()});
    ::close(fd);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "A run is writing into " + good.string() + "; draw the report when it has finished\n");
}

// `tacsim new DIR`: the example the program carries, byte for byte, and the
// commands to run next; a folder that holds inputs is left alone.
TEST(EndToEndCommandLine, NewWritesTheExampleOnce) {
    const fs::path cwd = fresh_dir("cli-new");
    const fs::path dir = cwd / "my stock";
    auto r = run_with(cwd, {"new", dir.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* f : {"bio.inn", "opt.inn"})
        EXPECT_EQ(read_file(dir / f), read_file(fs::path(TACSIM_SOURCE_DIR) / "examples" / f)) << f;
    EXPECT_NE(r.out.find("\n  tacsim --check '" + dir.string() + "' "), std::string::npos) << r.out;
    std::ofstream(dir / "opt.inn", std::ios::binary) << "mine";
    auto again = run_with(cwd, {"new", dir.string()});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.out, "");
    EXPECT_EQ(again.err, "tacsim new: " + dir.string() + " already holds inputs (bio.inn); give a new folder\n");
    EXPECT_EQ(read_file(dir / "opt.inn"), "mine");
}

TEST(EndToEndCommandLine, StopFromTheInputsKeepsTheLastGoodResults) {
    InputSet good = InputSet::basic();
    const fs::path dir = good.write("cli-keep");
    ASSERT_EQ(run_with(dir, {}).status, 0);
    std::map<std::string, std::string> before;
    for (const auto& f : names_in(dir)) before[f] = read_file(dir / f);

    // A range typo (Target from 0.3 down to 0.2) in the rerun.
    InputSet typo = InputSet::basic();
    typo.opt().set(13, "0.3 0.2 0");
    std::ofstream(dir / "opt.inn", std::ios::binary) << typo.opt().text();
    before["opt.inn"] = read_file(dir / "opt.inn");
    auto r = run_with(dir, {});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Mis-specified options range, option"), std::string::npos);
    for (const auto& [f, text] : before) EXPECT_EQ(read_file(dir / f), text) << f << " changed";
}

TEST(EndToEndCommandLine, SecondRunIntoTheSameFolderIsRefused) {
    const fs::path in = InputSet::basic().write("cli-lock");
    const fs::path out = fresh_dir("cli-lock-out");
    // Another run holds the folder.
    const int fd = ::open(out.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    auto refused = run_with(fresh_dir("cli-lock-cwd"), {in.string(), "-o", out.string()});
    ::close(fd);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "Another run is writing into " + out.string() + "\n");
    EXPECT_TRUE(names_in(out).empty()) << "the refused run wrote into the folder";
    // Free again: the run goes ahead and leaves no lock file behind.
    auto ok = run_with(fresh_dir("cli-lock-cwd2"), {in.string(), "-o", out.string()});
    EXPECT_EQ(ok.status, 0);
    const auto plain = tacsim_test::run_in_copy(basic_dir(), "cli-lock-plain");
    expect_same_results(plain.dir, out, "after the lock");
}

TEST(EndToEndCommandLine, CheckSummarisesWithoutWriting) {
    struct Case {
        fs::path dir;
        std::string name;
    };
    std::vector<Case> cases = {{fs::path(TACSIM_SOURCE_DIR) / "examples", "example"}};
    for (const char* g : {"basic", "full", "rules"})
        cases.push_back({fs::path(TACSIM_SOURCE_DIR) / "tests" / "golden" / "data" / g, g});
    for (const auto& c : cases) {
        const fs::path in = fresh_dir("cli-check-" + c.name);
        for (const auto& e : fs::directory_iterator(c.dir))
            if (e.is_regular_file()) fs::copy_file(e.path(), in / e.path().filename());
        const auto inputs = names_in(in);
        auto r = run_with(in, {"--check"});
        EXPECT_EQ(r.status, 0) << c.name << r.out << r.err;
        EXPECT_EQ(names_in(in), inputs) << c.name << ": --check wrote a file";
        // As many option sets as the reference run has per-set summaries.
        long long sets = 0;
        if (c.name == "example") {
            sets = 3;
        } else {
            const std::string ref = read_file(c.dir / "expected" / "stdout.txt");
            for (std::size_t p = 0; (p = ref.find("All years:", p)) != std::string::npos; ++p) ++sets;
        }
        EXPECT_NE(r.out.find("Option sets: " + std::to_string(sets) + "\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Estimated run time: about "), std::string::npos) << r.out;
    }
    // The values a range takes, and a highest value that is not reached.
    InputSet s = InputSet::basic();
    s.opt().set(13, "0.30 0.50 0.07");
    const fs::path in = s.write("cli-check-range");
    auto r = run_with(in, {"--check"});
    EXPECT_NE(r.out.find("Target: 0.3 0.37 0.44 (the highest value 0.5 is not reached)"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Option sets: 3\n"), std::string::npos);
}

TEST(EndToEndCommandLine, ProgressOnlyOnATerminal) {
    // `script` gives the program a pseudo-terminal as its error stream.
    if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script command";
    // Six option sets on one thread: long enough (well over the 0.3 s the
    // line waits before its first estimate) for the line to be drawn on any
    // machine.
    InputSet s = InputSet::basic();
    s.opt().set(13, "0.1 0.6 0.1");
    const fs::path in = s.write("cli-tty");
    const fs::path cwd = fresh_dir("cli-tty-cwd");
    auto on_tty = [&](const std::string& opts, const fs::path& out) {
        const fs::path log = cwd / "typescript";
        const std::string cmd = "cd '" + cwd.string() + "' && script -qfec \"'" + std::string(TACSIM_EXE) + "' " +
                                opts + " '" + in.string() + "' -o '" + out.string() + "' >/dev/null\" '" +
                                log.string() + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        const std::string t = read_file(log);
        fs::remove(log);
        return t;
    };
    const fs::path out = cwd / "out", quiet = cwd / "quiet";
    const std::string shown = on_tty("--jobs 1", out);
    EXPECT_NE(shown.find("6 option sets, about "), std::string::npos) << shown;
    EXPECT_NE(shown.find("\x1b[K"), std::string::npos) << "the progress line is cleared";
    const std::string none = on_tty("--jobs 1 -q", quiet);
    EXPECT_EQ(none.find("option set"), std::string::npos) << none;
    // The result files are the same either way.
    expect_same_results(out, quiet, "progress");
}

TEST(EndToEndCommandLine, TooWideNumbersAreReportedLastOnTheErrorStream) {
    // Btrig1 in tonnes instead of thousand tonnes does not fit its f10.1.
    InputSet s = InputSet::basic();
    s.opt().set(11, "1.0e9 1.0e9 0");
    auto r = s.run("cli-wide");
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string prefix = "Warning: some values were too wide for their columns and show as asterisks in: Results, ";
    ASSERT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
    EXPECT_NE(r.err.find("All_years"), std::string::npos);
    const std::string end = "; --csv writes them in full\r\n";
    ASSERT_GE(r.err.size(), end.size());
    EXPECT_EQ(r.err.substr(r.err.size() - end.size()), end);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    // That the reference run, which has no such number, warns of nothing is
    // the reference runs' own check of the error stream.
}
