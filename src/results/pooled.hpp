// Statistics of an option set pooled over several operating models: the
// iterations of every model taken together, each iteration of model j
// weighing w_j / N_j (the weights summing to 1). What pooling needs of one
// model's set is kept in a digest, small enough to hold for every set of
// every model and to write to disk between the models of an ensemble.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "model/state.hpp"
#include "results/setstats.hpp"

namespace tacsim {

// Catch, F, SSB and TSB: the quantities whose fractiles the summaries give.
inline constexpr int nfractiled = 4;

// One option set of one model, after its statistics.
struct SetDigest {
    long long set = 0;
    SetValues stats{};  // the set's own summary statistics, per window
    // First and last model year of each window (the summary window's as
    // the model's Years file gives them).
    std::array<int, nwindows> first{}, last{};
    // Per model year 0..maxyear, as fractions: the risk to Blim, the share
    // below the trigger and the share crashed.
    std::array<std::array<float, maxyear + 1>, 3> yearly{};
    // Per window and quantity, each iteration's mean over the window's years.
    std::array<std::array<std::vector<float>, nfractiled>, nwindows> means;
};

// The digest of the option set whose results the state holds.
void digest_set(State& s, long long set, SetDigest& d);

// A digest as bytes, and back: `read_digest` takes the digest at `at` and
// moves `at` past it; false when the bytes there are not a whole digest.
void append_digest(std::string& out, const SetDigest& d);
bool read_digest(std::string_view bytes, std::size_t& at, SetDigest& d);

// A model's digest of a set and the model's weight.
struct Weighed {
    const SetDigest* digest;
    float weight;
};

// The summary statistics of window `w` (positions as in summary.csv) of the
// iterations of `members` pooled: weighted means, weighted fractiles, the
// yearly probabilities as weighted shares and the window's risks from
// those. The weights must sum to 1, and every member must have the window.
void pooled_summary(const std::vector<Weighed>& members, Window w, SummaryValues& out);

// The same for every window; a window that some member lacks, or has over
// other years than the first member, is NaN throughout.
void pooled_setvalues(const std::vector<Weighed>& members, SetValues& out);

// The value below which the weight `fraction` of the pooled values lies:
// the first value, in ascending order, at which the cumulative weight reaches
// the fraction (the weights of equal values taken together). `values[j]` are
// model j's values, each of weight `weights[j]` / its count.
float weighted_fractile(const std::vector<const std::vector<float>*>& values, const std::vector<float>& weights,
                        float fraction);

}  // namespace tacsim
