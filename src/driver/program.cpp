#include "driver/program.hpp"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "driver/cli.hpp"
#include "driver/driver.hpp"
#include "driver/ensemble.hpp"
#include "driver/newstock.hpp"
#include "driver/runwatch.hpp"
#include "driver/tune.hpp"
#include "platform/platform.hpp"
#include "report/ensemble_page.hpp"
#include "simulation/processes.hpp"

namespace tacsim {

namespace {

// `tacsim report DIR` draws from the tables while no run writes them: a
// run's lock on the folder, taken shared for as long as this object lives.
class ReaderLock {
public:
    explicit ReaderLock(const std::string& folder) {
        run_writing_ = lock_.lock(folder, true) == platform::FolderLock::Outcome::busy;
    }
    bool run_writing() const { return run_writing_; }

private:
    platform::FolderLock lock_;
    bool run_writing_ = false;
};

// `tacsim report`: the page of one run, of several runs, or of an ensemble
// again, drawn from the tables while no run writes them; the exit status.
int draw_reports(State& s, const RunOptions& opts) {
    s.err.attach(stderr, "error stream");
    s.err.end_records_with_lf(true);
    int status = 0;
    try {
        const std::vector<std::string> dirs = opts.report_dirs.empty() ? std::vector<std::string>{"."} : opts.report_dirs;
        std::vector<std::unique_ptr<ReaderLock>> locks;
        for (const auto& dir : dirs) {
            locks.push_back(std::make_unique<ReaderLock>(dir));
            if (locks.back()->run_writing()) {
                s.err.put("A run is writing into " + dir + "; draw the report when it has finished");
                s.err.end_record();
                throw StopRun{1};
            }
        }
        report::RunContext context;
        if (opts.risk_limit) context.risk_limit = *opts.risk_limit;
        context.biomass_unit = opts.biomass_unit;
        context.number_unit = opts.number_unit;
        namespace fs = std::filesystem;
        if (dirs.size() == 1 && fs::exists(fs::path(dirs.front()) / kEnsembleCsv) &&
            fs::exists(fs::path(dirs.front()) / kByModelCsv)) {
            // The folder of an ensemble: its page again, at the limit asked.
            try {
                const auto members = report::ensemble_members(dirs.front());
                report::write_ensemble_page(dirs.front(), members, context.risk_limit.value_or(5.0), version_text());
            } catch (const std::exception& e) {
                s.err.put(std::string("Cannot write the ensemble's report: ") + e.what());
                s.err.end_record();
                throw StopRun{1};
            }
        } else if (opts.output.empty()) {
            write_report_page(s, dirs.front(), context);
        } else {
            std::vector<report::RunSource> runs;
            for (std::size_t i = 0; i < dirs.size(); ++i) {
                runs.push_back({dirs[i], i < opts.report_labels.size() ? opts.report_labels[i] : ""});
            }
            write_comparison_page(s, runs, opts.output, context);
        }
    } catch (const StopRun& st) {
        status = st.status;
    }
    s.err.flush();
    return status;
}

}  // namespace

int tacsim_main(int argc, const char* const* argv) {
    platform::binary_standard_streams();
    Processes procs;
    RunOptions opts;
    opts.args.assign(argv, argv + argc);
    auto state = make_state();
    if (procs.rank() > 0) {
        // Only rank 0 speaks; the others hold what they would say.
        std::FILE* quiet = std::fopen(platform::null_device(), "w");
        const auto done = parse_command_line(argc, argv, opts, quiet, quiet);
        if (quiet != nullptr) std::fclose(quiet);
        if (done) return *done;
        if (opts.ensemble && !opts.check) return run_ensemble(opts, nullptr, nullptr, nullptr, &procs);
        // A tuning runs in the first process alone.
        if (opts.check || opts.report_only || opts.tune || opts.new_stock) return 0;
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
    if (opts.new_stock) return new_stock(opts.new_dir, stdout, stderr);
    if (opts.ensemble) {
        return run_ensemble(opts, stdout, stderr, platform::is_terminal(stderr) ? stderr : nullptr, &procs);
    }
    if (opts.report_only) return draw_reports(*state, opts);
    state->con.attach(stdout, "standard output");
    state->err.attach(stderr, "error stream");
    // --check runs its trial in this process alone.
    return run(*state, opts, platform::is_terminal(stderr) ? stderr : nullptr, opts.check ? nullptr : &procs);
}

}  // namespace tacsim
