// What the command line asks of a run. Adding an option is a field here and
// one line in the parser (driver/cli.cpp).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tacsim {

// `tacsim tune`: the option tuned and the limit its risk must meet.
struct TuneOptions {
    std::string option;  // the option by its header name for the run's rule
    std::string limit;   // "0.05" or "5%"
    std::string statistic = "risk3";
    std::string window = "all";
    float tolerance = 0.0f;  // 0: a hundredth of the interval
    // Searches again under this many further seeds of the counter-based
    // stream, for the spread of the tuned value.
    int replicates = 0;
    // Tuning an ensemble: "pooled" (the pooled reference statistic meets the
    // limit) or "each" (every reference model's does).
    std::string criterion = "pooled";
};

struct RunOptions {
    // Folder holding bio.inn and opt.inn and the files they name; empty: the
    // working folder, and file names in messages stay bare.
    std::string dir;
    // Folder the result files go to (created when missing); empty: `dir`.
    std::string output;
    // Read and check the inputs, print a summary and an estimate of the run
    // time, write nothing.
    bool check = false;
    // No progress line on a terminal.
    bool quiet = false;
    // Threads the option sets run on; 0: one per core.
    int jobs = 0;
    // Also write the results as CSV tables and a record of the run
    // (run.json); with `iterations` also every iteration's series.
    bool csv = false;
    bool iterations = false;
    // The command line as given, for the record of the run.
    std::vector<std::string> args;
    // After the run, write report.html into the results folder; the run then
    // also writes the CSV tables it is drawn from and sample_iterations.csv.
    bool report = false;
    // `tacsim report [DIR...]`: no run, only report.html from the tables of
    // earlier runs in `report_dirs` (none: the working folder); one run's
    // page goes into its folder, a page of several into `output`, each run
    // named by its folder or by its entry of `report_labels`.
    bool report_only = false;
    std::vector<std::string> report_dirs;
    std::vector<std::string> report_labels;
    // --risk-limit: the risk limit (%) drawn on the report's risk charts and
    // recorded in run.json; none given: 5 %, or the run's record for
    // `tacsim report`.
    std::optional<float> risk_limit;
    // --biomass-unit, --number-unit: the units of the input's biomasses and
    // numbers, for the report's labels (recorded in run.json).
    std::string biomass_unit, number_unit;
    // Go on from the checkpoint an interrupted or killed run left in the
    // results folder (from the start when there is none).
    bool resume = false;
    // `tacsim new DIR`: the example's inputs into a new folder, no run.
    bool new_stock = false;
    std::string new_dir;
    // --seed: draw from the counter-based stream keyed by this seed instead
    // of the legacy stream.
    std::optional<unsigned long long> seed;
    // --nsim: iterations (simulated futures) per option set; none given: the
    // legacy 1000.
    std::optional<int> nsim;
    // `tacsim ensemble FILE`: the operating models FILE names, each run into
    // a folder of its own inside `output`, their statistics pooled.
    bool ensemble = false;
    std::string ensemble_file;
    // The subcommand `tune` was given, with these settings.
    bool tune = false;
    TuneOptions tuning;
};

}  // namespace tacsim
