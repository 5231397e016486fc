// Reference runs: each folder under tests/golden/data holds the input files of
// a run and, in expected/, every file that run must write, its standard
// output, error stream and exit status. The program must reproduce them byte
// for byte.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "run_helper.hpp"

namespace fs = std::filesystem;

namespace {

// First differing line (1-based) of two texts, with both lines, or "" if equal.
std::string first_difference(const std::string& got, const std::string& want) {
    if (got == want) return "";
    std::istringstream g(got), w(want);
    std::string gl, wl;
    int line = 0;
    for (;;) {
        ++line;
        const bool gok = static_cast<bool>(std::getline(g, gl));
        const bool wok = static_cast<bool>(std::getline(w, wl));
        if (!gok && !wok) return "differs in line endings or final bytes";
        if (gok != wok || gl != wl) {
            std::ostringstream os;
            os << "first difference at line " << line << "\n  got:      "
               << (gok ? gl : std::string("<end of file>")) << "\n  expected: "
               << (wok ? wl : std::string("<end of file>"));
            return os.str();
        }
    }
}

void check_case(const std::string& name) {
    const fs::path src = fs::path(TACSIM_SOURCE_DIR) / "tests" / "golden" / "data" / name;
    const fs::path exp = src / "expected";
    tacsim_test::RunResult r = tacsim_test::run_in_copy(src, "golden-" + name);

    const std::string want_status = tacsim_test::read_file(exp / "status");
    EXPECT_EQ(std::to_string(r.status), want_status.substr(0, want_status.find_first_of("\r\n")))
        << name << ": exit status";
    std::string d = first_difference(r.out, tacsim_test::read_file(exp / "stdout.txt"));
    EXPECT_EQ(d, "") << name << ": standard output";
    d = first_difference(r.err, tacsim_test::read_file(exp / "stderr.txt"));
    EXPECT_EQ(d, "") << name << ": error stream";

    std::set<std::string> inputs;
    for (const auto& e : fs::directory_iterator(src))
        if (e.is_regular_file()) inputs.insert(e.path().filename().string());
    std::set<std::string> expected;
    for (const auto& e : fs::directory_iterator(exp)) {
        const std::string f = e.path().filename().string();
        if (f == "status" || f == "stdout.txt" || f == "stderr.txt") continue;
        expected.insert(f);
        const fs::path got = r.dir / f;
        if (!fs::exists(got)) {
            ADD_FAILURE() << name << ": file \"" << f << "\" was not written";
            continue;
        }
        d = first_difference(tacsim_test::read_file(got), tacsim_test::read_file(e.path()));
        EXPECT_EQ(d, "") << name << ": file \"" << f << "\"";
    }
    for (const auto& e : fs::directory_iterator(r.dir)) {
        const std::string f = e.path().filename().string();
        if (inputs.count(f) || expected.count(f) || f == "stdout.txt" || f == "stderr.txt") continue;
        ADD_FAILURE() << name << ": unexpected file \"" << f << "\"";
    }
}

}  // namespace

TEST(Golden, Basic) { check_case("basic"); }
TEST(Golden, Full) { check_case("full"); }
TEST(Golden, Rules) { check_case("rules"); }

// Small cases at the edges of what the inputs allow.
TEST(Golden, PrimeZeroMortality) { check_case("prime-zero-mortality"); }
TEST(Golden, Rule7NoLowerTrigger) { check_case("rule7-no-lower-trigger"); }
TEST(Golden, NegativeStepCount) { check_case("negative-step-count"); }
// Valid input that once led to a NaN.
TEST(Golden, TruncmultOverflow) { check_case("truncmult-overflow"); }
TEST(Golden, RiskTinySigma) { check_case("risk-tiny-sigma"); }
TEST(Golden, NinZeroAge) { check_case("nin-zero-age"); }
TEST(Golden, DensityZeroBref) { check_case("density-zero-bref"); }
TEST(Golden, YearclassZeroRref) { check_case("yearclass-zero-rref"); }
TEST(Golden, RickerZeroSsbStop) { check_case("ricker-zero-ssb-stop"); }
TEST(Golden, OutburstIntervalZero) { check_case("outburst-interval-zero"); }
