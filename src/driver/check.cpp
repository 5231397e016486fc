#include "driver/check.hpp"

#include <chrono>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "driver/runwatch.hpp"
#include "io/outfiles.hpp"
#include "management/rulebook.hpp"
#include "perrecruit/perrecruit.hpp"
#include "simulation/observer.hpp"
#include "simulation/simulation.hpp"

namespace tacsim {

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

std::string number(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", static_cast<double>(v));
    return buf;
}

const char* srfunction(int code) {
    switch (code) {
        case 1: return "hockey stick";
        case 2: return "Beverton-Holt/Shepherd";
        case 3: return "Ricker";
        default: return code > 9 ? "parameters per iteration from srspec" : "unknown function";
    }
}

const char* deviate(int code) {
    switch (code) {
        case 1: return "normal deviates";
        case 2: return "lognormal deviates";
        default: return "unknown distribution";
    }
}

const char* rule_value(int vtype) {
    switch (vtype) {
        case 1: return "a fishing mortality";
        case 2: return "a harvest rate on the biomass above bpage";
        case 3: return "a harvest rate on basis element 1";
        case 4: return "the TAC itself";
        default: return "unknown";
    }
}

struct TrialEnd {};

// Ends the trial after `budget` seconds or at the end of the first set.
class TrialWatch : public SweepObserver {
public:
    explicit TrialWatch(double budget) : budget_(budget) {}
    void set_started(State&, long long) override { start_ = Clock::now(); }
    void iteration(State&, int it) override {
        if (interruption() != 0) throw Interrupted{interruption()};
        done_ = it - 1;
        if (it > 1 && seconds_since(start_) > budget_) throw TrialEnd{};
    }
    void set_finished(State&, long long) override {
        done_ = maxiter;
        throw TrialEnd{};
    }
    int done() const { return done_; }
    double seconds() const { return seconds_since(start_); }

private:
    double budget_;
    Clock::time_point start_ = Clock::now();
    int done_ = 0;
};

// Runs the per-recruit analysis and the start of the first option set with
// standard output held aside (shown only when the trial stops the run);
// returns the estimated seconds of the whole run.
double timed_trial(State& s, std::FILE* out, long long nsets) {
    s.con.flush();
    std::FILE* held = std::tmpfile();
    s.con.attach(held, "standard output");
    TrialWatch watch(0.5);
    SweepObserver* before = s.observer;
    s.observer = &watch;
    double setup = 0.0;
    try {
        const auto t0 = Clock::now();
        yieldrecr(s);
        setup = seconds_since(t0);
        try {
            optruns(s);
        } catch (const TrialEnd&) {
        }
    } catch (const StopRun&) {
        s.observer = before;
        s.con.flush();
        if (held != nullptr) {
            std::rewind(held);
            char buf[4096];
            for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, held)) > 0;) std::fwrite(buf, 1, n, out);
            std::fclose(held);
        }
        s.con.attach(out, "standard output");
        throw;
    }
    s.observer = before;
    s.con.attach(out, "standard output");
    if (held != nullptr) std::fclose(held);
    const double per_iteration = watch.seconds() / std::max(watch.done(), 1);
    return setup + per_iteration * maxiter * static_cast<double>(nsets);
}

}  // namespace

void print_check(State& s, std::FILE* out, int jobs) {
    const std::string folder = s.indir.empty() ? "the working folder" : s.indir;
    std::fprintf(out, "Inputs of %s: %s and %s read and checked\n", folder.c_str(), s.biofile.c_str(),
                 s.optfile.c_str());
    std::fprintf(out, "Stock: ages %d-%d (%d a plus group), years %d-%d (year 0 and %d years of management)\n",
                 s.firstage, s.lastage, s.lastage, s.year0, s.year0 + maxyear, maxyear);
    std::fprintf(out, "Recruitment: %d regime%s", s.nreg, s.nreg == 1 ? "" : "s");
    if (s.nreg > 1) std::fprintf(out, ", %s", s.regtype == 1 ? "starting at fixed years" : "starting at random times");
    std::fputs("\n", out);
    for (int r = 1; r <= s.nreg && r <= maxreg; ++r) {
        std::fprintf(out, "  regime %d: %s, %s\n", r, srfunction(s.recpari(r, 1)), deviate(s.recpari(r, 2)));
    }

    const HarvestRule* rule = run_rule(s);
    const int nrulepar = rule != nullptr ? rule->nparams() : 0;
    const auto labels = option_names(s);
    auto name_of = [&labels](int k) {
        return labels[static_cast<std::size_t>(k - 1)].empty() ? "option " + std::to_string(k)
                                                               : labels[static_cast<std::size_t>(k - 1)];
    };
    std::fprintf(out, "Harvest rule %d (%s), its value %s; parameters:", s.nrule,
                 rule != nullptr ? rule->desc.name.c_str() : "unknown", rule_value(s.vtype));
    for (int k = 1; k <= nrulepar; ++k) std::fprintf(out, " %s", name_of(k).c_str());
    std::fputs("\n", out);

    std::fputs("Options and the values the sweep takes:\n", out);
    for (int k = 1; k <= noptions; ++k) {
        const float lo = s.parrange(k, 1), hi = s.parrange(k, 2), step = s.parrange(k, 3);
        const int n = optsteps(s, k);
        const bool used = k <= nrulepar || (k >= 11 && k != 17);
        // An option the rule does not use still multiplies the option sets
        // when its range has more than one value.
        if (!used && n == 0) continue;
        std::string line = "  " + name_of(k) + (used ? ":" : " (not used by this rule):");
        const int shown = std::min(n, 50);
        for (int i = 0; i <= shown; ++i) line += " " + number(lo + step * static_cast<float>(i));
        if (shown < n) line += " ... (" + std::to_string(n + 1) + " values)";
        const float last = lo + step * static_cast<float>(n);
        if (hi > lo && std::fabs(hi - last) > 0.002f * std::fabs(step > 0.0f ? step : hi - lo))
            line += " (the highest value " + number(hi) + " is not reached)";
        std::fprintf(out, "%s\n", line.c_str());
    }
    const long long nsets = countsets(s);
    std::fprintf(out, "Option sets: %lld\n", nsets);

    std::string files = out_path(s, "kladd");
    for (int k = 11; k <= 27; ++k) {
        if (k == 13 || s.iout(k) != 1) continue;
        files += ", " + out_path(s, k == 12 ? summary_file(s) : std::string(unit_file(k)));
    }
    std::fprintf(out, "Files the run writes: %s\n", files.c_str());
    std::fflush(out);

    if (nsets > 0) {
        // Sets share the threads; a set that runs again after a wrong guess
        // (never in the trial, which runs one set) adds its time.
        const long long threads = std::min<long long>(jobs > 0 ? jobs : 1, nsets);
        const double t = timed_trial(s, out, nsets) / static_cast<double>(threads);
        std::fprintf(out, "Estimated run time: about %s on %lld thread%s\n", human_duration(t).c_str(), threads,
                     threads == 1 ? "" : "s");
    } else {
        std::fputs("Estimated run time: none, no option set runs\n", out);
    }
}

}  // namespace tacsim
