// `tacsim tune`: the request checked, the inputs read once, the combinations
// of the other options each searched with sets on the thread runner, the
// table and tune.csv written as each combination ends.
#include "driver/tune.hpp"


#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <string_view>
#include <system_error>

#include <limits>

#include "driver/ensemble.hpp"
#include "driver/runlife.hpp"
#include "driver/runwatch.hpp"
#include "io/input.hpp"
#include "platform/platform.hpp"
#include "report/numbers.hpp"
#include "results/pooled.hpp"
#include "records/durable.hpp"
#include "io/outfiles.hpp"
#include "management/rulebook.hpp"
#include "perrecruit/perrecruit.hpp"
#include "random/draws.hpp"
#include "results/mcerror.hpp"
#include "results/tables.hpp"
#include "simulation/parallel.hpp"
#include "simulation/simulation.hpp"

namespace tacsim {

namespace {

// ---------------------------------------------------------------- numbers

// As the tables write numbers: the shortest text that reads back to the
// same float, empty for NaN.
std::string shortest(float v) {
    std::string b;
    putnum(b, v);
    return b;
}

// The tolerance as the user would write it: 0.0065, not the float 0.0064999997.
std::string tolerance_text(float tol) {
    const double v[] = {tol};
    return report::fixed(tol, report::option_decimals(v));
}

std::string lower(std::string_view t) {
    std::string r(t);
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

// ---------------------------------------------------------------- request

// An option the rule names: k of par(k) and its header name.
struct OptionName {
    int option;
    std::string name;
};

struct Request {
    int option = 0;             // k of par(k)
    std::string name;           // as the headers spell it
    float lo = 0, hi = 0, tol = 0, limit = 0;
    int stat = risk3;
    Window window = Window::all;
    int jobs = 1;
    std::vector<OptionName> named;   // every option the rule names
    std::vector<int> swept;          // indices into named: the other swept options
    std::vector<int> decimals;       // per named option: the decimals of its range in opt.inn
    int tuned_decimals = 0;          // of the tuned option on the terminal
    std::string criterion;           // pooled or each
};

int usage(std::FILE* err, const std::string& text) {
    std::fprintf(err, "tacsim tune: %s (see tacsim tune --help)\n", text.c_str());
    return 2;
}

// ---------------------------------------------------------------- output

const char* outcome_text(const TuneResult& r) {
    switch (r.outcome) {
        case Outcome::both_meet: return "both ends meet the limit";
        case Outcome::neither_meets: return "neither end meets the limit";
        default: return r.direction == Direction::rising ? "risk rises with the option" : "risk falls with the option";
    }
}

class TuneCsv {
public:
    // `path` as messages name it, made at `where`.
    bool open(const std::string& path, const std::string& where) {
        path_ = path;
        f_ = std::fopen(where.c_str(), "wb");
        return f_ != nullptr;
    }
    ~TuneCsv() {
        if (f_) std::fclose(f_);
    }
    void header(const Request& q) {
        line_ = kTuneFirstColumn;
        for (const OptionName& o : q.named) field(o.name);
        for (const char* c : kTuneColumns) field(c);
        for (int w = 0; w < nwindows; ++w) {
            for (int k = 0; k < nsummary; ++k) {
                field(std::string(window_name(static_cast<Window>(w))) + "_" + summaryname(k));
            }
        }
        for (const char* c : kTuneEndColumns) field(c);
        end();
    }
    void rows(const Request& q, int combination, const TunedCombination& c, const std::string& spread) {
        for (std::size_t i = 0; i < c.result.points.size(); ++i) {
            const TunePoint& p = c.result.points[i];
            line_ = std::to_string(combination);
            for (const OptionName& o : q.named) field(shortest(o.option == q.option ? p.value : c.par(o.option)));
            field(std::to_string(p.round));
            field(p.risk <= q.limit ? "1" : "0");
            field(static_cast<int>(i) == c.result.answer_index ? "1" : "0");
            field(q.name);
            field(std::string(window_name(q.window)) + "_" + summaryname(q.stat));
            field(shortest(q.limit));
            for (int w = 0; w < nwindows; ++w) {
                for (int k = 0; k < nsummary; ++k) field(shortest(c.stats[i][w][k]));
            }
            field(shortest(c.se[i]));
            field(std::to_string(c.replicate));
            field(c.seed);
            line_ += spread;
            end();
        }
    }
    // False when the file could not be written.
    bool flush() { return f_ && !failed_ && std::fflush(f_) == 0 && !std::ferror(f_); }
    bool close() {
        const bool ok = flush();
        const bool closed = f_ && std::fclose(f_) == 0;
        f_ = nullptr;
        return ok && closed;
    }
    const std::string& path() const { return path_; }

private:
    void field(const std::string& t) {
        line_ += ',';
        line_ += t;
    }
    void end() {
        line_ += '\n';
        if (!f_ || std::fwrite(line_.data(), 1, line_.size(), f_) != line_.size()) failed_ = true;
    }
    std::FILE* f_ = nullptr;
    bool failed_ = false;
    std::string path_, line_;
};

// The table on standard output: fixed columns, one row per combination.
class TuneTable {
public:
    TuneTable(const Request& q, std::FILE* out) : q_(q), out_(out) {}
    void header() {
        row_.clear();
        for (int i : q_.swept) cell(q_.named[i].name);
        cell(q_.name);
        cell("meets");
        cell("fails");
        cell(std::string(summaryname(q_.stat)) + "%");
        cell("se");
        cell("C50");
        cell("IAV%");
        cell("SSB50");
        cell("sets");
        emit("result");
    }
    void row(const TunedCombination& c) {
        const TuneResult& r = c.result;
        const SummaryValues& v = c.stats[r.answer_index][static_cast<int>(q_.window)];
        row_.clear();
        // Options with the decimals of their range, the tuned one also with
        // a decimal beyond the tolerance; statistics by four significant
        // digits, trailing zeros kept. tune.csv has the full values.
        for (int i : q_.swept) cell(report::fixed(c.par(q_.named[i].option), q_.decimals[i]));
        cell(report::fixed(r.answer, q_.tuned_decimals));
        cell(r.has_meets ? report::fixed(r.meets, q_.tuned_decimals) : "-");
        cell(r.has_fails ? report::fixed(r.fails, q_.tuned_decimals) : "-");
        cell(report::significant(v[q_.stat]));
        cell(report::significant(c.se[static_cast<std::size_t>(r.answer_index)]));
        for (const int k : {static_cast<int>(C50), static_cast<int>(IAV), static_cast<int>(SSB50)}) {
            cell(report::significant(v[k]));
        }
        cell(std::to_string(r.points.size()));
        emit(outcome_text(r));
    }

private:
    void cell(const std::string& t) {
        const std::size_t w = std::max<std::size_t>(10, t.size() + 1);
        row_ += std::string(w - t.size(), ' ');
        row_ += t;
    }
    void emit(const char* last) {
        std::fprintf(out_, "%s  %s\n", row_.c_str(), last);
        std::fflush(out_);
    }
public:
    // The tuned value's spread over the searches under several seeds.
    void spread(int searches, float lo, float hi, float sd) {
        std::fprintf(out_, "  %s under %d seeds: %s to %s, standard deviation %s\n", q_.name.c_str(), searches,
                     shortest(lo).c_str(), shortest(hi).c_str(), report::significant(sd).c_str());
        std::fflush(out_);
    }

private:
    const Request& q_;
    std::FILE* out_;
    std::string row_;
};

// ---------------------------------------------------------------- search

// A stop of the model in one of the sets: the exit status and what the run
// would have written.
struct TuneStopped {
    int status;
    std::string message;
};

// The Monte Carlo standard error of summary statistic `stat` in the window,
// of the set whose results the state holds (after setstats); NaN when the
// window has no values.
float statistic_se(State& s, Window window, int stat) {
    int first = 0, last = 0;
    window_years(s, window, first, last);
    if (!(1 <= first && first <= last && last <= maxyear)) return std::numeric_limits<float>::quiet_NaN();
    YearVec plim, ptrig, pcrash;
    yearlyrisks(s, plim, ptrig, pcrash);
    McErrors e;
    mcerrors(s, first, last, plim, ptrig, pcrash, e);
    for (const McError& m : e)
        if (std::string_view(m.statistic) == summaryname(stat)) return m.se;
    return std::numeric_limits<float>::quiet_NaN();
}

// The sets of one batch of points on the runner's threads, each from the
// model the inputs and the per-recruit analysis leave (as a run of that one
// set starts); their statistics from the model each set ends with. The
// first stop, in the order of the batch, ends the tuning.
void runbatch(SetRunner& runner, const std::shared_ptr<const Model>& start, State& scratch,
              const OptionVec& base, int option, std::span<TunePoint> batch, std::vector<SetDigest>& digests,
              bool whole, std::vector<float>& ses, int stat, Window window, long long& jobno) {
    const long long first = jobno + 1;
    for (TunePoint& p : batch) {
        SetJob job;
        job.k = ++jobno;
        job.par = base;
        job.par(option) = p.value;
        job.start = start;
        runner.submit(std::move(job), false);
    }
    std::vector<SetOutcome> done(batch.size());
    for (std::size_t n = 0; n < batch.size();) {
        if (const int sig = interruption()) {
            runner.cancel();
            throw Interrupted{sig};
        }
        SetOutcome o;
        if (!runner.collect(o, std::chrono::milliseconds(200))) continue;
        const std::size_t i = static_cast<std::size_t>(o.job.k - first);
        done[i] = std::move(o);
        ++n;
    }
    digests.assign(batch.size(), SetDigest{});
    for (std::size_t i = 0; i < batch.size(); ++i) {
        SetOutcome& o = done[i];
        if (o.stop || !o.end) {
            // What the run would have written on its two streams, then its status.
            const Stopped st = o.stop ? stopped_by(o.stop) : Stopped{};
            std::string message = o.held[17] + o.held[18];
            if (!st.said.empty()) message += st.said + "\n";
            throw TuneStopped{st.status, message};
        }
        std::memcpy(static_cast<void*>(static_cast<Model*>(&scratch)), o.end.get(), sizeof(Model));
        swap_results(scratch, *o.results);
        o.results.reset();  // its store back for the next set
        // Pooling needs the whole digest; a single model its statistics.
        if (whole) {
            digest_set(scratch, o.job.k, digests[i]);
        } else {
            setstats(scratch, digests[i].stats);
        }
        ses.push_back(statistic_se(scratch, window, stat));
    }
}

// One operating model of a tuning (a plain tuning has one, of weight 1):
// its inputs, the model its sets start from and its threads.
struct TuneModel {
    OperatingModel om;
    std::unique_ptr<State> s;
    std::shared_ptr<const Model> start;
    std::unique_ptr<SetRunner> runner;
};

// A batch of points on every model; each point's statistics are the
// pooled ones of the reference models (a single model's own), its risk
// the pooled statistic or, by the criterion `each`, the largest of the
// reference models'.
void evaluate(std::vector<TuneModel>& models, const std::vector<std::shared_ptr<const Model>>& starts,
              const OptionVec& base, int option, std::span<TunePoint> batch, TunedCombination& tc, int stat,
              Window window, bool each, long long& jobno) {
    const bool pooled = models.size() > 1;
    std::vector<std::vector<SetDigest>> digests(models.size());
    std::vector<float> ses;
    for (std::size_t j = 0; j < models.size(); ++j) {
        ses.clear();
        runbatch(*models[j].runner, starts[j], *models[j].s, base, option, batch, digests[j], pooled, ses, stat,
                 window, jobno);
    }
    const auto w = static_cast<std::size_t>(window);
    for (std::size_t i = 0; i < batch.size(); ++i) {
        SetValues v = digests[0][i].stats;
        std::vector<SetValues> each_model;
        std::vector<Weighed> members;
        for (std::size_t j = 0; j < models.size(); ++j) {
            if (models[j].om.reference) members.push_back({&digests[j][i], models[j].om.weight});
            each_model.push_back(digests[j][i].stats);
        }
        if (pooled) pooled_setvalues(members, v);
        tc.by_model.push_back(std::move(each_model));
        batch[i].risk = v[w][static_cast<std::size_t>(stat)];
        batch[i].catch_ = v[w][C50];
        if (each) {
            // Every reference model meets the limit when the largest of
            // their statistics does.
            batch[i].risk = -std::numeric_limits<float>::infinity();
            for (std::size_t j = 0; j < models.size(); ++j) {
                if (models[j].om.reference) {
                    batch[i].risk = std::max(batch[i].risk, digests[j][i].stats[w][static_cast<std::size_t>(stat)]);
                }
            }
        }
        tc.stats.push_back(v);
        // The standard error of a single model's statistic; pooled
        // statistics have none here.
        tc.se.push_back(pooled ? std::numeric_limits<float>::quiet_NaN() : ses[i]);
    }
}

// What is asked, as far as it can be checked before the inputs; 0, or the
// exit status of a wrong request (said on `err`).
int read_request(const RunOptions& opts, const TuneOptions& t, Request& q, std::FILE* err) {
    if (!parse_limit(t.limit, q.limit)) {
        return usage(err, "the risk limit must be a fraction from 0 to 1 or a percentage such as 5%, not '" +
                              t.limit + "'");
    }
    q.stat = -1;
    for (int k = risk1; k <= risk3; ++k) {
        if (lower(t.statistic) == summaryname(k)) q.stat = k;
    }
    if (q.stat < 0) return usage(err, "the statistic is risk1, risk2 or risk3, not '" + t.statistic + "'");
    bool wfound = false;
    for (int w = 0; w < nwindows; ++w) {
        if (lower(t.window) == window_name(static_cast<Window>(w))) {
            q.window = static_cast<Window>(w);
            wfound = true;
        }
    }
    if (!wfound) return usage(err, "the window is all, first5 or summary, not '" + t.window + "'");
    if (t.tolerance < 0.0f || !std::isfinite(t.tolerance)) return usage(err, "the tolerance must be positive");
    q.jobs = opts.jobs > 0 ? opts.jobs : default_jobs();
    q.criterion = lower(t.criterion);
    if (q.criterion != "pooled" && q.criterion != "each") {
        return usage(err, "the criterion is pooled or each, not '" + t.criterion + "'");
    }
    return 0;
}

// A wrong request found once the inputs are read: said, and the tuning stops.
[[noreturn]] void refuse(std::FILE* err, const std::string& text) { throw StopRun{usage(err, text)}; }

// The further seeds of --replicates: those after the run's own, or 1, 2,
// ... after the legacy stream; with a seed, every point of the search draws
// the same numbers, as the legacy stream does: the risk is then a smooth
// function of the option.
std::vector<std::shared_ptr<const Model>> replicate_starts(const std::vector<TuneModel>& models,
                                                           const RunOptions& opts, TunedCombination& tc) {
    std::vector<std::shared_ptr<const Model>> from;
    for (const TuneModel& m : models) from.push_back(m.start);
    if (tc.replicate > 0 || opts.seed) {
        const unsigned long long seed = opts.seed.value_or(0ULL) + static_cast<unsigned long long>(tc.replicate);
        tc.seed = std::to_string(seed);
        if (tc.replicate > 0) {
            for (std::shared_ptr<const Model>& f : from) {
                auto m = std::make_shared<Model>(*f);
                stream_seed(*m, seed);
                m->rng.common = 1;
                f = std::move(m);
            }
        }
    }
    return from;
}

// The tuned value's range and standard deviation over the searches of one
// combination, as tune.csv's last three fields (empty for a single search).
std::string answer_spread(const std::vector<TunedCombination>& searches, float& lo, float& hi, float& sd) {
    lo = searches[0].result.answer;
    hi = lo;
    sd = 0.0f;
    if (searches.size() < 2) return ",,,";
    float sum = 0.0f;
    for (const TunedCombination& tc : searches) {
        lo = std::min(lo, tc.result.answer);
        hi = std::max(hi, tc.result.answer);
        sum = sum + tc.result.answer;
    }
    const float n = static_cast<float>(searches.size());
    float ss = 0.0f;
    for (const TunedCombination& tc : searches) ss = ss + (tc.result.answer - sum / n) * (tc.result.answer - sum / n);
    sd = std::sqrt(ss / (n - 1.0f));
    return "," + shortest(lo) + "," + shortest(hi) + "," + shortest(sd);
}

// A tuning as a run: its folder claimed, the inputs of its model (or of every
// model of an ensemble file in place of the folder) read as a run reads
// them, the combinations of the other options each searched with sets on
// the thread runner, the table and tune.csv written as each ends.
class Tuning final : public RunSteps {
public:
    Tuning(const RunOptions& opts, const TuneOptions& t, Request& q, std::FILE* out, std::FILE* err)
        : opts_(opts), t_(t), q_(q), out_(out), err_(err),
          ensemble_(!opts.dir.empty() && std::filesystem::is_regular_file(opts.dir)), table_(q, out),
          progress_(!opts.quiet && platform::is_terminal(err)) {}

    // The output folder: the run's, or beside the ensemble file (or -o).
    std::string folder() const {
        if (!ensemble_) return opts_.output.empty() ? opts_.dir : opts_.output;
        const std::string beside = std::filesystem::path(opts_.dir).parent_path().string();
        return !opts_.output.empty() ? opts_.output : beside.empty() ? "." : beside;
    }
    bool writes() const override { return true; }
    void say(const std::string& text) override { std::fprintf(err_, "%s\n", text.c_str()); }
    void read_inputs() override;
    std::string* stagedir() override { return &models_.front().s->stagedir; }
    void staged(RunLife&) override;
    void run_sets(RunLife&) override;
    int stopped(const std::exception_ptr& e) override;
    int closed(RunLife&, int status) override;
    bool begun() const override { return keep_; }
    int published(RunLife&, int status) override {
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        if (status == 0) {
            std::fprintf(out_, "%zu option sets simulated in %.1f s; every point is in %s\n", sets_, secs,
                         csv_.path().c_str());
        }
        return status;
    }

private:
    void read_models();
    void find_option();
    void find_combinations();
    std::vector<TunedCombination> search(std::size_t c);
    void write_combination(std::size_t c, const std::vector<TunedCombination>& searches);
    void clear_line() {
        if (progress_ && searching_) std::fputs("\r\033[K", err_);
    }

    const RunOptions& opts_;
    const TuneOptions& t_;
    Request& q_;
    std::FILE *out_, *err_;
    const bool ensemble_;
    std::vector<TuneModel> models_;
    State* s_ = nullptr;  // the first reference model's inputs: its options and folder stand for all
    std::vector<OptionVec> combos_;  // the combinations of the other options, in sweep order
    TuneCsv csv_;
    bool csv_open_ = false, keep_ = false, cleared_ = false, searching_ = false;
    TuneTable table_;
    // Tuning an ensemble: every model's statistic at each answer.
    std::string bymodel_;
    long long jobno_ = 0;
    std::chrono::steady_clock::time_point start_;
    // A progress line only on a terminal: files and pipes keep their bytes.
    const bool progress_;
    std::size_t sets_ = 0, finished_ = 0;
};

void Tuning::read_models() {
    if (ensemble_) {
        std::string why;
        const auto oms = read_ensemble(opts_.dir, why);
        if (!oms) refuse(err_, why);
        for (const OperatingModel& om : *oms) {
            RunOptions mo = opts_;
            mo.dir = om.path;
            mo.output = folder();
            TuneModel m{om, make_state(), nullptr, nullptr};
            if (const int status = read_inputs_held(*m.s, mo, err_, true)) {
                std::fprintf(err_, "The tuning stops: the inputs of model '%s' (%s) cannot be run\n", om.name.c_str(),
                             om.path.c_str());
                throw StopRun{status};
            }
            if (!models_.empty()) {
                const std::string differs = option_sets_differ(*models_.front().s, models_.front().om.name, *m.s, om.name);
                if (!differs.empty()) {
                    std::fprintf(err_, "Cannot tune the ensemble %s: %s; the option sets must be the same in every model\n",
                                 opts_.dir.c_str(), differs.c_str());
                    throw StopRun{1};
                }
            }
            m.s->rng.common = 1;
            models_.push_back(std::move(m));
        }
        // The first reference model's options and output folder stand for all.
        std::stable_partition(models_.begin(), models_.end(), [](const TuneModel& m) { return m.om.reference; });
    } else {
        TuneModel m{OperatingModel{}, make_state(), nullptr, nullptr};
        m.om.weight = 1.0f;
        if (const int status = read_inputs_held(*m.s, opts_, err_, true)) throw StopRun{status};
        m.s->rng.common = 1;
        models_.push_back(std::move(m));
    }
    s_ = models_.front().s.get();
}

// The tuned option among those the rule names, and its range.
void Tuning::find_option() {
    const std::array<std::string, noptions> names = option_names(*s_);
    for (int k = 1; k <= noptions; ++k) {
        if (!names[k - 1].empty()) q_.named.push_back({k, names[k - 1]});
    }
    for (const OptionName& o : q_.named) {
        if (lower(o.name) == lower(t_.option)) {
            q_.option = o.option;
            q_.name = o.name;
        }
    }
    if (q_.option == 0) {
        std::string all;
        for (const OptionName& o : q_.named) all += " " + o.name;
        refuse(err_, "rule " + std::to_string(s_->nrule) + " has no option '" + t_.option + "'; its options are:" + all);
    }
    q_.lo = s_->parrange(q_.option, 1);
    q_.hi = s_->parrange(q_.option, 2);
    if (!(q_.hi > q_.lo)) {
        refuse(err_, "option " + q_.name + " has the single value " + shortest(q_.lo) +
                         " in opt.inn; give it a range (lowest, highest) to search");
    }
    q_.tol = t_.tolerance > 0.0f ? t_.tolerance : (q_.hi - q_.lo) / 100.0f;
    if (q_.window == Window::summary && !(s_->iout(12) == 1)) {
        refuse(err_, "the summary window is the window of the Years file, which opt.inn does not switch on");
    }
}

void Tuning::find_combinations() {
    const float step = s_->parrange(q_.option, 3);
    s_->parrange(q_.option, 2) = q_.lo;
    s_->parrange(q_.option, 3) = 0.0f;
    sweep(*s_, [&](State& st) {
        OptionVec p;
        for (int k = 1; k <= noptions; ++k) p(k) = st.par(k);
        combos_.push_back(p);
    });
    s_->parrange(q_.option, 2) = q_.hi;
    s_->parrange(q_.option, 3) = step;
    for (std::size_t i = 0; i < q_.named.size(); ++i) {
        const int k = q_.named[i].option;
        if (k != q_.option && optsteps(*s_, k) > 0) q_.swept.push_back(static_cast<int>(i));
        const double range[] = {s_->parrange(k, 1), s_->parrange(k, 2), s_->parrange(k, 3)};
        q_.decimals.push_back(report::option_decimals(range));
    }
    q_.tuned_decimals = report::tuned_decimals(q_.lo, q_.hi, q_.tol);
}

void Tuning::read_inputs() {
    read_models();
    find_option();
    find_combinations();
}

void Tuning::staged(RunLife&) {
    if (!csv_.open(out_path(*s_, kTuneCsv), write_path(*s_, kTuneCsv))) {
        say("Cannot open output file " + out_path(*s_, kTuneCsv));
        throw StopRun{1};
    }
    csv_open_ = true;
    csv_.header(q_);
    int first = 0, last = 0;
    window_years(*s_, q_.window, first, last);
    if (ensemble_) {
        std::fprintf(out_, "Ensemble %s: %zu models, the %s criterion (%s)\n", opts_.dir.c_str(), models_.size(),
                     q_.criterion.c_str(),
                     q_.criterion == "each" ? "every reference model meets the limit" : "the pooled reference set meets the limit");
    }
    std::fprintf(out_, "Tuning %s in [%s, %s] to %s: %s over model years %d-%d at or below %s %%, %zu combination%s, %d job%s\n",
                 q_.name.c_str(), shortest(q_.lo).c_str(), shortest(q_.hi).c_str(), tolerance_text(q_.tol).c_str(),
                 summaryname(q_.stat), first, last, shortest(q_.limit).c_str(),
                 combos_.size(), combos_.size() == 1 ? "" : "s", q_.jobs, q_.jobs == 1 ? "" : "s");
    table_.header();
    bymodel_ = "combination,model,model_set,weight," + q_.name + ",statistic,value,meets\n";
    // Every set starts from the model as the inputs and the per-recruit
    // analysis leave it: what a run of that one option set starts from.
    for (TuneModel& m : models_) {
        auto start = std::make_shared<Model>();
        std::memcpy(static_cast<void*>(start.get()), static_cast<const Model*>(m.s.get()), sizeof(Model));
        m.start = std::move(start);
        m.runner = thread_runner(*m.s, q_.jobs);
    }
}

// The searches of combination c: the run's own stream, then every replicate.
std::vector<TunedCombination> Tuning::search(std::size_t c) {
    std::vector<TunedCombination> searches(static_cast<std::size_t>(t_.replicates) + 1);
    for (std::size_t r = 0; r < searches.size(); ++r) {
        TunedCombination& tc = searches[r];
        tc.par = combos_[c];
        tc.replicate = static_cast<int>(r);
        // Each model's sets start from its own start, under a further seed for a replicate.
        const auto from = replicate_starts(models_, opts_, tc);
        tc.result = tune_search(q_.lo, q_.hi, q_.tol, q_.limit, q_.jobs, [&](std::span<TunePoint> batch) {
            if (progress_) {
                std::fprintf(err_, "\r\033[Kcombination %zu of %zu, round %d: %zu set%s, %.0f s", c + 1,
                             combos_.size(), batch[0].round, batch.size(), batch.size() == 1 ? "" : "s",
                             std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count());
                std::fflush(err_);
            }
            evaluate(models_, from, tc.par, q_.option, batch, tc, q_.stat, q_.window, q_.criterion == "each", jobno_);
        });
        clear_line();
        sets_ += tc.result.points.size();
    }
    return searches;
}

void Tuning::write_combination(std::size_t c, const std::vector<TunedCombination>& searches) {
    float lo = 0.0f, hi = 0.0f, sd = 0.0f;
    const std::string spread = answer_spread(searches, lo, hi, sd);
    for (const TunedCombination& tc : searches) csv_.rows(q_, static_cast<int>(c) + 1, tc, spread);
    if (!csv_.flush()) throw StopRun{1};
    ++finished_;
    table_.row(searches[0]);
    if (searches.size() > 1) table_.spread(static_cast<int>(searches.size()), lo, hi, sd);
    if (!ensemble_) return;
    // Every model's statistic at the answer.
    const TunedCombination& tc = searches[0];
    const auto& at = tc.by_model[static_cast<std::size_t>(tc.result.answer_index)];
    for (std::size_t j = 0; j < models_.size(); ++j) {
        const TuneModel& m = models_[j];
        const float v = at[j][static_cast<std::size_t>(q_.window)][static_cast<std::size_t>(q_.stat)];
        std::fprintf(out_, "    %s (%s): %s %s %%, %s\n", m.om.name.c_str(),
                     m.om.reference ? ("reference, weight " + shortest(m.om.weight)).c_str() : "robustness",
                     summaryname(q_.stat), shortest(v).c_str(), v <= q_.limit ? "meets the limit" : "over the limit");
        bymodel_ += std::to_string(c + 1) + ",";
        puttext(bymodel_, m.om.name);
        bymodel_ += m.om.reference ? ",reference," + shortest(m.om.weight) : std::string(",robustness,");
        bymodel_ += "," + shortest(tc.result.answer) + "," + std::string(window_name(q_.window)) + "_" +
                    summaryname(q_.stat) + "," + shortest(v) + "," + (v <= q_.limit ? "1" : "0") + "\n";
    }
}

void Tuning::run_sets(RunLife&) {
    start_ = std::chrono::steady_clock::now();
    searching_ = true;
    for (std::size_t c = 0; c < combos_.size(); ++c) write_combination(c, search(c));
}

int Tuning::stopped(const std::exception_ptr& e) {
    clear_line();
    cleared_ = true;
    try {
        std::rethrow_exception(e);
    } catch (const TuneStopped& st) {
        std::fputs(st.message.c_str(), err_);
        return st.status;
    } catch (const Interrupted& in) {
        say(interrupted_after(static_cast<long long>(finished_), static_cast<long long>(combos_.size()), "evaluations"));
        return 128 + in.signal;
    } catch (...) {
        const Stopped st = stopped_by(std::current_exception());
        if (!st.said.empty()) say(st.said);
        return st.status;
    }
}

// tune.csv with the rows of the finished combinations is kept, or the
// previous one left as it was when none finished.
int Tuning::closed(RunLife&, int status) {
    if (!cleared_) clear_line();
    if (!csv_open_) return status;
    bool ok = csv_.close();
    std::string why;
    if (ok && ensemble_ && finished_ > 0) ok = write_whole(write_path(*s_, "tune_by_model.csv"), bymodel_, &why);
    keep_ = ok && finished_ > 0;
    if (!ok) {
        say(why.empty() ? "Cannot write output file " + csv_.path() : why);
        if (status == 0) status = 1;
    }
    return status;
}

}  // namespace

// ---------------------------------------------------------------- public

bool parse_limit(const std::string& text, float& limit) {
    std::string t = text;
    while (!t.empty() && t.back() == ' ') t.pop_back();
    const bool percent = !t.empty() && t.back() == '%';
    if (percent) {
        t.pop_back();
        while (!t.empty() && t.back() == ' ') t.pop_back();
    }
    if (t.empty()) return false;
    double v = 0.0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isfinite(v)) return false;
    if (!percent) v = v * 100.0;
    if (!(v >= 0.0 && v <= 100.0)) return false;
    limit = static_cast<float>(v);
    return true;
}

int tune(const RunOptions& opts, const TuneOptions& t, std::FILE* out, std::FILE* err) {
    Request q;
    if (const int status = read_request(opts, t, q, err)) return status;
    // tune.csv made aside and moved into place at the end: the previous
    // tune.csv stays until this one has a row.
    Tuning tuning(opts, t, q, out, err);
    RunLife life(tuning.folder(), false, ".tacsim-partial-tune");
    return life.live(tuning);
}

}  // namespace tacsim
