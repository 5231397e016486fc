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
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "../golden/run_helper.hpp"
#include "io/input.hpp"
#include "io/outfiles.hpp"
#include "perrecruit/perrecruit.hpp"
#include "simulation/observer.hpp"
#include "simulation/parallel.hpp"
#include "simulation/simulation.hpp"
#include "random/draws.hpp"
#include "results/results.hpp"
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
// analysis done (with `analysed`).
struct Prepared {
    std::unique_ptr<State> s = make_state();
    std::FILE* con = std::tmpfile();
    std::FILE* err = std::tmpfile();
    explicit Prepared(const fs::path& dir, bool analysed = true) {
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
        if (analysed) yieldrecr(*s);
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

// ---- the number of iterations per set

// Asking for the legacy 1000 iterations changes no byte of a run, on one
// thread or three.
TEST(EndToEndParallel, TheLegacyCountAskedForWritesTheSameBytes) {
    const auto plain = tacsim_test::run_in_copy(kData / "basic", "nsim-plain", "-j 1");
    for (const char* jobs : {"1", "3"}) {
        const auto asked = tacsim_test::run_in_copy(kData / "basic", std::string("nsim-1000-j") + jobs,
                                                    std::string("-j ") + jobs + " --nsim 1000");
        EXPECT_EQ(asked.status, 0);
        EXPECT_TRUE(everything(plain) == everything(asked)) << jobs;
        fs::remove_all(asked.dir);
    }
    fs::remove_all(plain.dir);
}

// What the sweep's observer saw of each finished set: the columns of its
// results and the window statistics the program made of them.
class SetsSeen : public SweepObserver {
public:
    struct Seen {
        int columns = 0;
        std::vector<float> catches, ssb;  // (iteration, year 1..40)
        WindowStats stats;
    };
    void set_finished(State& s, long long k) override {
        Seen& v = sets[k];
        v.columns = results_columns(s);
        for (int i = 1; i <= std::min(s.nsim, kept); ++i)
            for (int y = 1; y <= maxyear; ++y) {
                v.catches.push_back(s.catchres(y, i));
                v.ssb.push_back(s.ssbres(y, i));
            }
        YearVec plim, ptrig, pcrash;
        yearlyrisks(s, plim, ptrig, pcrash);
        windowstats(s, 1, maxyear, plim, ptrig, pcrash, v.stats);
    }
    int kept = 0;
    std::map<long long, Seen> sets;
};

// Two option sets of the example under a seed, n iterations each on `jobs`
// threads.
std::map<long long, SetsSeen::Seen> seeded_sets(const std::string& tag, int n, int jobs, int kept) {
    InputCopy in(kExample, tag, {{"0.30 0.50 0.10\n", "0.30 0.40 0.10\n"}});
    Prepared p(in.dir());
    stream_seed(*p.s, 7);
    p.s->nsim = n;
    SetsSeen seen;
    seen.kept = kept;
    p.s->observer = &seen;
    SweepCount count;
    EXPECT_EQ(testing::status_of(*p.s, [&](State& st) { optruns_parallel(st, jobs, count); }), 0) << tag;
    return seen.sets;
}

// Under a seed each iteration has its own draws whatever the number of
// iterations: a sweep of n iterations per set holds, set by set, the first n
// iterations of a sweep of 30, on one thread and on two, and its statistics
// are those of these n (a store of another size, or one a set did not run
// in, shows here).
TEST(IterationCount, SetsOfNAreTheFirstNOfThirty) {
    const auto ref = seeded_sets("nsim30", 30, 1, 10);
    ASSERT_EQ(ref.size(), 2u);
    struct Case {
        int n, jobs;
        std::size_t c50, ssb10, ssb90;  // places of the fractiles among the n sorted means
    };
    for (const Case c : {Case{10, 1, 4, 0, 7}, Case{10, 2, 4, 0, 7}, Case{1, 2, 0, 0, 0}}) {
        const auto got = seeded_sets("nsim" + std::to_string(c.n) + "-j" + std::to_string(c.jobs), c.n, c.jobs, 10);
        ASSERT_EQ(got.size(), 2u);
        const auto n = static_cast<std::size_t>(c.n);
        for (const auto& [k, v] : got) {
            SCOPED_TRACE("n " + std::to_string(c.n) + ", jobs " + std::to_string(c.jobs) + ", set " + std::to_string(k));
            EXPECT_EQ(v.columns, c.n);
            ASSERT_EQ(v.catches.size(), n * maxyear);
            const auto& want = ref.at(k);
            EXPECT_TRUE(std::equal(v.catches.begin(), v.catches.end(), want.catches.begin()));
            EXPECT_TRUE(std::equal(v.ssb.begin(), v.ssb.end(), want.ssb.begin()));
            // Cmean over all years, and C50, SSB10 and SSB90 from the
            // iterations' means.
            double total = 0.0;
            std::vector<float> cmeans, smeans;
            for (std::size_t i = 0; i < n; ++i) {
                double ci = 0.0, bi = 0.0;
                for (std::size_t y = 0; y < maxyear; ++y) {
                    ci += v.catches[i * maxyear + y];
                    bi += v.ssb[i * maxyear + y];
                }
                total += ci / maxyear / c.n;
                cmeans.push_back(static_cast<float>(ci / maxyear));
                smeans.push_back(static_cast<float>(bi / maxyear));
            }
            std::sort(cmeans.begin(), cmeans.end());
            std::sort(smeans.begin(), smeans.end());
            EXPECT_NEAR(v.stats(1), total, 1e-5 * total);
            EXPECT_NEAR(v.stats(3), cmeans[c.c50], 1e-5 * cmeans[c.c50]);
            EXPECT_NEAR(v.stats(10), smeans[c.ssb10], 1e-5 * smeans[c.ssb10]);
            EXPECT_NEAR(v.stats(12), smeans[c.ssb90], 1e-5 * smeans[c.ssb90]);
        }
        // The sets differ: neither holds the other's iterations.
        EXPECT_FALSE(got.at(1).catches == got.at(2).catches);
    }
}

// The legacy stream returns to its start after its period and not before;
// a trial's count is the number of its steps between the set's first seed
// and the seed the trial left.
TEST(LegacyPeriod, DrawsCountedBetweenSeeds) {
    double seed = start_seed;
    long long back = 0;
    for (long long k = 1; k <= legacy_period; ++k) {
        rnx(seed);
        if (seed == start_seed && back == 0) back = k;
    }
    EXPECT_EQ(back, legacy_period);
    for (const long long steps : {0LL, 1LL, 3617LL, legacy_period - 1}) {
        double to = start_seed;
        for (long long k = 0; k < steps; ++k) rnx(to);
        EXPECT_EQ(legacy_draws_between(start_seed, to), steps);
    }
    EXPECT_EQ(legacy_draws_between(start_seed, 0.5), -1);
}

// The bundled example draws 361,779 numbers in its first 100 iterations:
// 5,882,352 draws allow 1625 iterations a set, and 1626 are refused with a
// message giving both numbers; the legacy 1000 and a seeded stream are
// never refused.
TEST(LegacyPeriod, RefusesACountWhoseDrawsPassThePeriod) {
    struct Case {
        int nsim;
        bool seeded;
        int status;
        const char* said;
    };
    const Case cases[] = {
        {1625, false, 0, ""},
        {1626, false, 1, "1626 iterations per option set are too many for the legacy random stream: a set would "
                         "draw about 5,882,526 numbers (361,779 in the first 100 iterations of the first option "
                         "set, scaled), more than the 5,882,352 of its period, after which its draws repeat. Give "
                         "--seed S for the counter-based stream, which has no such limit, or at most about --nsim "
                         "1625\r\n"},
        {1000, false, 0, ""},
        {1000000, true, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nsim);
        InputCopy in(kExample, "period");
        Prepared p(in.dir(), false);
        if (c.seeded) stream_seed(*p.s, 1);
        p.s->nsim = c.nsim;
        EXPECT_EQ(testing::status_of(*p.s, [](State& st) { check_legacy_period(st); }), c.status);
        p.s->err.flush();
        std::fflush(p.err);
        std::rewind(p.err);
        std::string said(4096, '\0');
        said.resize(std::fread(said.data(), 1, said.size(), p.err));
        EXPECT_EQ(said.substr(0, std::string(c.said).size()), c.said);
        if (c.status == 0) {
            EXPECT_EQ(said, "");
        }
    }
}

}  // namespace
}  // namespace tacsim
