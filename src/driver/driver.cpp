#include "driver/driver.hpp"

#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <system_error>

#include "driver/cli.hpp"

#include "io/input.hpp"
#include "io/outfiles.hpp"
#include "perrecruit/perrecruit.hpp"
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
    try {
        s.err.flush();
    } catch (const StopRun&) {
    }
    return status;
}

}  // namespace

int run(State& s) { return run(s, RunOptions{}); }

int run(State& s, const RunOptions& opts) {
    int status = 0;
#ifdef SIGXFSZ
    // A file that outgrows the size limit of the process then fails to write
    // like a file on a full disk, and is reported by name, instead of ending
    // the run without a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    try {
        s.seed = 15349668.0;
        s.biofile = "bio.inn";
        s.optfile = "opt.inn";
        s.canumfile = "canum.inn";
        s.indir = opts.dir;
        s.outdir = opts.output.empty() ? opts.dir : opts.output;
        if (!opts.output.empty()) {
            std::error_code ec;
            std::filesystem::create_directories(opts.output, ec);
            if (ec || !std::filesystem::is_directory(opts.output)) {
                s.err.put("Cannot create the output folder " + opts.output);
                s.err.end_record();
                throw StopRun{1};
            }
        }
        // The scratch file: created empty and never written.
        if (!s.unit(13).open(out_path(s, "kladd"))) {
            stop_with(s, {"Cannot open output file ", out_path(s, "kladd")});
        }
        getpopinn(s);
        getoptinn(s);
        prepfiles(s);
        yieldrecr(s);
        optruns(s);
        closefiles(s);
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
    return finish(s, status);
}

int tacsim_main(int argc, const char* const* argv) {
    RunOptions opts;
    if (const auto done = parse_command_line(argc, argv, opts, stdout, stderr)) return *done;
    auto state = make_state();
    state->con.attach(stdout, "standard output");
    state->err.attach(stderr, "error stream");
    return run(*state, opts);
}

}  // namespace tacsim
