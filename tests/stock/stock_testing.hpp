// Helpers shared by the population-dynamics and per-recruit tests: a fresh
// model state with standard output captured, and reading back what a stream
// received.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "model/state.hpp"
#include "support/capture.hpp"

namespace tacsim::testing {

// A zero state whose standard output goes to a temporary file.
struct Captured {
    std::unique_ptr<State> state = make_state();
    std::FILE* con = std::tmpfile();
    std::FILE* files[3] = {nullptr, nullptr, nullptr};

    Captured() { state->con.attach(con, "stdout"); }
    ~Captured() {
        state.reset();  // its streams drain into the files first
        std::fclose(con);
        for (std::FILE* f : files)
            if (f) std::fclose(f);
    }
    Captured(const Captured&) = delete;
    Captured& operator=(const Captured&) = delete;

    State& s() { return *state; }

    // Switches unit u on and sends it to a temporary file (slot 0..2).
    void open_unit(int u, int slot) {
        files[slot] = std::tmpfile();
        state->iout(u) = 1;
        state->unit(u).attach(files[slot], "unit" + std::to_string(u));
    }

    static std::string read_all(std::FILE* f) { return read_from(f); }
    std::string console() {
        state->con.flush();
        return read_all(con);
    }
    std::string unit_text(int u, int slot) {
        if (state->unit(u).is_open()) state->unit(u).flush();
        return read_all(files[slot]);
    }
};

}  // namespace tacsim::testing
