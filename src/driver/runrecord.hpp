// The record of a run (run.json): what ran, on which inputs, how long each
// option set took, what was written and how the run ended.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "driver/options.hpp"
#include "model/state.hpp"

namespace tacsim {

struct RunRecord {
    std::vector<std::string> args;
    std::string started, ended;  // UTC, ISO 8601
    double seed = 0.0;  // the random stream's start
    std::optional<unsigned long long> philox_seed;  // --seed: the counter-based stream's key
    long long option_sets = 0;
    std::vector<double> seconds;         // per finished option set
    std::vector<std::string> written;    // result files
    int exit_status = 0;
    std::string stop_message;            // empty: none
    float risk_limit = 5.0f;             // %, drawn by the report
    std::string biomass_unit, number_unit;  // as given on the command line; empty: not given
};

// The present moment in UTC as "2026-12-07T13:00:00Z".
std::string utc_now();
// SHA-256 of a file as 64 lower-case hex digits; empty when it cannot be read.
std::string sha256_file(const std::string& path);
// The input files the run has read (or started to read), as named in the
// input folder.
std::vector<std::string> input_files(const State& s);
// The JSON text of the record.
std::string runrecord_json(const State& s, const RunRecord& r);

}  // namespace tacsim
