#include "driver/cli.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "driver/tune.hpp"
#include "model/state.hpp"
#include "driver/version.hpp"

namespace tacsim {

std::string version_text() {
    return std::string("tacsim ") + build_version() + " (commit " + build_commit() + ")";
}

namespace {

// What is wrong with the runs, labels and -o of `tacsim report`, if anything.
std::optional<std::string> report_arguments_fault(const RunOptions& opts) {
    const auto& dirs = opts.report_dirs;
    const auto& labels = opts.report_labels;
    if (dirs.size() > 1 && opts.output.empty()) {
        return "a page of several runs needs -o OUT, the folder it goes into";
    }
    if (!labels.empty() && labels.size() != std::max<std::size_t>(dirs.size(), 1)) {
        return std::to_string(labels.size()) + (labels.size() == 1 ? " label" : " labels") + " for " +
               std::to_string(std::max<std::size_t>(dirs.size(), 1)) + (dirs.size() > 1 ? " runs" : " run") +
               ": give one --label per run, in the order of the runs";
    }
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (labels[i].empty()) return "a --label is empty";
        for (std::size_t k = 0; k < i; ++k) {
            if (labels[k] == labels[i]) return "two runs are labelled '" + labels[i] + "'";
        }
    }
    if (!opts.output.empty()) {
        // The page of -o goes into a folder of its own, never a run's.
        namespace fs = std::filesystem;
        std::error_code ec;
        for (const auto& d : dirs.empty() ? std::vector<std::string>{"."} : dirs) {
            if (fs::equivalent(opts.output, d, ec)) {
                return "-o " + opts.output + " is the folder of the run " + d +
                       "; the page of -o goes into a folder of its own";
            }
        }
    }
    return std::nullopt;
}

// The subcommands of the program; `tune` is added by add_tune.
struct Commands {
    CLI::App *report = nullptr, *newcmd = nullptr, *ensemble = nullptr, *tune = nullptr;
};

Commands add_subcommands(CLI::App& app, RunOptions& opts) {
    CLI::App* report = app.add_subcommand(
        "report", "Write report.html from the tables of an earlier run (--report or --csv) in DIR, no run; "
                  "with several DIRs and -o OUT, one page comparing the runs, into OUT");
    report->add_option("DIR", opts.report_dirs,
                       "Results folders of earlier runs (default: the working folder); several need -o")
        ->check(CLI::Validator(CLI::ExistingDirectory).description(""))
        ->type_name("");
    report->add_option("--label", opts.report_labels,
                       "The name of a run on the page, one --label per DIR in their order (default: the folder's name)")
        ->allow_extra_args(false)
        ->type_name("NAME");
    report->fallthrough();
    CLI::App* newcmd = app.add_subcommand(
        "new", "Start a stock of your own: the bundled example's commented bio.inn and opt.inn into a new folder DIR");
    newcmd->add_option("DIR", opts.new_dir, "The new folder (created; refused when it holds inputs)")
        ->required()
        ->type_name("");
    CLI::App* ensemble = app.add_subcommand(
        "ensemble", "Run every operating model FILE names (CSV: name,folder,weight,set) into OUT/<name> and pool "
                    "their statistics into OUT (see docs/ensembles.md)");
    ensemble->footer(
        "FILE names one operating model a row: its name (its folder in OUT), its input folder (relative to\n"
        "FILE), its weight (reference models; normalised) and its set, reference or robustness. Every model\n"
        "must have the same option sets. The program's -o OUT (needed), -j, --resume, --iterations, --report,\n"
        "--risk-limit, --nsim and -q apply. See docs/ensembles.md.");
    ensemble->add_option("FILE", opts.ensemble_file, "The ensemble file")->required()->type_name("");
    ensemble->fallthrough();
    return {report, newcmd, ensemble, nullptr};
}

CLI::App* add_tune(CLI::App& app, RunOptions& opts) {
    CLI::App* tune = app.add_subcommand("tune", "Find the value of one option that meets a risk limit (tune --help)");
    tune->footer(
        "For every combination of the other swept options, finds the value of one option whose risk to Blim\n"
        "meets the limit: the largest value when the risk rises with it, the smallest when it falls. Searches\n"
        "the option's range in opt.inn by bisection over whole option sets; writes a table on standard output\n"
        "and tune.csv. The program's -j (sets simulated at once; the answer is the same), -o (folder of\n"
        "tune.csv), --nsim and -q apply. See docs/tuning.md.");
    tune->fallthrough();
    tune->add_option("--option", opts.tuning.option, "The option to tune, by its header name (e.g. Target)")
        ->required()
        ->type_name("NAME");
    tune->add_option("--risk", opts.tuning.limit, "The risk limit: a fraction (0.05) or a percentage (5%)")
        ->required()
        ->type_name("LIMIT");
    tune->add_option("--statistic", opts.tuning.statistic, "risk1, risk2 or risk3 (default)")
        ->type_name("STAT");
    tune->add_option("--window", opts.tuning.window, "Years the risk covers: all (default), first5 or summary")
        ->type_name("WINDOW");
    tune->add_option("--tolerance", opts.tuning.tolerance,
                     "Width of the final bracket (default: a hundredth of the range)")
        ->type_name("X");
    tune->add_option("--replicates", opts.tuning.replicates,
                     "Tune again under R further seeds (S+1..S+R with --seed S, else 1..R) and give the tuned "
                     "value's range and standard deviation")
        ->check(CLI::Range(0, 1000))
        ->type_name("R");
    tune->add_option("--criterion", opts.tuning.criterion,
                     "Tuning an ensemble: pooled (default; the pooled reference set meets the limit) or each (every "
                     "reference model meets it)")
        ->type_name("C");
    tune->add_option("DIR", opts.dir,
                     "Folder holding bio.inn and opt.inn (default: the working folder), or an ensemble file "
                     "(docs/ensembles.md)")
        ->check(CLI::ExistingPath)
        ->type_name("");
    return tune;
}

// An option that neither the program nor a subcommand knows is named as
// such: `tune` hands options it does not know on to the program, whose
// folder would otherwise take the option's value. Exit status 2 then.
std::optional<int> unknown_option(int argc, const char* const* argv, CLI::App& app, const Commands& c, std::FILE* err) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") break;
        if (a.size() < 2 || a[0] != '-' || std::isdigit(static_cast<unsigned char>(a[1])) || a[1] == '.') continue;
        a = a[1] == '-' ? a.substr(0, a.find('=')) : a.substr(0, 2);
        if (app.get_option_no_throw(a) == nullptr && c.tune->get_option_no_throw(a) == nullptr &&
            c.report->get_option_no_throw(a) == nullptr && c.newcmd->get_option_no_throw(a) == nullptr &&
            c.ensemble->get_option_no_throw(a) == nullptr) {
            std::fprintf(err, "tacsim: unknown option %s (see tacsim --help)\n", a.c_str());
            return 2;
        }
    }
    return std::nullopt;
}

// The arguments parsed into `opts`; the exit status when help, the version
// or a fault of the command line ends the program.
std::optional<int> parse(CLI::App& app, const Commands& c, int argc, const char* const* argv, RunOptions& opts,
                         std::FILE* out, std::FILE* err) {
    try {
        app.parse(argc, argv);
        opts.report_only = c.report->parsed();
        if (opts.report) opts.csv = true;  // the report is drawn from the tables
        opts.tune = c.tune->parsed();
        opts.new_stock = c.newcmd->parsed();
        opts.ensemble = c.ensemble->parsed();
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), out);
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        std::fputs(app.help("", CLI::AppFormatMode::All).c_str(), out);
        return 0;
    } catch (const CLI::CallForVersion&) {
        std::fprintf(out, "%s\n", version_text().c_str());
        return 0;
    } catch (const CLI::ParseError& e) {
        std::string what = e.what();
        while (!what.empty() && (what.back() == '\n' || what.back() == ' ')) what.pop_back();
        std::fprintf(err, "tacsim: %s (see tacsim --help)\n", what.c_str());
        return 2;
    }
    return std::nullopt;
}

// What follows from the options given, and the faults only the options
// together show.
std::optional<int> settle(RunOptions& opts, const Commands& c, const std::string& risk_limit, std::FILE* err) {
    if (opts.iterations) opts.csv = true;
    if (!risk_limit.empty()) {
        float limit = 0.0f;
        if (!parse_limit(risk_limit, limit)) {
            std::fprintf(err, "tacsim: --risk-limit must be a fraction from 0 to 1 or a percentage such as 5%%, not '%s' "
                              "(see tacsim --help)\n", risk_limit.c_str());
            return 2;
        }
        opts.risk_limit = limit;
    }
    if (opts.report_only) {
        if (const auto why = report_arguments_fault(opts)) {
            std::fprintf(err, "tacsim report: %s (see tacsim --help)\n", why->c_str());
            return 2;
        }
    }
    if (opts.ensemble && opts.output.empty()) {
        std::fprintf(err, "tacsim ensemble: -o OUT, the folder the ensemble goes into, is missing (see tacsim --help)\n");
        return 2;
    }
    // 0 would be no bracket at all: refused like any width that is not positive.
    if (c.tune->count("--tolerance") > 0 && !(opts.tuning.tolerance > 0.0f)) {
        std::fprintf(err, "tacsim tune: the tolerance must be positive (see tacsim tune --help)\n");
        return 2;
    }
    return std::nullopt;
}

}  // namespace

std::optional<int> parse_command_line(int argc, const char* const* argv, RunOptions& opts, std::FILE* out,
                                      std::FILE* err) {
    CLI::App app(
        "Management strategy evaluation of harvest control rules for one age-structured fish stock.\n"
        "Reads bio.inn and opt.inn (and the files they name) from DIR, the working folder by default,\n"
        "simulates every option set of the sweep and writes the result files there (or into --output).",
        "tacsim");
    app.get_formatter()->column_width(28);
    app.footer(
        "Exit status: 0 normal end (also when the run only warned), 1 the run stopped with a message,\n"
        "2 a value could not be read from an input line or the command line is wrong, 128+N interrupted\n"
        "by signal N (the result files then hold the finished option sets only).\n"
        "Guides (docs/ in the source, share/doc/tacsim when installed): inputs.md, every input record;\n"
        "outputs.md, every result file; model.md, the model as equations, for a methods section.");

    // ---- options: one line each
    app.add_option("DIR", opts.dir, "Folder holding bio.inn and opt.inn (default: the working folder)")
        ->check(CLI::Validator(CLI::ExistingDirectory).description(""))
        ->type_name("");
    app.add_option("-o,--output", opts.output, "Write the result files into this folder (created when missing)")
        ->type_name("DIR");
    app.add_flag("--check", opts.check,
                 "Check the inputs, print a summary and a run-time estimate, write nothing");
    app.add_option("-j,--jobs", opts.jobs,
                   "Run the option sets on N threads (default: one per core); the results are the same")
        ->check(CLI::Range(1, 4096))
        ->type_name("N");
    app.add_flag("-q,--quiet", opts.quiet, "No progress line on a terminal");
    app.add_flag("--resume", opts.resume,
                 "Go on from where an interrupted or killed run into the same folder stopped (from the start when "
                 "there is nothing to resume); give the run's own options");
    app.add_flag("--csv", opts.csv, "Also write the results as CSV tables and a record of the run (run.json)");
    app.add_flag("--iterations", opts.iterations,
                 "With the tables, also every iteration's yearly series (iterations.csv.gz; implies --csv)");
    app.add_flag("--report", opts.report,
                 "Also write report.html, with the CSV tables it is drawn from (implies the tables of --csv)");
    std::string risk_limit;
    app.add_option("--risk-limit", risk_limit,
                   "The risk limit the report draws: a fraction (0.05) or a percentage (5%); default 5%")
        ->type_name("LIMIT");
    app.add_option("--biomass-unit", opts.biomass_unit, "Unit of the input's biomasses for the report's labels (e.g. kt)")
        ->type_name("UNIT");
    app.add_option("--number-unit", opts.number_unit, "Unit of the input's numbers for the report's labels (e.g. millions)")
        ->type_name("UNIT");
    app.add_option("--seed", opts.seed,
                   "Draw from the Philox4x32-10 stream keyed by the whole number S (0 to 2^64-1), each iteration "
                   "its own stream, instead of the fixed legacy stream")
        ->type_name("S");
    app.add_option("--nsim", opts.nsim,
                   "Number of simulated futures (iterations) per option set (default 1000); with the legacy stream "
                   "(no --seed) at most what its period allows for the inputs")
        ->check(CLI::Range(1, max_nsim))
        ->type_name("N");
    Commands c = add_subcommands(app, opts);
    app.set_version_flag("-V,--version", version_text(), "Print the version and the build's commit");

    c.tune = add_tune(app, opts);

    if (const auto done = unknown_option(argc, argv, app, c, err)) return done;
    if (const auto done = parse(app, c, argc, argv, opts, out, err)) return done;
    return settle(opts, c, risk_limit, err);
}

}  // namespace tacsim
