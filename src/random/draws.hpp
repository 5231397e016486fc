// The draws of the simulation: from the legacy stream (the model's `seed`),
// or, when the run was given a seed, from the counter-based stream
// (model/stream.hpp) with normal deviates from an accurate inverse of the
// normal distribution function.
#pragma once

#include <cstdint>

#include "model/state.hpp"
#include "random/random.hpp"

namespace tacsim {

// ---- the counter-based stream

// The Philox4x32-10 block of `counter` under `key`.
void philox_block(const std::uint32_t counter[4], const std::uint32_t key[2], std::uint32_t out[4]);
// The standard normal quantile of p in (0, 1) (Wichura's algorithm AS 241, its
// single-precision form: relative error about 1e-7).
float normal_quantile(float p);
// Draws from the seed: the stream keyed by it, for every set and iteration.
void stream_seed(Model& m, std::uint64_t seed);
// The option set whose iterations draw next (the set's number in the sweep).
void stream_set(Model& m, long long set);
// Iteration `it` of the current set starts: its stream from its first draw.
void stream_iteration(Model& m, int it);
// The next 32 random bits of the counter-based stream.
std::uint32_t stream_bits(RandomStream& r);
// A uniform deviate in (0, 1] (24 bits) and a standard normal deviate (from a
// uniform in (0, 1) of 23 bits and a half, symmetric about 0.5).
inline float stream_uniform(RandomStream& r) {
    return static_cast<float>((stream_bits(r) >> 8) + 1u) * 0x1p-24f;
}
inline float stream_normal(RandomStream& r) {
    return normal_quantile(static_cast<float>(((stream_bits(r) >> 9) << 1) | 1u) * 0x1p-24f);
}

// ---- the run's draws, from whichever stream it uses

inline float draw_uniform(Model& m) { return m.rng.on != 0 ? stream_uniform(m.rng) : rnx(m.seed); }
inline float draw_normal(Model& m) { return m.rng.on != 0 ? stream_normal(m.rng) : snrn(rnx(m.seed)); }
// count normal deviates into z[0..count-1], in order.
inline void draw_normals(Model& m, float* z, int count) {
    if (m.rng.on == 0) {
        normal_deviates(m.seed, z, count);
        return;
    }
    for (int k = 0; k < count; ++k) z[k] = stream_normal(m.rng);
}

}  // namespace tacsim
