// `tacsim ensemble`: each model's folder is the single run's, byte for byte;
// pooling one model, or copies of one model under any weights, gives that
// model's statistics; and a faulty ensemble stops before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../golden/run_helper.hpp"

namespace fs = std::filesystem;
using tacsim_test::fresh_dir;
using tacsim_test::read_file;
using tacsim_test::run_with;

namespace {

const fs::path kExample = fs::path(TACSIM_SOURCE_DIR) / "examples";
constexpr int kTarget = 33;  // line of opt.inn with the range of the target F

// The example's inputs in `dir`, lines of bio.inn and opt.inn replaced.
void inputs(const fs::path& dir, const std::map<int, std::string>& opt_edits,
            const std::map<int, std::string>& bio_edits = {}) {
    fs::create_directories(dir);
    for (const auto& [name, edits] : {std::pair{"opt.inn", opt_edits}, std::pair{"bio.inn", bio_edits}}) {
        std::istringstream in(read_file(kExample / name));
        std::string text, line;
        for (int no = 1; std::getline(in, line); ++no) {
            const auto e = edits.find(no);
            text += (e == edits.end() ? line : e->second) + "\n";
        }
        std::ofstream(dir / name, std::ios::binary) << text;
    }
}

// summary.csv or ensemble.csv as (set,first,last,statistic) -> value.
std::map<std::string, std::string> statistics(const fs::path& file) {
    std::map<std::string, std::string> out;
    std::istringstream in(read_file(file));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        const auto comma = line.rfind(',');
        out[line.substr(0, comma)] = line.substr(comma + 1);
    }
    return out;
}

// Every file of a folder but run.json (it holds the times of its run).
std::map<std::string, std::string> files_of(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().filename() != "run.json") out[e.path().filename().string()] = read_file(e.path());
    }
    return out;
}

TEST(Ensemble, OneModelOrWeightedCopiesGiveTheSingleRun) {
    const fs::path root = fresh_dir("ensemble-same");
    constexpr int kYears = 94;  // line of opt.inn switching the Years file on, with its window
    struct Case {
        const char* what;
        const char* years;  // the Years file's record
        const char* rows;   // of the ensemble file, after its header
        std::vector<std::string> models;
        double tolerance;   // relative, of the pooled statistics
    };
    const Case cases[] = {
        {"one model", "12 1 1 10", "only,stock,1,reference\n", {"only"}, 0.0},
        // A summary window of the first five years is not repeated.
        {"one model, summary years 1-5", "12 1 1 5", "only,stock,1,reference\n", {"only"}, 0.0},
        // A robustness model changes nothing in the pooled statistics; the
        // fields quoted and the lines ended as R's write.csv writes them.
        {"copies 0.3 and 0.7", "12 1 1 10",
         "\"a\",\"stock\",0.3,\"reference\"\r\n\"b\",\"stock\",0.7,\"reference\"\r\n\"c\",\"stock\",NA,\"robustness\"\r\n",
         {"a", "b", "c"}, 1e-6},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = root / std::to_string(++n);
        inputs(dir / "stock", {{kTarget, "0.4 0.4 0"}, {kYears, c.years}});
        ASSERT_EQ(run_with(dir, {"--csv", "stock", "-o", "single"}).status, 0);
        const auto single = files_of(dir / "single");
        const auto summary = statistics(dir / "single" / "summary.csv");
        std::ofstream(dir / "ensemble.csv") << "name,folder,weight,set\n" << c.rows;
        const auto r = run_with(dir, {"ensemble", "ensemble.csv", "-o", "out", "-j", "2"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("Note"), std::string::npos) << r.err;
        for (const auto& m : c.models) EXPECT_TRUE(files_of(dir / "out" / m) == single) << m;
        const auto pooled = statistics(dir / "out" / "ensemble.csv");
        const auto lines = [](const fs::path& f) { return std::count(std::istreambuf_iterator<char>(std::ifstream(f).rdbuf()), {}, '\n'); };
        ASSERT_EQ(lines(dir / "out" / "ensemble.csv"), lines(dir / "single" / "summary.csv"));
        ASSERT_EQ(pooled.size(), summary.size());
        for (const auto& [key, value] : summary) {
            ASSERT_EQ(pooled.count(key), 1u) << key;
            if (c.tolerance == 0.0) {
                EXPECT_EQ(pooled.at(key), value) << key;
            } else {
                const double a = std::stod(pooled.at(key)), b = std::stod(value);
                EXPECT_LE(std::fabs(a - b), c.tolerance * std::fabs(b) + 1e-9) << key;
            }
        }
        EXPECT_FALSE(fs::exists(dir / "out" / ".tacsim-ensemble"));
    }
}

TEST(Ensemble, AFaultyEnsembleStopsBeforeAnythingIsWritten) {
    const fs::path root = fresh_dir("ensemble-faults");
    inputs(root / "good", {{kTarget, "0.3 0.4 0.1"}});
    inputs(root / "other", {{kTarget, "0.3 0.5 0.1"}});
    inputs(root / "broken", {{kTarget, "0.3 0.4 0.1"}}, {{7, "20x4"}});
    struct Case {
        const char* what;
        std::string text;  // of the ensemble file
        int status;
        std::vector<std::string> says;
    };
    const std::string head = "name,folder,weight,set\n";
    const Case cases[] = {
        {"different option sets", head + "a,good,1,reference\nb,other,1,robustness\n", 1,
         {"model 'b'", "model 'a'", "Target", "0.3 0.4 0.5", "0.3 0.4"}},
        {"input error in a model", head + "a,good,1,reference\nb,broken,1,reference\n", 2,
         {"model 'b'", "broken", "before any option set"}},
        {"two models of one name", head + "a,good,1,reference\na,other,1,reference\n", 2, {"line 3", "'a'"}},
        {"unknown set", head + "a,good,1,referense\n", 2, {"line 2", "referense"}},
        {"reference without weight", head + "a,good,,reference\n", 2, {"line 2", "weight"}},
        {"negative weight", head + "a,good,-1,reference\n", 2, {"line 2", "weight"}},
        {"missing folder", head + "a,nowhere,1,reference\n", 2, {"line 2", "nowhere"}},
        {"name with a slash", head + "a/b,good,1,reference\n", 2, {"line 2", "a/b"}},
        {"no reference model", head + "a,good,,robustness\n", 2, {"reference"}},
        {"wrong header", "model,folder,weight,set\n", 2, {"line 1", "name,folder,weight,set"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = "ensemble" + std::to_string(++n) + ".csv";
        std::ofstream(root / file) << c.text;
        const auto r = run_with(root, {"ensemble", file, "-o", "out"});
        EXPECT_EQ(r.status, c.status) << r.err;
        for (const auto& piece : c.says) EXPECT_NE(r.err.find(piece), std::string::npos) << piece << " in " << r.err;
        EXPECT_FALSE(fs::exists(root / "out"));
    }
    // Without -o there is no folder for the models.
    EXPECT_EQ(run_with(root, {"ensemble", "ensemble1.csv"}).status, 2);
}

}  // namespace
