// A model state whose output units and standard output go to temporary
// files that can be read back record by record.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "model/state.hpp"
#include "support/capture.hpp"

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
        return split_records(read_from(f));
    }

    // Exit status of a stop inside f (0 when f returns normally).
    template <class F>
    int status_of(F&& f) {
        return testing::status_of(*state_, f);
    }

private:
    std::unique_ptr<State> state_;
    std::FILE* con_;
    std::FILE* files_[17] = {};
};

}  // namespace tacsim::testing
