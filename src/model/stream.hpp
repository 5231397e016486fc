// The counter-based random stream of a run given a seed: Philox4x32-10 keyed
// by the seed. The 128-bit counter of a block of four draws is made of the
// draw's place in its iteration (word 0), the iteration (word 1) and the
// option set (words 2 and 3), so every iteration of every set has a stream of
// its own that no other can reach, whatever thread or process runs it.
// Plain data, part of the model.
#pragma once

#include <cstdint>

namespace tacsim {

struct RandomStream {
    // 0: the run draws from the legacy stream (the model's `seed`); 1: from
    // this one.
    std::uint32_t on = 0;
    // 1: every option set draws the numbers of set 0 (common random numbers,
    // for comparing the sets of a search).
    std::uint32_t common = 0;
    std::uint32_t key[2] = {0, 0};      // the seed's low and high words
    std::uint32_t counter[4] = {0, 0, 0, 0};  // the next block's counter
    std::uint32_t block[4] = {0, 0, 0, 0};    // the current block's draws
    std::uint32_t left = 0;                   // draws of `block` not yet used
};

}  // namespace tacsim
