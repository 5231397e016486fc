// Whole runs with the tables on: a stock in tonnes whose numbers are too wide
// for the legacy layouts, the record of a run that stops, a table that cannot
// be written, and a results folder of its own.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>


#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "../golden/run_helper.hpp"

namespace fs = std::filesystem;
using tacsim_test::read_file;

namespace {

const fs::path kBasic = fs::path(TACSIM_SOURCE_DIR) / "tests" / "golden" / "data" / "basic";
const fs::path kFull = fs::path(TACSIM_SOURCE_DIR) / "tests" / "golden" / "data" / "full";

// A folder of its own per test, removed at the end unless the test failed.
struct Folder {
    fs::path dir;
    explicit Folder(const std::string& tag, const fs::path& from = kBasic)
        : dir(fs::temp_directory_path() / ("tacsim-tables-" + tag + "-" + std::to_string(::getpid()))) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const auto& e : fs::directory_iterator(from))
            if (e.is_regular_file()) fs::copy_file(e.path(), dir / e.path().filename());
    }
    ~Folder() {
        if (!::testing::Test::HasFailure()) fs::remove_all(dir);
    }
    // Runs the program with these arguments in the folder, after the shell
    // commands `before`; exit status.
    int run(const std::string& args, const std::string& before = "") const {
        const std::string cmd = "cd '" + dir.string() + "' && " + before + "'" + std::string(TACSIM_EXE) + "' " + args +
                                " > stdout.txt 2> stderr.txt";
        const int rc = std::system(cmd.c_str());
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    // Replaces a line of an input file (by physical line number, from 1).
    void edit(const std::string& file, int at, const std::string& to) const {
        std::istringstream in(read_file(dir / file));
        std::string out, line;
        for (int no = 1; std::getline(in, line); ++no) out += (no == at ? to : line) + "\n";
        std::ofstream(dir / file, std::ios::binary) << out;
    }
};

std::vector<std::vector<std::string>> csv_rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::size_t at = 0;
        for (;;) {
            const std::size_t c = line.find(',', at);
            f.push_back(line.substr(at, c == std::string::npos ? std::string::npos : c - at));
            if (c == std::string::npos) break;
            at = c + 1;
        }
        rows.push_back(f);
    }
    return rows;
}

std::string gunzip(const fs::path& p) {
    gzFile f = gzopen(p.c_str(), "rb");
    std::string out;
    char buf[1 << 16];
    for (int n; (n = gzread(f, buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
    gzclose(f);
    return out;
}

}  // namespace

// Weights in grams instead of kilograms: every biomass is ten thousand times
// larger, too wide for the legacy layouts, and the tables keep it whole.
TEST(EndToEndTables, StockInTonnesKeepsFullValues) {
    Folder d("tonnes");
    std::istringstream in(read_file(d.dir / "bio.inn"));
    std::string out, line;
    const std::regex weights(R"((\d+) (\S+) (\S+) (\S+) (0 0))");
    int scaled = 0;
    while (std::getline(in, line)) {
        std::smatch m;
        // The catch and stock weights: the first two blocks of six-item records.
        if (scaled < 16 && std::regex_match(line, m, weights)) {
            std::ostringstream os;
            os << m[1] << ' ' << std::stod(m[2]) * 1e4 << ' ' << std::stod(m[3]) * 1e4 << ' '
               << std::stod(m[4]) * 1e4 << ' ' << m[5];
            line = os.str();
            ++scaled;
        }
        out += line + "\n";
    }
    ASSERT_EQ(scaled, 16);
    std::ofstream(d.dir / "bio.inn", std::ios::binary) << out;
    ASSERT_EQ(d.run("--iterations"), 0) << read_file(d.dir / "stdout.txt");
    ASSERT_NE(read_file(d.dir / "Results").find("*******"), std::string::npos) << "expected asterisks";

    // The yearly mean SSB of year 1 against the mean of the series.
    double sum = 0.0;
    int n = 0;
    for (const auto& r : csv_rows(gunzip(d.dir / "iterations.csv.gz"))) {
        if (r[0] == "1" && r[2] == "2001") {
            sum += std::stod(r[3]);
            ++n;
        }
    }
    ASSERT_EQ(n, 1000);
    bool found = false;
    for (const auto& r : csv_rows(read_file(d.dir / "yearly.csv"))) {
        if (r[0] == "1" && r[2] == "1" && r[3] == "ssb") {
            const double mean = std::stod(r[4]);
            EXPECT_GT(mean, 1e7);
            EXPECT_NEAR(mean, sum / n, 1e-5 * mean);
            found = true;
        }
    }
    EXPECT_TRUE(found);
}

// Every file of a folder with its contents, hidden ones included.
std::map<std::string, std::string> folder_bytes(const fs::path& dir) {
    std::map<std::string, std::string> out;
    if (!fs::exists(dir)) return out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        out[fs::relative(e.path(), dir).string()] = e.is_regular_file() ? read_file(e.path()) : "<folder>";
    return out;
}

// A run that stops before its first option set leaves the results folder of
// an earlier run byte for byte as it was (no run.json of the stop, no scratch
// file), and makes no folder that was missing: a stop on the inputs, on a
// value that cannot be read, on a missing input file, on a file that cannot
// be written before the option sets, and on the lock of another run.
TEST(EndToEndTables, StopBeforeTheFirstSetWritesNothing) {
    Folder earlier("earlier");
    ASSERT_EQ(earlier.run(". -o out --csv --report"), 0) << read_file(earlier.dir / "stderr.txt");
    const auto before = folder_bytes(earlier.dir / "out");
    ASSERT_TRUE(before.count("run.json") && before.count("kladd") && before.count("report.html"));
    struct Case {
        const char* tag;
        fs::path from;
        int line;  // of opt.inn to change; 0: none
        const char* to;
        const char* args;
        const char* before;  // shell commands before the run
        int status;
    };
    const fs::path ricker = fs::path(TACSIM_SOURCE_DIR) / "tests" / "golden" / "data" / "ricker-zero-ssb-stop";
    const Case cases[] = {
        {"range", kBasic, 15, "0.3 0.2 0.1", "--csv", "", 1},
        {"unreadable", kBasic, 15, "0.2 abc 0.1", "--iterations", "", 2},
        {"stock", ricker, 0, "", "--report", "", 1},
        {"missing", kBasic, 0, "", "--csv", "", 1},
        // The per-recruit file or table cannot be written (512-byte blocks).
        {"fault", kBasic, 0, "", "--report", "ulimit -f 4 && ", 1},
        {"locked", kBasic, 0, "", "--csv -j 2", "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        Folder d(std::string("early-") + c.tag, c.from);
        if (c.line > 0) d.edit("opt.inn", c.line, c.to);
        if (std::string(c.tag) == "missing") fs::remove(d.dir / "bio.inn");
        fs::copy(earlier.dir / "out", d.dir / "out");
        int lock = -1;
        if (std::string(c.tag) == "locked") {
            lock = ::open((d.dir / "out").c_str(), O_RDONLY | O_DIRECTORY);
            ASSERT_EQ(::flock(lock, LOCK_EX), 0);
        }
        EXPECT_EQ(d.run(std::string(". -o out ") + c.args, c.before), c.status) << read_file(d.dir / "stdout.txt");
        if (lock >= 0) {
            ::close(lock);
        } else {
            EXPECT_EQ(d.run(std::string(". -o new/out ") + c.args, c.before), c.status);
        }
        EXPECT_TRUE(folder_bytes(d.dir / "out") == before);
        EXPECT_FALSE(fs::exists(d.dir / "new"));
        EXPECT_FALSE(fs::exists(d.dir / "kladd"));
    }
}

TEST(EndToEndTables, TableThatCannotBeWrittenStopsWithItsName) {
    Folder d("full");
    // Room for every legacy file, not for the series (a file size limit
    // fails a write as a full disk does; 512-byte blocks).
    EXPECT_EQ(d.run("--iterations", "ulimit -f 2400 && "), 1);
    EXPECT_NE(read_file(d.dir / "stdout.txt").find("Cannot write output file iterations.csv.gz"), std::string::npos)
        << read_file(d.dir / "stdout.txt");
    const auto j = nlohmann::json::parse(read_file(d.dir / "run.json"));
    EXPECT_EQ(j["exit_status"], 1);
}

TEST(EndToEndTables, ResultsFolderOfItsOwn) {
    Folder d("output");
    const fs::path out = d.dir / "out";
    ASSERT_EQ(d.run(". -o out --csv --jobs 2"), 0) << read_file(d.dir / "stderr.txt");
    for (const char* f : {"sets.csv", "yearly.csv", "summary.csv", "perrecruit.csv", "refpoints.csv", "run.json",
                          "Results"})
        EXPECT_TRUE(fs::exists(out / f)) << f;
    EXPECT_FALSE(fs::exists(out / "iterations.csv.gz"));
    EXPECT_FALSE(fs::exists(d.dir / "sets.csv"));
    const auto j = nlohmann::json::parse(read_file(out / "run.json"));
    EXPECT_EQ(j["option_sets"], 1);
    EXPECT_EQ(j["sets_finished"], 1);
    EXPECT_EQ(j["seconds_per_set"].size(), 1u);
    EXPECT_EQ(j["seed"], 15349668.0);
    EXPECT_EQ(j["threads"], 2);
    EXPECT_EQ(j["sets_rerun"], 0);  // one set: nothing to guess
    EXPECT_EQ(j["stop_message"], nullptr);
    EXPECT_EQ(j["inputs"][1]["sha256"].get<std::string>().size(), 64u);
    const auto files = j["files_written"].get<std::vector<std::string>>();
    EXPECT_EQ(files.back(), "run.json");
    EXPECT_NE(std::find(files.begin(), files.end(), "summary.csv"), files.end());
    // Set 1 in every per-set table; the same legacy bytes as a run without
    // tables.
    EXPECT_EQ(csv_rows(read_file(out / "sets.csv")).size(), 2u);
    EXPECT_EQ(csv_rows(read_file(out / "yearly.csv")).size(), 1u + 10 * 41);
    EXPECT_EQ(read_file(out / "Results"), read_file(kBasic / "expected" / "Results"));
}
