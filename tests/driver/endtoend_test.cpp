// Whole runs of the program: reproducibility, the number of records each
// file receives per option set, and the order of the option sweep.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "../golden/run_helper.hpp"

namespace fs = std::filesystem;
using tacsim_test::read_file;
using tacsim_test::run_in_copy;

namespace {

const fs::path kBasic = fs::path(TACSIM_SOURCE_DIR) / "tests" / "golden" / "data" / "basic";

int count_records(const std::string& text) {
    int n = 0;
    for (std::size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2) ++n;
    return n;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> v;
    std::size_t p = 0, q;
    while ((q = text.find("\r\n", p)) != std::string::npos) {
        v.push_back(text.substr(p, q - p));
        p = q + 2;
    }
    return v;
}

// A copy of the basic reference inputs with some lines of opt.inn replaced
// (by physical line number).
fs::path variant(const std::string& tag, const std::vector<std::pair<int, std::string>>& edits) {
    const fs::path dir = tacsim_test::fresh_dir("in-" + tag);
    for (const auto& e : fs::directory_iterator(kBasic))
        if (e.is_regular_file()) fs::copy_file(e.path(), dir / e.path().filename());
    std::istringstream in(read_file(dir / "opt.inn"));
    std::string opt, line;
    for (int no = 1; std::getline(in, line); ++no) {
        for (const auto& [at, to] : edits)
            if (at == no) line = to;
        opt += line + "\n";
    }
    std::ofstream(dir / "opt.inn", std::ios::binary) << opt;
    return dir;
}

}  // namespace

TEST(EndToEnd, TwoRunsGiveIdenticalFiles) {
    const auto a = run_in_copy(kBasic, "twice-a");
    const auto b = run_in_copy(kBasic, "twice-b");
    ASSERT_EQ(a.status, 0);
    ASSERT_EQ(b.status, 0);
    EXPECT_EQ(a.out, b.out);
    int files = 0;
    for (const auto& e : fs::directory_iterator(a.dir)) {
        const std::string name = e.path().filename().string();
        EXPECT_EQ(read_file(e.path()), read_file(b.dir / name)) << name;
        ++files;
    }
    EXPECT_GT(files, 15);
}

TEST(EndToEnd, RecordCountsPerOptionSet) {
    const auto r = run_in_copy(kBasic, "counts");
    ASSERT_EQ(r.status, 0);
    // Per option set: the header block (label line, values, empty record),
    // plus a column line where the file has one, then the records.
    const std::vector<std::pair<std::string, int>> want = {
        {"Results", 1 + 3 + 6 * (2 + 41 + 1) + (2 + 40 + 1)},
        {"F_distr", 4 + 41 * 1000},
        {"IAV_distr", 4 + 40 * 1000},
        {"S0_distr", 3 + 1000},
        {"Traj", 3 + 20 * 8},
        {"All_years", 1 + 1},
        {"First_5", 1 + 1},
        {"Years 1_10", 1 + 1},
        {"compbas", 4 + 100 * 42},  // 100 iterations of an iteration line and 41 years
        {"kladd", 0},
    };
    for (const auto& [file, n] : want) EXPECT_EQ(count_records(read_file(r.dir / file)), n) << file;
}

TEST(EndToEnd, SweepRunsEveryCombinationInNestedOrder) {
    // Target takes 2 values and option 17 (which no result depends on) takes
    // 3: six option sets, option 17 varying fastest.
    const fs::path in = variant("sweep", {{15, "0.2 0.3 0.1"}, {28, "0 2 1"}});
    const auto r = run_in_copy(in, "sweep");
    ASSERT_EQ(r.status, 0) << r.out;
    std::vector<std::pair<std::string, std::string>> sets;
    const std::regex number(R"(\S+)");
    for (const std::string& line : lines_of(r.out)) {
        std::vector<std::string> v;
        for (auto it = std::sregex_iterator(line.begin(), line.end(), number); it != std::sregex_iterator(); ++it)
            v.push_back(it->str());
        if (v.size() == 23) sets.emplace_back(v[2], v[16]);
    }
    const std::vector<std::pair<std::string, std::string>> want = {
        {"0.20000000", "0.0000000"}, {"0.20000000", "1.0000000"}, {"0.20000000", "2.0000000"},
        {"0.30000001", "0.0000000"}, {"0.30000001", "1.0000000"}, {"0.30000001", "2.0000000"}};
    EXPECT_EQ(sets, want);
    // One summary record per option set under the single header line.
    EXPECT_EQ(count_records(read_file(r.dir / "All_years")), 1 + 6);
    // Option 17 changes nothing: its three sets of a Target give the same line.
    const auto all = lines_of(read_file(r.dir / "All_years"));
    ASSERT_EQ(all.size(), 7u);
    EXPECT_EQ(all[1], all[2]);
    EXPECT_EQ(all[2], all[3]);
    EXPECT_NE(all[3], all[4]);
}
