// The checkpoint of a run: after each option set that is on disk, what a
// resumed run needs to go on with the next set and end with the very bytes
// of an uninterrupted run. Kept in the results folder as `.tacsim-checkpoint`,
// written whole and handed to the disk; removed when the run ends normally.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "driver/options.hpp"
#include "model/state.hpp"

namespace tacsim {

inline constexpr const char* kCheckpointFile = ".tacsim-checkpoint";

struct Checkpoint {
    std::string program;   // SHA-256 of the program file
    std::string version;   // as --version says it
    std::string settings;  // the options that shape the result files
    std::vector<std::pair<std::string, std::string>> inputs;  // file, SHA-256
    long long sets = 0;    // option sets written
    long long guessed = 0, reruns = 0;
    std::vector<double> seconds;      // per set written
    std::vector<std::string> overflowed;  // files with asterisks so far
    std::vector<std::pair<std::string, long long>> files;  // name, length
    std::string carried;   // the model values the next set starts from
};

// The options of a run that shape its result files, as a checkpoint
// records them.
std::string checkpoint_settings(const RunOptions& opts);
// SHA-256 of this program's file (empty when it cannot be read).
std::string program_hash();
// SHA-256 of each input file the run read.
std::vector<std::pair<std::string, std::string>> input_hashes(const State& s);

std::string checkpoint_text(const Checkpoint& c);
// False when `text` is not a checkpoint of this format.
bool parse_checkpoint(const std::string& text, Checkpoint& c);

// What differs between the run a checkpoint was made by and this one
// (program, options, inputs), for the message that refuses it; empty when
// nothing does.
std::string checkpoint_mismatch(const Checkpoint& saved, const Checkpoint& now);

}  // namespace tacsim
