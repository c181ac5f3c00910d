// Counts and bounds that info reports for a loaded (possibly partial or invalid) level.
#pragma once

#include <cstddef>
#include <cstdint>

#include "level/LevelFile.h"

namespace vantrell {

struct LevelSummary {
    std::uint64_t triangleEntries = 0;  // sum of all spaces' triangle-index counts
    std::uint64_t neighbourLinks = 0;   // set adjacency bits
    std::size_t rowBytes = 0;           // length of the adjacency rows (0 without rows)
    bool haveBounds = false;
    BoundingBox bounds;  // union of the spaces' boxes that are not empty
};

// Reads only array sizes and stored values, never an index: safe on any loaded level.
[[nodiscard]] LevelSummary summariseLevel(const LoadedLevel& level);

}  // namespace vantrell
