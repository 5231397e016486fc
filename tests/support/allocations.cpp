// The global operator new of the test program: malloc, counted on threads
// where a Counting object is alive.
#include "support/allocations.hpp"

#include <cstdlib>
#include <new>

namespace {

thread_local bool counting = false;
thread_local std::size_t allocations = 0;

void* allocate_or_null(std::size_t size) noexcept {
    if (counting) ++allocations;
    return std::malloc(size == 0 ? 1 : size);
}

void* allocate(std::size_t size) {
    if (void* p = allocate_or_null(size)) return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
// The forms that return null instead of throwing (std::stable_sort's buffer)
// must come from the same heap as the deletes below.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate_or_null(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate_or_null(size); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
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
