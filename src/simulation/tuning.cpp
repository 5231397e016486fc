#include "simulation/tuning.hpp"

#include <charconv>
#include <deque>
#include <utility>

namespace tacsim {

namespace {

struct Search {
    float lo, hi, tol, limit;
    std::vector<TunePoint> pts;

    const TunePoint* find(float v) const {
        for (const TunePoint& p : pts) {
            if (p.value == v) return &p;
        }
        return nullptr;
    }
    bool meets(const TunePoint& p) const { return p.risk <= limit; }
    // The bracket [l, h] is split no further once it is as narrow as asked or
    // as narrow as single precision allows.
    bool narrow(float l, float h) const {
        if (!(h - l > tol)) return true;
        const float m = tune_mid(l, h);
        return !(m > l && m < h);
    }
};

}  // namespace

// The value a float stands for: its shortest decimal text, read as a double.
static double decimal_of(float v) {
    char buf[32];
    const auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    double d = v;
    std::from_chars(buf, p, d);
    return d;
}

// The midpoint of the decimals the two values stand for (0.6 and 0.6125 give
// 0.60625), as the nearest float: each value tried is then a short decimal,
// printed as such, and the printed answer typed into opt.inn gives the very
// float the search simulated.
float tune_mid(float l, float h) {
    const float m = static_cast<float>((decimal_of(l) + decimal_of(h)) * 0.5);
    // Where the decimals' midpoint rounds onto an end, the plain midpoint.
    return (m > l && m < h) ? m : l + (h - l) * 0.5f;
}

TuneResult tune_search(float lo, float hi, float tol, float limit, int batch, const Evaluate& eval) {
    if (batch < 1) batch = 1;
    Search s{lo, hi, tol, limit, {}};
    TuneResult r;
    // The bracket walked down the bisection tree: l meets and h fails when
    // the risk rises, the other way round when it falls.
    float l = lo, h = hi;
    bool known = false;  // both ends simulated and exactly one meets
    int round = 0;
    std::vector<float> want;
    std::deque<std::pair<float, float>> queue;
    for (;;) {
        // The values this round: ends first, then the tree below the bracket
        // level by level (before the ends are known the whole tree is
        // speculated on, since its points do not depend on the direction).
        want.clear();
        if (!s.find(lo)) want.push_back(lo);
        if (!s.find(hi)) want.push_back(hi);
        const bool ends = s.find(lo) && s.find(hi);
        if (!ends || known) {
            queue.clear();
            queue.emplace_back(l, h);
            while (!queue.empty() && static_cast<int>(want.size()) < batch) {
                const auto [a, b] = queue.front();
                queue.pop_front();
                if (s.narrow(a, b)) continue;
                const float m = tune_mid(a, b);
                if (!s.find(m)) want.push_back(m);
                queue.emplace_back(a, m);
                queue.emplace_back(m, b);
            }
        }
        if (static_cast<int>(want.size()) > batch) want.resize(batch);
        if (!want.empty()) {
            ++round;
            const std::size_t first = s.pts.size();
            for (float v : want) {
                TunePoint p;
                p.value = v;
                p.round = round;
                s.pts.push_back(p);
            }
            eval(std::span<TunePoint>(s.pts.data() + first, want.size()));
        }

        const TunePoint* plo = s.find(lo);
        const TunePoint* phi = s.find(hi);
        if (!plo || !phi) continue;
        if (!known) {
            r.direction = phi->risk > plo->risk   ? Direction::rising
                          : phi->risk < plo->risk ? Direction::falling
                                                  : Direction::flat;
            const bool mlo = s.meets(*plo), mhi = s.meets(*phi);
            if (mlo == mhi) {
                // Both ends meet: the end furthest in the direction the limit
                // allows; neither: the end nearest to meeting. With equal
                // risks, the end with the larger median catch.
                r.outcome = mlo ? Outcome::both_meet : Outcome::neither_meets;
                const TunePoint* best = nullptr;
                if (r.direction == Direction::flat) {
                    best = (plo->catch_ > phi->catch_) ? plo : phi;
                } else if (mlo) {
                    best = (r.direction == Direction::rising) ? phi : plo;
                } else {
                    best = (r.direction == Direction::rising) ? plo : phi;
                }
                r.answer = best->value;
                (mlo ? r.has_meets : r.has_fails) = true;
                (mlo ? r.meets : r.fails) = best->value;
                break;
            }
            known = true;
        }
        // Walk down the tree as far as the simulated points reach.
        const bool rising = r.direction == Direction::rising;
        while (!s.narrow(l, h)) {
            const TunePoint* pm = s.find(tune_mid(l, h));
            if (!pm) break;
            if (s.meets(*pm) == rising) {
                l = pm->value;
            } else {
                h = pm->value;
            }
        }
        if (s.narrow(l, h)) {
            r.outcome = Outcome::found;
            r.has_meets = r.has_fails = true;
            r.meets = rising ? l : h;
            r.fails = rising ? h : l;
            r.answer = r.meets;
            break;
        }
    }
    r.points = std::move(s.pts);
    for (std::size_t i = 0; i < r.points.size(); ++i) {
        if (r.points[i].value == r.answer) r.answer_index = static_cast<int>(i);
    }
    return r;
}

}  // namespace tacsim
