#include "driver/driver.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <new>
#include <system_error>
#include <thread>

#include "driver/check.hpp"
#include "driver/checkpoint.hpp"
#include "driver/cli.hpp"
#include "driver/runlife.hpp"
#include "driver/runrecord.hpp"
#include "driver/runwatch.hpp"
#include "records/durable.hpp"
#include "io/input.hpp"
#include "io/outfiles.hpp"
#include "perrecruit/perrecruit.hpp"
#include "report/report.hpp"
#include "results/results.hpp"
#include "results/tables.hpp"
#include "simulation/parallel.hpp"
#include "simulation/processes.hpp"
#include "simulation/simulation.hpp"

namespace tacsim {

namespace {

// Flushes every stream; a failure here is reported but does not change an
// exit status that already reports a failure.
int finish(State& s, int status) {
    for (const LegacyFile& f : legacy_files) {
        if (!s.unit(f.unit).is_open()) continue;
        try {
            s.unit(f.unit).close(&s.con);
        } catch (const StopRun& st) {
            if (status == 0) status = st.status;
        }
    }
    try {
        s.con.flush();
    } catch (const StopRun& st) {
        if (status == 0) status = st.status;
    }
    // Last of all, whatever the end of the run: which files show numbers
    // too wide for their columns as asterisks.
    if (!s.overflow.names().empty()) {
        s.err.put("Warning: some values were too wide for their columns and show as asterisks in: ");
        bool first = true;
        for (const auto& name : s.overflow.names()) {
            if (!first) s.err.put(", ");
            s.err.put(name);
            first = false;
        }
        s.err.put("; --csv writes them in full");
        s.err.end_record();
    }
    try {
        s.err.flush();
    } catch (const StopRun&) {
    }
    return status;
}

void say_on_error_stream(State& s, const std::string& text) {
    s.err.put(text);
    s.err.end_record();
}

}  // namespace

namespace {

// Draws a page with `draw`: a table that is missing or unreadable, or a page
// that cannot be written, stops with the message on the error stream (exit
// status 1); what the page lacks for want of optional tables is noted on the
// error stream.
template <class Draw>
void draw_page(State& s, const Draw& draw) {
    try {
        const auto result = draw();
        for (const auto& note : result.notes) {
            s.err.put("Note: report.html: " + note);
            s.err.end_record();
        }
    } catch (const std::exception& e) {
        s.err.put(std::string("Cannot write the report: ") + e.what());
        s.err.end_record();
        throw StopRun{1};
    }
}

}  // namespace

void write_report_page(State& s, const std::string& dir, const report::RunContext& context) {
    draw_page(s, [&] { return report::write_report(dir, version_text(), context); });
}

void write_comparison_page(State& s, const std::vector<report::RunSource>& runs, const std::string& out,
                           const report::RunContext& context) {
    draw_page(s, [&] { return report::write_comparison(runs, out, version_text(), context); });
}

int run(State& s) { return run(s, RunOptions{}); }

namespace {

// The stopping message of a run: what it wrote on standard output and the
// error stream since its last finished stage, without the record ends.
std::string stop_message(const State& s) {
    std::string m = s.con.captured() + s.err.captured();
    std::string out;
    for (char c : m) {
        if (c == '\r') continue;
        out.push_back(c);
    }
    const auto first = out.find_first_not_of(" \n");
    if (first == std::string::npos) return "";
    const auto last = out.find_last_not_of(" \n");
    return out.substr(first, last - first + 1);
}

// The result files of the run, as named in the results folder.
std::vector<std::string> written_files(const State& s, const Tables& tables, const std::vector<std::string>& more) {
    std::vector<std::string> written;
    if (s.unit(13).name().size() > 0) written.push_back(unit_file(13));
    for (const LegacyFile& f : legacy_files) {
        if (switched(f) && s.iout(f.unit) == 1 && !s.unit(f.unit).name().empty())
            written.push_back(unit_file_name(s, f.unit));
    }
    for (const std::string& n : tables.names()) written.push_back(n);
    for (const std::string& n : more) written.push_back(n);
    return written;
}

// Writes run.json into the results folder; a failure is reported and turns
// a normal end into exit status 1.
int write_record(State& s, const Tables& tables, RunRecord& rec, int status, const std::vector<std::string>& more) {
    rec.ended = utc_now();
    rec.exit_status = status;
    rec.seconds = tables.seconds();
    rec.written = written_files(s, tables, more);
    rec.written.push_back("run.json");
    if (status != 0) rec.stop_message = stop_message(s);
    const std::string path = out_path(s, "run.json");
    if (write_whole(write_path(s, "run.json"), runrecord_json(s, rec))) return status;
    try {
        list_write(s.con, {"Cannot write output file ", path});
        s.con.flush();
    } catch (const StopRun&) {
    }
    return status == 0 ? 1 : status;
}

// The checkpoint after `k` option sets: the files as they are on disk now
// (every one flushed), the values the next set starts from, and what the
// record of the run needs of the sets so far.
void save_checkpoint(State& s, const RunLife& folder, Checkpoint& base, const Tables& tables, long long k,
                     const SweepCount& count, const std::vector<std::string>& more) {
    if (base.program.empty()) {
        base.program = program_hash();
        base.version = version_text();
        base.inputs = input_hashes(s);
    }
    Checkpoint c = base;
    c.sets = k;
    c.guessed = count.guessed;
    c.reruns = count.reruns;
    c.seconds = tables.seconds();
    c.overflowed = s.overflow.names();
    for (const std::string& name : written_files(s, tables, more)) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(write_path(s, name), ec);
        if (!ec) c.files.emplace_back(name, static_cast<long long>(size));
    }
    c.carried = carried_bytes(s);
    std::string why;
    const std::string path = folder.path(kCheckpointFile);
    if (!write_whole(folder.at(kCheckpointFile), checkpoint_text(c), &why)) {
        say_on_error_stream(s, "Cannot write the checkpoint " + path + ": " + why);
        throw StopRun{1};
    }
}

// A resumed run, its units and tables holding what it wrote
// again before its option sets: every file of the checkpoint is taken back
// (from the staging folder, or from the results folder where an interrupted
// run left it) and cut to its recorded length, and the open ones go on at
// their end; the model takes the values the next set starts from.
// What a user can do when a resume is refused.
std::string resume_advice() {
    return ". Run again without --resume to start afresh (the folder's results are then replaced), "
           "or resume into the folder that holds the interrupted run";
}

void take_over(State& s, const Checkpoint& c, const std::string& from, Tables& tables) {
    auto refuse = [&](const std::string& why) {
        say_on_error_stream(s, "Cannot resume from " + from + ": " + why + resume_advice());
        throw StopRun{1};
    };
    auto length_of = [&](const std::string& name) -> long long {
        for (const auto& [n, len] : c.files) {
            if (n == name) return len;
        }
        return -1;
    };
    for (const auto& [name, len] : c.files) {
        const std::string where = write_path(s, name);
        std::error_code ec;
        if (!std::filesystem::exists(where, ec)) {
            const std::string published = out_path(s, name);
            if (where == published || ::rename(published.c_str(), where.c_str()) != 0) {
                refuse("the result file " + published + " is missing");
            }
        }
        if (std::filesystem::file_size(where, ec) < static_cast<std::uintmax_t>(len) || ec) {
            refuse("the result file " + out_path(s, name) + " is shorter than it recorded");
        }
    }
    auto take = [&](const std::string& name, OutFile& out) {
        const long long len = length_of(name);
        if (len < 0 || !out.resume_at(write_path(s, name), len)) {
            refuse("the result file " + out_path(s, name) + " does not begin as this run's does");
        }
    };
    for (const LegacyFile& f : legacy_files) {
        if (s.unit(f.unit).holding()) take(unit_file_name(s, f.unit), s.unit(f.unit));
    }
    tables.resume(c.sets, c.seconds, [&](const std::string& name, OutFile& out, std::uintmax_t& size) {
        take(name, out);
        size = static_cast<std::uintmax_t>(length_of(name));
        return true;
    });
    // The files written whole before the option sets are as they were.
    for (const auto& [name, len] : c.files) {
        std::error_code ec;
        std::filesystem::resize_file(write_path(s, name), static_cast<std::uintmax_t>(len), ec);
    }
    if (!restore_carried(s, c.carried)) refuse("it was not made by this program");
    for (const auto& name : c.overflowed) s.overflow.note(name);
}

// A run of the option sets: the argument-less run, a run with options, its
// check, a resumed run, and each process of an MPI run.
class SetsRun final : public RunSteps {
public:
    SetsRun(State& s, const RunOptions& opts, std::FILE* term, const Processes* procs,
            const std::function<void(State&, long long)>& on_set);

    bool writes() const override { return !opts_.check && !helper_; }
    void say(const std::string& text) override { say_on_error_stream(s_, text); }
    void claimed(RunLife& folder) override;
    void read_inputs() override;
    std::string* stagedir() override { return &s_.stagedir; }
    bool adopts() const override { return resuming_; }
    void staged(RunLife& folder) override;
    void run_sets(RunLife& folder) override;
    int stopped(const std::exception_ptr& e) override;
    int closed(RunLife& folder, int status) override;
    // A run that stopped before its first option set leaves the results
    // folder as it found it.
    bool begun() const override { return watch_.total() > 0; }
    int record(int status) override;
    std::vector<std::string> files() const override { return written_files(s_, tables_, more_); }
    bool one_run() const override { return true; }
    int published(RunLife& folder, int status) override;

private:
    State& s_;
    const RunOptions& opts_;
    const Processes* procs_;
    const bool several_, helper_;
    const bool csv_;       // helper processes of an MPI run write no tables and no record
    const bool in_place_;  // the argument-less run makes its files in place, as it always has
    bool at_sweep_ = false;  // said so to the other processes
    Tables tables_;
    RunRecord rec_;
    RunWatch watch_;
    SweepCount count_;
    Checkpoint checkpoint_, resumed_;  // this run's, and the one it goes on from
    bool resuming_ = false;
    std::string checkpoint_path_;  // as messages name it
    long long saved_ = 0;  // sets in the checkpoint on disk
    std::vector<std::string> more_;  // files of the report
};

SetsRun::SetsRun(State& s, const RunOptions& opts, std::FILE* term, const Processes* procs,
                 const std::function<void(State&, long long)>& on_set)
    : s_(s), opts_(opts), procs_(procs), several_(procs != nullptr && procs->several()),
      helper_(several_ && procs->rank() > 0), csv_(opts.csv && !helper_),
      in_place_(RunLife::makes_files_in_place(opts)), watch_(opts.quiet || opts.check || helper_ ? nullptr : term) {
    if (csv_) {
        rec_.args = opts.args;
        rec_.philox_seed = opts.seed;
        rec_.risk_limit = opts.risk_limit.value_or(5.0f);
        rec_.biomass_unit = opts.biomass_unit;
        rec_.number_unit = opts.number_unit;
        rec_.started = utc_now();
        s.con.capture(true);
        s.err.capture(true);
    }
#ifdef SIGXFSZ
    // A file that outgrows the size limit of the process then fails to write
    // like a file on a full disk, and is reported by name, instead of ending
    // the run without a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    for (const LegacyFile& f : legacy_files) s.unit(f.unit).set_overflow_log(&s.overflow);
    s.con.set_overflow_log(&s.overflow);
    if (!helper_) s.observer = &watch_;
    watch_.on_finished = on_set;
    setnames(s, opts);
    checkpoint_.settings = checkpoint_settings(opts);
    // Given any argument, the model's messages go to the error stream.
    if (opts.args.size() > 1) messages_to_error_stream(s);
    rec_.seed = s.seed;
    s.holdfiles = helper_;
}

void SetsRun::claimed(RunLife& folder) {
    // The scratch file: created empty and never written; first of all in
    // the argument-less run, as it always was.
    if (in_place_ && !s_.unit(13).open(out_path(s_, unit_file(13)))) {
        stop_with(s_, {"Cannot open output file ", out_path(s_, unit_file(13))});
    }
    const std::string cp = checkpoint_path_ = folder.path(kCheckpointFile);
    if (opts_.resume && std::filesystem::exists(cp)) {
        std::ifstream in(cp, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!parse_checkpoint(text.str(), resumed_)) {
            say("Cannot resume from " + cp + ": it is not a checkpoint of this program" + resume_advice());
            throw StopRun{1};
        }
        resuming_ = true;
    } else if (opts_.resume) {
        say("Nothing to resume in " + folder.shown() + ": the run starts from its first option set");
    }
}

void SetsRun::read_inputs() {
    tacsim::read_inputs(s_);
    if (csv_) rec_.option_sets = countsets(s_);
    if (!resuming_) return;
    checkpoint_.program = program_hash();
    checkpoint_.version = version_text();
    checkpoint_.inputs = input_hashes(s_);
    const std::string differs = checkpoint_mismatch(resumed_, checkpoint_);
    if (!differs.empty()) {
        say("Cannot resume from " + checkpoint_path_ + ": " + differs + resume_advice());
        throw StopRun{1};
    }
}

void SetsRun::staged(RunLife& folder) {
    if (opts_.check) return;
    if (writes() && !in_place_ && !s_.unit(13).open(out_path(s_, unit_file(13)), write_path(s_, unit_file(13)))) {
        stop_with(s_, {"Cannot open output file ", out_path(s_, unit_file(13))});
    }
    // A run from the start makes its files afresh: a checkpoint an earlier
    // run left no longer describes them.
    if (!helper_ && !resuming_) {
        std::error_code ec;
        std::filesystem::remove(folder.at(kCheckpointFile), ec);
    }
    // A resumed run writes again what comes before the option sets, held
    // in memory, to take the files over where they end.
    s_.holdfiles = helper_ || resuming_;
    prepfiles(s_);
    if (csv_) {
        // The report draws the first iterations of every set in its fan charts.
        tables_.open(s_, s_.outdir, opts_.iterations, opts_.report);
        s_.tables = &tables_;
    }
    s_.con.restart_capture();
    yieldrecr(s_);
    if (csv_) tables_.writeperrecruit(s_);
    s_.holdfiles = helper_;
    if (resuming_) {
        take_over(s_, resumed_, folder.path(kCheckpointFile), tables_);
        watch_.resume_after(resumed_.sets);
        count_.guessed = resumed_.guessed;
        count_.reruns = resumed_.reruns;
        saved_ = resumed_.sets;
    }
    if (!helper_) {
        watch_.on_saved = [this, &folder](State& st, long long k) {
            save_checkpoint(st, folder, checkpoint_, tables_, k, count_, more_);
            saved_ = k;
        };
    }
    s_.con.restart_capture();
}

void SetsRun::run_sets(RunLife&) {
    if (opts_.check) {
        s_.con.flush();
        print_check(s_, stdout, opts_.jobs > 0 ? opts_.jobs : default_jobs());
        return;
    }
    const int jobs = opts_.jobs > 0 ? opts_.jobs : default_jobs(several_ ? procs_->local_size() : 1);
    s_.jobs = jobs;
    if (several_) {
        at_sweep_ = true;
        const auto ready = sweep_ready(*procs_, true);
        if (helper_) {
            if (ready[0]) serve_sets(s_, *procs_, jobs);
            return;
        }
        optruns_ranks(s_, *procs_, ready, jobs, count_);
    } else {
        optruns_parallel(s_, jobs, count_);
    }
    s_.guessed_sets = count_.guessed;
    s_.rerun_sets = count_.reruns;
    closefiles(s_);
    watch_.clear_line();
    if (interruption() != 0) throw Interrupted{interruption()};
}

int SetsRun::stopped(const std::exception_ptr& e) {
    try {
        std::rethrow_exception(e);
    } catch (const Interrupted& in) {
        watch_.clear_line();
        if (!opts_.check) {
            watch_.cut_back(s_);
            // The rows of a set that finished before the signal came.
            try {
                tables_.commit(&s_.con);
            } catch (const StopRun&) {
            }
            s_.con.flush();
            say(interrupted_after(watch_.finished(), watch_.total(), "option sets"));
            // At once: mpirun, signalled too, ends its processes soon after.
            try {
                s_.err.flush();
            } catch (const StopRun&) {
            }
        }
        return 128 + in.signal;
    } catch (...) {
        const Stopped st = stopped_by(std::current_exception());
        if (!st.said.empty()) say(st.said);
        return st.status;
    }
}

int SetsRun::closed(RunLife& folder, int status) {
    watch_.clear_line();
    s_.observer = nullptr;
    // The other processes wait for word whether this one reached the sweep.
    if (several_ && !at_sweep_) sweep_ready(*procs_, false);
    if (helper_) return 0;
    s_.tables = nullptr;
    try {
        tables_.close(&s_.con);
    } catch (const StopRun& st) {
        if (status == 0) status = st.status;
    }
    status = finish(s_, status);
    // The checkpoint: after an interruption it holds every set the files
    // hold; after a stop it stays as it was, so that the run can go on once
    // the cause is mended; after a normal end it goes (when published).
    if (!opts_.check && status > 128 && watch_.finished() > saved_) {
        try {
            save_checkpoint(s_, folder, checkpoint_, tables_, watch_.finished(), count_, more_);
        } catch (const StopRun&) {
        }
    }
    return status;
}

int SetsRun::record(int status) {
    if (opts_.report && status == 0) {
        more_.push_back(report::shape_file);
        more_.push_back(report::report_file);
    }
    return csv_ ? write_record(s_, tables_, rec_, status, more_) : status;
}

int SetsRun::published(RunLife& folder, int status) {
    s_.stagedir.clear();
    // Only now that every file is in place: a run killed before this point
    // resumes from the checkpoint, after it there is nothing to resume.
    if (status == 0) {
        std::error_code ec;
        std::filesystem::remove(folder.at(kCheckpointFile), ec);
        sync_path(folder.shown());
    }
    // The report, drawn from the finished tables and run.json; when it
    // cannot be written, run.json says so too.
    if (opts_.report && status == 0) {
        report::RunContext context;
        context.blim = s_.blim;
        context.vtype = s_.vtype;
        context.risk_limit = opts_.risk_limit.value_or(5.0f);
        context.biomass_unit = opts_.biomass_unit;
        context.number_unit = opts_.number_unit;
        try {
            write_report_page(s_, s_.outdir.empty() ? "." : s_.outdir, context);
        } catch (const StopRun& st) {
            status = st.status;
            s_.err.flush();
            more_.pop_back();  // no report.html
            if (opts_.csv) status = write_record(s_, tables_, rec_, status, more_);
        }
    }
    return status;
}

}  // namespace

int run(State& s, const RunOptions& opts, std::FILE* term, const Processes* procs,
        const std::function<void(State&, long long)>& on_set) {
    SetsRun sets(s, opts, term, procs, on_set);
    RunLife folder(s.outdir, RunLife::makes_files_in_place(opts));
    return folder.live(sets);
}

}  // namespace tacsim
