// Any bytes as a level file: load, validate, summarise, and where the level passed validation,
// run the queries that trust it (point location from every space's box, every neighbour list).
#include "app/LevelSummary.h"
#include "level/LevelFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

const std::string& scratchPath() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("vantrell-level-fuzz-" + std::to_string(getpid()) + ".bsp")).string();
    return path;
}

bool writeScratch(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(scratchPath().c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantrell;
    if (!writeScratch(data, size)) return 0;
    const LoadedLevel level = loadLevelFile(scratchPath());
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
