// Loading a level file into fresh containers, and writing one.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "level/BSPLoader.h"
#include "level/LevelGeometry.h"
#include "level/SpacePartition.h"

namespace vantrell {

struct LoadedLevel {
    LevelGeometry geometry;
    SpacePartition partition;
    ParseResult result = parseNotALevelFile;
    std::string openError;              // why the file could not be opened; empty if it could
    ParseDetails details;               // what the loader found (its openError is the one above)
    std::vector<std::string> problems;  // validation problems; filled only for parseLoaded

    // Loaded completely and every invariant holds: safe to index.
    [[nodiscard]] bool valid() const { return result == parseLoaded && problems.empty(); }
};

// Loads path into empty containers and validates the result when the parse returned 0.
[[nodiscard]] LoadedLevel loadLevelFile(const std::string& path);
// The same for a file's bytes held in memory.
[[nodiscard]] LoadedLevel loadLevelBytes(std::string_view bytes);

// Writes the level in the file format the loader reads. Returns false on a write error.
bool writeLevel(std::ostream& out, const LevelGeometry& levelGeometry, const SpacePartition& spacePartition);
// Writes the level file at path complete or not at all (see io/OutputFile.h); false with the
// reason in error.
[[nodiscard]] bool writeLevelFile(const std::string& path, const LevelGeometry& levelGeometry,
                                  const SpacePartition& spacePartition, std::string& error);
// The same, for callers that need no reason.
[[nodiscard]] bool writeLevelFile(const std::string& path, const LevelGeometry& levelGeometry,
                                  const SpacePartition& spacePartition);

}  // namespace vantrell
