// The command line: `tacsim [OPTIONS] [DIR]`, GNU style.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "driver/options.hpp"

namespace tacsim {

// Parses the arguments into `opts`. Returns nothing when the run should go
// ahead; otherwise the exit status to end with, after writing the help or
// version text to `out` (status 0) or one line naming the problem and
// pointing to --help to `err` (status 2).
std::optional<int> parse_command_line(int argc, const char* const* argv, RunOptions& opts, std::FILE* out,
                                      std::FILE* err);

// "tacsim VERSION (commit HASH)", as --version prints it.
std::string version_text();

}  // namespace tacsim
