// `tacsim tune`: for every combination of the other swept options, the value
// of one option at which a risk statistic meets its limit, found with whole
// option sets simulated exactly as a run simulates them.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "driver/options.hpp"
#include "management/rulebook.hpp"
#include "model/state.hpp"
#include "results/setstats.hpp"
#include "simulation/tuning.hpp"

namespace tacsim {

// The tuning of one combination: its option values, the search and the
// statistics of every point simulated (parallel to result.points).
struct TunedCombination {
    OptionVec par;
    TuneResult result;
    std::vector<SetValues> stats;
    // The Monte Carlo standard error of the tuned statistic at every point.
    std::vector<float> se;
    // 0: the search of the run's own stream; 1, 2, ...: of a further seed.
    int replicate = 0;
    std::string seed;  // the counter-based stream's seed; empty: the legacy stream
    // Tuning an ensemble: per point, every model's own statistics, in the
    // order of the models (reference models first); `stats` are the pooled.
    std::vector<std::vector<SetValues>> by_model;
};

// Parses a risk limit, a fraction in [0, 1] ("0.05") or a percentage
// ("5%"), into a percentage, the unit of the risks. False when it is
// neither.
bool parse_limit(const std::string& text, float& limit);

// Runs the tuning: prints the table on `out`, writes tune.csv into the
// output folder; messages on `err`. Returns the exit status (2 for a wrong
// request, 1 when the model or a file stops it).
int tune(const RunOptions& opts, const TuneOptions& t, std::FILE* out, std::FILE* err);

}  // namespace tacsim
