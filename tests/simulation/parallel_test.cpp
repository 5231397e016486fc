// The option sweep on several threads: the values carried from one set to the
// next, guesses confirmed or refused, and a run that a set stops writes the
// bytes of the one-thread run. (The reference runs on three threads are
// ctest's golden-jobs3; an interrupted sweep, interrupt_test.cpp.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "../golden/run_helper.hpp"
#include "io/input.hpp"
#include "io/outfiles.hpp"
#include "perrecruit/perrecruit.hpp"
#include "simulation/parallel.hpp"
#include "simulation/simulation.hpp"
#include "support/capture.hpp"

namespace fs = std::filesystem;

namespace tacsim {
namespace {

const fs::path kData = fs::path(TACSIM_SOURCE_DIR) / "tests" / "golden" / "data";
const fs::path kExample = fs::path(TACSIM_SOURCE_DIR) / "examples";

// A copy of an input folder, opt.inn edited by replacing whole lines of text,
// removed again at the end of the test.
class InputCopy {
public:
    InputCopy(const fs::path& from, const std::string& tag,
              const std::vector<std::pair<std::string, std::string>>& edits = {})
        : dir_(fs::temp_directory_path() / ("tacsim-par-" + tag + "-" + std::to_string(::getpid()))) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        for (const auto& e : fs::directory_iterator(from))
            if (e.is_regular_file()) fs::copy_file(e.path(), dir_ / e.path().filename());
        std::string opt = tacsim_test::read_file(dir_ / "opt.inn");
        for (const auto& [a, b] : edits) {
            const auto at = opt.find(a);
            EXPECT_NE(at, std::string::npos) << a;
            if (at != std::string::npos) opt.replace(at, a.size(), b);
        }
        std::ofstream(dir_ / "opt.inn", std::ios::binary) << opt;
    }
    ~InputCopy() {
        if (!::testing::Test::HasFailure()) fs::remove_all(dir_);
    }
    const fs::path& dir() const { return dir_; }

private:
    fs::path dir_;
};

// A run's state up to the sweep: inputs read, files opened, per-recruit
// analysis done.
struct Prepared {
    std::unique_ptr<State> s = make_state();
    std::FILE* con = std::tmpfile();
    std::FILE* err = std::tmpfile();
    explicit Prepared(const fs::path& dir) {
        s->con.attach(con, "standard output");
        s->err.attach(err, "error stream");
        s->seed = start_seed;
        s->biofile = "bio.inn";
        s->optfile = "opt.inn";
        s->canumfile = "canum.inn";
        s->indir = dir.string();
        s->outdir = dir.string();
        getpopinn(*s);
        getoptinn(*s);
        prepfiles(*s);
        yieldrecr(*s);
    }
    ~Prepared() {
        closefiles(*s);
        s->con.close();
        s->err.close();
        std::fclose(con);
        std::fclose(err);
    }
    std::vector<SetJob> jobs() const {
        std::vector<SetJob> v;
        for (SweepOrder o(*s); !o.done(); o.advance()) {
            SetJob j;
            j.k = static_cast<long long>(v.size()) + 1;
            o.values(j.par);
            v.push_back(j);
        }
        return v;
    }
};

std::shared_ptr<Model> copy_of(const Model& m) {
    auto p = std::make_shared<Model>();
    std::memcpy(static_cast<void*>(p.get()), &m, sizeof(Model));
    return p;
}

// Runs every set twice, once from the model its predecessor left and once
// from the per-recruit model with only the carried values taken over: both
// must write the same records.
void expect_carried_values_suffice(const fs::path& inputs, const std::string& tag) {
    InputCopy in(inputs, tag);
    Prepared p(in.dir());
    auto w = make_state();
    prepare_worker(*w, *p.s);
    const auto base = copy_of(*p.s);
    std::shared_ptr<const Model> prev = base;
    for (SetJob job : p.jobs()) {
        SetOutcome whole, carried;
        job.start = prev;
        runset_held(*w, job, whole, maxiter, nullptr, nullptr);
        ASSERT_TRUE(whole.end) << tag << " set " << job.k;
        auto start = copy_of(*base);
        ASSERT_TRUE(restore_carried(*start, carried_bytes(*prev)));
        job.start = start;
        runset_held(*w, job, carried, maxiter, nullptr, nullptr);
        for (int i = 0; i < nstreams; ++i)
            EXPECT_TRUE(whole.held[i] == carried.held[i]) << tag << " set " << job.k << " stream " << i;
        prev = whole.end;
    }
}

TEST(CarriedValues, SetsRunFromThePerRecruitModelAndTheCarriedValues) {
    expect_carried_values_suffice(kData / "full", "carry-full");
}

// The whole-run check also on the reference run with per-iteration
// recruitment parameters (slow without optimisation: with the reference runs).
TEST(EndToEndCarriedValues, PerIterationRecruitment) { expect_carried_values_suffice(kData / "rules", "carry-rules"); }

// The example stock is primed at a fixed F in every iteration, which reads
// the recruitment and the year-0 weights the previous set left.
TEST(CarriedValues, PrimedStockReadsWhatThePreviousSetLeft) {
    InputCopy in(kExample, "carry-primed", {{"0.30 0.50 0.10\n", "0.30 0.40 0.10\n"}});
    Prepared p(in.dir());
    auto w = make_state();
    prepare_worker(*w, *p.s);
    auto jobs = p.jobs();
    ASSERT_EQ(jobs.size(), 2u);
    const auto base = copy_of(*p.s);
    jobs[0].start = base;
    SetOutcome first, fromprev, fromcarry, fromscratch;
    runset_held(*w, jobs[0], first, maxiter, nullptr, nullptr);
    ASSERT_TRUE(first.end);

    jobs[1].start = first.end;
    runset_held(*w, jobs[1], fromprev, maxiter, nullptr, nullptr);
    auto carried = copy_of(*base);
    ASSERT_TRUE(restore_carried(*carried, carried_bytes(*first.end)));
    jobs[1].start = carried;
    runset_held(*w, jobs[1], fromcarry, maxiter, nullptr, nullptr);
    EXPECT_TRUE(fromprev.held == fromcarry.held);

    auto scratch = make_state();
    prepare_worker(*scratch, *p.s);
    EXPECT_TRUE(confirmed(*scratch, fromcarry, first.end));
    EXPECT_TRUE(confirmed(*scratch, fromprev, first.end));

    // A guess with another recruitment level in force primes another stock:
    // the replayed first iteration tells, and the set must run again.
    auto wrong = copy_of(*first.end);
    wrong->rlevel = 2.0f * wrong->rlevel;
    jobs[1].start = wrong;
    runset_held(*w, jobs[1], fromscratch, maxiter, nullptr, nullptr);
    EXPECT_FALSE(fromscratch.held == fromprev.held);
    EXPECT_FALSE(confirmed(*scratch, fromscratch, first.end));
}

// Everything a run wrote: files, standard output, error stream, status (not
// the checkpoint a stop leaves, which holds the sets' timings).
std::map<std::string, std::string> everything(const tacsim_test::RunResult& r) {
    std::map<std::string, std::string> m;
    for (const auto& e : fs::directory_iterator(r.dir))
        if (e.is_regular_file() && e.path().filename().string()[0] != '.')
            m[e.path().filename().string()] = tacsim_test::read_file(e.path());
    m["(status)"] = std::to_string(r.status);
    return m;
}

// Observation bias 3e38 makes the perceived stock infinite, and the search
// for F stops the run in the fourth set, after three whole sets.
TEST(EndToEndParallel, StopInsideASetWritesTheSerialBytesAndStatus) {
    InputCopy in(kExample, "stop",
                 {{"0.30 0.50 0.10\n", "0.30 0.30 0\n"},
                  {"# Bias of the observed stock numbers (0 = none)\n0 0 0\n",
                   "# Bias of the observed stock numbers (0 = none)\n0 3e38 3e38\n"},
                  {"# SD of the yearly error of the observed stock numbers\n0.20 0.20 0\n",
                   "# SD of the yearly error of the observed stock numbers\n0.20 0.40 0.10\n"}});
    const auto serial = tacsim_test::run_in_copy(in.dir(), "stop-j1", "-j 1");
    const auto three = tacsim_test::run_in_copy(in.dir(), "stop-j3", "-j 3");
    EXPECT_EQ(serial.status, 1);
    EXPECT_NE(serial.err.find("No convergence in the search for F"), std::string::npos);
    EXPECT_TRUE(everything(serial) == everything(three));
    fs::remove_all(serial.dir);
    fs::remove_all(three.dir);
}

}  // namespace
}  // namespace tacsim
