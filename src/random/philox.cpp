#include <Random123/philox.h>

#include <cmath>

#include "model/mathf_log.hpp"
#include "random/draws.hpp"

namespace tacsim {

void philox_block(const std::uint32_t counter[4], const std::uint32_t key[2], std::uint32_t out[4]) {
    const r123::Philox4x32::ctr_type c = {{counter[0], counter[1], counter[2], counter[3]}};
    const r123::Philox4x32::key_type k = {{key[0], key[1]}};
    const r123::Philox4x32::ctr_type r = r123::Philox4x32()(c, k);
    for (int i = 0; i < 4; ++i) out[i] = r[i];
}

float normal_quantile(float p) {
    const float q = p - 0.5f;
    if (std::fabs(q) <= 0.425f) {
        const float r = 0.180625f - q * q;
        return q * (((59.109374720f * r + 159.29113202f) * r + 50.434271938f) * r + 3.3871327179f) /
               (((67.187563600f * r + 78.757757664f) * r + 17.895169469f) * r + 1.0f);
    }
    // The tail: r = sqrt(-ln(smaller of p and 1 - p)); 1 - p is exact for
    // p of 24 bits or fewer at or above one half.
    float r = q < 0.0f ? p : 1.0f - p;
    if (!(r > 0.0f)) return q < 0.0f ? -INFINITY : INFINITY;
    r = std::sqrt(-log_sp(r));
    float z;
    if (r <= 5.0f) {
        r = r - 1.6f;
        z = (((0.17023821103f * r + 1.3067284816f) * r + 2.7568153900f) * r + 1.4234372777f) /
            ((0.12021132975f * r + 0.73700164250f) * r + 1.0f);
    } else {
        r = r - 5.0f;
        z = (((0.017527023339f * r + 0.42848765909f) * r + 3.0812263860f) * r + 6.6579051150f) /
            ((0.012258202635f * r + 0.24197894225f) * r + 1.0f);
    }
    return q < 0.0f ? -z : z;
}

void stream_seed(Model& m, std::uint64_t seed) {
    m.rng = RandomStream{};
    m.rng.on = 1;
    m.rng.key[0] = static_cast<std::uint32_t>(seed);
    m.rng.key[1] = static_cast<std::uint32_t>(seed >> 32);
}

void stream_set(Model& m, long long set) {
    const auto k = m.rng.common != 0 ? 0ULL : static_cast<unsigned long long>(set);
    m.rng.counter[2] = static_cast<std::uint32_t>(k);
    m.rng.counter[3] = static_cast<std::uint32_t>(k >> 32);
    m.rng.counter[0] = m.rng.counter[1] = 0;
    m.rng.left = 0;
}

void stream_iteration(Model& m, int it) {
    m.rng.counter[0] = 0;
    m.rng.counter[1] = static_cast<std::uint32_t>(it);
    m.rng.left = 0;
}

std::uint32_t stream_bits(RandomStream& r) {
    if (r.left == 0) {
        philox_block(r.counter, r.key, r.block);
        ++r.counter[0];
        r.left = 4;
    }
    return r.block[4 - r.left--];
}

}  // namespace tacsim
