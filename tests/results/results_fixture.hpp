// A model state whose output units and standard output go to temporary
// files that can be read back record by record.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "driver/state.hpp"

namespace tacsim::testing {

class ResultsState {
public:
    ResultsState() : state_(make_state()), con_(std::tmpfile()) { state_->con.attach(con_, "standard output"); }
    ~ResultsState() {
        state_.reset();  // streams drain into their files first
        for (std::FILE* f : files_)
            if (f) std::fclose(f);
        std::fclose(con_);
    }
    ResultsState(const ResultsState&) = delete;
    ResultsState& operator=(const ResultsState&) = delete;

    State& s() { return *state_; }

    // Switches unit u on and sends it to a temporary file.
    void open(int u) {
        files_[u - 11] = std::tmpfile();
        state_->iout(u) = 1;
        state_->unit(u).attach(files_[u - 11], "unit " + std::to_string(u));
    }

    // Records written so far to unit u (0: standard output), without CR LF.
    std::vector<std::string> records(int u) {
        OutFile& o = (u == 0) ? state_->con : state_->unit(u);
        std::FILE* f = (u == 0) ? con_ : files_[u - 11];
        o.flush();
        std::fflush(f);
        std::rewind(f);
        std::string all;
        char buf[1 << 14];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) all.append(buf, n);
        std::vector<std::string> lines;
        for (std::size_t at = 0, e; at < all.size(); at = e + 2) {
            e = all.find("\r\n", at);
            if (e == std::string::npos) e = all.size();
            lines.push_back(all.substr(at, e - at));
        }
        return lines;
    }

    // Exit status of a stop inside f (0 when f returns normally).
    template <class F>
    int status_of(F&& f) {
        try {
            f(*state_);
        } catch (const StopRun& st) {
            return st.status;
        }
        return 0;
    }

private:
    std::unique_ptr<State> state_;
    std::FILE* con_;
    std::FILE* files_[17] = {};
};

}  // namespace tacsim::testing
