// A folder holds one run: a run that publishes its files removes the tables,
// the record and the report an earlier run left there and this run does not
// write; a redraw of the report is not a run and keeps the tables; files of
// the user stay.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "../golden/run_helper.hpp"
#include "driver/runlife.hpp"
#include "records/durable.hpp"

namespace fs = std::filesystem;

TEST(OneRunPerFolder, APublishedRunRemovesWhatAnEarlierRunLeftThatItDoesNotWrite) {
    struct Step {
        std::vector<std::string> args;
        std::vector<std::string> present, absent;
    };
    const std::vector<Step> steps = {
        {{"-q", "--report", "."},
         {"report.html", "ruleshape.csv", "sets.csv", "yearly.csv", "sample_iterations.csv", "run.json", "Results"},
         {}},
        {{"-q", "."},
         {"Results", "notes.txt"},
         {"report.html", "ruleshape.csv", "sets.csv", "yearly.csv", "summary.csv", "perrecruit.csv", "refpoints.csv",
          "sample_iterations.csv", "run.json"}},
        {{"-q", "--csv", "."}, {"sets.csv", "run.json", "Results"}, {"report.html", "ruleshape.csv"}},
        // A redraw of the page: the tables stay.
        {{"report", "."}, {"report.html", "sets.csv", "run.json"}, {}},
        // A run that stops on its inputs publishes nothing and removes nothing.
        {{"-q", "missing-folder-of-inputs"}, {"report.html", "sets.csv", "run.json"}, {}},
    };
    const fs::path dir = tacsim_test::fresh_dir("one-run");
    const fs::path basic = fs::path(TACSIM_SOURCE_DIR) / "tests" / "golden" / "data" / "basic";
    for (const char* f : {"bio.inn", "opt.inn"}) fs::copy_file(basic / f, dir / f);
    std::ofstream(dir / "notes.txt") << "a file of the user\n";
    for (const Step& s : steps) {
        std::string shown;
        for (const auto& a : s.args) shown += a + " ";
        tacsim_test::run_with(dir, s.args);
        for (const auto& f : s.present) EXPECT_TRUE(fs::exists(dir / f)) << shown << ": " << f << " missing";
        for (const auto& f : s.absent) EXPECT_FALSE(fs::exists(dir / f)) << shown << ": " << f << " left";
    }
}

// A run writes into the folder it locked: when the folder is removed and made
// anew under its name while the run goes on, the new one gets nothing, and
// the run says so instead of ending as if its files were in place.
TEST(OneRunPerFolder, AFolderMadeAnewWhileTheRunGoesOnGetsNothingOfIt) {
    const fs::path dir = tacsim_test::fresh_dir("one-run-anew");
    for (const bool replaced : {false, true}) {
        const fs::path out = dir / (replaced ? "replaced" : "kept");
        tacsim::RunLife life(out.string(), false);
        std::string why, stagedir;
        ASSERT_TRUE(life.claim(why)) << why;
        ASSERT_TRUE(life.stage(stagedir, why)) << why;
        std::ofstream(fs::path(stagedir) / "Results") << "results\n";
        life.keep();
        std::string checkpoint_why;
        if (replaced) {
            fs::remove_all(out);
            fs::create_directory(out);
        }
        EXPECT_TRUE(tacsim::write_whole(life.at(".tacsim-checkpoint"), "{}\n", &checkpoint_why) != replaced) << checkpoint_why;
        EXPECT_EQ(life.publish({"Results"}, why, true), !replaced) << why;
        EXPECT_EQ(fs::exists(out / "Results"), !replaced);
        EXPECT_EQ(fs::exists(out / ".tacsim-checkpoint"), !replaced);
        if (replaced) {
            EXPECT_NE(why.find("was removed or replaced"), std::string::npos) << why;
        }
    }
}

// A resume that is refused says what the user can do next.
TEST(OneRunPerFolder, ARefusedResumeSaysWhatToDo) {
    const fs::path dir = tacsim_test::fresh_dir("one-run-resume");
    const fs::path basic = fs::path(TACSIM_SOURCE_DIR) / "tests" / "golden" / "data" / "basic";
    for (const char* f : {"bio.inn", "opt.inn"}) fs::copy_file(basic / f, dir / f);
    std::ofstream(dir / ".tacsim-checkpoint") << "not a checkpoint\n";
    const auto r = tacsim_test::run_with(dir, {"--resume", "-q", "."});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Cannot resume from ./.tacsim-checkpoint: it is not a checkpoint of this program. Run again without "
              "--resume to start afresh (the folder's results are then replaced), or resume into the folder that "
              "holds the interrupted run\n");
}

// The one way through a run's life: every step in its order, a stop before
// the run begins leaves nothing (the folder it made goes too), a stop after
// it begins keeps, records and publishes what it made, and a run that writes
// nothing (a check) claims nothing.
TEST(OneRunPerFolder, ARunsLifeTakesItsStepsInOrder) {
    enum At { nowhere, inputs, sets };
    struct Steps final : tacsim::RunSteps {
        bool write = true, begins = true;
        At stop = nowhere;
        std::string log, dir;
        bool writes() const override { return write; }
        void say(const std::string& text) override { log += "said(" + text.substr(0, 14) + ") "; }
        void claimed(tacsim::RunLife&) override { log += "claimed "; }
        void read_inputs() override {
            log += "inputs ";
            if (stop == inputs) throw tacsim::StopRun{2};
        }
        std::string* stagedir() override { return &dir; }
        void staged(tacsim::RunLife&) override {
            log += "staged ";
            if (!dir.empty()) std::ofstream(fs::path(dir) / "Results") << "results\n";
        }
        void run_sets(tacsim::RunLife&) override {
            log += "sets ";
            if (stop == sets) throw tacsim::StopRun{1};
        }
        int stopped(const std::exception_ptr& e) override { return note("stopped ", tacsim::stopped_by(e).status); }
        int closed(tacsim::RunLife&, int status) override { return note("closed ", status); }
        bool begun() const override { return begins; }
        int record(int status) override { return note("record ", status); }
        int published(tacsim::RunLife&, int status) override { return note("published ", status); }
        int note(const char* step, int status) {
            log += step;
            return status;
        }
    };
    struct Case {
        bool write, begins, busy;
        At stop;
        int status;
        std::string log;
        bool folder, results;
    };
    const std::vector<Case> cases = {
        {true, true, false, nowhere, 0, "claimed inputs staged sets closed record published ", true, true},
        {true, false, false, inputs, 2, "claimed inputs stopped closed ", false, false},
        {true, true, false, sets, 1, "claimed inputs staged sets stopped closed record published ", true, true},
        {false, true, false, nowhere, 0, "inputs staged sets closed ", false, false},
        {true, false, true, nowhere, 1, "said(Another run is) stopped closed ", true, false},
    };
    const fs::path dir = tacsim_test::fresh_dir("one-run-life");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const fs::path out = dir / std::to_string(i);
        tacsim::RunLife other(out.string(), false);
        std::string why;
        if (c.busy) {
            ASSERT_TRUE(other.claim(why)) << why;
        }
        Steps steps;
        steps.write = c.write;
        steps.begins = c.begins;
        steps.stop = c.stop;
        tacsim::RunLife life(out.string(), false);
        EXPECT_EQ(life.live(steps), c.status) << i;
        EXPECT_EQ(steps.log, c.log) << i;
        EXPECT_EQ(fs::exists(out), c.folder) << i;
        EXPECT_EQ(fs::exists(out / "Results"), c.results) << i;
        EXPECT_FALSE(fs::exists(out / tacsim::kStagingFolder)) << i;
    }
}
