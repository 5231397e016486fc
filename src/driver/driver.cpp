#include "driver/driver.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <system_error>

#include "driver/check.hpp"
#include "driver/cli.hpp"
#include "driver/runwatch.hpp"
#include "io/input.hpp"
#include "io/outfiles.hpp"
#include "perrecruit/perrecruit.hpp"
#include "results/results.hpp"
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

// Stops that follow from the inputs alone, taken before the per-recruit
// analysis and before any result file is opened, so that a run that cannot
// go on leaves the results of the last good run as they are.
void stops_from_inputs(State& s) {
    checkranges(s);
    checkregimecode(s);
    if (s.riskmeth != 0) checkriskref(s, s.blim, s.blimsig);
}

// An advisory lock on the output folder for the length of the run: a second
// run into the same folder is refused instead of mixing its records into the
// first one's files. It lives on the folder itself, so no file is left behind.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder) {
        fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        // A folder that cannot be opened or locked (a file system without
        // locks) does not keep the run from going on.
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) held_elsewhere_ = true;
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool held_elsewhere() const { return held_elsewhere_; }

private:
    int fd_ = -1;
    bool held_elsewhere_ = false;
};

void say_on_error_stream(State& s, const std::string& text) {
    s.err.put(text);
    s.err.end_record();
}

}  // namespace

int run(State& s) { return run(s, RunOptions{}); }

int run(State& s, const RunOptions& opts, std::FILE* term) {
    int status = 0;
#ifdef SIGXFSZ
    // A file that outgrows the size limit of the process then fails to write
    // like a file on a full disk, and is reported by name, instead of ending
    // the run without a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    for (int k = 11; k <= 27; ++k) s.unit(k).set_overflow_log(&s.overflow);
    s.con.set_overflow_log(&s.overflow);
    RunWatch watch(opts.quiet || opts.check ? nullptr : term);
    s.observer = &watch;
    try {
        s.seed = 15349668.0;
        s.biofile = "bio.inn";
        s.optfile = "opt.inn";
        s.canumfile = "canum.inn";
        s.indir = opts.dir;
        s.outdir = opts.output.empty() ? opts.dir : opts.output;
        std::unique_ptr<FolderLock> lock;
        if (!opts.check) {
            if (!opts.output.empty()) {
                std::error_code ec;
                std::filesystem::create_directories(opts.output, ec);
                if (ec || !std::filesystem::is_directory(opts.output)) {
                    say_on_error_stream(s, "Cannot create the output folder " + opts.output);
                    throw StopRun{1};
                }
            }
            lock = std::make_unique<FolderLock>(s.outdir);
            if (lock->held_elsewhere()) {
                std::error_code ec;
                const std::string folder =
                    s.outdir.empty() ? std::filesystem::current_path(ec).string() : s.outdir;
                say_on_error_stream(s, "Another run is writing into " + folder);
                throw StopRun{1};
            }
            // The scratch file: created empty and never written.
            if (!s.unit(13).open(out_path(s, "kladd"))) {
                stop_with(s, {"Cannot open output file ", out_path(s, "kladd")});
            }
        }
        getpopinn(s);
        getoptinn(s);
        stops_from_inputs(s);
        if (opts.check) {
            s.con.flush();
            print_check(s, stdout);
        } else {
            prepfiles(s);
            yieldrecr(s);
            optruns(s);
            closefiles(s);
            watch.clear_line();
            if (interruption() != 0) throw Interrupted{interruption()};
        }
    } catch (const Interrupted& in) {
        watch.clear_line();
        if (!opts.check) {
            watch.cut_back(s);
            s.con.flush();
            say_on_error_stream(s, "Interrupted after " + std::to_string(watch.finished()) + " of " +
                                       std::to_string(watch.total()) + " option sets");
        }
        status = 128 + in.signal;
    } catch (const StopRun& st) {
        status = st.status;
    } catch (const RecordError& e) {
        s.err.put(e.what());
        s.err.end_record();
        status = 2;
    } catch (const std::bad_alloc&) {
        s.err.put("Out of memory");
        s.err.end_record();
        status = 1;
    } catch (const std::exception& e) {
        // Not expected: a fault of the program itself. Say so rather than
        // end without a word.
        s.err.put("Internal error: ");
        s.err.put(e.what());
        s.err.end_record();
        status = 1;
    }
    watch.clear_line();
    s.observer = nullptr;
    return finish(s, status);
}

int tacsim_main(int argc, const char* const* argv) {
    RunOptions opts;
    if (const auto done = parse_command_line(argc, argv, opts, stdout, stderr)) return *done;
    catch_interruptions();
    auto state = make_state();
    state->con.attach(stdout, "standard output");
    state->err.attach(stderr, "error stream");
    return run(*state, opts, ::isatty(STDERR_FILENO) ? stderr : nullptr);
}

}  // namespace tacsim
