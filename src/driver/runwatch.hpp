// Watching a run: the progress line on a terminal, interruption by a signal,
// and the marks that let the result files be cut back to the end of the last
// finished option set.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "model/state.hpp"
#include "simulation/observer.hpp"

namespace tacsim {

// Thrown at the first iteration after a signal asked the run to stop.
struct Interrupted {
    int signal;
};

// Makes SIGINT, SIGTERM and SIGHUP note themselves instead of ending the
// process; the run then stops at its next iteration.
void catch_interruptions();
// The signal noted since, 0 when none.
int interruption();

// A duration for people: "40 s", "3 min 20 s", "2 h 05 min".
std::string human_duration(double seconds);

class RunWatch : public SweepObserver {
public:
    // `term`: the terminal for the progress line, or nullptr for none.
    explicit RunWatch(std::FILE* term) : term_(term) {}

    void sweep_started(State& s, long long nsets) override;
    void set_started(State& s, long long k) override;
    void iteration(State& s, int it) override;
    void set_finished(State& s, long long k) override;
    void set_saved(State& s, long long k) override {
        if (on_saved) on_saved(s, k);
    }
    long long sets_done() const override { return done_; }
    // A resumed run: its first k sets were written by an earlier run.
    void resume_after(long long k) { done_ = finished_ = k; }
    // Told when a set is on disk (the run's checkpoint).
    std::function<void(State&, long long)> on_saved;
    // Told when a set has ended, the state holding its results (before its
    // records are on disk).
    std::function<void(State&, long long)> on_finished;

    long long total() const { return total_; }
    long long finished() const { return finished_; }
    // Cuts every open result file back to the end of the last finished
    // option set (the headers alone when none finished).
    void cut_back(State& s) const;
    // Clears the progress line, if one is shown, and ends the opening line.
    void clear_line();

private:
    using Clock = std::chrono::steady_clock;
    void draw(int it);

    std::FILE* term_;
    long long total_ = 0, finished_ = 0, current_ = 0, done_ = 0;
    int nsim_ = 1000;  // iterations per set
    Array<long long, 11, 27> marks_;
    long long con_mark_ = -1;  // standard output: only its buffer can be cut
    Clock::time_point start_, last_draw_;
    bool opening_open_ = false;  // "N option sets" written, its estimate not yet
    bool line_shown_ = false;
};

}  // namespace tacsim
