// Importing IBSP version 46 game levels (plain files or inside .pk3 zip archives) as levels
// of our own format: geometry, coordinates, node tree, spaces and space adjacency.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "level/LevelGeometry.h"
#include "level/LevelTypes.h"
#include "level/SpacePartition.h"

namespace vantrell {

namespace ibsp {
struct File;
}
struct PortalTree;

struct ImportOptions {
    std::string mapName;         // the map of a .pk3 to import (see findArchiveMap); unused for plain files
    float scale = 1.0f / 50.0f;  // file units to ours: the game's eye height (50) becomes 1
    // Keep the file's own tree, one space per leaf, instead of rebuilding it through the
    // compiler (which cuts the leaves holding detail geometry until every space is bounded by
    // its own triangles, and merges what it can).
    bool keepTree = false;
};

struct ImportReport {
    std::size_t vertices = 0;
    std::size_t triangles = 0;
    std::size_t planes = 0;
    std::size_t nodes = 0;
    std::size_t spaces = 0;
    std::size_t openSpaces = 0;  // spaces one can be in (the file's leaves with a cluster, or the compiled open spaces)
    std::size_t fileLeaves = 0;  // the leaves of the file's tree: the spaces before a rebuild
    bool rebuilt = false;        // the tree was rebuilt through the compiler
    std::size_t portals = 0;
    std::size_t neighbourLinks = 0;   // unordered pairs of neighbouring spaces
    std::size_t skippedSurfaces = 0;  // surfaces left out (flags, flares, malformed patches)
    Vector3 spawnOrigin;              // the spawn entity's origin, in file coordinates
    float spawnAngle = 0.0f;          // its yaw in degrees (0 = +x)
    bool spawnFound = false;          // false: no spawn entity, the world origin was used
    Vector3 spawnPoint;               // the body point at the spawn in our coordinates (the origin)
    int quarterTurns = 0;             // the level was turned by this many 90 degree steps about y
    std::string mapName;              // what was imported (the archive entry or the file name)
    std::vector<std::string> warnings;
    double seconds = 0.0;  // wall time of the whole import
};

// Lists maps/*.bsp held by a .pk3 archive, sorted by name.
[[nodiscard]] bool listArchiveMaps(const std::string& archive, std::vector<std::string>& maps, std::string& error);

// The entry of one of the archive's maps that mapName names: "NAME", "NAME.bsp", "maps/NAME"
// or "maps/NAME.bsp", in the entry's case or else in any case. False when none matches, with
// the maps whose names are close to it (if any) in error.
[[nodiscard]] bool findArchiveMap(const std::string& archive, const std::string& mapName, std::string& entry,
                                  std::string& error);

// Imports an IBSP file, or a .pk3 holding one (options.mapName picks it), into the given
// empty containers as a valid level. False with a clear message in error otherwise.
[[nodiscard]] bool importLevel(const std::string& input, const ImportOptions& options, LevelGeometry& levelGeometry,
                               SpacePartition& spacePartition, ImportReport& report, std::string& error);

// The same for an IBSP file already in memory (no archive handling).
[[nodiscard]] bool importLevelFromMemory(const std::uint8_t* data, std::size_t size, const ImportOptions& options,
                                         LevelGeometry& levelGeometry, SpacePartition& spacePartition,
                                         ImportReport& report, std::string& error);

// The file's world tree as the portal computation takes it, in the file's own coordinates,
// inside a box a little larger than the world. Precondition: file passed ibsp::readFile.
[[nodiscard]] PortalTree portalTreeOf(const ibsp::File& file);

}  // namespace vantrell
