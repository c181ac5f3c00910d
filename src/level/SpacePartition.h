// The structure half of a level: the node tree (node 0 is the root), the spaces at its
// leaves, and the adjacency bit matrix (row s, byte i, bit j set: space 8i + j neighbours s).
#pragma once

#include <cstdint>
#include <vector>

#include "level/AdjacencyMatrix.h"
#include "level/LevelTypes.h"

namespace vantrell {

struct LevelGeometry;

struct SpacePartition {
    std::vector<BspNode> nodes;
    std::vector<Space> spaces;
    AdjacencyMatrix adjacency;

    [[nodiscard]] const BspNode& node(std::int32_t i) const { return nodes[static_cast<std::size_t>(i)]; }
    [[nodiscard]] const Space& space(std::int32_t i) const { return spaces[static_cast<std::size_t>(i)]; }
    [[nodiscard]] std::int32_t spaceCount() const { return static_cast<std::int32_t>(spaces.size()); }

    // Appends the neighbours of space s to list, in increasing index order; entries
    // already in list stay in front.
    void neighbours(std::int32_t s, std::vector<std::int32_t>& list) const;

    std::int32_t addNode(const BspNode& node);
    std::int32_t addSpace(const Space& space);
    std::int32_t addSpace(Space&& space);  // takes over the index list instead of copying it
    // Replaces the whole matrix.
    void setAdjacency(AdjacencyMatrix matrix) { adjacency = std::move(matrix); }
};

// Walks the tree from startNode to a leaf and returns that leaf's space. A point on a
// plane (distance 0), or one whose distance is not a number, goes to the front.
// Precondition: the level is valid (no index check, no depth limit).
[[nodiscard]] std::int32_t locateSpace(const LevelGeometry& levelGeometry, const SpacePartition& spacePartition,
                                       std::int32_t startNode, const Vector3& point);

}  // namespace vantrell
