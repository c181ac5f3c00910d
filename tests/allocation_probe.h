// Records the largest single allocation a test binary makes (it replaces the global
// operator new), so a test can check that hostile input allocates nothing it promises.
#pragma once

#include <cstddef>

namespace vantrell::testing {

void resetLargestAllocation();
[[nodiscard]] std::size_t largestAllocation();

}  // namespace vantrell::testing
