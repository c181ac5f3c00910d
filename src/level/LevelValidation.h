// Checks a loaded level against every invariant that the readers rely on.
#pragma once

#include <string>
#include <vector>

namespace vantrell {

struct LevelGeometry;
struct SpacePartition;

// Returns readable problems, one sentence each ("space 7 lists triangle 120, but the level
// has 100 triangles"); empty when the level is valid. Linear in the level's size and
// without recursion. Code that indexes a level may do so only after this returned empty.
[[nodiscard]] std::vector<std::string> validateLevel(const LevelGeometry& levelGeometry,
                                                     const SpacePartition& spacePartition);

}  // namespace vantrell
