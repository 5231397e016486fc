#include "driver/runlife.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>
#include <thread>

#include "records/durable.hpp"
#include "io/input.hpp"
#include "perrecruit/perrecruit.hpp"
#include "random/draws.hpp"
#include "report/report.hpp"
#include "results/tables.hpp"
#include "results/results.hpp"
#include "simulation/parallel.hpp"
#include "simulation/simulation.hpp"

namespace fs = std::filesystem;

namespace tacsim {

int default_jobs(int processes_here) {
    const int n = static_cast<int>(std::thread::hardware_concurrency());
    const int per = n / (processes_here > 0 ? processes_here : 1);
    return per > 0 ? per : 1;
}

void setnames(State& s, const RunOptions& opts) {
    s.seed = start_seed;
    if (opts.seed) stream_seed(s, *opts.seed);
    // The result store is made for this many iterations when the sweep
    // starts.
    s.nsim = opts.nsim.value_or(maxiter);
    if (results_columns(s) != s.nsim) release_results(s);
    s.biofile = "bio.inn";
    s.optfile = "opt.inn";
    s.canumfile = "canum.inn";
    s.indir = opts.dir;
    s.outdir = opts.output.empty() ? opts.dir : opts.output;
}

void stops_from_inputs(State& s) {
    checkranges(s);
    checkregimecode(s);
    if (s.riskmeth != 0) checkriskref(s, s.blim, s.blimsig);
}

void read_inputs(State& s) {
    getpopinn(s);
    getoptinn(s);
    stops_from_inputs(s);
    check_legacy_period(s);
}

int read_inputs_held(State& s, const RunOptions& opts, std::FILE* err, bool perrecruit) {
    s.con.hold("standard output");
    s.err.hold("error stream");
    messages_to_error_stream(s);
    s.con.end_records_with_lf(true);  // its warnings go to `err` too
    int status = 0;
    try {
        setnames(s, opts);
        read_inputs(s);
        if (perrecruit) yieldrecr(s);
    } catch (...) {
        const Stopped st = stopped_by(std::current_exception());
        if (!st.said.empty()) {
            s.err.put(st.said);
            s.err.end_record();
        }
        status = st.status;
    }
    const std::string said = s.con.take() + s.err.take();
    if (status != 0 && err != nullptr) std::fputs(said.c_str(), err);
    return status;
}

Stopped stopped_by(const std::exception_ptr& e) {
    Stopped st;
    try {
        std::rethrow_exception(e);
    } catch (const StopRun& stop) {
        st.status = stop.status;
    } catch (const RecordError& r) {
        st.status = 2;
        st.said = r.what();
    } catch (const std::bad_alloc&) {
        st.said = "Out of memory";
    } catch (const std::exception& x) {
        // Not expected: a fault of the program itself. Say so rather than
        // end without a word.
        st.said = std::string("Internal error: ") + x.what();
    } catch (...) {
        st.said = "Internal error";
    }
    return st;
}

std::string interrupted_after(long long k, long long n, const char* what) {
    return "Interrupted after " + std::to_string(k) + " of " + std::to_string(n) + " " + what;
}

const std::vector<std::string>& own_run_files() {
    static const std::vector<std::string> names = {
        kSetsCsv,    kYearlyCsv,         kSummaryCsv,   kPerRecruitCsv,    kRefPointsCsv,
        kIterationsCsv, kSamplesCsv,     "run.json",    report::shape_file, report::report_file,
    };
    return names;
}

bool RunLife::makes_files_in_place(const RunOptions& opts) {
    return opts.dir.empty() && opts.output.empty() && !opts.csv;
}

RunLife::RunLife(std::string folder, bool in_place, std::string staging)
    : folder_(std::move(folder)), staging_name_(std::move(staging)), in_place_(in_place) {}

RunLife::~RunLife() = default;

std::string RunLife::shown() const {
    std::error_code ec;
    return folder_.empty() ? fs::current_path(ec).string() : folder_;
}

std::string RunLife::path(const std::string& name) const {
    return folder_.empty() ? name : (fs::path(folder_) / name).string();
}

std::string RunLife::at(const std::string& name) const {
    return handle_.empty() ? path(name) : (fs::path(handle_) / name).string();
}

bool RunLife::claim(std::string& why) {
    if (!folder_.empty()) {
        // The folders that are missing, outermost first: made here, and
        // removed again if the run ends before it keeps anything.
        std::vector<std::string> missing;
        std::error_code ec;
        for (fs::path p = folder_; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
            missing.push_back(p.string());
            if (p == p.parent_path()) break;
        }
        std::reverse(missing.begin(), missing.end());
        fs::create_directories(folder_, ec);
        if (ec || !fs::is_directory(folder_)) {
            why = "Cannot create the output folder " + folder_;
            return false;
        }
        made_ = missing;
    }
    // A folder that cannot be locked (a file system without locks) does not
    // keep the run from going on.
    const auto locked = lock_.lock(folder_);
    if (locked == platform::FolderLock::Outcome::busy) {
        why = "Another run is writing into " + shown();
        discard();
        return false;
    }
    if (locked == platform::FolderLock::Outcome::locked) handle_ = lock_.handle_path();
    return true;
}

bool RunLife::stage(std::string& stagedir, std::string& why, bool adopt) {
    stagedir.clear();
    if (in_place_) return true;
    staging_ = at(staging_name_);
    adopted_ = adopt;
    std::error_code ec;
    if (!adopt) fs::remove_all(staging_, ec);
    fs::create_directory(staging_, ec);
    if (ec) {
        why = "Cannot create the output folder " + path(staging_name_);
        staging_.clear();
        return false;
    }
    stagedir = staging_;
    return true;
}

bool RunLife::publish(const std::vector<std::string>& names, std::string& why, bool one_run) {
    std::error_code ec;
    if (in_place_) {
        for (const std::string& n : names) {
            if (fs::is_regular_file(path(n), ec) && !sync_path(path(n))) {
                why = "Cannot write output file " + path(n);
                return false;
            }
        }
    } else if (!staging_.empty()) {
        // The staging folder went with the results folder it was in.
        if (!fs::is_directory(staging_, ec)) {
            staging_.clear();
            why = "The results folder " + shown() +
                  " was removed or replaced while the run went on: none of this run's files are there; run again";
            return false;
        }
        std::vector<std::string> staged;
        for (const auto& e : fs::directory_iterator(staging_, ec)) staged.push_back(e.path().filename().string());
        // The record of the run last: once it is there, so is everything it lists.
        std::sort(staged.begin(), staged.end(), [](const std::string& a, const std::string& b) {
            return std::make_pair(a == "run.json", a) < std::make_pair(b == "run.json", b);
        });
        for (const std::string& n : staged) {
            const std::string from = (fs::path(staging_) / n).string();
            if (!sync_path(from) || !platform::replace_file(from, at(n))) {
                why = "Cannot write output file " + path(n);
                return false;
            }
        }
        fs::remove(staging_, ec);
        staging_.clear();
        for (const std::string& n : one_run ? own_run_files() : std::vector<std::string>{}) {
            if (std::find(names.begin(), names.end(), n) != names.end()) continue;
            if (std::find(staged.begin(), staged.end(), n) != staged.end()) continue;
            if (fs::is_regular_file(at(n), ec) && !fs::remove(at(n), ec) && ec) {
                why = "Cannot remove " + path(n) + ", left by an earlier run";
                return false;
            }
        }
    }
    if (!sync_path(handle_.empty() ? (folder_.empty() ? "." : folder_) : handle_)) {
        why = "Cannot write output file " + shown();
        return false;
    }
    return true;
}

int RunLife::live(RunSteps& run) {
    int status = 0;
    try {
        std::string why;
        if (run.writes() && !claim(why)) {
            run.say(why);
            throw StopRun{1};
        }
        if (run.writes()) run.claimed(*this);
        run.read_inputs();
        if (run.writes() && run.stagedir() != nullptr && !stage(*run.stagedir(), why, run.adopts())) {
            run.say(why);
            throw StopRun{1};
        }
        run.staged(*this);
        run.run_sets(*this);
    } catch (...) {
        status = run.stopped(std::current_exception());
    }
    status = run.closed(*this, status);
    if (!run.writes()) return status;
    if (run.begun()) keep();
    if (!kept()) {
        discard();
        return status;
    }
    status = run.record(status);
    std::string why;
    if (!publish(run.files(), why, run.one_run())) {
        run.say(why);
        if (status == 0) status = 1;
    }
    return run.published(*this, status);
}

void RunLife::discard() {
    std::error_code ec;
    if (!staging_.empty() && !adopted_) fs::remove_all(staging_, ec);
    staging_.clear();
    lock_.release();
    handle_.clear();
    // Innermost first; a folder that is not empty stays.
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) fs::remove(*it, ec);
    made_.clear();
}

}  // namespace tacsim
