// A mesh scene read from a modelling tool's file (glTF, OBJ, FBX, Collada, ...), as the level
// compiler takes it: one soup of triangles in level coordinates, and where to start walking.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "math/Vector.h"

namespace vantrell {

// Triangles in level coordinates (left-handed, y up, level units). The front of a triangle is
// the side that (p1 - p0) x (p2 - p0) points to: the side the modeller saw it from.
struct SceneMesh {
    std::vector<Vector3d> positions;
    std::vector<Vector3d> normals;                        // one unit normal per position (the file's, or smooth ones)
    std::vector<std::array<std::uint32_t, 3>> triangles;  // indices into positions and normals
    // The position of an empty node named "spawn" or "info_player_start", if the scene has one.
    std::optional<Vector3d> spawn;
    // What was left out or changed on the way (dropped faces, made normals), one sentence each.
    std::vector<std::string> warnings;
};

struct SceneReadOptions {
    double scale = 1.0;  // level units per scene unit
    // Limits for the import library, which is not safe on every file: it runs in a child
    // process that these bound (bytes of address space, seconds of processor time).
    std::size_t memoryLimitBytes = std::size_t{4} << 30;
    double timeLimitSeconds = 60.0;
};

// A point given in the scene's own coordinates and units (right-handed, y up, as modelling
// tools show them) in level coordinates: z is mirrored, then everything is scaled.
[[nodiscard]] constexpr Vector3d sceneToLevel(const Vector3d& scenePoint, double scale) {
    return {scenePoint.x * scale, scenePoint.y * scale, -scenePoint.z * scale};
}

// Reads the scene at path into mesh (which must be empty). False with a sentence in error
// when the file cannot be read, is not a scene, breaks a limit or holds no triangle.
// The import library runs in a forked child process (without exec): call this before
// starting threads that may hold locks. Triangles thinner than 0.0001 level units are dropped
// with a warning; scenes of more than 16 million triangles are refused.
[[nodiscard]] bool readScene(const std::string& path, const SceneReadOptions& options, SceneMesh& mesh,
                             std::string& error);

}  // namespace vantrell
