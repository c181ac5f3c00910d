// The parts of the IBSP importer, shared between its files: the spawn entity, the coordinate
// transform, and the surface mesh with its patches. Not part of the importer's interface.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "import/IbspFile.h"
#include "level/LevelTypes.h"
#include "math/Vector.h"

namespace vantrell::ibspimport {

// Limits that keep hostile files from exhausting memory: the largest real levels need a
// small fraction of them.
inline constexpr std::size_t maxVertices = 4u << 20;
inline constexpr std::size_t maxTriangles = 8u << 20;         // after copying triangles into every leaf that lists them
inline constexpr std::uint64_t maxControlPoints = 16u << 20;  // drawverts read, summed over surfaces
inline constexpr std::size_t maxSpaces = 32768;  // the adjacency matrix grows with its square (128 MiB here)

// The body point starts this far (our units) above the floor under the spawn: inside the
// reach of the ground probe, so the walk-through starts standing.
inline constexpr double bodyLift = 0.02;
// The player's origin is the centre of its box, 24 file units above the feet.
inline constexpr double spawnFeetBelowOrigin = 24.0;
// Ordering a leaf's triangles looks at this many splitting planes above it, nearest first:
// the deepest leaf of the game's levels lies 74 splits below the root, and a hostile chain
// of nodes must not make the work grow with the square of the tree.
inline constexpr std::size_t maxBoundingPlanes = 128;
// Patches: at most this many segments per Bezier piece and direction.
inline constexpr int maxPatchSegments = 8;

using DVec = Vector3d;

inline DVec fromFloats(const std::array<float, 3>& v) {
    return {v[0], v[1], v[2]};
}

// ---- Spawn entity

struct Spawn {
    bool found = false;
    DVec origin;
    double angle = 0.0;
};

// The first info_player_deathmatch with a readable origin, else the first info_player_start.
[[nodiscard]] Spawn findSpawn(const std::string& entities);

// The nearest multiple of 90 degrees to angle, as quarter turns 0..3.
[[nodiscard]] int quarterTurnsOf(double angle);

// ---- Coordinate transform

// File point p becomes scale * R * (p.x, p.z, p.y) + translation, R a turn about our y by
// quarterTurns * 90 degrees that brings the spawn's view direction onto +x.
struct Transform {
    double scale = 1.0;
    int quarterTurns = 0;
    DVec translation;

    [[nodiscard]] DVec direction(const DVec& v) const {
        const DVec swapped{v.x, v.z, v.y};
        switch (quarterTurns) {
            case 1:
                return {swapped.z, swapped.y, -swapped.x};
            case 2:
                return {-swapped.x, swapped.y, -swapped.z};
            case 3:
                return {-swapped.z, swapped.y, swapped.x};
            default:
                return swapped;
        }
    }
    // Without the translation: the translation is found only once the geometry exists.
    [[nodiscard]] DVec scaled(const DVec& p) const { return scale * direction(p); }
    [[nodiscard]] DVec point(const DVec& p) const { return scaled(p) + translation; }

    [[nodiscard]] BoundingBox box(const std::array<std::int32_t, 3>& mins,
                                  const std::array<std::int32_t, 3>& maxs) const {
        const DVec a =
            point({static_cast<double>(mins[0]), static_cast<double>(mins[1]), static_cast<double>(mins[2])});
        const DVec b =
            point({static_cast<double>(maxs[0]), static_cast<double>(maxs[1]), static_cast<double>(maxs[2])});
        BoundingBox out;
        out.minX = static_cast<float>(std::min(a.x, b.x));
        out.minY = static_cast<float>(std::min(a.y, b.y));
        out.minZ = static_cast<float>(std::min(a.z, b.z));
        out.maxX = static_cast<float>(std::max(a.x, b.x));
        out.maxY = static_cast<float>(std::max(a.y, b.y));
        out.maxZ = static_cast<float>(std::max(a.z, b.z));
        return out;
    }
};

// ---- Surface geometry

// A triangle before its final corner order is known: reference is the direction its front
// should face (surface normal or the sum of its corners' normals; zero when unknown).
struct RawTriangle {
    std::array<std::int32_t, 3> corner{};
    DVec reference;
};

struct Mesh {
    std::vector<DVec> positions;  // scaled and turned, not yet translated
    std::vector<DVec> normals;    // unit, or zero where the file's normal is unusable
    std::vector<RawTriangle> triangles;
    // Per file surface: its triangles [first, first + count) in triangles; count 0 when left out.
    std::vector<std::int32_t> surfaceFirst;
    std::vector<std::int32_t> surfaceCount;
};

// Surfaces without geometry of their own (flares, unknown kinds, nodraw, skip, nonsolid) and
// liquids and fog are left out.
[[nodiscard]] bool surfaceLeftOut(const ibsp::File& file, const ibsp::Surface& surface);

// Adds every wanted surface (wanted[s] != 0) to mesh, which has surfaceFirst and surfaceCount
// sized for every surface; false with why in error when the level is too large.
[[nodiscard]] bool buildMesh(const ibsp::File& file, const Transform& transform,
                             const std::vector<std::uint8_t>& wanted, Mesh& mesh, std::string& error);

// The height of the highest upward-facing triangle straight below from (within reach of a
// drop to below the feet), or NaN when there is none.
[[nodiscard]] double floorBelow(const Mesh& mesh, const DVec& from, double lowest);

}  // namespace vantrell::ibspimport
