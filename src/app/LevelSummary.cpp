#include "app/LevelSummary.h"

namespace vantrell {

LevelSummary summariseLevel(const LoadedLevel& level) {
    LevelSummary s;
    for (const Space& space : level.partition.spaces) {
        s.triangleEntries += space.triangleIndices.size();
        const BoundingBox& b = space.bounds;
        // Only boxes with min <= max on every axis count (a NaN bound does not).
        if (!(b.minX <= b.maxX && b.minY <= b.maxY && b.minZ <= b.maxZ)) continue;
        mergeWith(s.bounds, b);
        s.haveBounds = true;
    }
    const AdjacencyMatrix& adjacency = level.partition.adjacency;
    s.rowBytes = adjacency.empty() ? 0 : adjacency.rowBytes();
    s.neighbourLinks = adjacency.setBitCount();
    return s;
}

}  // namespace vantrell
