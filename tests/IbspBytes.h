// Builds small IBSP version 46 files in memory, record by record, for the importer's tests
// and the fuzzer's seed. boxRoom() is the standard fixture:
//  - planes 0: z = 0 (up), 1: x = 0 (+x)
//  - node 0 splits at z = 0: front node 1, back leaf 0 (opaque, below the floor)
//  - node 1 splits at x = 0: front leaf 1, back leaf 2 (both open)
//  - surface 0: a planar floor square (-128..128)^2 at z = 0, listed by leaves 1 and 2
//  - surface 1: a 3 x 3 patch, a curved ramp in leaf 1
//  - an info_player_deathmatch at (10, 20, 24), angle 0: its feet on the floor
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ibsptest {

struct Vertex {
    std::array<float, 3> position{};
    std::array<float, 3> normal{0.0f, 0.0f, 1.0f};
};

struct Surface {
    std::int32_t shader = 0;
    std::int32_t type = 1;
    std::int32_t firstVertex = 0;
    std::int32_t numVertices = 0;
    std::int32_t firstIndex = 0;
    std::int32_t numIndexes = 0;
    std::array<float, 3> normal{};
    std::int32_t patchWidth = 0;
    std::int32_t patchHeight = 0;
};

struct Node {
    std::int32_t plane = 0;
    std::array<std::int32_t, 2> children{};
    std::array<std::int32_t, 3> mins{};
    std::array<std::int32_t, 3> maxs{};
};

struct Leaf {
    std::int32_t cluster = 0;
    std::array<std::int32_t, 3> mins{};
    std::array<std::int32_t, 3> maxs{};
    std::int32_t firstLeafSurface = 0;
    std::int32_t numLeafSurfaces = 0;
};

struct Shader {
    std::int32_t surfaceFlags = 0;
    std::int32_t contentFlags = 1;
};

struct Level {
    std::string entities;
    std::vector<Shader> shaders;
    std::vector<std::array<float, 4>> planes;  // normal, dist
    std::vector<Node> nodes;
    std::vector<Leaf> leaves;
    std::vector<std::int32_t> leafSurfaces;
    std::array<float, 6> worldBox{-512, -512, -512, 512, 512, 512};
    std::vector<Vertex> vertices;
    std::vector<std::int32_t> indexes;
    std::vector<Surface> surfaces;

    // Appends a surface's vertices and indexes and returns its index.
    std::int32_t addSurface(Surface s, const std::vector<Vertex>& verts, const std::vector<std::int32_t>& idx) {
        s.firstVertex = static_cast<std::int32_t>(vertices.size());
        s.numVertices = static_cast<std::int32_t>(verts.size());
        s.firstIndex = static_cast<std::int32_t>(indexes.size());
        s.numIndexes = static_cast<std::int32_t>(idx.size());
        vertices.insert(vertices.end(), verts.begin(), verts.end());
        indexes.insert(indexes.end(), idx.begin(), idx.end());
        surfaces.push_back(s);
        return static_cast<std::int32_t>(surfaces.size() - 1);
    }
};

class Writer {
public:
    void i32(std::int32_t v) {
        std::uint32_t u;
        std::memcpy(&u, &v, 4);
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
    }
    void f32(float v) {
        std::int32_t i;
        std::memcpy(&i, &v, 4);
        i32(i);
    }
    void zeros(std::size_t n) { bytes.insert(bytes.end(), n, 0); }
    std::vector<std::uint8_t> bytes;
};

// Serialises level; lump order in the file follows the lump numbers.
inline std::vector<std::uint8_t> serialise(const Level& level) {
    std::array<Writer, 17> lumps;
    lumps[0].bytes.assign(level.entities.begin(), level.entities.end());
    lumps[0].bytes.push_back(0);
    for (const Shader& s : level.shaders) {
        lumps[1].zeros(64);
        lumps[1].i32(s.surfaceFlags);
        lumps[1].i32(s.contentFlags);
    }
    for (const auto& p : level.planes) {
        for (float f : p) lumps[2].f32(f);
    }
    for (const Node& n : level.nodes) {
        lumps[3].i32(n.plane);
        for (auto c : n.children) lumps[3].i32(c);
        for (auto c : n.mins) lumps[3].i32(c);
        for (auto c : n.maxs) lumps[3].i32(c);
    }
    for (const Leaf& l : level.leaves) {
        lumps[4].i32(l.cluster);
        lumps[4].i32(0);
        for (auto c : l.mins) lumps[4].i32(c);
        for (auto c : l.maxs) lumps[4].i32(c);
        lumps[4].i32(l.firstLeafSurface);
        lumps[4].i32(l.numLeafSurfaces);
        lumps[4].i32(0);
        lumps[4].i32(0);
    }
    for (auto s : level.leafSurfaces) lumps[5].i32(s);
    for (float f : level.worldBox) lumps[7].f32(f);
    lumps[7].i32(0);
    lumps[7].i32(static_cast<std::int32_t>(level.surfaces.size()));
    lumps[7].i32(0);
    lumps[7].i32(0);
    for (const Vertex& v : level.vertices) {
        for (float f : v.position) lumps[10].f32(f);
        lumps[10].zeros(16);
        for (float f : v.normal) lumps[10].f32(f);
        lumps[10].zeros(4);
    }
    for (auto i : level.indexes) lumps[11].i32(i);
    for (const Surface& s : level.surfaces) {
        Writer& w = lumps[13];
        w.i32(s.shader);
        w.i32(-1);
        w.i32(s.type);
        w.i32(s.firstVertex);
        w.i32(s.numVertices);
        w.i32(s.firstIndex);
        w.i32(s.numIndexes);
        w.zeros(5 * 4 + 3 * 4 + 6 * 4);  // lightmap number, position, size; origin; vecs[0..1]
        for (float f : s.normal) w.f32(f);
        w.i32(s.patchWidth);
        w.i32(s.patchHeight);
    }
    Writer out;
    out.bytes = {'I', 'B', 'S', 'P'};
    out.i32(46);
    std::int32_t offset = 8 + 17 * 8;
    for (const Writer& l : lumps) {
        out.i32(offset);
        out.i32(static_cast<std::int32_t>(l.bytes.size()));
        offset += static_cast<std::int32_t>(l.bytes.size());
    }
    for (const Writer& l : lumps) out.bytes.insert(out.bytes.end(), l.bytes.begin(), l.bytes.end());
    return out.bytes;
}

// Byte offset of lump i's directory entry {offset, length} in a serialised file.
inline std::size_t lumpEntry(int i) {
    return 8 + static_cast<std::size_t>(i) * 8;
}

inline Level boxRoom() {
    Level level;
    level.entities =
        "{\n\"classname\" \"worldspawn\"\n}\n"
        "{\n\"classname\" \"info_player_deathmatch\"\n\"origin\" \"10 20 24\"\n\"angle\" \"0\"\n}\n";
    level.shaders = {Shader{}};
    level.planes = {{0, 0, 1, 0}, {1, 0, 0, 0}};
    level.nodes = {Node{0, {1, -1}, {-512, -512, -512}, {512, 512, 512}},
                   Node{1, {-2, -3}, {-512, -512, 0}, {512, 512, 512}}};
    level.leaves = {Leaf{-1, {-512, -512, -512}, {512, 512, 0}, 0, 0}, Leaf{0, {0, -512, 0}, {512, 512, 512}, 0, 2},
                    Leaf{1, {-512, -512, 0}, {0, 512, 512}, 2, 1}};
    level.leafSurfaces = {0, 1, 0};
    // The floor, stored clockwise seen from above as the format does.
    Surface floor;
    floor.type = 1;
    floor.normal = {0, 0, 1};
    level.addSurface(floor, {{{-128, -128, 0}}, {{128, -128, 0}}, {{128, 128, 0}}, {{-128, 128, 0}}},
                     {0, 3, 2, 0, 2, 1});
    // A ramp curving up from the floor along +x, at y 64..128.
    Surface patch;
    patch.type = 2;
    patch.patchWidth = 3;
    patch.patchHeight = 3;
    std::vector<Vertex> control;
    for (int row = 0; row < 3; ++row) {
        const float y = 64.0f + 32.0f * static_cast<float>(row);
        control.push_back({{0, y, 0}, {0, 0, 1}});
        control.push_back({{64, y, 0}, {-0.7071f, 0, 0.7071f}});
        control.push_back({{64, y, 64}, {-1, 0, 0}});
    }
    level.addSurface(patch, control, {});
    return level;
}

}  // namespace ibsptest
