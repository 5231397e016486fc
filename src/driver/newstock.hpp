// `tacsim new DIR`: a stock of one's own, started from the commented example
// inputs that the program carries.
#pragma once

#include <cstdio>
#include <string>

namespace tacsim {

// Writes the example's bio.inn and opt.inn into `dir` (created when
// missing) and the next commands to run on `out`; 0. A folder that already
// holds inputs is refused, as is one that cannot be made or written: the
// reason on `err`, 1.
int new_stock(const std::string& dir, std::FILE* out, std::FILE* err);

}  // namespace tacsim
