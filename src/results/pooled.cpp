#include "results/pooled.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "results/results.hpp"

namespace tacsim {

namespace {

// The result arrays of the fractiled quantities, in the order of the
// summary statistics (C.., F.., SSB.., TSB..).
const ResArr& fractiled(const State& s, int q) {
    switch (q) {
        case 0: return s.catchres;
        case 1: return s.fres;
        case 2: return s.ssbres;
        default: return s.tsbres;
    }
}

// Position (0-based) in SummaryValues of the mean of quantity q; its 10 %,
// 50 % and 90 % fractiles follow it.
constexpr int mean_at(int q) { return 4 * q; }
constexpr int kIAV = 16, kRisklim = 17, kProbtrig = 18, kCrash = 19, kRisk1 = 20, kRisk2 = 21, kRisk3 = 22,
              kSteady = 23;

// A cumulative weight that reaches a fraction to within the rounding of a
// sum of a few weights (far below the weight of one iteration).
constexpr float kReach = 16.0f * FLT_EPSILON;

template <class T>
void put(std::string& out, const T& v) {
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}
template <class T>
bool get(std::string_view in, std::size_t& at, T& v) {
    if (in.size() - at < sizeof v) return false;
    std::memcpy(&v, in.data() + at, sizeof v);
    at += sizeof v;
    return true;
}

constexpr std::uint32_t kDigestMark = 0x54414347u;  // marks the start of a digest

}  // namespace

void digest_set(State& s, long long set, SetDigest& d) {
    d.set = set;
    setstats(s, d.stats);
    YearVec plim, ptrig, pcrash;
    yearlyrisks(s, plim, ptrig, pcrash);
    for (int y = 0; y <= maxyear; ++y) {
        d.yearly[0][static_cast<std::size_t>(y)] = plim(y);
        d.yearly[1][static_cast<std::size_t>(y)] = ptrig(y);
        d.yearly[2][static_cast<std::size_t>(y)] = pcrash(y);
    }
    for (int k = 0; k < nwindows; ++k) {
        int first = 0, last = 0;
        window_years(s, static_cast<Window>(k), first, last);
        d.first[static_cast<std::size_t>(k)] = first;
        d.last[static_cast<std::size_t>(k)] = last;
        for (int q = 0; q < nfractiled; ++q) {
            auto& m = d.means[static_cast<std::size_t>(k)][static_cast<std::size_t>(q)];
            m.assign(static_cast<std::size_t>(s.nsim), std::numeric_limits<float>::quiet_NaN());
            if (std::isnan(d.stats[static_cast<std::size_t>(k)][0])) continue;
            // Each iteration's mean as the summaries take it, term by term.
            const ResArr& a = fractiled(s, q);
            const float nf = static_cast<float>(last - first + 1);
            for (int i = 1; i <= s.nsim; ++i) {
                float mi = 0.0f;
                for (int y = first; y <= last; ++y) mi = mi + a(y, i) / nf;
                m[static_cast<std::size_t>(i - 1)] = mi;
            }
        }
    }
}

void append_digest(std::string& out, const SetDigest& d) {
    put(out, kDigestMark);
    put(out, d.set);
    put(out, d.stats);
    put(out, d.first);
    put(out, d.last);
    put(out, d.yearly);
    for (const auto& window : d.means) {
        for (const auto& m : window) {
            put(out, static_cast<std::uint32_t>(m.size()));
            out.append(reinterpret_cast<const char*>(m.data()), m.size() * sizeof(float));
        }
    }
}

bool read_digest(std::string_view bytes, std::size_t& at, SetDigest& d) {
    std::size_t p = at;
    std::uint32_t mark = 0;
    if (!get(bytes, p, mark) || mark != kDigestMark) return false;
    if (!get(bytes, p, d.set) || !get(bytes, p, d.stats) || !get(bytes, p, d.first) || !get(bytes, p, d.last) ||
        !get(bytes, p, d.yearly))
        return false;
    for (auto& window : d.means) {
        for (auto& m : window) {
            std::uint32_t n = 0;
            if (!get(bytes, p, n) || n > static_cast<std::uint32_t>(max_nsim) || (bytes.size() - p) / sizeof(float) < n)
                return false;
            m.resize(n);
            std::memcpy(m.data(), bytes.data() + p, n * sizeof(float));
            p += n * sizeof(float);
        }
    }
    at = p;
    return true;
}

float weighted_fractile(const std::vector<const std::vector<float>*>& values, const std::vector<float>& weights,
                        float fraction) {
    struct Item {
        float v;
        std::size_t model;
    };
    std::vector<Item> items;
    for (std::size_t j = 0; j < values.size(); ++j) {
        for (float v : *values[j]) items.push_back({v, j});
    }
    if (items.empty()) return std::numeric_limits<float>::quiet_NaN();
    // Ascending; a NaN (none in a sound run) goes last.
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.v < b.v || (!std::isnan(a.v) && std::isnan(b.v));
    });
    // The cumulative weight from the counts so far of each model, so that
    // one model of weight 1 reaches k/N exactly where its k-th value lies.
    std::vector<long long> count(values.size(), 0);
    for (std::size_t i = 0; i < items.size(); ++i) {
        ++count[items[i].model];
        const bool tied = i + 1 < items.size() && items[i + 1].v == items[i].v;
        if (tied) continue;
        float cum = 0.0f;
        for (std::size_t j = 0; j < values.size(); ++j) {
            if (count[j] == 0) continue;
            cum = cum + weights[j] * (static_cast<float>(count[j]) / static_cast<float>(values[j]->size()));
        }
        if (cum >= fraction - kReach) return items[i].v;
    }
    return items.back().v;
}

void pooled_summary(const std::vector<Weighed>& members, Window w, SummaryValues& out) {
    const auto k = static_cast<std::size_t>(w);
    out.fill(0.0f);
    if (members.empty()) {
        out.fill(std::numeric_limits<float>::quiet_NaN());
        return;
    }
    const int first = members.front().digest->first[k], last = members.front().digest->last[k];
    // The weighted means of the members' own statistics: the mean over all
    // pooled iterations, each of weight w_j / N_j.
    for (int pos : {mean_at(0), mean_at(1), mean_at(2), mean_at(3), kIAV, kRisk2, kSteady}) {
        float sum = 0.0f;
        for (const Weighed& m : members) sum = sum + m.weight * m.digest->stats[k][static_cast<std::size_t>(pos)];
        out[static_cast<std::size_t>(pos)] = sum;
    }
    // Fractiles at the positions the summaries take in N sorted values.
    const int nsim = static_cast<int>(members.front().digest->means[k][0].size());
    const float n = static_cast<float>(nsim);
    const float fractions[3] = {static_cast<float>(fractile_at(nsim, 0.1f)) / n,
                                static_cast<float>(fractile_at(nsim, 0.5f)) / n,
                                static_cast<float>(fractile_at(nsim, 0.9f)) / n};
    std::vector<float> weights;
    for (const Weighed& m : members) weights.push_back(m.weight);
    for (int q = 0; q < nfractiled; ++q) {
        std::vector<const std::vector<float>*> values;
        for (const Weighed& m : members) values.push_back(&m.digest->means[k][static_cast<std::size_t>(q)]);
        for (int f = 0; f < 3; ++f) {
            out[static_cast<std::size_t>(mean_at(q) + 1 + f)] = weighted_fractile(values, weights, fractions[f]);
        }
    }
    // The yearly probabilities as weighted shares, and the window's risks
    // from them as a single model's are from its own.
    auto pooled_year = [&](int which, int y) {
        float sum = 0.0f;
        for (const Weighed& m : members) {
            sum = sum + m.weight * m.digest->yearly[static_cast<std::size_t>(which)][static_cast<std::size_t>(y)];
        }
        return sum;
    };
    const float nf = static_cast<float>(last - first + 1);
    float rmax = 0.0f, tmax = 0.0f, risk1 = 0.0f;
    for (int y = first; y <= last; ++y) {
        const float plim = pooled_year(0, y), ptrig = pooled_year(1, y);
        if (plim > rmax) rmax = plim;
        if (ptrig > tmax) tmax = ptrig;
        risk1 = risk1 + plim / nf;
    }
    out[kRisklim] = 100.0f * rmax;
    out[kProbtrig] = 100.0f * tmax;
    out[kCrash] = 100.0f * pooled_year(2, last);
    out[kRisk1] = 100.0f * risk1;
    out[kRisk3] = 100.0f * rmax;
}

void pooled_setvalues(const std::vector<Weighed>& members, SetValues& out) {
    for (int w = 0; w < nwindows; ++w) {
        const auto k = static_cast<std::size_t>(w);
        bool whole = !members.empty();
        for (const Weighed& m : members) {
            const SetDigest& d = *m.digest;
            if (std::isnan(d.stats[k][0]) || d.first[k] != members.front().digest->first[k] ||
                d.last[k] != members.front().digest->last[k])
                whole = false;
        }
        if (whole) {
            pooled_summary(members, static_cast<Window>(w), out[k]);
        } else {
            out[k].fill(std::numeric_limits<float>::quiet_NaN());
        }
    }
}

}  // namespace tacsim
