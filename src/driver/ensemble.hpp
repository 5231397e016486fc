// `tacsim ensemble FILE -o OUT`: one set of rules judged across several
// operating models. FILE (CSV: name,folder,weight,set) names the models, each
// an ordinary input folder, in a reference set (weighted) and a robustness
// set. Every model runs as `tacsim --csv FOLDER -o OUT/<name>` would, one after
// the other, each on the run's threads and processes; then the statistics of
// the reference models are pooled with their weights (OUT/ensemble.csv), each
// model's are listed (OUT/by_model.csv), and the robustness models that meet
// the risk limit are counted per set (OUT/robustness.csv).
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "driver/options.hpp"
#include "model/state.hpp"
#include "results/tables.hpp"

namespace tacsim {

class Processes;

// The tables in the ensemble's folder are described in results/tables.hpp.
// The ensemble's own progress (the models finished and what each set of
// every model left for pooling), kept until the ensemble ends normally.
inline constexpr const char* kEnsembleProgress = ".tacsim-ensemble";

struct OperatingModel {
    std::string name;
    std::string folder;  // as FILE gives it, relative to FILE's folder
    std::string path;    // the folder as the program reaches it
    bool reference = true;
    float weight = 0.0f;  // normalised over the reference set; 0 for robustness
    int line = 0;         // of FILE
};

// Reads an ensemble file; on a fault, nullopt with the message (naming the
// file and line) in `why`.
std::optional<std::vector<OperatingModel>> read_ensemble(const std::string& file, std::string& why);

// The values option k takes in the sweep of the inputs read into `s`.
std::vector<float> sweep_values(const State& s, int k);
// Why the option sets of `s` (read from model `name`) differ from those of
// `first` (model `first_name`): the option and both values; empty when they
// are the same.
std::string option_sets_differ(const State& first, const std::string& first_name, const State& s,
                               const std::string& name);

// Runs the ensemble of `opts.ensemble_file` into `opts.output`; returns the
// exit status. Messages on `err`; `term` is the terminal for the progress
// line (nullptr: none).
int run_ensemble(const RunOptions& opts, std::FILE* out, std::FILE* err, std::FILE* term, const Processes* procs);

}  // namespace tacsim
