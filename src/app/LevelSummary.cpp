#include "app/LevelSummary.h"

#include <algorithm>
#include <bit>

namespace vantrell {

LevelSummary summariseLevel(const LoadedLevel& level) {
    LevelSummary s;
    for (const Space& space : level.partition.spaces) {
        s.triangleEntries += space.triangleIndices.size();
        const BoundingBox& b = space.bounds;
        if (!(b.minX <= b.maxX && b.minY <= b.maxY && b.minZ <= b.maxZ)) continue;
        if (!s.haveBounds) {
            s.bounds = b;
            s.haveBounds = true;
            continue;
        }
        s.bounds.minX = std::min(s.bounds.minX, b.minX), s.bounds.maxX = std::max(s.bounds.maxX, b.maxX);
        s.bounds.minY = std::min(s.bounds.minY, b.minY), s.bounds.maxY = std::max(s.bounds.maxY, b.maxY);
        s.bounds.minZ = std::min(s.bounds.minZ, b.minZ), s.bounds.maxZ = std::max(s.bounds.maxZ, b.maxZ);
    }
    for (const AdjacencyRow& row : level.partition.adjacency) {
        s.rowBytes = std::max(s.rowBytes, row.size());
        for (const std::uint8_t byte : row) s.neighbourLinks += static_cast<unsigned>(std::popcount(byte));
    }
    return s;
}

}  // namespace vantrell
