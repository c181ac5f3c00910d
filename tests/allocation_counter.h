// Counts the operator new calls of a test binary (it replaces the global operators), so a
// test can check that a steady-state frame allocates nothing.
#pragma once

#include <cstddef>

namespace vantrell::testing {

[[nodiscard]] std::size_t allocationCount();

}  // namespace vantrell::testing
