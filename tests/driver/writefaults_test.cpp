// Faults while writing: an output file that cannot be opened or written stops
// the run with a message that names it and exit status 1, never a silent
// success; and the results of every finished option set are complete on disk
// when a later set fails (a run cut off: interrupt_test.cpp).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "errorpaths_support.hpp"

using namespace tacsim_errtest;

namespace {

// Starts the program in `dir` with standard output and the error stream in
// files there (standard output in `out_name`, which may be a path such as
// /dev/full). A positive `max_file_size` limits the size of every file the
// program writes, as a full disk would.
pid_t start(const fs::path& dir, long max_file_size = 0, const std::string& out_name = "stdout.txt") {
    made_dirs().push_back(dir);
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    const int out = ::open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) ::_exit(126);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (max_file_size > 0) {
        // The signal a write beyond the limit raises is left at its default:
        // the program itself must turn it into a failed write.
        rlimit lim{static_cast<rlim_t>(max_file_size), static_cast<rlim_t>(max_file_size)};
        ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    ::execl(TACSIM_EXE, "tacsim", static_cast<char*>(nullptr));
    ::_exit(127);
}

int wait_status(pid_t pid) {
    int st = 0;
    ::waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// Writes the input set, lets `prepare` put things into the folder, runs the
// program there and collects what it wrote.
template <class F>
RunResult run_prepared(const InputSet& in, const std::string& tag, F prepare, long max_file_size = 0,
                       const std::string& out_name = "stdout.txt") {
    RunResult r;
    r.dir = in.write(tag);
    prepare(r.dir);
    r.status = wait_status(start(r.dir, max_file_size, out_name));
    r.out = read_file(r.dir / "stdout.txt");
    r.err = read_file(r.dir / "stderr.txt");
    return r;
}

const std::vector<std::string> kSummaryFiles = {"Results", "Years 1_10", "First_5", "All_years"};

// Files of the reference run (one option set), without the streams.
std::vector<std::string> reference_files() {
    std::vector<std::string> f;
    for (const auto& e : fs::directory_iterator(basic_dir() / "expected")) {
        const std::string n = e.path().filename().string();
        if (n == "status" || n == "stdout.txt" || n == "stderr.txt") continue;
        f.push_back(n);
    }
    return f;
}

// Each file of the reference run is the start of the same file of this run:
// the first option set is complete on disk.
void expect_first_set_complete(const RunResult& r, const std::string& what) {
    for (const std::string& f : reference_files()) {
        const std::string want = read_file(basic_dir() / "expected" / f);
        ASSERT_TRUE(fs::exists(r.dir / f)) << what << ": " << f;
        const std::string got = read_file(r.dir / f);
        EXPECT_GE(got.size(), want.size()) << what << ": " << f << " lacks part of the first option set";
        EXPECT_TRUE(got.compare(0, want.size(), want) == 0) << what << ": " << f << " differs in the first option set";
    }
}

}  // namespace

TEST(EndToEndWriteFaults, OutputFileThatCannotBeOpened) {
    // A folder in the way of the file: opening it for writing fails.
    for (const std::string name : {"Results", "Years 1_10", "F_distr", "Yieldrecr", "Recovery"}) {
        const RunResult r = run_prepared(InputSet::basic(), "wf-open-" + name.substr(0, 5),
                                         [&](const fs::path& d) { fs::create_directory(d / name); });
        expect_run(r, "open " + name, 1, {kRule1Warning, rec({T("Cannot open output file "), T(name)})});
    }
    // The scratch file is made before any input is read.
    const RunResult k = run_prepared(InputSet::basic(), "wf-open-kladd",
                                     [](const fs::path& d) { fs::create_directory(d / "kladd"); });
    expect_run(k, "open kladd", 1, {rec({T("Cannot open output file "), T("kladd")})});
}

TEST(EndToEndWriteFaults, OutputFileOnAFullDisk) {
    const auto ref = basic_stdout();
    auto full = [](const std::string& name) {
        return [name](const fs::path& d) { fs::create_symlink("/dev/full", d / name); };
    };
    auto msg = [](const std::string& name) { return rec({T("Cannot write output file "), T(name)}); };

    // Files written during the option set: found when the set's results are
    // flushed, after its summary line.
    for (const std::string name : {"Results", "F_distr", "Recovery", "Years 1_10"}) {
        const RunResult r = run_prepared(InputSet::basic(), "wf-full-" + name.substr(0, 5), full(name));
        expect_run(r, "full disk " + name, 1, concat(ref, {msg(name)}));
    }
    // The per-recruit files are closed by the per-recruit analysis, before
    // the sweep.
    const RunResult y = run_prepared(InputSet::basic(), "wf-full-yield", full("Yieldrecr"));
    expect_run(y, "full disk Yieldrecr", 1, concat(first_n(ref, ref.size() - 2), {msg("Yieldrecr")}));

    // Standard output itself on a full disk: no message can be read, but the
    // run does not end as a success.
    InputSet quiet = InputSet::basic();
    for (int k = 43; k <= 58; ++k) quiet.opt().set(k, std::to_string(k <= 44 ? k - 32 : k - 31) + " 0");
    const RunResult s = run_prepared(quiet, "wf-full-stdout", [](const fs::path&) {}, 0, "/dev/full");
    EXPECT_EQ(s.status, 1);
}

TEST(EndToEndWriteFaults, SecondOptionSetFailsFirstIsComplete) {
    // Two option sets (Target 0.3 and 0.4). Every file may hold a little more
    // than the largest file of one set, F_distr, so F_distr cannot take the
    // second set while the next largest, IAV_distr, can take both.
    InputSet two = InputSet::basic();
    two.opt().set(13, "0.3 0.4 0.1");
    const auto fsize = [](const char* f) {
        return static_cast<long>(fs::file_size(basic_dir() / "expected" / f));
    };
    const long fdistr = fsize("F_distr"), iav = fsize("IAV_distr");
    ASSERT_LT(2 * iav, fdistr + iav);
    const RunResult r = run_prepared(two, "wf-second-set", [](const fs::path&) {}, fdistr + iav);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(tail(r.out, 1), std::vector<std::string>{rec({T("Cannot write output file "), T("F_distr")})});
    // Both sets ran; the failure is reported when the second set is flushed.
    std::size_t sets = 0;
    for (const auto& l : split_lines(r.out, "\r\n")) sets += l.rfind(" All years: Cmean", 0) == 0;
    EXPECT_EQ(sets, 2u);
    expect_first_set_complete(r, "second set fails");
    // F_distr holds what the disk took; every other file is whole.
    expect_whole_records(r, "second set fails", {"F_distr"});
}
