// The option sweep on several threads (and, through a set runner of its own,
// on several processes), writing exactly what the one-thread sweep writes.
//
// Each option set runs on a worker with a model of its own; what the set
// writes to any file, standard output or the error stream is held in memory
// and handed to the real streams in sweep order. A set starts from the model
// the previous set leaves (a few values carry over, see docs/design.md);
// while the previous set still runs, a set starts from a guess, the model of
// the latest finished set, and the guess is confirmed before its records are
// written: the first iteration is replayed from the true model and the model
// and records after it must agree byte for byte, otherwise the set runs
// again.
#pragma once

#include <array>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/state.hpp"
#include "simulation/simulation.hpp"

namespace tacsim {

// Figures of a sweep: sets written, sets that ran from a guess, and sets that
// ran again because their guess was wrong.
struct SweepCount {
    long long sets = 0;
    long long guessed = 0;
    long long reruns = 0;
};

// The values an option set may read before writing them, as the previous set
// left them (docs/design.md lists them and why): the recruitment in force,
// the weights and maturity of year 0, the recruitment indices and the
// perceived F of the last year. With every other value as the per-recruit
// analysis left it, a set runs as it does after its predecessor. As bytes
// (for a checkpoint), and back onto a model; false when the bytes are not the
// values of this program's model.
std::string carried_bytes(const Model& m);
bool restore_carried(Model& m, std::string_view bytes);

// ---- the pieces, shared by the threads and the processes

// Streams of a set: units 11..27, standard output, the error stream.
inline constexpr int nstreams = 19;
OutFile& stream(State& s, int i);

// One option set to run: its number in the sweep, its values and the model
// it starts from.
struct SetJob {
    long long k = 0;
    Array<float, 1, noptions> par;
    std::shared_ptr<const Model> start;
};

// What a set left: its held records, the model after its first iteration
// (with the records' lengths then) and at its end, or how it stopped.
struct SetOutcome {
    SetJob job;
    std::array<std::string, nstreams> held;
    std::array<std::size_t, nstreams> firstlen{};
    std::shared_ptr<const Model> first;  // empty: stopped in the first iteration
    std::string firstresults;            // the first iteration's results (iteration_bytes)
    std::shared_ptr<const Model> end;    // empty: stopped, or cancelled
    // The set's results by iteration, with `end` (the store the set ran in).
    std::shared_ptr<SetResults> results;
    std::exception_ptr stop;
    bool cancelled = false;
    // Streams with numbers too wide for their fields, in the order of each
    // one's first such number.
    std::vector<std::string> overflowed;
    // Length of standard output's held records when the set's option values
    // were written (npos: not reached); the record of the run starts its
    // capture of a stopping message there.
    std::size_t conmark = std::string::npos;
};

// Result stores handed between threads: a finished set's store goes with
// its outcome and, when the outcome is dropped, back here for the next set
// that finishes, so that stores are made once, not per set.
class ResultsPool {
public:
    ResultsPool();
    // A spare store of nsim iterations (its arrays made when a set first
    // runs in it), or one given back earlier.
    std::shared_ptr<SetResults> take(int nsim);

private:
    struct Spares;
    std::shared_ptr<Spares> spares_;
};

// A worker's state: the run's file names and number of iterations, the
// per-iteration recruitment sets, every open unit holding its records in
// memory. Its result store is made at its first set.
void prepare_worker(State& w, const State& s);
// Runs the set `job` on w from job.start, iterations 1..upto; polls `cancel`
// between iterations and publishes the iteration reached in `progress`. A
// set that ends (upto is all its iterations, and it is not a `replay` of its
// first ones) hands its result store to the outcome and takes a spare one
// from `pool` (none: a new one).
void runset_held(State& w, const SetJob& job, SetOutcome& o, int upto, const std::atomic<bool>* cancel,
                 std::atomic<int>* progress, ResultsPool* pool = nullptr, bool replay = false);
// True when the set `o` ran from its guess exactly as it would have run from
// `actual` (replays its first iteration on `scratch`).
bool confirmed(State& scratch, const SetOutcome& o, const std::shared_ptr<const Model>& actual);
// Writes a confirmed set's held records to the run's streams and rethrows
// its stop.
void write_held(State& s, const SetOutcome& o);

// ---- the legacy stream's period

// The draws an option set takes from the legacy stream: counted in the
// first `iterations` iterations of the first option set, run on a copy of
// the model `s` with its inputs read (the per-recruit analysis first, as the
// run does), and that count scaled to the set's nsim iterations (0 when the
// trial stopped).
struct LegacyDraws {
    int iterations = 0;
    long long counted = 0;
    long long per_set = 0;
};
LegacyDraws legacy_draws(const State& s, int trial);
// With the legacy stream and a number of iterations other than the legacy
// 1000, stops the run (status 1, a message on the error stream giving both
// numbers) when a set would draw more numbers than the stream's period.
void check_legacy_period(State& s, int trial = 100);

// Where option sets run: a pool of threads in this process, or the ranks of
// an MPI job.
class SetRunner {
public:
    virtual ~SetRunner() = default;
    // Sets that may run at the same time.
    virtual int capacity() const = 0;
    // Queues a set; urgent sets go first.
    virtual void submit(SetJob job, bool urgent) = 0;
    // Waits up to `wait` for a finished set.
    virtual bool collect(SetOutcome& o, std::chrono::milliseconds wait) = 0;
    // Iteration reached by set k when it is running here (0 otherwise).
    virtual int iteration_of(long long k) const = 0;
    // Stops every set at its next iteration and forgets the queue.
    virtual void cancel() = 0;
};

// N threads, each with a model of its own.
std::unique_ptr<SetRunner> thread_runner(const State& s, int threads);

// The sweep on a runner. The state's observer hears of the sets in sweep
// order, as from the one-thread sweep: a set starts when the one before it
// is written, its iterations are those of its run, and it finishes when its
// records are written (before the files are flushed).
void optruns_on(State& s, SetRunner& runner, SweepCount& count);
// The sweep on `jobs` threads (1: the one-thread sweep itself).
void optruns_parallel(State& s, int jobs, SweepCount& count);

}  // namespace tacsim
