// `tacsim tune` on the bundled stock: what it reports for the tuned value is
// what a normal run of that option set gives, it writes nothing but its
// table and tune.csv, and a wrong request stops before anything is
// simulated.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../golden/run_helper.hpp"
#include "driver/driver.hpp"
#include "driver/tune.hpp"
#include "records/records.hpp"
#include "results/setstats.hpp"
#include "support/capture.hpp"

namespace fs = std::filesystem;
using tacsim_test::read_file;

namespace tacsim {
namespace {

const fs::path kExample = fs::path(TACSIM_SOURCE_DIR) / "examples";

// A folder with the example's inputs, lines of opt.inn replaced by number.
class Folder {
public:
    Folder(const std::string& tag, const std::map<int, std::string>& edits)
        : dir_(fs::temp_directory_path() / ("tacsim-tune-" + tag + "-" + std::to_string(::getpid()))) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::copy_file(kExample / "bio.inn", dir_ / "bio.inn");
        std::istringstream in(read_file(kExample / "opt.inn"));
        std::string opt, line;
        for (int no = 1; std::getline(in, line); ++no) {
            const auto e = edits.find(no);
            opt += (e == edits.end() ? line : e->second) + "\n";
        }
        std::ofstream(dir_ / "opt.inn", std::ios::binary) << opt;
    }
    ~Folder() {
        if (!::testing::Test::HasFailure()) fs::remove_all(dir_);
    }
    const fs::path& path() const { return dir_; }

private:
    fs::path dir_;
};

// Lines of opt.inn: the range of Btrig1 and of Target.
constexpr int kBtrig1 = 29, kTarget = 33;

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> f;
    std::size_t at = 0;
    for (;;) {
        const std::size_t e = line.find(',', at);
        f.push_back(line.substr(at, e == std::string::npos ? std::string::npos : e - at));
        if (e == std::string::npos) return f;
        at = e + 1;
    }
}

struct Tuned {
    int status = -1;
    std::string out, err;
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    std::string at(std::size_t row, const std::string& column) const {
        for (std::size_t k = 0; k < header.size(); ++k)
            if (header[k] == column) return rows[row][k];
        ADD_FAILURE() << "no column " << column;
        return "";
    }
};

Tuned runtune(const fs::path& dir, const TuneOptions& t, int jobs = 1) {
    RunOptions opts;
    opts.dir = dir.string();
    opts.jobs = jobs;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Tuned r;
    r.status = tune(opts, t, out, err);
    r.out = testing::read_from(out);
    r.err = testing::read_from(err);
    std::fclose(out);
    std::fclose(err);
    std::istringstream csv(read_file(dir / "tune.csv"));
    std::string line;
    if (std::getline(csv, line)) r.header = fields(line);
    while (std::getline(csv, line)) r.rows.push_back(fields(line));
    return r;
}

std::string shortest(float v) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

TEST(Tune, TunedValueGivesTheStatisticsOfANormalRun) {
    // Two trigger values, each with its own tuning of the target F.
    const Folder in("normal", {{kBtrig1, "300 460 160"}, {kTarget, "0.2 1.2 0.1"}});
    TuneOptions t;
    t.option = "Target";
    t.limit = "5%";
    t.tolerance = 0.2f;
    const Tuned tuned = runtune(in.path(), t, 2);
    ASSERT_EQ(tuned.status, 0) << tuned.err;

    // Both combinations, every point once, one answer each.
    std::map<std::string, int> answers;
    std::size_t row = 0;
    for (std::size_t i = 0; i < tuned.rows.size(); ++i) {
        ASSERT_EQ(tuned.rows[i].size(), tuned.header.size());
        if (tuned.at(i, "answer") == "1") {
            ++answers[tuned.at(i, "combination")];
            row = i;
        }
    }
    EXPECT_EQ(answers, (std::map<std::string, int>{{"1", 1}, {"2", 1}}));
    EXPECT_EQ(tuned.at(row, "Btrig1"), "460");
    EXPECT_EQ(tuned.at(row, "meets"), "1");
    EXPECT_NE(tuned.out.find("risk rises with the option"), std::string::npos) << tuned.out;

    // A normal run of that one option set, with the value as tune.csv wrote it.
    const std::string target = tuned.at(row, "Target");
    // Printed as the short decimal the search tried; the terminal's table
    // shows the same value (with the decimals of its column: 0.5750 for 0.575).
    EXPECT_LE(target.size(), 6u) << target;
    bool shown = false;
    {
        std::istringstream words(tuned.out);
        for (std::string w; words >> w;) shown = shown || (w.find('.') != std::string::npos && std::strtof(w.c_str(), nullptr) == std::strtof(target.c_str(), nullptr));
    }
    EXPECT_TRUE(shown) << tuned.out;
    const Folder one("normal-one", {{kBtrig1, "460 460 0"}, {kTarget, target + " " + target + " 0"}});
    auto s = make_state();
    std::FILE* con = std::tmpfile();
    s->con.attach(con, "standard output");
    s->err.attach(con, "error stream");
    RunOptions opts;
    opts.dir = one.path().string();
    opts.jobs = 1;  // the sweep on this thread: the state keeps the set's results
    ASSERT_EQ(run(*s, opts), 0);
    SetValues normal;
    setstats(*s, normal);
    s.reset();
    std::fclose(con);
    for (int w = 0; w < nwindows; ++w) {
        for (int k = 0; k < nsummary; ++k) {
            const std::string column = std::string(window_name(static_cast<Window>(w))) + "_" + summaryname(k);
            EXPECT_EQ(tuned.at(row, column), shortest(normal[w][k])) << column;
        }
    }
    // The run's own summary record shows the same risk.
    const std::string allyears = read_file(one.path() / "All_years");
    const std::size_t last = allyears.rfind("\r\n", allyears.size() - 3);
    const std::string record = allyears.substr(last + 2);
    std::istringstream items(record);
    std::vector<std::string> values;
    for (std::string v; items >> v;) values.push_back(v);
    ASSERT_GE(values.size(), 3u);
    const float risklim = std::stof(tuned.at(row, "all_Risklim"));
    EXPECT_EQ(values[values.size() - 3], format_fixed(risklim, 8, 1).substr(format_fixed(risklim, 8, 1).find_first_not_of(' ')));
}

TEST(Tune, WrongRequestsStopBeforeAnySet) {
    const Folder in("wrong", {{kTarget, "0.2 1.2 0.1"}});
    struct Case {
        const char* what;
        TuneOptions t;
        int status;
        const char* says;
    };
    auto opt = [](const char* option, const char* limit) {
        TuneOptions t;
        t.option = option;
        t.limit = limit;
        return t;
    };
    TuneOptions badstat = opt("Target", "5%");
    badstat.statistic = "risk4";
    TuneOptions badwindow = opt("Target", "5%");
    badwindow.window = "last5";
    const Case cases[] = {
        {"unknown option", opt("Fmsy", "5%"), 2, "its options are: Btrig1 Btrig2 Target"},
        {"option with one value", opt("Btrig1", "5%"), 2, "single value 460"},
        {"limit above one", opt("Target", "5"), 2, "risk limit"},
        {"limit not a number", opt("Target", "five"), 2, "risk limit"},
        {"statistic", badstat, 2, "risk1, risk2 or risk3"},
        {"window", badwindow, 2, "all, first5 or summary"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(in.path() / "tune.csv");
        const Tuned r = runtune(in.path(), c.t);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
        EXPECT_FALSE(fs::exists(in.path() / "tune.csv"));
    }
    // Names are matched whatever their case; limits as fractions or percentages.
    float limit = 0.0f;
    EXPECT_TRUE(parse_limit("0.05", limit));
    EXPECT_EQ(limit, 5.0f);
    EXPECT_TRUE(parse_limit("12.5 %", limit));
    EXPECT_EQ(limit, 12.5f);
    EXPECT_FALSE(parse_limit("-1%", limit));
    EXPECT_FALSE(parse_limit("%", limit));
}

}  // namespace
}  // namespace tacsim

namespace tacsim {
namespace {

struct Child {
    int status = -1;
    std::string out, err;
};

Child tacsim_cmd(const std::string& args, const fs::path& where) {
    const std::string cmd = "cd '" + where.string() + "' && '" + std::string(TACSIM_EXE) + "' " + args +
                            " > stdout.txt 2> stderr.txt";
    const int rc = std::system(cmd.c_str());
    Child c;
    c.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    c.out = read_file(where / "stdout.txt");
    c.err = read_file(where / "stderr.txt");
    fs::remove(where / "stdout.txt");
    fs::remove(where / "stderr.txt");
    return c;
}

TEST(TuneCommand, WritesOnlyTheTableAndTuneCsv) {
    const Folder in("cmd", {{kTarget, "0.2 1.0 0.1"}});
    const fs::path work = in.path() / "work";
    fs::create_directories(work);
    // The subcommand with the run's own options before and after it.
    const Child c = tacsim_cmd("-j 2 tune --option target --risk 0.05 --tolerance 0.5 -o ../out ..", work);
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(c.err, "");  // no progress line when the error stream is a file
    EXPECT_NE(c.out.find("Tuning Target in [0.2, 1] to 0.5: risk3 over model years 1-40"), std::string::npos)
        << c.out;
    EXPECT_NE(c.out.find("3 option sets simulated"), std::string::npos) << c.out;
    // tune.csv in the output folder, nothing else anywhere.
    std::vector<std::string> written;
    for (const auto& e : fs::recursive_directory_iterator(in.path())) written.push_back(e.path().filename());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"bio.inn", "opt.inn", "out", "tune.csv", "work"}));

    const Child wrong = tacsim_cmd("tune --risk 5% ..", work);
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("--option is required"), std::string::npos) << wrong.err;
}

// A tuning stopped by SIGTERM says how far it came and leaves tune.csv with
// the rows of its finished combinations, whole; before the first one ends,
// the previous tune.csv stays.
TEST(TuneCommand, InterruptedTuningKeepsWholeCombinationsOrThePreviousFile) {
    const Folder in("interrupt", {{kBtrig1, "300 460 160"}, {kTarget, "0.2 1.2 0.1"}});
    const std::string previous = "an earlier tuning\n";
    std::ofstream(in.path() / "tune.csv", std::ios::binary) << previous;
    // `until`: a shell test that is true when the signal is to be sent.
    auto interrupted = [&](const std::string& until) {
        const std::string cmd = "cd '" + in.path().string() + "' && { '" + std::string(TACSIM_EXE) +
                                "' -j 1 tune --option target --risk 0.05 . > stdout.txt 2> stderr.txt & p=$!; "
                                "until " + until + " || ! kill -0 $p 2>/dev/null; do sleep 0.02; done; kill -TERM $p; wait $p; }";
        const int rc = std::system(cmd.c_str());
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    };
    EXPECT_EQ(interrupted("sleep 0.2"), 143);
    EXPECT_NE(read_file(in.path() / "stderr.txt").find("Interrupted after 0 of 2 evaluations"), std::string::npos)
        << read_file(in.path() / "stderr.txt");
    EXPECT_EQ(read_file(in.path() / "tune.csv"), previous);

    const int status =
        interrupted("[ \"$(grep -c '^1,' .tacsim-partial-tune/tune.csv 2>/dev/null)\" -gt 0 ] 2>/dev/null");
    ASSERT_TRUE(status == 143 || status == 0) << status;  // the second may have ended first
    std::istringstream csv(read_file(in.path() / "tune.csv"));
    std::string line;
    std::getline(csv, line);
    std::set<std::string> combinations;
    while (std::getline(csv, line)) combinations.insert(fields(line)[0]);
    EXPECT_EQ(combinations, (status == 0 ? std::set<std::string>{"1", "2"} : std::set<std::string>{"1"}));
    if (status == 143) {
        EXPECT_NE(read_file(in.path() / "stderr.txt").find("Interrupted after 1 of 2 evaluations"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace tacsim

namespace tacsim {
namespace {

// The tuned statistic's standard error on every row, and with --replicates
// the further searches: their seeds, statistics of their own, and the
// answers' range and standard deviation on every row of the combination.
TEST(Tune, StandardErrorAndReplicates) {
    struct Case {
        int replicates;
        std::optional<unsigned long long> seed;
        std::vector<std::string> seeds;  // of the searches 0, 1, ...
    };
    const Case cases[] = {
        {0, std::nullopt, {""}},
        {1, std::nullopt, {"", "1"}},
        {2, 11ULL, {"11", "12", "13"}},
    };
    for (const Case& c : cases) {
        const Folder in("replicates", {{kTarget, "0.2 1.2 0.1"}});
        TuneOptions t;
        t.option = "Target";
        t.limit = "5%";
        t.statistic = "risk2";
        t.tolerance = 0.5f;
        t.replicates = c.replicates;
        RunOptions opts;
        opts.dir = in.path().string();
        opts.jobs = 1;
        opts.seed = c.seed;
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        ASSERT_EQ(tune(opts, t, out, err), 0) << testing::read_from(err);
        const std::string said = testing::read_from(out);
        std::fclose(out);
        std::fclose(err);
        Tuned r;
        std::istringstream csv(read_file(in.path() / "tune.csv"));
        std::string line;
        std::getline(csv, line);
        r.header = fields(line);
        while (std::getline(csv, line)) r.rows.push_back(fields(line));

        std::vector<float> answers;
        std::set<std::string> at_top;  // mean catch at the highest target, per search
        for (std::size_t i = 0; i < r.rows.size(); ++i) {
            ASSERT_EQ(r.rows[i].size(), r.header.size());
            const int k = std::stoi(r.at(i, "replicate"));
            ASSERT_LT(k, static_cast<int>(c.seeds.size()));
            EXPECT_EQ(r.at(i, "seed"), c.seeds[static_cast<std::size_t>(k)]);
            // risk2 is a share of the iterations: binomial.
            const double p = std::stod(r.at(i, "all_risk2")) / 100.0;
            EXPECT_NEAR(std::stod(r.at(i, "statistic_se")), 100.0 * std::sqrt(p * (1.0 - p) / 1000.0), 1e-4);
            if (r.at(i, "answer") == "1") answers.push_back(std::stof(r.at(i, "Target")));
            if (r.at(i, "Target") == "1.2") at_top.insert(r.at(i, "all_Cmean"));
        }
        ASSERT_EQ(answers.size(), c.seeds.size());
        EXPECT_EQ(at_top.size(), c.seeds.size()) << "every seed draws numbers of its own";
        if (c.replicates == 0) {
            EXPECT_EQ(r.at(0, "answer_min") + r.at(0, "answer_max") + r.at(0, "answer_sd"), "");
            EXPECT_EQ(said.find("seeds:"), std::string::npos);
            continue;
        }
        double mean = 0.0, ss = 0.0;
        for (float a : answers) mean += a / static_cast<double>(answers.size());
        for (float a : answers) ss += (a - mean) * (a - mean);
        for (std::size_t i = 0; i < r.rows.size(); ++i) {
            EXPECT_EQ(std::stof(r.at(i, "answer_min")), *std::min_element(answers.begin(), answers.end()));
            EXPECT_EQ(std::stof(r.at(i, "answer_max")), *std::max_element(answers.begin(), answers.end()));
            EXPECT_NEAR(std::stod(r.at(i, "answer_sd")), std::sqrt(ss / (answers.size() - 1.0)), 1e-5);
        }
        EXPECT_NE(said.find("Target under " + std::to_string(answers.size()) + " seeds:"), std::string::npos) << said;
    }
}

}  // namespace
}  // namespace tacsim
