#include "level/SpacePartition.h"

#include "level/LevelGeometry.h"

namespace vantrell {

void SpacePartition::neighbours(std::int32_t s, std::vector<std::int32_t>& list) const {
    adjacency.forEachNeighbour(static_cast<std::size_t>(s),
                               [&list](std::size_t t) { list.push_back(static_cast<std::int32_t>(t)); });
}

std::int32_t SpacePartition::addNode(const BspNode& node) {
    nodes.push_back(node);
    return static_cast<std::int32_t>(nodes.size() - 1);
}

std::int32_t SpacePartition::addSpace(const Space& space) {
    spaces.push_back(space);
    return static_cast<std::int32_t>(spaces.size() - 1);
}

std::int32_t SpacePartition::addSpace(Space&& space) {
    spaces.push_back(std::move(space));
    return static_cast<std::int32_t>(spaces.size() - 1);
}

std::int32_t locateSpace(const LevelGeometry& levelGeometry, const SpacePartition& spacePartition,
                         std::int32_t startNode, const Vector3& point) {
    std::int32_t i = startNode;
    do {
        const BspNode& node = spacePartition.node(i);
        const Plane& plane = levelGeometry.plane(node.planeIndex);
        // Evaluation order kept as (b*y + c*z) + a*x, then + d.
        const float dist = ((plane.b * point.y + plane.c * point.z) + plane.a * point.x) + plane.d;
        i = dist < 0.0f ? node.back : node.front;
    } while (i >= 0);
    return spaceOfChild(i);
}

}  // namespace vantrell
