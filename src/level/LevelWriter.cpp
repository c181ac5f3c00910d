#include <cstring>
#include <fstream>
#include <ostream>

#include "io/OutputFile.h"
#include "level/LevelFile.h"

namespace vantrell {
namespace {

// Little-endian byte writer; the file layout is never the memory layout.
class ByteWriter {
public:
    explicit ByteWriter(std::ostream& out) : out(out) {}

    void u8(std::uint8_t v) { out.put(static_cast<char>(v)); }
    void u32(std::uint32_t v) {
        char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                         static_cast<char>(v >> 24)};
        out.write(bytes, 4);
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void f32(float v) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
    void count(std::size_t n) { u32(static_cast<std::uint32_t>(n)); }
    void vector(const Vector3& v) { f32(v.x), f32(v.y), f32(v.z); }
    void box(const BoundingBox& b) { f32(b.minX), f32(b.minY), f32(b.minZ), f32(b.maxX), f32(b.maxY), f32(b.maxZ); }

private:
    std::ostream& out;
};

}  // namespace

bool writeLevel(std::ostream& out, const LevelGeometry& g, const SpacePartition& p) {
    ByteWriter w(out);
    out.write(levelMagic.data(), levelMagic.size());
    w.u8(levelVersion);
    w.count(g.vertices.size());
    for (const Vector3& v : g.vertices) w.vector(v);
    w.count(g.normals.size());
    for (const Vector3& n : g.normals) w.vector(n);
    w.count(g.planes.size());
    for (const Plane& pl : g.planes) w.f32(pl.a), w.f32(pl.b), w.f32(pl.c), w.f32(pl.d);
    w.count(g.triangles.size());
    for (const Triangle& t : g.triangles) {
        for (std::int32_t v : t.vertexIndex) w.i32(v);
        for (std::int32_t n : t.normalIndex) w.i32(n);
        w.i32(t.planeIndex);
    }
    w.count(p.nodes.size());
    for (const BspNode& n : p.nodes) {
        w.i32(n.planeIndex), w.i32(n.front), w.i32(n.back);
        w.box(n.bounds);
    }
    w.count(p.spaces.size());
    for (const Space& s : p.spaces) {
        w.box(s.bounds);
        w.count(s.triangleIndices.size());
        for (std::int32_t t : s.triangleIndices) w.i32(t);
    }
    w.count(p.adjacency.rowCount());
    w.count(p.adjacency.rowBytes());
    for (std::size_t s = 0; s < p.adjacency.rowCount(); ++s) {
        const std::span<const std::uint8_t> row = p.adjacency.row(s);
        out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
    }
    out.flush();
    return static_cast<bool>(out);
}

bool writeLevelFile(const std::string& path, const LevelGeometry& g, const SpacePartition& p, std::string& error) {
    return writeFileAtomically(
        path, [&](std::ostream& out) { return writeLevel(out, g, p); }, error);
}

bool writeLevelFile(const std::string& path, const LevelGeometry& g, const SpacePartition& p) {
    std::string error;
    return writeLevelFile(path, g, p, error);
}

}  // namespace vantrell
