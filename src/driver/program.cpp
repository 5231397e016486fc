#include "driver/program.hpp"

#include <unistd.h>

#include <cstdio>

#include "driver/cli.hpp"
#include "driver/driver.hpp"
#include "driver/runwatch.hpp"
#include "driver/tune.hpp"
#include "simulation/processes.hpp"

namespace tacsim {

int tacsim_main(int argc, const char* const* argv) {
    Processes procs;
    RunOptions opts;
    opts.args.assign(argv, argv + argc);
    auto state = make_state();
    if (procs.rank() > 0) {
        // Only rank 0 speaks; the others hold what they would say.
        std::FILE* quiet = std::fopen("/dev/null", "w");
        const auto done = parse_command_line(argc, argv, opts, quiet, quiet);
        if (quiet != nullptr) std::fclose(quiet);
        if (done) return *done;
        // A tuning runs in the first process alone.
        if (opts.check || opts.report_only || opts.tune) return 0;
        // A signal to every process of the job (Slurm's --signal, say) ends
        // the run through the first process, which ends the others' work.
        catch_interruptions();
        state->con.hold("standard output");
        state->err.hold("error stream");
        return run(*state, opts, nullptr, &procs);
    }
    if (const auto done = parse_command_line(argc, argv, opts, stdout, stderr)) return *done;
    catch_interruptions();
    if (opts.tune) return tune(opts, opts.tuning, stdout, stderr);
    if (opts.report_only) {
        state->err.attach(stderr, "error stream");
        int status = 0;
        try {
            report::RunContext context;
            if (opts.risk_limit) context.risk_limit = *opts.risk_limit;
            context.biomass_unit = opts.biomass_unit;
            context.number_unit = opts.number_unit;
            write_report_page(*state, opts.report_dir.empty() ? "." : opts.report_dir, context);
        } catch (const StopRun& st) {
            status = st.status;
        }
        state->err.flush();
        return status;
    }
    state->con.attach(stdout, "standard output");
    state->err.attach(stderr, "error stream");
    // --check runs its trial in this process alone.
    return run(*state, opts, ::isatty(STDERR_FILENO) ? stderr : nullptr, opts.check ? nullptr : &procs);
}

}  // namespace tacsim
