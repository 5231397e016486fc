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
