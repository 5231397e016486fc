// A run cut off between option sets, for each writer of its results: the
// legacy files on one thread and on two, the tables and the series on one
// thread and on two, and an argument-less run killed outright. The run is stopped (SIGSTOP)
// half a set after the first set has finished, the signal is sent while it
// stands still, and a run that ended before that fails the test. An interrupted run leaves
// exactly the files of a complete run of its finished sets; a killed one at
// least those, whole.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <thread>

#include "errorpaths_support.hpp"

using namespace tacsim_errtest;

namespace {

struct Writer {
    const char* name;
    std::vector<std::string> args;
    int signal;
};

void PrintTo(const Writer& w, std::ostream* os) { *os << w.name; }

pid_t start(const fs::path& dir, const std::vector<std::string>& args) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    const int out = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) ::_exit(126);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>("tacsim")};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(TACSIM_EXE, argv.data());
    ::_exit(127);
}

std::size_t sets_in(const std::string& out) {
    std::size_t n = 0;
    for (std::size_t p = 0; (p = out.find(" All years: ", p)) != std::string::npos; ++p) ++n;
    return n;
}

std::string gunzip(const fs::path& p) {
    gzFile f = gzopen(p.c_str(), "rb");
    if (f == nullptr) return "(cannot open)";
    std::string out;
    char buf[1 << 16];
    for (int n; (n = gzread(f, buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
    gzclose(f);
    return out;
}

// The text of a result file (a compressed series decompressed).
std::string content(const fs::path& p) {
    return p.extension() == ".gz" ? gunzip(p) : read_file(p);
}

// Target 0.1, 0.2, ...: `hi` is the last.
InputSet targets_up_to(const std::string& hi) {
    InputSet s = InputSet::basic();
    s.opt().set(13, "0.1 " + hi + " 0.1");
    return s;
}

class Interruption : public ::testing::TestWithParam<Writer> {};

TEST_P(Interruption, LeavesTheFilesOfTheFinishedSets) {
    const Writer& w = GetParam();
    // Eight sets: the run is far from its end when the first has finished.
    const fs::path dir = targets_up_to("0.8").write(std::string("int-") + w.name);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = start(dir, w.args);
    while (sets_in(read_file(dir / "stdout.txt")) == 0 && std::chrono::steady_clock::now() < t0 + std::chrono::seconds(120))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    // Half a set later, in the middle of the next one: a part of it is
    // written (the files of every iteration) and must go again.
    std::this_thread::sleep_for((std::chrono::steady_clock::now() - t0) / 2);
    ::kill(pid, SIGSTOP);
    int st = 0;
    ASSERT_EQ(::waitpid(pid, &st, WUNTRACED), pid);
    ASSERT_TRUE(WIFSTOPPED(st)) << "the run ended before the signal (status " << st << ")";
    const std::size_t seen = sets_in(read_file(dir / "stdout.txt"));
    ::kill(pid, w.signal);
    ::kill(pid, SIGCONT);
    ASSERT_EQ(::waitpid(pid, &st, 0), pid);
    ASSERT_GE(seen, 1u) << "no set finished within the time";

    std::size_t k = seen;
    if (w.signal == SIGKILL) {
        ASSERT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGKILL);
    } else {
        ASSERT_TRUE(WIFEXITED(st)) << st;
        EXPECT_EQ(WEXITSTATUS(st), 128 + w.signal);
        const std::string err = read_file(dir / "stderr.txt");
        int n = 0;
        ASSERT_EQ(std::sscanf(err.c_str(), "Interrupted after %zu of %d option sets", &k, &n), 2) << err;
        // Given arguments, the error stream's lines end with LF.
        EXPECT_EQ(err, "Interrupted after " + std::to_string(k) + " of 8 option sets\n");
        EXPECT_GE(k, seen);
        ASSERT_LT(k, 8u);
        if (fs::exists(dir / "run.json")) {
            const auto j = nlohmann::json::parse(read_file(dir / "run.json"));
            EXPECT_EQ(j["exit_status"], 128 + w.signal);
            EXPECT_EQ(j["sets_finished"], k);
            EXPECT_NE(j["stop_message"].get<std::string>().find("Interrupted after " + std::to_string(k)),
                      std::string::npos);
        }
    }

    // A complete run of the first k sets, with the same options.
    char hi[16];
    std::snprintf(hi, sizeof hi, "%.1f", 0.1 * static_cast<double>(k));
    const fs::path ref = targets_up_to(hi).write(std::string("int-ref-") + w.name);
    const pid_t rp = start(ref, w.args);
    ASSERT_EQ(::waitpid(rp, &st, 0), rp);
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
    for (const auto& e : fs::directory_iterator(ref)) {
        const std::string f = e.path().filename().string();
        if (e.path().extension() == ".inn" || f == "stderr.txt" || f == "run.json") continue;
        ASSERT_TRUE(fs::exists(dir / f)) << f;
        const std::string want = content(ref / f), got = content(dir / f);
        if (w.signal == SIGKILL) {
            // The finished sets whole; a later one may have begun.
            EXPECT_TRUE(got.compare(0, want.size(), want) == 0) << f << " lacks part of the finished sets";
        } else {
            EXPECT_TRUE(got == want) << f << ": " << got.size() << " bytes, a run of " << k << " sets "
                                     << want.size();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, Interruption,
    ::testing::Values(Writer{"legacy", {"--jobs", "1"}, SIGINT}, Writer{"legacy_two_threads", {"--jobs", "2"}, SIGINT},
                      Writer{"tables", {"--csv", "--iterations", "--jobs", "1"}, SIGINT},
                      Writer{"tables_two_threads", {"--csv", "--iterations", "--jobs", "2"}, SIGINT},
                      Writer{"argumentless_killed", {}, SIGKILL}),
    [](const ::testing::TestParamInfo<Writer>& i) { return std::string(i.param.name); });

}  // namespace
