#include "driver/check.hpp"

#include <chrono>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "driver/runwatch.hpp"
#include "platform/platform.hpp"
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

// Width-aligned number for the tables: up to 4 significant digits.
std::string cell(float v, int w) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%*.4g", w, static_cast<double>(v));
    return buf;
}

// What was read, by age: M, selection (as scaled), weights and maturity with
// their limits.
void print_ages(const State& s, std::FILE* out) {
    std::fprintf(out, "Values at age as read (selection scaled to a mean of 1 over ages %d-%d; limits in brackets):\n",
                 s.fbar1, s.fbar2);
    std::fprintf(out, "  %3s %7s %7s %25s %25s %25s\n", "age", "M", "sel", "catch weight [low, high]",
                 "stock weight [low, high]", "maturity [low, high]");
    auto with_limits = [](const AgePar& p, int a) {
        return cell(p(a, 1), 9) + " [" + cell(p(a, 2), 6) + ", " + cell(p(a, 3), 6) + "]";
    };
    for (int a = s.firstage; a <= s.lastage; ++a) {
        std::fprintf(out, "  %3d %7s %7s %25s %25s %25s\n", a, cell(s.natmor(a), 7).c_str(),
                     cell(s.sel(a, 1), 7).c_str(), with_limits(s.wecapar, a).c_str(),
                     with_limits(s.westpar, a).c_str(), with_limits(s.maturpar, a).c_str());
    }
}

// The years a regime is in force.
std::string regime_years(const State& s, int r) {
    if (s.nreg < 2) return "all years";
    if (s.regtype == 1) {
        const int first = s.regstart(r), last = r < s.nreg ? s.regstart(r + 1) - 1 : maxyear;
        return "years " + std::to_string(first) + "-" + std::to_string(last);
    }
    return "at random times (mean duration " + number(s.regdur) + " years)";
}

// The recruitment of each regime with its parameters.
void print_regimes(const State& s, std::FILE* out) {
    for (int r = 1; r <= s.nreg && r <= maxreg; ++r) {
        const Regime& g = s.regime(r);
        std::fprintf(out, "  regime %d, %s: %s, %s", r, regime_years(s, r).c_str(), srfunction(g.function),
                     deviate(g.distribution));
        if (g.function <= 9) {
            std::fprintf(out, "; level %s, SSB parameter %s, CV %s, exponent %s", number(g.level).c_str(),
                         number(g.ssb).c_str(), number(g.cv).c_str(), number(g.exponent).c_str());
        }
        std::fprintf(out, "; %s kept within %s..%s", g.truncation == 1 ? "the normal deviate" : "the multiplier",
                     number(g.low).c_str(), number(g.high).c_str());
        if (g.period > 0.0f) {
            std::fprintf(out, "; cycle of amplitude %s and period %s", number(g.amplitude).c_str(),
                         number(g.period).c_str());
        }
        if (g.outbursts_on()) {
            std::fprintf(out, "; outbursts every %s years, factor %s", number(g.outburst_interval).c_str(),
                         number(g.outburst_factor).c_str());
        }
        std::fputs("\n", out);
    }
}

// "lowest" or "lowest..highest" of an option's range.
std::string range_text(const State& s, int k) {
    const float lo = s.parrange(k, 1), hi = s.parrange(k, 2);
    return optsteps(s, k) == 0 ? number(lo) : number(lo) + ".." + number(hi);
}

// Blim and the rule's triggers (its parameters on the scale of a basis
// element).
void print_limits(const State& s, std::FILE* out) {
    static const char* const methods[] = {"the fraction of iterations below it", "Blim normally uncertain",
                                          "Blim lognormally uncertain"};
    std::fprintf(out, "Blim %s (risk: %s); crash below %s", number(s.blim).c_str(),
                 s.riskmeth >= 0 && s.riskmeth <= 2 ? methods[s.riskmeth] : "unknown method",
                 number(s.blim / 10.0f).c_str());
    const HarvestRule* rule = run_rule(s);
    const auto labels = option_names(s);
    std::string trig;
    for (int k = 1; rule != nullptr && k <= rule->nparams(); ++k) {
        const std::string& n = labels[static_cast<std::size_t>(k - 1)];
        if (n.rfind("Btrig", 0) == 0 || n == "B0") trig += (trig.empty() ? "" : ", ") + n + " " + range_text(s, k);
    }
    if (!trig.empty()) std::fprintf(out, "; triggers: %s", trig.c_str());
    std::fputs("\n", out);
}

// The per-recruit points of each regime, once the analysis has run.
void print_perrecruit(const State& s, std::FILE* out) {
    for (int r = 1; r <= s.nreg && r <= maxreg; ++r) {
        if (s.prrows(r) == 0) continue;
        auto point = [&](const char* name, int c) {
            if (s.prref(r, c) < 0.0f) return std::string(name) + " not found";
            return std::string(name) + " " + number(s.prref(r, c)) + " (yield " + number(s.prref(r, c + 1)) +
                   ", SSB " + number(s.prref(r, c + 2)) + ")";
        };
        std::fprintf(out, "Per recruit, regime %d at recruitment %s: %s, %s\n", r, number(s.prref(r, 7)).c_str(),
                     point("Fmax", 1).c_str(), point("F0.1", 4).c_str());
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
        done_ = -1;
        throw TrialEnd{};
    }
    // Iterations finished (-1: the whole set).
    int done() const { return done_; }
    double seconds() const { return seconds_since(start_); }

private:
    double budget_;
    Clock::time_point start_ = Clock::now();
    int done_ = 0;
};

// Runs the per-recruit analysis and the start of the first option set with
// standard output held aside (shown only when the trial stops the run);
// returns the seconds of the analysis and of one whole set.
struct Trial {
    double setup = 0.0, per_set = 0.0;
};

Trial timed_trial(State& s, std::FILE* out) {
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
    const int done = watch.done() < 0 ? s.nsim : watch.done();
    const double per_iteration = watch.seconds() / std::max(done, 1);
    return Trial{setup, per_iteration * s.nsim};
}

// "0.4 s" below 10 seconds, else as the progress line says durations.
std::string duration_text(double t) {
    if (t >= 9.95) return human_duration(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", t);
    return buf;
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
    print_regimes(s, out);
    print_ages(s, out);
    print_limits(s, out);

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

    std::string files = out_path(s, unit_file(13));
    for (const LegacyFile& f : legacy_files) {
        if (!switched(f) || s.iout(f.unit) != 1) continue;
        files += ", " + out_path(s, f.unit == 12 ? summary_file(s) : std::string(f.name));
    }
    std::fprintf(out, "Files the run writes: %s\n", files.c_str());
    std::fflush(out);

    if (nsets > 0) {
        // Sets share the threads, as far as the machine has cores that other
        // programs leave free (the trial ran on one); a thread finishes its
        // sets one after the other. A set that runs again after a wrong
        // guess (never in the trial, which runs one set) adds its time.
        const long long threads = std::min<long long>(jobs > 0 ? jobs : 1, nsets);
        const Trial trial = timed_trial(s, out);
        print_perrecruit(s, out);
        const double cores = std::max(1.0, platform::free_cores());
        const double at_once = std::min(static_cast<double>(threads), cores);
        const double rounds = std::max(std::ceil(static_cast<double>(nsets) / static_cast<double>(threads)),
                                       static_cast<double>(nsets) / at_once);
        const double t = trial.setup + trial.per_set * rounds;
        std::fprintf(out, "Estimated run time: about %s on %lld thread%s (one set: %s)\n", duration_text(t).c_str(),
                     threads, threads == 1 ? "" : "s", duration_text(trial.per_set).c_str());
    } else {
        std::fputs("Estimated run time: none, no option set runs\n", out);
    }
}

}  // namespace tacsim
