// Tuning: the value of one option at which a risk meets its limit, found by
// bisection over whole option sets. The search only sees a risk and a median
// catch per point; whoever calls it simulates the sets (in parallel when it
// likes: each round asks for a batch of values).
#pragma once

#include <functional>
#include <span>
#include <vector>

namespace tacsim {

// One simulated value of the tuned option.
struct TunePoint {
    float value = 0.0f;
    float risk = 0.0f;   // the statistic compared with the limit
    float catch_ = 0.0f; // median catch: decides between ends whose risk is equal
    int round = 0;       // search round that simulated it (1, 2, ...)
};

enum class Direction { rising, falling, flat };
enum class Outcome {
    found,          // one end meets the limit, the other does not
    both_meet,      // every value tried meets it
    neither_meets,  // no value tried meets it
};

struct TuneResult {
    Direction direction = Direction::flat;
    Outcome outcome = Outcome::found;
    float answer = 0.0f;
    // The bracket: a value that meets the limit and the nearest value tried
    // beyond it that fails (one of them missing unless found).
    bool has_meets = false, has_fails = false;
    float meets = 0.0f, fails = 0.0f;
    std::vector<TunePoint> points;  // in the order simulated
    int answer_index = -1;          // into points
};

// Fills risk and catch_ of every point of the batch (their values are set).
using Evaluate = std::function<void(std::span<TunePoint> batch)>;

// Searches [lo, hi] (lo < hi) for the largest value whose risk is at or
// below `limit` when the risk rises with the option, the smallest when it
// falls, until the bracket is no wider than `tol`. Each round evaluates up
// to `batch` values: the ends first, then the points of the bisection tree
// that the search may need next, nearest levels first, so that the answer
// and the bracket are those of plain bisection whatever the batch size.
TuneResult tune_search(float lo, float hi, float tol, float limit, int batch, const Evaluate& eval);

// The midpoint the search takes between two values: the float nearest the
// midpoint of the short decimals the two stand for (exposed for tests).
float tune_mid(float l, float h);

}  // namespace tacsim
