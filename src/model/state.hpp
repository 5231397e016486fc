// The model state: every variable the procedures share, at the index ranges
// of the model (ages 0..15, stock years -15..40, perceived and projected years
// -15..45, regimes 1..40, iterations 1..N). One object is owned by the run
// (main or a test) and passed by reference; it starts zero or blank.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <string>
#include <string_view>

#include "model/array.hpp"
#include "records/records.hpp"
#include "model/stream.hpp"

namespace tacsim {

class Tables;
class SweepObserver;
class Rulebook;

inline constexpr int maxage = 15;
inline constexpr int maxyear = 40;
inline constexpr int maxproj = 45;  // projection horizon of the perceived stock
inline constexpr int maxreg = 40;
// The iterations of an option set unless the run asks for another number.
inline constexpr int maxiter = 1000;
// The most iterations per option set a run may ask for.
inline constexpr int max_nsim = 10000000;
inline constexpr int maxbasis = 5;
inline constexpr int noptions = 23;
inline constexpr int maxtacyr = 56;  // last year of the TAC vector of an iteration

using AgeVec = Array<float, 0, maxage>;
using YearAge = Array<float, -15, maxyear, 0, maxage>;         // (year, age)
using AgePar = Array<float, 0, maxage, 1, 5>;                  // (age, 1..5)
using ProjVec = Array<float, -15, maxproj>;                    // (year -15..45)
using ResArr = Array<float, 0, maxyear, 1, dyn>;               // (year, iteration)
using TacVec = Array<float, 0, maxtacyr>;                      // TAC by model year
using BasisVec = Array<float, 1, maxbasis>;

// Outbursts happen when their mean interval exceeds one year and their
// factor 1; otherwise no outburst year is drawn and no level raised for them.
inline bool outbursts_happen(float interval, float factor) { return interval > 1.0f && factor > 1.0f; }

// One recruitment regime as bio.inn gives it in four records. A regime whose
// function code exceeds 9 takes its function, distribution, level, SSB
// parameter and CV per iteration from srspec (srflag, srpar); the rest from
// here.
struct Regime {
    // record 1
    int function = 0;      // 1 segmented power, 2 Shepherd, 3 Ricker; above 9: per iteration from srspec
    int distribution = 0;  // of the deviate: 1 normal multiplier, 2 lognormal multiplier
    int truncation = 0;    // what the limits bound: 1 the normal deviate, 2 the multiplier
    // record 2
    float level = 0;     // maximum (asymptotic) recruitment
    float ssb = 0;       // the SSB parameter: break point, half-saturation or Ricker peak
    float cv = 0;        // CV (log-SD for lognormal) of the deviate; 0: no deviate
    float low = 0;       // lower truncation limit
    float high = 0;      // upper truncation limit
    float exponent = 0;  // exponent of the segmented power and Shepherd functions
    // record 3: a cycle of the level, off when the period is 0
    float amplitude = 0, period = 0, phase = 0;
    // record 4: outbursts, on when the mean interval exceeds 1 year and the factor 1
    int outburst_law = 0;         // intervals: 1 lognormal, 2 geometric, 3 uniform
    float outburst_interval = 0;  // mean interval between outbursts, years
    float outburst_spread = 0;    // spread of the intervals
    float outburst_factor = 0;    // recruitment multiplier of an outburst year
    int outburst_offset = 0;      // years from the regime's start to where the intervals start

    bool outbursts_on() const { return outbursts_happen(outburst_interval, outburst_factor); }
};

// Every number of the model: inputs, the values in force, working arrays and
// results. Plain data without pointers, so that a whole model can be copied
// and compared byte for byte (the parallel sweep starts an option set from a
// copy of the model the previous set left, and checks its guesses that way).
struct Model {
    // ---- run control
    double seed = 0.0;  // the legacy generator's seed, carried from draw to draw
    int iter = 0;       // the iteration being simulated, 1..1000
    // The counter-based stream, drawn from instead of `seed` when on.
    RandomStream rng;

    // ---- stock: ages, years and biology (bio.inn)
    int year0 = 0;     // calendar year of model year 0
    int firstage = 0;  // recruitment age, the youngest age of the data
    int lastage = 0;   // oldest age, a plus group
    int fbar1 = 0;     // youngest age of the reference F
    int fbar2 = 0;     // oldest age of the reference F
    int tsbage = 0;    // youngest age in total stock biomass
    float fprop = 0;   // fraction of the year's F before spawning
    float mprop = 0;   // fraction of the year's M before spawning
    AgeVec natmor;                      // natural mortality M at age
    Array<float, 0, maxage, 1, 2> sel;  // selection at age: 1 as given, 2 as realised by the fleet
    AgeVec weca, west, matur;           // catch weight, stock weight, maturity of the current year
    // Per age: base, lower limit, upper limit, density coefficient, CV.
    AgePar wecapar, westpar, maturpar;
    YearAge wecayr, westyr, maturyr;    // the same by (year, age), as simulated
    float bref = 0;    // TSB at which weights and maturity take their base values
    float wcv = 0;     // CV of the yearly noise on weights and maturity common to all ages
    float wamp = 0, wper = 0, wphase = 0;  // cycle of weights and maturity: amplitude, period, phase

    // ---- recruitment regimes (bio.inn, srspec)
    int nreg = 0;                        // number of regimes
    int regtype = 0;                     // with several: 1 at fixed years, 2 at random times
    Array<int, 1, maxreg + 1> regstart;  // first year of each regime; one slot beyond maxreg for the end mark
    float regdur = 0;                    // mean duration of a regime at random times, years
    int regbase = 0;                     // year the random durations count from
    Array<Regime, 1, maxreg> regime;     // the regimes as bio.inn gives them
    // 1: the regime's function, level, SSB parameter and CV are drawn per
    // iteration, from the sets of srspec.
    Array<int, 1, maxreg> srflag;
    float rref = 0;                      // reference recruitment of the year-class growth factor
    float ycmin = 0, ycmax = 0;          // limits of the year-class growth factor
    float ycslope = 0;                   // slope of the year-class growth factor in recruitment
    Array<int, -15, maxyear> iob;        // 1: an outburst year (drawn per iteration)
    Array<int, -15, maxyear> ireg;       // regime of each year (drawn per iteration)
    float ycf = 0;                       // growth factor of the year class drawn last
    Array<float, -15, maxyear> ycfac;    // growth factor of the year class born in each year

    // ---- the regime in force: what recr draws from; put there by
    //      put_in_force and rcrparam (stock/stock.hpp, with the order of
    //      the moments that do it)
    int rreg = 0;      // regime in force
    int rfun = 0;      // its recruitment function (Regime::function)
    int rdist = 0;     // distribution of its deviate
    int rtrunc = 0;    // what its truncation limits bound
    float rlevel = 0;  // its level
    float rmax = 0;    // the level of the next draw: the level, raised by a cycle or outbursts
    float rssb = 0;    // its SSB parameter
    float rcv = 0;     // CV of its deviate
    float rlow = 0, rhigh = 0;  // its truncation limits
    float rpow = 0;    // its exponent
    float ramp = 0, rper = 0, rphase = 0;  // its cycle: amplitude, period, phase
    float obmean = 0;  // mean interval of the outbursts in force
    float obfac = 0;   // recruitment factor of the outbursts in force

    // ---- initial stock (opt.inn, nin.inn)
    int opt0 = 0;        // how the stock starts: 1 primed at fprime, 2..4 from input numbers
    float fprime = 0;    // F of the priming run
    float catch0 = 0;    // catch of year 0 when the stock starts from numbers
    AgeVec nin;          // input numbers at age
    Array<float, 0, maxage, 0, maxage> ninvar;  // their SDs (diagonal) and covariances
    AgeVec nindiag;      // their variances, when drawn independently
    AgeVec ssbpre;       // SSB of the years before 0, for the year classes below the recruitment age

    // ---- decision: the management options (opt.inn)
    float fcap = 0;    // highest F the fleet can exert
    int lag = 0;       // years between the last data year and the TAC year
    int ntacyr = 0;    // years a TAC is set for
    int bpage = 0;     // youngest age of the biomass above an age (basis kind 2)
    int nbasis = 0;    // elements of the decision basis
    // Per element: kind, first and last year (relative to the TAC year), how the years combine.
    Array<int, 1, maxbasis> bkind, bfirst, blast, bhow;
    int nrule = 0;     // harvest rule
    int vtype = 0;     // what its value is: 1 an F, 2 or 3 a harvest rate, 4 the TAC
    // The harvest rules the run knows; null: the program's own
    // (management/rulebook.hpp). A test may hand in a rulebook of its own.
    const Rulebook* rulebook = nullptr;
    // The bases of the filter (1) and of the limit on the TAC change (2),
    // as the decision basis.
    Array<int, 1, 2> cbkind, cbfirst, cblast, cbhow;
    int pctmode = 0;   // limit on the TAC change: 1 on the TAC, 2 on a projection
    int tacfill = 0;   // TAC periods: 1 the same TAC each year, 2 linear steps
    int recobs = 0;    // recruits perceived at a decision: 1 the mean, 2 with noise, else as observed
    int recproj = 0;   // recruitment of the decision projections: 1 the mean, 2 by regime
    int mrfirst = 0, mrlast = 0;  // years of the mean recruitment, relative to the assessment year
    float recobscv = 0;           // SD of the noise on perceived recruits (recobs 2)
    int minbyr = 0, lastbyr = 0;  // earliest and latest year any basis reads, relative to the TAC year
    // The range of each option (first, last, step) and the line of opt.inn
    // it was read from (0 for a range the file does not give).
    Array<float, 1, noptions, 1, 3> parrange;
    std::array<int, noptions + 1> rangeline{};
    // The option values of the set being run: the rule's parameters in
    // slots 1..10, the shared options in 11..23 (by name: rulebook.hpp).
    Array<float, 1, noptions> par;

    // ---- observation and implementation errors
    AgeVec cvage;      // SD of the log error at age of the observed stock
    AgeVec cvcanum;    // SD of the log error at age of the observed catch
    AgeVec cvimpage;   // SD of the log error at age of the catch taken
    int ncorr = 0;     // years the observation errors of a cohort are averaged over
    Array<float, 0, 15> corrw;  // their weights
    float biasobs = 0, cvobs = 0;    // bias and yearly SD of the observed stock (of the set)
    float biasimpl = 0, cvimpl = 0;  // bias and yearly SD of the catch taken (of the set)
    float cvrec = 0;   // SD of the recruitment index
    float cvsurv = 0;  // SD of the biomass surveys

    // ---- perceived stock and decision working state (current iteration)
    Array<float, 0, maxage, -15, maxyear> obserr;           // observation error factor (age, year)
    Array<float, 0, maxage, -15, maxproj> canobs;           // observed catch numbers (age, year)
    // Perceived numbers (age, data year, assessment year). One assessment's
    // history is one block with the age fastest: cohorts are followed along
    // its diagonals and the ages of a year read together.
    FirstFastArray<float, 0, maxage, -15, maxproj, 0, maxyear> nperc;
    ProjVec fperc;     // perceived F of each year
    ProjVec rindex;    // recruitment index
    ProjVec ssbsurv;   // SSB survey
    ProjVec bsurv;     // biomass survey
    Array<float, 0, maxage, -15, maxproj> nprojn;           // numbers of the decision projection (age, year)
    float meanrec = 0;  // mean perceived recruitment of the decision
    Array<float, 1, maxbasis, 0, maxyear> truebas;          // the basis of the true stock (element, year)

    // ---- risk reference and output control
    int riskmeth = 0;  // risk to Blim: 0 fraction below, 1 Blim normal, 2 lognormal
    float blim = 0;    // limit biomass
    float blimsig = 0;  // its CV or log-SD
    Array<int, 11, 27> iout;  // 1: the legacy file of that unit is written
    int sumyr1 = 0, sumyr2 = 0;  // years of the summary file (unit 12)

    // ---- the per-recruit analysis of each regime, kept for the tables:
    //      the grid rows (F-factor, yield, SSB, TSB, %virgin, Y/SSB, mean
    //      age of catch and SSB, recruits), their number (0: not analysed),
    //      and Fmax, its yield and SSB, F0.1, its yield and SSB, and the mean
    //      recruitment level of the analysis
    Array<float, 1, maxreg, 0, 100, 1, 9> prtable;
    Array<int, 1, maxreg> prrows;
    Array<float, 1, maxreg, 1, 7> prref;

    // ---- working values of the simulation loop (kept here so that nothing
    //      is allocated per option set or iteration)
    Array<float, 0, maxage, 0, maxyear> nhist;  // true numbers (age, year)
    AgeVec nwork;                               // the working true numbers
    TacVec tac;                                 // TAC vector of the iteration
    AgeVec catnum;                              // true catch numbers of the year
    Array<float, 1, maxyear> geo;               // cumulative geometric table
};

// The results of an option set by iteration (year 0..40, iteration 1..nsim),
// outside the model: their size is the run's number of iterations. What one
// iteration in flight works on stays in the model. Each thread keeps one
// store, sized at its first option set; the parallel sweep hands a finished
// set's store to the run's thread for the tables and takes a spare one.
// Nothing of a set's results is read by the next set: every iteration writes
// its column before it reads it.
struct SetResults {
    // Iterations per option set.
    int nsim = maxiter;
    Array<int, 0, maxyear, 1, dyn> icrash;
    ResArr ssbres, tsbres, catchres, tacres, fres, fdecres, recres, precres;
    Array<float, 0, maxyear, 1, maxbasis, 1, dyn> basisres;  // (year, element, iteration)
    Array<int, 0, maxyear, 1, dyn> regres;                  // regime in force (year, iteration)
    // Work space of the statistics over the iterations (values being
    // ordered, the ordering's scratch, bit masks of iterations), sized with
    // the results so that the statistics allocate nothing.
    mutable Array<float, 1, dyn> values, scratch;
    mutable std::vector<std::uint64_t> bits;
};
// Sizes every array of the store to iterations 1..columns (allocating only
// when they grow) and sets them to zero: all nsim iterations, or the first
// few of a set that is only begun.
void size_results(SetResults& r, int columns);
inline void size_results(SetResults& r) { size_results(r, r.nsim); }
// Gives the arrays' memory back; size_results makes them again.
void release_results(SetResults& r);
// The iterations the arrays hold.
int results_columns(const SetResults& r);
// The values of iteration `it` in every result array, as bytes: what one
// iteration left, for comparing two runs of it.
std::string iteration_bytes(const SetResults& r, int it);
// Swaps two stores (of the same count).
void swap_results(SetResults& a, SetResults& b);
// The whole store as bytes (count, columns, arrays), for another process,
// and back; false when the bytes are not a store of this program.
std::string results_bytes(const SetResults& r);
bool restore_results(SetResults& r, std::string_view bytes);

// The per-iteration recruitment parameter sets of the regimes that read them
// from "srspec" (iteration, regime, function..CV); sized only when a regime
// does.
using SrPar = Array<float, 1, dyn, 1, maxreg, 1, 5>;

// The model and what it writes to: input file names and the output units.
struct State : Model, SetResults {
    SrPar srpar;
    std::string biofile, optfile, canumfile;
    // Folders of the inputs and of the results; empty: the working folder
    // (file names then stay bare, in the files' paths and in messages).
    std::string indir, outdir;
    // Where the result files are made while the run goes on, to be moved
    // into `outdir` when it ends; empty: made in `outdir` itself.
    std::string stagedir;
    // A helper process of an MPI run: every unit holds its records in memory
    // and no file is created (rank 0 writes them all).
    bool holdfiles = false;
    // Told of the sweep's progress (none: nobody watches).
    SweepObserver* observer = nullptr;
    // The sweep's threads, the sets that started from a guess and the sets
    // run again because their guess was wrong, for the run's record.
    int jobs = 1;
    long long guessed_sets = 0, rerun_sets = 0;

    // ---- files: units 11..27 (13 is the scratch file "kladd"), standard
    //      output and the error stream
    Array<OutFile, 11, 27> unit;
    OutFile con;
    OutFile err;
    // Messages of the model (stops, warnings about the inputs) go to the
    // error stream with LF line ends instead of standard output: a run given
    // any argument. An argument-less run writes them as it always did.
    bool messages_to_err = false;
    // Where the input readers are ("bio.inn line 5 (fbar1, fbar2)"): a run
    // given any argument puts it before the first line of a stop's message.
    // Empty outside the records of the biological and options files.
    std::string reading_at;
    std::string unit12name;
    // The tables of the run (not owned); none when the run writes no tables.
    Tables* tables = nullptr;
    OverflowLog overflow;  // files with numbers too wide for their fields
};

static_assert(std::is_trivially_copyable_v<Model>, "the model must stay plain data");

// Allocates a zero-initialised state (it is a few megabytes: too large for
// the stack).
std::unique_ptr<State> make_state();

// Path of an input file of the run (`indir`) and of a result file (`outdir`).
std::string in_path(const State& s, const std::string& name);
std::string out_path(const State& s, const std::string& name);
// Where the result file `name` is made: in the staging folder when the run
// has one, otherwise its path in `outdir`.
std::string write_path(const State& s, const std::string& name);

// Where the model's messages go: standard output, or the error stream when
// `messages_to_err` is set.
inline OutFile& messages(State& s) { return s.messages_to_err ? s.err : s.con; }
// Sends the model's messages to the error stream with LF line ends.
void messages_to_error_stream(State& s);

// Before the first line of a message of a run given any argument: where
// the readers are (reading_at), once.
void say_where(State& s);
// Writes a message of the model as one free-form record (see messages())
// and ends the run with exit status 1.
[[noreturn]] void stop_with(State& s, std::initializer_list<Item> items);
// Ends the run with exit status 1 after the messages already written.
[[noreturn]] void stop(State& s);
// Stop with a text: "STOP " and the text on the error stream, exit status 1.
[[noreturn]] void stop_text(State& s, std::string_view text);

}  // namespace tacsim
