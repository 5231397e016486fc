// The report from the command line, as a user drives it: a run with
// --report, `tacsim report DIR` on its tables, and the faults.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../golden/run_helper.hpp"

namespace {

namespace fs = std::filesystem;
using tacsim_test::read_file;

const fs::path kBasic = fs::path(TACSIM_SOURCE_DIR) / "tests" / "golden" / "data" / "basic";

struct Outcome {
    int status;
    std::string err;
};

Outcome tacsim(const fs::path& where, const std::string& args) {
    const std::string cmd = "cd '" + where.string() + "' && '" + std::string(TACSIM_EXE) + "' " + args +
                            " > stdout.txt 2> stderr.txt";
    const int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, read_file(where / "stderr.txt")};
}

class ReportCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tacsim-report-cli-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "in");
        for (const auto& e : fs::directory_iterator(kBasic)) {
            if (e.is_regular_file()) fs::copy_file(e.path(), dir / "in" / e.path().filename());
        }
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(dir);
    }
    fs::path dir;
};

TEST_F(ReportCommand, RunWithReportThenRedrawFromTheTables) {
    const Outcome run = tacsim(dir, "--report --risk-limit 0.1 --biomass-unit kt --number-unit millions -q in -o out");
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* f : {"report.html", "ruleshape.csv", "sample_iterations.csv", "sets.csv", "summary.csv",
                          "yearly.csv", "run.json", "Results"}) {
        EXPECT_TRUE(fs::exists(dir / "out" / f)) << f;
    }
    const std::string record = read_file(dir / "out" / "run.json");
    EXPECT_NE(record.find("\"report.html\""), std::string::npos);
    EXPECT_NE(record.find("\"blim\""), std::string::npos);
    EXPECT_NE(record.find("\"risk_limit\": 10.0"), std::string::npos);  // as `tune --risk`: 0.1 is 10 %
    // The legacy result files are those of the run without options.
    ASSERT_EQ(tacsim(dir / "in", "").status, 0);
    EXPECT_EQ(read_file(dir / "out" / "Results"), read_file(dir / "in" / "Results"));

    const std::string first = read_file(dir / "out" / "report.html");
    fs::remove(dir / "out" / "report.html");
    const Outcome again = tacsim(dir, "report out");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.err, "");
    // Drawn from the tables alone, the page has the same bytes.
    EXPECT_TRUE(read_file(dir / "out" / "report.html") == first);
    EXPECT_NE(first.find("the risk limit, 10 %"), std::string::npos);
    // The units replace the input's in every label, also when redrawn from the tables.
    for (const std::string& page : {first, read_file(dir / "out" / "report.html")}) {
        EXPECT_EQ(page.find("input biomass unit"), std::string::npos);
        EXPECT_EQ(page.find("input number unit"), std::string::npos);
        EXPECT_NE(page.find("SSB (kt)"), std::string::npos);
        EXPECT_NE(page.find("Recruitment (millions)"), std::string::npos);
        EXPECT_NE(page.find("Yield per recruit (kt per million recruits)"), std::string::npos);
    }
    // Another limit for the page alone.
    ASSERT_EQ(tacsim(dir, "report out --risk-limit 2.5%").status, 0);
    EXPECT_NE(read_file(dir / "out" / "report.html").find("the risk limit, 2.5 %"), std::string::npos);
}

// The summaries' risks count by the run's risk method: risk3 over years
// 1-40 is the legacy Risklim (standard output's 8 digits and All_years' one
// decimal) for a fixed Blim and for a normally and a lognormally uncertain
// one; the method is named in run.json and the report's header.
TEST_F(ReportCommand, RisksFollowTheRiskMethod) {
    std::vector<std::string> risk3s;
    for (int method = 0; method <= 2; ++method) {
        const fs::path in = dir / ("method" + std::to_string(method));
        fs::create_directories(in);
        std::istringstream opt(read_file(dir / "in" / "opt.inn"));
        std::ofstream out(in / "opt.inn", std::ios::binary);
        int n = 0;
        for (std::string line; std::getline(opt, line);) {
            if (!line.empty() && line[0] != '#' && ++n == 6) line = std::to_string(method) + " 1000 0.2";
            out << line << '\n';
        }
        out.close();
        fs::copy_file(dir / "in" / "bio.inn", in / "bio.inn");
        const Outcome run = tacsim(in, "--report -q");
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string con = read_file(in / "stdout.txt");
        const auto at = con.find("risklim");
        ASSERT_NE(at, std::string::npos) << con;
        const float risklim = std::stof(con.substr(at + 7));
        const std::string summary = read_file(in / "summary.csv");
        const auto row = summary.find(",2001,2040,risk3,");
        ASSERT_NE(row, std::string::npos);
        const std::string risk3 = summary.substr(row + 17, summary.find('\n', row) - row - 17);
        EXPECT_NEAR(std::stof(risk3), risklim, 1e-6f * risklim) << "method " << method;
        EXPECT_NE(summary.find(",2001,2040,Risklim," + risk3 + "\n"), std::string::npos) << "method " << method;
        const std::string allyears = read_file(in / "All_years");
        char legacy[16];
        std::snprintf(legacy, sizeof legacy, "%8.1f", static_cast<double>(std::stof(risk3)));
        EXPECT_NE(allyears.find(legacy), std::string::npos) << legacy;
        risk3s.push_back(risk3);
        EXPECT_NE(read_file(in / "run.json").find("\"risk_method\": " + std::to_string(method)), std::string::npos);
        EXPECT_NE(read_file(in / "report.html").find("method " + std::to_string(method) + ", "), std::string::npos);
    }
    // Each method gives its own risk.
    EXPECT_NE(risk3s[0], risk3s[1]);
    EXPECT_NE(risk3s[1], risk3s[2]);
}

TEST_F(ReportCommand, FaultsAreNamedWithTheirExitStatus) {
    const Outcome missing = tacsim(dir, "report nowhere");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("nowhere"), std::string::npos);
    EXPECT_NE(missing.err.find("--help"), std::string::npos);

    const Outcome limit = tacsim(dir, "report in --risk-limit 120%");
    EXPECT_EQ(limit.status, 2);
    EXPECT_NE(limit.err.find("--risk-limit must be a fraction from 0 to 1 or a percentage"), std::string::npos) << limit.err;

    const Outcome empty = tacsim(dir, "report in");  // inputs, but no tables
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.err.find("Cannot write the report: in holds no result tables (sets.csv"), std::string::npos) << empty.err;
    EXPECT_FALSE(fs::exists(dir / "in" / "report.html"));
}

}  // namespace
