// Counting the heap allocations a piece of code makes on the calling thread:
// the test program replaces the global operator new with one that counts
// while a Counting object lives on that thread.
#pragma once

#include <cstddef>

namespace tacsim::testing {

class Counting {
public:
    Counting();
    ~Counting();
    Counting(const Counting&) = delete;
    Counting& operator=(const Counting&) = delete;
    // Allocations on this thread since the object was made.
    std::size_t count() const;
};

}  // namespace tacsim::testing
