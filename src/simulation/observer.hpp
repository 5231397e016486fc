// What a sweep tells the one who runs it: how many option sets, when each
// starts and finishes, and each iteration. The driver supplies an observer
// for the progress line, for stopping at an interruption and for cutting the
// result files back to the last finished set; a parallel sweep calls the
// same hooks.
#pragma once

namespace tacsim {

struct State;

class SweepObserver {
public:
    virtual ~SweepObserver() = default;
    // Before the first option set, with the result files' headers written.
    virtual void sweep_started(State&, long long /*nsets*/) {}
    // Option set k (from 1) begins.
    virtual void set_started(State&, long long /*k*/) {}
    // Iteration `it` of the set in progress begins. May throw to end the run.
    virtual void iteration(State&, int /*it*/) {}
    // Every record of option set k is written (the files are flushed right
    // after). May throw to end the run.
    virtual void set_finished(State&, long long /*k*/) {}
    // Option set k is on disk: its records written and the files flushed.
    virtual void set_saved(State&, long long /*k*/) {}
    // Option sets a resumed run has already written (its first k sets are
    // not run again); 0 for a run from the start.
    virtual long long sets_done() const { return 0; }
};

}  // namespace tacsim
