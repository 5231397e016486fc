#include "driver/tune.hpp"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <limits>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

#include "driver/driver.hpp"
#include "io/input.hpp"
#include "io/outfiles.hpp"
#include "perrecruit/perrecruit.hpp"
#include "simulation/simulation.hpp"

namespace tacsim {

namespace {

// ---------------------------------------------------------------- capture

// A temporary file that stands in for standard output and the error stream
// of a state, so that a stop's message can be passed on.
class Capture {
public:
    Capture() : f_(std::tmpfile()) {}
    ~Capture() {
        if (f_) std::fclose(f_);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    void attach(State& s) {
        if (!f_) return;
        s.con.attach(f_, "standard output");
        s.err.attach(f_, "error stream");
    }
    // Everything written so far (the state's streams flushed first).
    std::string text(State& s) {
        try {
            s.con.flush();
            s.err.flush();
        } catch (const StopRun&) {
        }
        std::string t;
        if (!f_) return t;
        std::rewind(f_);
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f_)) > 0) t.append(buf, n);
        return t;
    }

private:
    std::FILE* f_;
};

// Runs `body` on the state; a stop of the model leaves its message (what a
// run would have written on its two streams) in `message` and is passed on
// as StopRun with the run's exit status.
template <class F>
void guarded(State& s, Capture& cap, std::string& message, F&& body) {
    int status = 0;
    try {
        body();
        return;
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
    }
    message += cap.text(s);
    throw StopRun{status};
}

// The inputs of the run read into a fresh state, as a run reads them, then
// the per-recruit analysis (whose recruitment values the first set starts
// from).
void setup(State& s, const RunOptions& opts) {
    setnames(s, opts);
    getpopinn(s);
    getoptinn(s);
    yieldrecr(s);
}

// ---------------------------------------------------------------- numbers

std::string shortest(float v) {
    if (std::isnan(v)) return "";
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string general(float v, int digits = 6) {
    if (std::isnan(v)) return "-";
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*g", digits, static_cast<double>(v));
    return buf;
}

std::string lower(std::string_view t) {
    std::string r(t);
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

// ---------------------------------------------------------------- request

struct Request {
    int option = 0;             // k of par(k)
    std::string name;           // as the headers spell it
    float lo = 0, hi = 0, tol = 0, limit = 0;
    int stat = risk3;
    Window window = Window::all;
    int jobs = 1;
    std::vector<OptionName> named;   // every option the rule names
    std::vector<int> swept;          // indices into named: the other swept options
};

int usage(std::FILE* err, const std::string& text) {
    std::fprintf(err, "tacsim tune: %s (see tacsim tune --help)\n", text.c_str());
    return 2;
}

// ---------------------------------------------------------------- output

constexpr int nshown = 4;  // statistics shown in the table besides the risk

const char* outcome_text(const TuneResult& r) {
    switch (r.outcome) {
        case Outcome::both_meet: return "both ends meet the limit";
        case Outcome::neither_meets: return "neither end meets the limit";
        default: return r.direction == Direction::rising ? "risk rises with the option" : "risk falls with the option";
    }
}

class TuneCsv {
public:
    bool open(const std::string& path) {
        path_ = path;
        f_ = std::fopen(path.c_str(), "wb");
        return f_ != nullptr;
    }
    ~TuneCsv() {
        if (f_) std::fclose(f_);
    }
    void header(const Request& q) {
        line_ = "combination";
        for (const OptionName& o : q.named) field(o.name);
        field("round");
        field("meets");
        field("answer");
        for (int w = 0; w < nwindows; ++w) {
            for (int k = 0; k < nsummary; ++k) {
                field(std::string(window_name(static_cast<Window>(w))) + "_" + summaryname(k));
            }
        }
        end();
    }
    void rows(const Request& q, int combination, const TunedCombination& c) {
        for (std::size_t i = 0; i < c.result.points.size(); ++i) {
            const TunePoint& p = c.result.points[i];
            line_ = std::to_string(combination);
            for (const OptionName& o : q.named) field(shortest(o.option == q.option ? p.value : c.par(o.option)));
            field(std::to_string(p.round));
            field(p.risk <= q.limit ? "1" : "0");
            field(static_cast<int>(i) == c.result.answer_index ? "1" : "0");
            for (int w = 0; w < nwindows; ++w) {
                for (int k = 0; k < nsummary; ++k) field(shortest(c.stats[i][w][k]));
            }
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
        for (int i : q_.swept) cell(shortest(c.par(q_.named[i].option)));
        cell(shortest(r.answer));
        cell(r.has_meets ? shortest(r.meets) : "-");
        cell(r.has_fails ? shortest(r.fails) : "-");
        cell(general(v[q_.stat], 4));
        cell(general(v[C50]));
        cell(general(v[IAV], 4));
        cell(general(v[SSB50]));
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

// Simulates one batch of points on up to `jobs` threads, each point on a
// state of its own. The first stop (in the order of the batch) wins.
void runbatch(const SetEvaluator& ev, const OptionValues& base, int option, std::span<TunePoint> batch,
              std::vector<SetValues>& stats, int jobs, int stat, Window window) {
    const std::size_t first = stats.size();
    stats.resize(first + batch.size());
    std::vector<std::string> messages(batch.size());
    std::vector<int> status(batch.size(), 0);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= batch.size()) return;
            OptionValues par = base;
            par(option) = batch[i].value;
            try {
                ev.evaluate(par, stats[first + i], messages[i]);
            } catch (const StopRun& st) {
                status[i] = st.status;
            } catch (const std::exception& e) {
                messages[i] = std::string("Internal error: ") + e.what() + "\n";
                status[i] = 1;
            }
        }
    };
    const int n = std::min<int>(jobs, static_cast<int>(batch.size()));
    if (n <= 1) {
        work();
    } else {
        std::vector<std::thread> threads;
        threads.reserve(n);
        for (int t = 0; t < n; ++t) threads.emplace_back(work);
        for (std::thread& t : threads) t.join();
    }
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (status[i] != 0) throw TuneStopped{status[i], messages[i]};
        const SummaryValues& v = stats[first + i][static_cast<int>(window)];
        batch[i].risk = v[stat];
        batch[i].catch_ = v[C50];
    }
}

}  // namespace

// ---------------------------------------------------------------- public

void SetEvaluator::evaluate(const OptionValues& par, SetValues& out, std::string& message) const {
    auto s = make_state();
    Capture cap;
    guarded(*s, cap, message, [&] {
        // Nothing the inputs and the per-recruit analysis write is wanted
        // here: the streams are attached only for the set itself.
        setup(*s, opts_);
        cap.attach(*s);
        for (int k = 1; k <= noptions; ++k) s->par(k) = par(k);
        simulateset(*s);
        setstats(*s, out);
    });
}

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
    // ---- what is asked, as far as it can be checked before the inputs
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
    q.jobs = t.jobs > 0 ? t.jobs : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));

    // ---- the inputs, read and checked as a run reads them
    auto s = make_state();
    Capture cap;
    std::string message;
    try {
        guarded(*s, cap, message, [&] {
            setup(*s, opts);
            checkranges(*s);
        });
    } catch (const StopRun& st) {
        std::fputs(message.c_str(), err);
        return st.status;
    }

    q.named = option_names(s->nrule);
    for (const OptionName& o : q.named) {
        if (lower(o.name) == lower(t.option)) {
            q.option = o.option;
            q.name = o.name;
        }
    }
    if (q.option == 0) {
        std::string names;
        for (const OptionName& o : q.named) names += " " + o.name;
        return usage(err, "rule " + std::to_string(s->nrule) + " has no option '" + t.option + "'; its options are:" +
                              names);
    }
    q.lo = s->parrange(q.option, 1);
    q.hi = s->parrange(q.option, 2);
    if (!(q.hi > q.lo)) {
        return usage(err, "option " + q.name + " has the single value " + shortest(q.lo) +
                              " in opt.inn; give it a range (lowest, highest) to search");
    }
    q.tol = t.tolerance > 0.0f ? t.tolerance : (q.hi - q.lo) / 100.0f;
    if (q.window == Window::summary && !(s->iout(12) == 1)) {
        return usage(err, "the summary window is the window of the Years file, which opt.inn does not switch on");
    }

    // ---- the combinations of the other options, in sweep order
    std::vector<OptionValues> combos;
    {
        const float step = s->parrange(q.option, 3);
        s->parrange(q.option, 2) = q.lo;
        s->parrange(q.option, 3) = 0.0f;
        sweep(*s, [&](State& st) {
            OptionValues p;
            for (int k = 1; k <= noptions; ++k) p(k) = st.par(k);
            combos.push_back(p);
        });
        s->parrange(q.option, 2) = q.hi;
        s->parrange(q.option, 3) = step;
    }
    for (std::size_t i = 0; i < q.named.size(); ++i) {
        const int k = q.named[i].option;
        if (k != q.option && optsteps(*s, k) > 0) q.swept.push_back(static_cast<int>(i));
    }

    // ---- the output folder and tune.csv
    const std::string outdir = opts.output.empty() ? opts.dir : opts.output;
    if (!opts.output.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(opts.output, ec);
        if (ec || !std::filesystem::is_directory(opts.output)) {
            std::fprintf(err, "Cannot create the output folder %s\n", opts.output.c_str());
            return 1;
        }
    }
    TuneCsv csv;
    if (!csv.open(out_path(*s, "tune.csv"))) {
        std::fprintf(err, "Cannot open output file %s\n", out_path(*s, "tune.csv").c_str());
        return 1;
    }
    csv.header(q);

    int first = 0, last = 0;
    window_years(*s, q.window, first, last);
    std::fprintf(out, "Tuning %s in [%s, %s] to %s: %s over model years %d-%d at or below %s %%, %zu combination%s, %d job%s\n",
                 q.name.c_str(), shortest(q.lo).c_str(), shortest(q.hi).c_str(), shortest(q.tol).c_str(),
                 summaryname(q.stat), first, last, general(q.limit).c_str(),
                 combos.size(), combos.size() == 1 ? "" : "s", q.jobs, q.jobs == 1 ? "" : "s");
    TuneTable table(q, out);
    table.header();

    const SetEvaluator ev(opts);
    const auto start = std::chrono::steady_clock::now();
    std::size_t sets = 0;
    for (std::size_t c = 0; c < combos.size(); ++c) {
        TunedCombination tc;
        tc.par = combos[c];
        try {
            tc.result = tune_search(q.lo, q.hi, q.tol, q.limit, q.jobs, [&](std::span<TunePoint> batch) {
                runbatch(ev, tc.par, q.option, batch, tc.stats, q.jobs, q.stat, q.window);
            });
        } catch (const TuneStopped& st) {
            csv.close();
            std::fputs(st.message.c_str(), err);
            return st.status;
        }
        sets += tc.result.points.size();
        csv.rows(q, static_cast<int>(c) + 1, tc);
        if (!csv.flush()) {
            std::fprintf(err, "Cannot write output file %s\n", csv.path().c_str());
            return 1;
        }
        table.row(tc);
    }
    if (!csv.close()) {
        std::fprintf(err, "Cannot write output file %s\n", csv.path().c_str());
        return 1;
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(out, "%zu option sets simulated in %.1f s; every point is in %s\n", sets, secs, csv.path().c_str());
    return 0;
}

}  // namespace tacsim
