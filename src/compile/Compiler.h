// The level compiler: turns a soup of triangles into a level whose every space is bounded by
// its own triangles (the walkable check of level/WalkableCheck.h holds), optionally starting
// from a tree that already partitions the scene (an imported game level's).
//
// Stages (each reported with counts and seconds):
//   split    cut the scene's box down a tree until every triangle piece lies on the boundary of
//            its leaf, facing into it;
//   portals  the openings between leaves, and which of them triangles cover;
//   flood    from outside the scene's box through open portals: leaves it reaches are outside,
//            and a spawn among them means the scene leaks; leaves walled in without any triangle
//            are solid; neighbouring open leaves are merged into spaces where the merged space
//            still holds the invariant, and the neighbour matrix comes from the open portals.
// The caller reads the scene and writes the level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "level/LevelGeometry.h"
#include "level/SpacePartition.h"
#include "math/ConvexPolyhedron.h"
#include "scene/SceneMesh.h"

namespace vantrell {

// A tree that already partitions the scene; the compiler cuts only its open leaves further.
struct StartPartition {
    struct Node {
        std::int32_t plane = 0;  // index into planes
        std::int32_t front = 0;  // >= 0: a node; < 0: leaf ~child
        std::int32_t back = 0;
    };
    std::vector<PlaneD> planes;           // unit normals, level coordinates
    std::vector<Node> nodes;              // node 0 is the root
    std::vector<std::uint8_t> leafSolid;  // per leaf: 1 inside solid (its triangles are dropped)
    Vector3d lo, hi;                      // a box around the whole world
};

// The largest number of spaces a compiled level may have: the neighbour matrix costs
// spaces^2 / 8 bytes, 128 MiB here.
inline constexpr std::size_t maxCompiledSpaces = 32768;

struct CompileOptions {
    // Where the walk starts, in level coordinates; else the mesh's spawn; else the middle of the
    // largest floor (the upward faces on one plane, with the most area, inside the scene: their
    // area-weighted centre, or the nearest piece of them when that lies off them).
    std::optional<Vector3d> spawn;
    // Move the level so that the body stands on the floor under the spawn at the origin.
    bool placeOnFloor = true;
    // Compile a scene whose spawn the outside reaches (and keep what the outside reaches).
    bool allowLeak = false;
    // Leave out the open leaves that no open portal joins to the spawn's: the insides of closed
    // boxes standing on a floor, and rooms the walk can neither reach nor see.
    bool dropUnreachable = true;
    std::size_t maxSpaces = maxCompiledSpaces;
    // Points in messages and the leak chain, in the coordinates the user knows (the scene's);
    // identity when unset.
    std::function<Vector3d(const Vector3d&)> toSourcePoint;
    // Receives one line per stage, and progress lines during a stage that takes long.
    std::function<void(const std::string&)> progress;
};

struct CompileStage {
    std::string name;
    double seconds = 0.0;
};

// A step of a leak chain: a leaf region and a point inside it (source coordinates).
struct LeakStep {
    std::int32_t leaf = -1;
    Vector3d point;
};

struct CompileReport {
    std::size_t inputTriangles = 0;
    std::size_t droppedTriangles = 0;  // degenerate, not finite, or inside solid start leaves
    std::size_t fragments = 0;         // triangle pieces in leaves, after cutting
    std::size_t cuts = 0;              // triangle pieces that a splitting plane cut in two
    std::size_t facingAwayPieces = 0;  // pieces left out: on their leaf's boundary, facing out of it
    std::size_t clippedPieces = 0;     // pieces cut back to their leaf at the end
    std::size_t borrowedPieces = 0;    // copies of faces just outside a space, listed in it as well
    std::size_t outputTriangles = 0;
    std::size_t startLeaves = 0;  // leaves of the starting tree (0 without one)
    std::size_t nodes = 0;
    std::size_t leaves = 0;
    std::size_t solidLeaves = 0;
    std::size_t outsideLeaves = 0;
    std::size_t unreachableLeaves = 0;  // open, but closed off from the spawn (left out)
    std::size_t openLeaves = 0;
    std::size_t spaces = 0;          // including the one solid space
    std::size_t portals = 0;         // between open leaves
    std::size_t coveredPortals = 0;  // of those, closed by triangles
    std::size_t neighbourLinks = 0;  // unordered pairs of neighbouring spaces
    std::uint64_t fileBytes = 0;     // the size of the level file
    bool leaked = false;
    std::vector<LeakStep> leakChain;  // from the spawn's leaf to one that touches the outside
    std::string spawnSource;          // "option", "scene", "largest floor"
    Vector3d spawn;                   // the body's start, source coordinates
    Vector3d translation;             // added to every level point
    std::vector<CompileStage> stages;
    std::vector<std::string> warnings;
};

// Compiles mesh (level coordinates; the front of a triangle is the side (p1 - p0) x (p2 - p0)
// points to) into the empty containers as a valid, walkable level. start, when given, is the
// tree to begin with. False with a clear message in error (no triangles, a leak, too many
// spaces, a scene too complex to finish in bounded time and memory); report holds what was
// found so far, the leak chain included.
[[nodiscard]] bool compileLevel(const SceneMesh& mesh, const StartPartition* start, const CompileOptions& options,
                                LevelGeometry& levelGeometry, SpacePartition& spacePartition, CompileReport& report,
                                std::string& error);

// The bytes a level file of this level takes.
[[nodiscard]] std::uint64_t levelFileBytes(const LevelGeometry& levelGeometry, const SpacePartition& spacePartition);

}  // namespace vantrell
