// The single iterations that the report draws in its fan charts: the first
// five iterations of every option set, year by year, as a small table
// (sample_iterations.csv) beside the others. Written by a run with --report,
// so that the report needs neither the full per-iteration series nor a
// second run.
#pragma once

#include <string>

#include "io/records.hpp"
#include "model/state.hpp"

namespace tacsim::report {

inline constexpr int sample_count = 5;

// Header row: set, iteration, year, ssb, tsb, f, catch, tac, recruitment.
void sample_header(std::string& b);
// Rows of option set `set` from the result arrays of its first iterations,
// years 0..40 of the model as calendar years.
void sample_rows(const State& s, long long set, std::string& b);

// The file: rows of a set are kept in memory when the set ends and written
// with the other result files, so the file only ever holds whole sets.
class SampleTable {
public:
    // Creates the file with its header row; false when it cannot be created.
    bool open(const std::string& path, const std::string& where = {});
    // Rows of option set number `set` (1, 2, ... in sweep order), into memory.
    void endset(const State& s, long long set);
    // Writes the rows of the finished set (nothing when the file is not
    // open); a write failure stops the run with the file's name (exit
    // status 1).
    void commit(OutFile* console);
    void close(OutFile* console);
    const std::string& path() const { return path_; }

private:
    OutFile out_;
    std::string path_, rows_;
};

}  // namespace tacsim::report
