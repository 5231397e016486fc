#include "driver/driver.hpp"

#include <csignal>
#include <exception>
#include <new>
#include <thread>

#include "io/input.hpp"
#include "io/outfiles.hpp"
#include "perrecruit/perrecruit.hpp"
#include "simulation/parallel.hpp"
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

int default_jobs() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

int run(State& s, int jobs) {
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
        // The scratch file: created empty and never written.
        if (!s.unit(13).open("kladd")) {
            stop_with(s, {"Cannot open output file ", "kladd"});
        }
        getpopinn(s);
        getoptinn(s);
        prepfiles(s);
        yieldrecr(s);
        SweepCount count;
        optruns_parallel(s, jobs, count);
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

}  // namespace tacsim
