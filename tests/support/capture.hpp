// Reading back what the program wrote into a temporary file, and the exit
// status a stop would end the run with. Shared by the test fixtures.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "model/state.hpp"

namespace tacsim::testing {

// The text of f from byte `from` to its end; the stream is left at its end,
// ready to be written again.
inline std::string read_from(std::FILE* f, long from = 0) {
    std::fflush(f);
    std::fseek(f, from, SEEK_SET);
    std::string all;
    char buf[1 << 14];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) all.append(buf, n);
    std::fseek(f, 0, SEEK_END);
    return all;
}

// Records of a text, without their CR LF; a last line without one counts.
inline std::vector<std::string> split_records(const std::string& all) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < all.size()) {
        const std::size_t e = all.find("\r\n", at);
        if (e == std::string::npos) {
            lines.push_back(all.substr(at));
            break;
        }
        lines.push_back(all.substr(at, e - at));
        at = e + 2;
    }
    return lines;
}

// Runs f on the state; returns the exit status the run would end with: 0 when
// f returns, the status of a stop, 2 for a record-reading failure (whose
// message goes to *error when given).
template <class F>
int status_of(State& s, F&& f, std::string* error = nullptr) {
    try {
        f(s);
    } catch (const StopRun& st) {
        return st.status;
    } catch (const RecordError& e) {
        if (error != nullptr) *error = e.what();
        return 2;
    }
    return 0;
}

}  // namespace tacsim::testing
