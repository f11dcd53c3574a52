#pragma once

#include <cstddef>

namespace kelvara::testing {

// Heap allocations made by the calling thread since it started, counted by the
// test binary's replacement of the global operator new.
std::size_t allocationCount();

// Allocations made by the calling thread while `fn` runs.
template <typename Fn> std::size_t allocationsDuring(Fn&& fn) {
    const std::size_t before = allocationCount();
    fn();
    return allocationCount() - before;
}

} // namespace kelvara::testing
