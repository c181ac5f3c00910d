// The records of an IBSP version 46 file that the importer uses, read field by field from
// little-endian bytes and checked: every lump lies inside the file with a whole number of
// records, and every index that a record holds names an existing record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrell::ibsp {

// Shader flags that decide whether a surface becomes level geometry.
inline constexpr std::int32_t surfaceNoDraw = 0x80;
inline constexpr std::int32_t surfaceSkip = 0x200;
inline constexpr std::int32_t surfaceNonSolid = 0x4000;
inline constexpr std::int32_t contentsLava = 8;
inline constexpr std::int32_t contentsSlime = 16;
inline constexpr std::int32_t contentsWater = 32;
inline constexpr std::int32_t contentsFog = 64;

inline constexpr std::int32_t surfacePlanar = 1;
inline constexpr std::int32_t surfacePatch = 2;
inline constexpr std::int32_t surfaceTriangleSoup = 3;
inline constexpr std::int32_t surfaceFlare = 4;

struct Shader {
    std::int32_t surfaceFlags = 0;
    std::int32_t contentFlags = 0;
};

struct Plane {
    std::array<float, 3> normal{};
    float dist = 0.0f;  // normal·p = dist
};

struct Node {
    std::int32_t plane = 0;
    std::array<std::int32_t, 2> children{};  // [0] front (normal·p - dist >= 0); c < 0: leaf -(c + 1)
    std::array<std::int32_t, 3> mins{};
    std::array<std::int32_t, 3> maxs{};
};

struct Leaf {
    std::int32_t cluster = -1;  // < 0: opaque
    std::array<std::int32_t, 3> mins{};
    std::array<std::int32_t, 3> maxs{};
    std::int32_t firstLeafSurface = 0;
    std::int32_t numLeafSurfaces = 0;
};

struct Model {
    std::array<float, 3> mins{};
    std::array<float, 3> maxs{};
    std::int32_t firstSurface = 0;
    std::int32_t numSurfaces = 0;
};

struct DrawVertex {
    std::array<float, 3> position{};
    std::array<float, 3> normal{};
};

struct Surface {
    std::int32_t shader = 0;
    std::int32_t type = 0;
    std::int32_t firstVertex = 0;
    std::int32_t numVertices = 0;
    std::int32_t firstIndex = 0;
    std::int32_t numIndexes = 0;
    std::array<float, 3> planeNormal{};  // the normal of a planar surface
    std::int32_t patchWidth = 0;
    std::int32_t patchHeight = 0;
};

struct File {
    std::string entities;
    std::vector<Shader> shaders;
    std::vector<Plane> planes;
    std::vector<Node> nodes;
    std::vector<Leaf> leaves;
    std::vector<std::int32_t> leafSurfaces;
    std::vector<Model> models;
    std::vector<DrawVertex> vertices;
    std::vector<std::int32_t> indexes;
    std::vector<Surface> surfaces;
};

// Reads and checks data as an IBSP version 46 file. Returns false with a sentence in error
// (naming the lump and record) for anything malformed; the allocation is bounded by size.
[[nodiscard]] bool readFile(const std::uint8_t* data, std::size_t size, File& file, std::string& error);

}  // namespace vantrell::ibsp
