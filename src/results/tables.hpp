// Results as data: long ("tidy") CSV tables of every option set beside the
// legacy files, the per-iteration series (gzip), and the per-recruit tables.
// Rows of a set are built into memory buffers from the set's result arrays
// and written to the files when the set ends, so the files only ever hold
// whole sets.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "records/records.hpp"
#include "model/state.hpp"
#include "results/results.hpp"

namespace tacsim {

// Table file names, as written into the results folder.
inline constexpr const char* kSetsCsv = "sets.csv";
inline constexpr const char* kYearlyCsv = "yearly.csv";
inline constexpr const char* kSummaryCsv = "summary.csv";
inline constexpr const char* kPerRecruitCsv = "perrecruit.csv";
inline constexpr const char* kRefPointsCsv = "refpoints.csv";
inline constexpr const char* kIterationsCsv = "iterations.csv.gz";
// The first iterations of every set (the thin lines of the report's fans).
inline constexpr const char* kSamplesCsv = "sample_iterations.csv";
inline constexpr int sample_count = 5;

// ---- the tables' columns
//
// Each table's columns in the order written. The writers build the header
// rows from these lists and the report reads the columns by these names
// (`name_in`, checked when the reader is compiled), so a column cannot be
// renamed on one side only.

// The name `name` of a list of names; a name not in the list does not
// compile.
template <std::size_t N>
consteval const char* name_in(const std::array<const char*, N>& names, std::string_view name) {
    for (const char* n : names) {
        if (std::string_view(n) == name) return n;
    }
    throw "not a name of the list";
}
template <std::size_t N, std::size_t M>
constexpr std::array<const char*, N + M> joined(const std::array<const char*, N>& a, const std::array<const char*, M>& b) {
    std::array<const char*, N + M> out{};
    for (std::size_t k = 0; k < N; ++k) out[k] = a[k];
    for (std::size_t k = 0; k < M; ++k) out[N + k] = b[k];
    return out;
}

// The yearly series of an iteration: quantities of yearly.csv and columns
// of the per-iteration tables.
inline constexpr std::array kSeries{"ssb", "tsb", "f", "catch", "tac", "recruitment"};
// The quantities of yearly.csv after the series: the TAC change (%), then
// the yearly probabilities (%, in `mean`).
inline constexpr const char* kTacChange = "tac_change";
inline constexpr std::array kYearlyRisks{"p_below_blim", "p_below_trigger", "p_crash"};

// sets.csv: `set` first, `rule` last, the options of the run's rule between.
inline constexpr std::array kSetsColumns{"set", "rule"};
inline constexpr std::array kYearlyColumns{"set", "year", "model_year", "quantity", "mean", "p05",
                                           "p10", "p25", "p50",        "p75",      "p90",  "p95"};
inline constexpr std::array kSummaryColumns{"set", "first_year", "last_year", "statistic", "value"};
inline constexpr std::array kSampleColumns = joined(std::array{"set", "iteration", "year"}, kSeries);
inline constexpr std::array kIterationColumns = joined(kSampleColumns, std::array{"regime"});
inline constexpr std::array kPerRecruitColumns{"regime",  "f_factor",  "yield",   "ssb",
                                               "tsb",     "pct_virgin", "yield_per_ssb", "age_catch",
                                               "age_ssb", "recruits",  "yield_per_recruit", "ssb_per_recruit"};
inline constexpr std::array kRefPointsColumns{"regime", "refpoint", "f", "yield", "ssb", "yield_per_recruit",
                                              "ssb_per_recruit"};

// tune.csv of a tuning, a row per value tried: kTuneFirstColumn, the options
// of the rule, kTuneColumns (the round, whether the value meets the limit,
// whether it is the answer; then what was tuned, on every row: the option,
// the column of the risk compared with the limit, the limit in %), the
// window statistics (<window>_<statistic>), then kTuneEndColumns (the tuned
// statistic's standard error, the search (0: the run's own stream) and its
// seed, and the answers' spread over the searches of the combination, empty
// without replicates).
inline constexpr const char* kTuneCsv = "tune.csv";
inline constexpr const char* kTuneFirstColumn = "combination";
inline constexpr std::array kTuneColumns{"round", "meets", "answer", "tuned", "statistic", "limit"};
inline constexpr std::array kTuneEndColumns{"statistic_se", "replicate",  "seed",
                                            "answer_min",   "answer_max", "answer_sd"};

// The tables of an ensemble's folder: the statistics of the reference models
// pooled with their weights, each model's, and per set the robustness models
// that meet the risk limit.
inline constexpr const char* kEnsembleCsv = "ensemble.csv";
inline constexpr const char* kByModelCsv = "by_model.csv";
inline constexpr const char* kRobustnessCsv = "robustness.csv";
inline constexpr std::array kEnsembleColumns{"set", "first_year", "last_year", "statistic", "value"};
inline constexpr std::array kByModelColumns{"model",      "model_set", "weight",    "set",
                                            "first_year", "last_year", "statistic", "value"};
inline constexpr std::array kRobustnessColumns{"set",        "first_year", "last_year", "statistic",
                                               "risk_limit", "models",     "meeting"};

// The header row of a table: its columns, comma-separated, and a line end.
void headerline(std::string& b, std::span<const char* const> columns);

// The text of one option set's rows, per table. The strings keep their
// capacity from set to set, so after the first set nothing is allocated.
struct TableRows {
    std::string sets, yearly, summary, iterations, samples;
    std::string mcerror;  // Monte Carlo standard errors of the summary
    void clear();
};

// ---- CSV text (RFC 4180, LF line ends)

// The shortest text that reads back to the same float; NaN gives an empty
// field, infinities "Inf" and "-Inf".
void putnum(std::string& b, float v);
void putint(std::string& b, long long v);
// A text field, quoted when it holds a comma, a quote or a line end.
void puttext(std::string& b, std::string_view t);

// ---- the statistics of a window

// The window summary of model years first..last, in the order of the
// summary table: the twenty statistics of the legacy summary record (Cmean
// .. Crash), then risk1, risk2, risk3 (percent) and tac_change_under_20.
inline constexpr int nsummary = 24;
using SummaryValues = std::array<float, nsummary>;
void windowsummary(State& s, int first, int last, const YearVec& plim, const YearVec& ptrig, const YearVec& pcrash,
                   SummaryValues& out);
// Name of statistic k (0-based) as the summary table spells it.
const char* summaryname(int k);

// ---- rows

// Header rows of the per-set tables; the sets table's columns depend on the
// rule.
void headerrows(const State& s, TableRows& out, bool iterations, bool samples = false);
// Every row of option set number `set` (1, 2, ... in sweep order), from the
// set's result arrays after its statistics; the per-iteration series only
// when `iterations`, the first iterations' only when `samples`.
void setrows(State& s, long long set, TableRows& out, bool iterations, bool samples = false);
// The rows of sample_iterations.csv of option set `set`: its first
// sample_count iterations, years 0..40 of the model as calendar years (set,
// iteration, year, ssb, tsb, f, catch, tac, recruitment).
void samplerows(const State& s, long long set, std::string& b);
// The per-recruit table and the reference points of every regime, with
// their header rows.
void perrecruitrows(const State& s, std::string& perrecruit, std::string& refpoints);

// Column names of the sets table, after `set`: the options the run's rule
// names in its result headers, made unique, then `rule`.
std::vector<std::string> setcolumns(const State& s);
// Names made unique by a suffix _2, _3, ... on a repeat (also of "set" and
// "rule", the sets table's own columns).
std::vector<std::string> uniquenames(const std::vector<std::string>& names);

// ---- the files

// The table files of a run in one results folder. Write failures stop the
// run with "Cannot write output file NAME" on standard output (exit 1).
class Tables {
public:
    Tables() = default;
    Tables(const Tables&) = delete;
    Tables& operator=(const Tables&) = delete;
    ~Tables();

    // Creates the per-set tables in `dir` with their header rows (after the
    // options are read: the sets table's columns depend on the rule);
    // iterations.csv.gz with `iterations`, sample_iterations.csv with
    // `samples`.
    void open(State& s, const std::string& dir, bool iterations, bool samples = false);
    // Writes perrecruit.csv and refpoints.csv (after the per-recruit
    // analysis).
    void writeperrecruit(State& s);
    // Rows of option set number `set` (from 1, in sweep order), which has
    // just ended, into memory; then onto disk with `commit`, right after the
    // legacy files are flushed.
    void endset(State& s, long long set);
    void commit(OutFile* console);
    // Writes rows built elsewhere (by setrows on a state of their own) as
    // those of option set `set`, which must follow the last one written;
    // empties them.
    void write(TableRows& rows, long long set, OutFile* console);
    void close(OutFile* console);
    // A resumed run, after `sets` sets written by an earlier one that took
    // `seconds` each: `at(name, stream, size)` takes over the file of each
    // table (opened with the state's units held) and sets its size. False
    // when one cannot be taken over.
    bool resume(long long sets, const std::vector<double>& seconds,
                const std::function<bool(const std::string&, OutFile&, std::uintmax_t&)>& at);

    bool is_open() const { return open_; }
    bool iterations() const { return iterations_; }
    long long sets() const { return set_; }
    // Seconds each finished set took, in sweep order.
    const std::vector<double>& seconds() const { return seconds_; }

    // A file and its size at the end of the last finished set (or after
    // its header rows): the length to cut it back to when a run is
    // interrupted.
    struct Committed {
        std::string path;
        std::uintmax_t size;
    };
    std::vector<Committed> committed() const;
    // Names of the files written so far.
    std::vector<std::string> names() const;

private:
    struct File {
        OutFile out;
        std::string path, name;
        std::uintmax_t size = 0;
    };
    void openfile(State& s, File& f, const char* name);
    void put(File& f, const std::string& text);
    void gzipmember(const std::string& text);

    bool open_ = false, iterations_ = false, samples_ = false, perrecruit_ = false;
    std::string dir_;
    File sets_f_, yearly_f_, summary_f_, iters_f_, samples_f_, mcerror_f_;
    TableRows rows_;
    long long set_ = 0;
    std::vector<double> seconds_;
    double last_ = 0.0;
    z_stream z_{};
    bool zinit_ = false;
    std::string zout_;
};

}  // namespace tacsim
