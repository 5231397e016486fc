#include "results/mcerror.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "management/rulebook.hpp"
#include "random/draws.hpp"
#include "results/tables.hpp"

namespace tacsim {

namespace {

// How each error is found (docs/outputs.md): the standard deviation of the
// iterations' values over the square root of their number; the order
// statistics of the median's interval; binomial; and, for the largest of the
// window's yearly shares, the bootstrap over iterations.
constexpr const char* by_mean = "sd/sqrt(n)";
constexpr const char* by_order = "order statistics";
constexpr const char* by_share = "binomial";
constexpr const char* by_worst = "bootstrap over iterations";

constexpr int replicates = 200;

// The standard error of the largest yearly mean over the window of below(y, i)
// (a share or a probability of iteration i in year y): the standard deviation
// of that largest mean over bootstrap samples of the iterations. The samples
// are drawn from a stream of their own (keyed by a constant, counted by the
// window and the statistic `what`), so the run's draws and its bytes on any
// number of threads are untouched.
template <class Below>
float bootstrap_max_se(const SetResults& r, int first, int last, std::uint32_t what, Below&& below) {
    const int n = r.nsim;
    const float nit = static_cast<float>(n);
    // The years below (value 1) of each iteration as bits: with values of 0
    // and 1 only (a fixed Blim, the trigger), a resample adds up only the
    // bits that are set.
    std::vector<std::uint64_t>& mask = r.bits;
    std::fill(mask.begin(), mask.end(), std::uint64_t{0});
    bool binary = true;
    for (int i = 1; i <= n; ++i) {
        for (int y = first; y <= last; ++y) {
            const float v = below(y, i);
            if (v == 1.0f) {
                mask[static_cast<std::size_t>(i - 1)] |= std::uint64_t{1} << (y - first);
            } else if (v != 0.0f) {
                binary = false;
            }
        }
    }
    const std::uint32_t key[2] = {0x6d636572u, 0x626f6f74u};
    std::array<float, maxyear + 1> share{};
    std::array<float, replicates> top{};
    for (int b = 0; b < replicates; ++b) {
        share.fill(0.0f);
        std::uint32_t ctr[4] = {0, static_cast<std::uint32_t>(b),
                                static_cast<std::uint32_t>(first) | static_cast<std::uint32_t>(last) << 8, what};
        std::uint32_t block[4];
        int left = 0;
        for (int k = 0; k < n; ++k) {
            if (left == 0) {
                philox_block(ctr, key, block);
                ++ctr[0];
                left = 4;
            }
            const int i = 1 + static_cast<int>(block[--left] % static_cast<std::uint32_t>(n));
            if (binary) {
                for (std::uint64_t m = mask[static_cast<std::size_t>(i - 1)]; m != 0; m &= m - 1) {
                    share[static_cast<std::size_t>(first + std::countr_zero(m))] += 1.0f;
                }
            } else {
                for (int y = first; y <= last; ++y) share[static_cast<std::size_t>(y)] += below(y, i);
            }
        }
        float m = 0.0f;
        for (int y = first; y <= last; ++y) m = std::fmax(m, share[static_cast<std::size_t>(y)] / nit);
        top[static_cast<std::size_t>(b)] = m;
    }
    float sum = 0.0f;
    for (float t : top) sum = sum + t;
    const float mean = sum / static_cast<float>(replicates);
    float ss = 0.0f;
    for (float t : top) ss = ss + (t - mean) * (t - mean);
    return std::sqrt(ss / static_cast<float>(replicates - 1));
}

}  // namespace

float mean_se(const ValueSet& x) {
    const int n = x.upper(0);
    const float nit = static_cast<float>(n);
    float sum = 0.0f;
    for (int i = 1; i <= n; ++i) sum = sum + x(i);
    const float mean = sum / nit;
    float ss = 0.0f;
    for (int i = 1; i <= n; ++i) ss = ss + (x(i) - mean) * (x(i) - mean);
    return std::sqrt(ss / (nit - 1.0f) / nit);
}

float median_se(ValueSet& x, ValueSet& scratch) {
    const int n = x.upper(0);
    const float nit = static_cast<float>(n);
    // The ranks of the order statistics that hold the median with 95 %
    // probability whatever the distribution (normal approximation to the
    // binomial): n/2 -+ 1.96 sqrt(n)/2, outwards.
    const float half = 0.98f * std::sqrt(nit);
    const int lo = static_cast<int>(std::floor(nit / 2.0f - half));
    const int hi = static_cast<int>(std::ceil(nit / 2.0f + 1.0f + half));
    // Too few iterations for the interval: no error to give.
    if (lo < 1 || hi > n) return std::numeric_limits<float>::quiet_NaN();
    const int pos[2] = {lo, hi};
    float v[2];
    sorted_at(x, scratch, pos, 2, v);
    return (v[1] - v[0]) / 3.92f;
}

float share_se(float p, int n) { return std::sqrt(p * (1.0f - p) / static_cast<float>(n)); }

void mcerrors(State& s, int first, int last, const YearVec& plim, const YearVec& ptrig, const YearVec& pcrash,
              McErrors& out) {
    SummaryValues v;
    windowsummary(s, first, last, plim, ptrig, pcrash, v);
    const float nf = static_cast<float>(last - first + 1);
    ValueSet& x = s.values;

    // Catch: each iteration's mean over the window.
    for (int i = 1; i <= s.nsim; ++i) {
        float mi = 0.0f;
        for (int y = first; y <= last; ++y) mi = mi + s.catchres(y, i) / nf;
        x(i) = mi;
    }
    out[0] = {"Cmean", v[0], mean_se(x), by_mean};
    out[1] = {"C50", v[2], median_se(x, s.scratch), by_order};

    // TAC variation: each iteration's mean relative change, in %.
    for (int i = 1; i <= s.nsim; ++i) {
        float mi = 0.0f;
        for (int y = first; y <= last; ++y) {
            float r = 0.0f;
            if (y > 0 && relchange(s.tacres(y - 1, i), s.tacres(y, i), r)) mi = mi + std::fabs(r) / nf;
        }
        x(i) = 100.0f * mi;
    }
    out[2] = {"IAV", v[16], mean_se(x), by_mean};

    // risk1: each iteration's share of the window's years below Blim (its
    // probability of being below, with an uncertain Blim).
    for (int i = 1; i <= s.nsim; ++i) {
        float mi = 0.0f;
        for (int y = first; y <= last; ++y) mi = mi + pbelow(s.ssbres(y, i), s.blim, s.blimsig, s.riskmeth) / nf;
        x(i) = 100.0f * mi;
    }
    out[3] = {"risk1", v[20], mean_se(x), by_mean};

    // risk2 and risk3: shares of iterations, binomial when each iteration
    // counts 0 or 1.
    const bool counted = s.riskmeth == 0;
    for (int i = 1; i <= s.nsim; ++i) {
        float lo = s.ssbres(first, i);
        for (int y = first + 1; y <= last; ++y) lo = std::fmin(lo, s.ssbres(y, i));
        x(i) = 100.0f * pbelow(lo, s.blim, s.blimsig, s.riskmeth);
    }
    out[4] = {"risk2", v[21], counted ? 100.0f * share_se(v[21] / 100.0f, s.nsim) : mean_se(x), counted ? by_share : by_mean};

    // risk3 and Probtrig: the largest of the window's yearly shares. Its
    // spread is not that of one year's share (the worst year is itself
    // chosen by the draws): bootstrapped.
    const float se3 = bootstrap_max_se(s, first, last, 3, [&s](int y, int i) {
        return pbelow(s.ssbres(y, i), s.blim, s.blimsig, s.riskmeth);
    });
    out[5] = {"risk3", v[22], 100.0f * se3, by_worst};
    const HarvestRule* rule = run_rule(s);
    const int trig = rule != nullptr ? rule->desc.ptrig : 0;
    const float btrig = trig > 0 ? s.par(trig) : 0.0f;
    const float set = trig > 0 ? bootstrap_max_se(s, first, last, 19, [&s, btrig](int y, int i) {
        return y > 0 && s.basisres(y, 1, i) < btrig ? 1.0f : 0.0f;
    }) : 0.0f;
    out[6] = {"Probtrig", v[18], 100.0f * set, by_worst};
}

void mcerrorheader(std::string& b) { headerline(b, kMcErrorColumns); }

void mcerrorrows(State& s, long long set, std::string& b, const YearVec& plim, const YearVec& ptrig,
                 const YearVec& pcrash) {
    const auto window = [&](const char* name, int first, int last) {
        McErrors e;
        mcerrors(s, first, last, plim, ptrig, pcrash, e);
        for (const McError& m : e) {
            putint(b, set);
            b.push_back(',');
            b.append(name);
            b.push_back(',');
            putint(b, first + s.year0);
            b.push_back(',');
            putint(b, last + s.year0);
            b.push_back(',');
            b.append(m.statistic);
            b.push_back(',');
            putnum(b, m.estimate);
            b.push_back(',');
            putnum(b, m.se);
            b.push_back(',');
            puttext(b, m.method);
            b.push_back('\n');
        }
    };
    // The windows of the summary table.
    window("first5", 1, 5);
    if (s.iout(12) == 1 && !(s.sumyr1 == 1 && (s.sumyr2 == 5 || s.sumyr2 == maxyear))) {
        window("summary", s.sumyr1, s.sumyr2);
    }
    window("all", 1, maxyear);
}

}  // namespace tacsim
