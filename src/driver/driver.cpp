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
#include "io/durable.hpp"
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
    for (int k = 11; k <= 27; ++k) {
        if (!s.unit(k).is_open()) continue;
        try {
            s.unit(k).close(&s.con);
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
    if (s.unit(13).name().size() > 0) written.push_back("kladd");
    for (int k = 11; k <= 27; ++k) {
        if (k != 13 && s.iout(k) == 1 && !s.unit(k).name().empty()) written.push_back(unit_file_name(s, k));
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
    for (int k = 11; k <= 27; ++k) {
        if (s.unit(k).holding()) take(unit_file_name(s, k), s.unit(k));
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

}  // namespace

int run(State& s, const RunOptions& opts, std::FILE* term, const Processes* procs,
        const std::function<void(State&, long long)>& on_set) {
    int status = 0;
    const bool several = procs != nullptr && procs->several();
    const bool helper = several && procs->rank() > 0;
    bool at_sweep = false;  // said so to the other processes
    // Helper processes of an MPI run write no tables and no record.
    const bool csv = opts.csv && !helper;
    Tables tables;
    RunRecord rec;
    if (csv) {
        rec.args = opts.args;
        rec.philox_seed = opts.seed;
        rec.risk_limit = opts.risk_limit.value_or(5.0f);
        rec.biomass_unit = opts.biomass_unit;
        rec.number_unit = opts.number_unit;
        rec.started = utc_now();
        s.con.capture(true);
        s.err.capture(true);
    }
#ifdef SIGXFSZ
    // A file that outgrows the size limit of the process then fails to write
    // like a file on a full disk, and is reported by name, instead of ending
    // the run without a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    for (int k = 11; k <= 27; ++k) s.unit(k).set_overflow_log(&s.overflow);
    s.con.set_overflow_log(&s.overflow);
    RunWatch watch(opts.quiet || opts.check || helper ? nullptr : term);
    if (!helper) s.observer = &watch;
    watch.on_finished = on_set;
    setnames(s, opts);
    // The argument-less run makes its files in place, as it always has.
    const bool in_place = RunLife::makes_files_in_place(opts);
    RunLife folder(s.outdir, in_place);
    SweepCount count;
    Checkpoint checkpoint, resumed;  // this run's, and the one it goes on from
    checkpoint.settings = checkpoint_settings(opts);
    bool resuming = false;
    long long saved = 0;  // sets in the checkpoint on disk
    std::vector<std::string> more;  // files of the report
    // Given any argument, the model's messages go to the error stream.
    if (opts.args.size() > 1) messages_to_error_stream(s);
    try {
        rec.seed = s.seed;
        s.holdfiles = helper;
        if (!opts.check && !helper) {
            std::string why;
            if (!folder.claim(why)) {
                say_on_error_stream(s, why);
                throw StopRun{1};
            }
            // The scratch file: created empty and never written; first of
            // all in the argument-less run, as it always was.
            if (in_place && !s.unit(13).open(out_path(s, "kladd"))) {
                stop_with(s, {"Cannot open output file ", out_path(s, "kladd")});
            }
            const std::string cp = folder.path(kCheckpointFile);
            if (opts.resume && std::filesystem::exists(cp)) {
                std::ifstream in(cp, std::ios::binary);
                std::ostringstream text;
                text << in.rdbuf();
                if (!parse_checkpoint(text.str(), resumed)) {
                    say_on_error_stream(s, "Cannot resume from " + cp + ": it is not a checkpoint of this program" + resume_advice());
                    throw StopRun{1};
                }
                resuming = true;
            } else if (opts.resume) {
                say_on_error_stream(s, "Nothing to resume in " + folder.shown() + ": the run starts from its first option set");
            }
        }
        getpopinn(s);
        getoptinn(s);
        stops_from_inputs(s);
        check_legacy_period(s);
        if (csv) rec.option_sets = countsets(s);
        if (resuming) {
            checkpoint.program = program_hash();
            checkpoint.version = version_text();
            checkpoint.inputs = input_hashes(s);
            const std::string differs = checkpoint_mismatch(resumed, checkpoint);
            if (!differs.empty()) {
                say_on_error_stream(s, "Cannot resume from " + folder.path(kCheckpointFile) + ": " + differs + resume_advice());
                throw StopRun{1};
            }
        }
        if (opts.check) {
            s.con.flush();
            print_check(s, stdout, opts.jobs > 0 ? opts.jobs : default_jobs());
        } else {
            if (!helper && !in_place) {
                std::string why;
                if (!folder.stage(s.stagedir, why, resuming)) {
                    say_on_error_stream(s, why);
                    throw StopRun{1};
                }
                if (!s.unit(13).open(out_path(s, "kladd"), write_path(s, "kladd"))) {
                    stop_with(s, {"Cannot open output file ", out_path(s, "kladd")});
                }
            }
            // A run from the start makes its files afresh: a checkpoint an
            // earlier run left no longer describes them.
            if (!helper && !resuming) {
                std::error_code ec;
                std::filesystem::remove(folder.at(kCheckpointFile), ec);
            }
            // A resumed run writes again what comes before the option sets,
            // held in memory, to take the files over where they end.
            s.holdfiles = helper || resuming;
            prepfiles(s);
            if (csv) {
                // The report draws the first iterations of every set in its
                // fan charts.
                tables.open(s, s.outdir, opts.iterations, opts.report);
                s.tables = &tables;
            }
            s.con.restart_capture();
            yieldrecr(s);
            if (csv) tables.writeperrecruit(s);
            s.holdfiles = helper;
            if (resuming) {
                take_over(s, resumed, folder.path(kCheckpointFile), tables);
                watch.resume_after(resumed.sets);
                count.guessed = resumed.guessed;
                count.reruns = resumed.reruns;
                saved = resumed.sets;
            }
            if (!helper) {
                watch.on_saved = [&](State& st, long long k) {
                    save_checkpoint(st, folder, checkpoint, tables, k, count, more);
                    saved = k;
                };
            }
            s.con.restart_capture();
            const int jobs = opts.jobs > 0 ? opts.jobs : default_jobs(several ? procs->local_size() : 1);
            s.jobs = jobs;
            if (several) {
                at_sweep = true;
                const auto ready = sweep_ready(*procs, true);
                if (helper) {
                    if (ready[0]) serve_sets(s, *procs, jobs);
                    return 0;
                }
                optruns_ranks(s, *procs, ready, jobs, count);
            } else {
                optruns_parallel(s, jobs, count);
            }
            s.guessed_sets = count.guessed;
            s.rerun_sets = count.reruns;
            closefiles(s);
            watch.clear_line();
            if (interruption() != 0) throw Interrupted{interruption()};
        }
    } catch (const Interrupted& in) {
        watch.clear_line();
        if (!opts.check) {
            watch.cut_back(s);
            // The rows of a set that finished before the signal came.
            try {
                tables.commit(&s.con);
            } catch (const StopRun&) {
            }
            s.con.flush();
            say_on_error_stream(s, interrupted_after(watch.finished(), watch.total(), "option sets"));
            // At once: mpirun, signalled too, ends its processes soon after.
            try {
                s.err.flush();
            } catch (const StopRun&) {
            }
        }
        status = 128 + in.signal;
    } catch (...) {
        const Stopped st = stopped_by(std::current_exception());
        if (!st.said.empty()) say_on_error_stream(s, st.said);
        status = st.status;
    }
    watch.clear_line();
    s.observer = nullptr;
    // The other processes wait for word whether this one reached the sweep.
    if (several && !at_sweep) sweep_ready(*procs, false);
    if (helper) return 0;
    s.tables = nullptr;
    try {
        tables.close(&s.con);
    } catch (const StopRun& st) {
        if (status == 0) status = st.status;
    }
    status = finish(s, status);
    if (opts.check) return status;
    // The checkpoint: after an interruption it holds every set the files
    // hold; after a stop it stays as it was, so that the run can go on once
    // the cause is mended; after a normal end it goes (below).
    if (status > 128 && watch.finished() > saved) {
        try {
            save_checkpoint(s, folder, checkpoint, tables, watch.finished(), count, more);
        } catch (const StopRun&) {
        }
    }
    // A run that stopped before its first option set leaves the results
    // folder as it found it.
    if (watch.total() > 0) folder.keep();
    if (!folder.kept()) {
        folder.discard();
        return status;
    }
    if (opts.report && status == 0) {
        more.push_back(report::shape_file);
        more.push_back(report::report_file);
    }
    if (csv) status = write_record(s, tables, rec, status, more);
    {
        std::string why;
        if (!folder.publish(written_files(s, tables, more), why, true)) {
            say_on_error_stream(s, why);
            if (status == 0) status = 1;
        }
        s.stagedir.clear();
    }
    // Only now that every file is in place: a run killed before this point
    // resumes from the checkpoint, after it there is nothing to resume.
    if (status == 0) {
        std::error_code ec;
        std::filesystem::remove(folder.at(kCheckpointFile), ec);
        sync_path(folder.shown());
    }
    // The report, drawn from the finished tables and run.json; when it
    // cannot be written, run.json says so too.
    if (opts.report && status == 0) {
        report::RunContext context;
        context.blim = s.blim;
        context.vtype = s.vtype;
        context.risk_limit = opts.risk_limit.value_or(5.0f);
        context.biomass_unit = opts.biomass_unit;
        context.number_unit = opts.number_unit;
        try {
            write_report_page(s, s.outdir.empty() ? "." : s.outdir, context);
        } catch (const StopRun& st) {
            status = st.status;
            s.err.flush();
            more.pop_back();  // no report.html
            if (opts.csv) status = write_record(s, tables, rec, status, more);
        }
    }
    return status;
}

}  // namespace tacsim
