// Watches the operator new calls of a test binary (it replaces the global operators): how
// many there were, so a test can check that a steady-state frame allocates nothing, and the
// largest one, so a test can check that hostile input allocates nothing it only promises.
#pragma once

#include <cstddef>

namespace vantrell::testing {

[[nodiscard]] std::size_t allocationCount();
void resetLargestAllocation();
[[nodiscard]] std::size_t largestAllocation();

}  // namespace vantrell::testing
