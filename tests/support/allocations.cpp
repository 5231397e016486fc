// The global operator new of the test program: malloc, counted on threads
// where a Counting object is alive.
#include "support/allocations.hpp"

#include <cstdlib>
#include <new>

namespace {

thread_local bool counting = false;
thread_local std::size_t allocations = 0;

void* allocate(std::size_t size) {
    if (counting) ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace tacsim::testing {

Counting::Counting() {
    allocations = 0;
    counting = true;
}
Counting::~Counting() { counting = false; }
std::size_t Counting::count() const { return allocations; }

}  // namespace tacsim::testing
