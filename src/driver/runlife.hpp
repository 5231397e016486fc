// One way through the life of a run or a tuning: the folder it writes into
// and its lock, the stops of the model, the interruption by a signal, and
// what becomes of its result files at every end.
//
// A run with options makes its result files in a staging folder inside the
// results folder and moves them into place when it ends: a run that stops
// before its first option set leaves the folder exactly as it found it, and
// a reader never meets a result file that is still being written. The
// argument-less run makes its files in place, one after the other as it
// always has (the scratch file first), and they stay whatever the end.
// Either way the finished files and the folder are handed to the disk at
// the end, so a power loss right after the run loses nothing.
#pragma once

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/platform.hpp"
#include "driver/options.hpp"
#include "model/state.hpp"

namespace tacsim {

// Threads of a run when none are asked for: the cores shared among the
// run's processes on this machine.
int default_jobs(int processes_here = 1);

// The seed, the input file names and the folders of a run, before anything
// is read.
void setnames(State& s, const RunOptions& opts);
// The input files read and checked as every run reads them: bio.inn, then
// opt.inn, then the stops that follow from them.
void read_inputs(State& s);
// The same for a run whose two streams are held until it is known whether
// it can go on (a tuning, the models of an ensemble), after its seed and
// names; `perrecruit` adds the per-recruit analysis every set starts from.
// On a stop, what the run would have said goes to `err` (when given) and its
// exit status is returned; otherwise 0.
int read_inputs_held(State& s, const RunOptions& opts, std::FILE* err, bool perrecruit);
// Stops that follow from the inputs alone, taken before the per-recruit
// analysis and before any result file is opened, so that a run that cannot
// go on leaves the results of the last good run as they are.
void stops_from_inputs(State& s);

// How the model or the program stopped a run: the exit status, and what is
// still to be said on the error stream (a record without its end; empty when
// the stop has said everything already).
struct Stopped {
    int status = 1;
    std::string said;
};
// For an exception thrown by the model or the program (a stop with its
// status, a value that cannot be read, memory, a fault of the program).
Stopped stopped_by(const std::exception_ptr& e);

// "Interrupted after k of N option sets" and the like.
std::string interrupted_after(long long k, long long n, const char* what);

// The files beside the legacy results that belong to one run: the tables,
// the record of the run and the report. A run that publishes removes those
// of an earlier run that it does not write itself.
const std::vector<std::string>& own_run_files();

// Name of the staging folder inside a results folder.
inline constexpr const char* kStagingFolder = ".tacsim-partial";

class RunLife;

// What differs between the runs that RunLife::live puts in order: a run of
// the option sets, a tuning, an ensemble. A step stops the run by throwing
// (a StopRun with its status, an interruption, a fault of the inputs);
// `stopped` turns that into the exit status.
class RunSteps {
public:
    virtual ~RunSteps() = default;
    // Whether the run writes into its folder (a check and the other
    // processes of an MPI run write nothing: no claim, no stage, no end).
    virtual bool writes() const = 0;
    // Says a message of the run's own on its error stream.
    virtual void say(const std::string& text) = 0;
    // Right after the folder is claimed, before the inputs.
    virtual void claimed(RunLife&) {}
    virtual void read_inputs() = 0;
    // The staging folder: where its path goes (nullptr: the run stages
    // nothing) and whether an earlier run's is taken over as it is.
    virtual std::string* stagedir() = 0;
    virtual bool adopts() const { return false; }
    // After the stage, before the sets: the result files opened.
    virtual void staged(RunLife&) {}
    virtual void run_sets(RunLife&) = 0;
    // The exit status for what a step threw; what is still to be said is said.
    virtual int stopped(const std::exception_ptr& e) = 0;
    // Whatever the end, before the folder is published or discarded: the
    // files closed; returns the status, worse when a file failed.
    virtual int closed(RunLife&, int status) { return status; }
    // Whether the run went far enough that its files are kept.
    virtual bool begun() const = 0;
    // The record of a kept run, written before it is published.
    virtual int record(int status) { return status; }
    // The files made in place (as named in the folder) and whether the run
    // is one run of the option sets (see RunLife::publish).
    virtual std::vector<std::string> files() const { return {}; }
    virtual bool one_run() const { return false; }
    // After the files are in place (a kept run only).
    virtual int published(RunLife&, int status) { return status; }
};

class RunLife {
public:
    // `folder`: the results folder (empty: the working folder); `in_place`:
    // the files are made in the folder itself.
    // `staging`: the name of its staging folder (a tuning has its own, so
    // that it leaves a run's to resume alone).
    RunLife(std::string folder, bool in_place, std::string staging = kStagingFolder);
    ~RunLife();
    RunLife(const RunLife&) = delete;
    RunLife& operator=(const RunLife&) = delete;

    // Whether a run with these options makes its files in place: the
    // argument-less run (threads and the progress line aside).
    static bool makes_files_in_place(const RunOptions& opts);

    // Creates the folder when missing and locks it for the length of the run,
    // so that a second run into it is refused instead of mixing its records
    // into this one's files. False, with the message in `why`, when it cannot.
    bool claim(std::string& why);
    // Before the first result file: a fresh staging folder (whatever an
    // earlier run that ended without a word left there), whose path is
    // returned; empty when the files are made in place. False, with the
    // message in `why`, when it cannot be made.
    // With `adopt` (a resumed run), the staging folder an earlier run left is
    // taken as it is, and kept at any end.
    bool stage(std::string& stagedir, std::string& why, bool adopt = false);

    // The run has begun its first option set: its files are kept at any end.
    void keep() { keep_ = true; }
    bool kept() const { return keep_ || in_place_; }

    // The end of a run that is kept: every staged file is handed to the disk
    // and moved over the file of its name in the folder; files made in place
    // (`names`, as named in the folder) are handed to the disk; then the
    // folder itself. False, with the message in `why`, on a failure.
    // A staged run of the option sets (`one_run`) also removes the files of
    // the program's own (own_run_files) that an earlier run left in the
    // folder and this run does not write, in the same step: a folder holds
    // one run. A tuning leaves them.
    bool publish(const std::vector<std::string>& names, std::string& why, bool one_run = false);
    // The end of a run that is not kept: the staged files are removed, and
    // the folder too when this run made it and it is empty.
    void discard();

    // The one way through a run's life: claim the folder, read the inputs,
    // stage, run the sets, close; then publish and record the run, or
    // discard what it staged. Returns the exit status.
    int live(RunSteps& run);

    // The folder as messages name it.
    std::string shown() const;
    // Path of a file in the results folder.
    std::string path(const std::string& name) const;

    // Path of a file in the folder as the run writes it: through the lock's
    // handle where the system allows, so that a folder removed and made anew
    // while the run goes on gets nothing of it. Messages name path(name).
    std::string at(const std::string& name) const;

private:
    std::string folder_, staging_name_, staging_;
    std::string handle_;  // the locked folder by its handle; empty: by its name
    bool in_place_;
    bool keep_ = false, adopted_ = false;
    platform::FolderLock lock_;
    std::vector<std::string> made_;  // folders this run created, outermost first
};

}  // namespace tacsim
