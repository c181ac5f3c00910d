// Any bytes as a level file: load, validate, summarise, and where the level passed validation,
// run the queries that trust it (point location from every space's box, every neighbour list).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/LevelSummary.h"
#include "level/LevelFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantrell;
    const LoadedLevel level = loadLevelBytes({reinterpret_cast<const char*>(data), size});
    const LevelSummary summary = summariseLevel(level);
    if (summary.triangleEntries > size) __builtin_trap();  // every entry came from 4 file bytes
    if (!level.valid()) return 0;

    const LevelGeometry& g = level.geometry;
    const SpacePartition& p = level.partition;
    std::vector<std::int32_t> list;
    for (std::int32_t s = 0; s < p.spaceCount(); ++s) {
        const BoundingBox& b = p.space(s).bounds;
        const std::int32_t located = locateSpace(g, p, 0, {b.minX, b.minY, b.minZ});
        if (located < 0 || located >= p.spaceCount()) __builtin_trap();
        list.clear();
        p.neighbours(s, list);
        for (const std::int32_t n : list) {
            if (n < 0 || n >= p.spaceCount()) __builtin_trap();
        }
        for (const std::int32_t t : p.space(s).triangleIndices) {
            const Triangle& triangle = g.triangle(t);
            for (int k = 0; k < 3; ++k) {
                (void)g.vertex(triangle.vertexIndex[static_cast<std::size_t>(k)]);
                (void)g.normal(triangle.normalIndex[static_cast<std::size_t>(k)]);
            }
            (void)g.plane(triangle.planeIndex);
        }
    }
    return 0;
}
