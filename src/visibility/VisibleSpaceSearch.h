// The search for the spaces a frame draws: from the space holding the eye, depth-first
// through the adjacency rows, over every space whose box passes the view volume.
#pragma once

#include "level/LevelGeometry.h"
#include "level/SpacePartition.h"
#include "visibility/ViewFrustum.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vantrell {

// Keeps per-level working memory (each space's neighbours, the visited marks and the walk's
// stack) so that a search in steady state allocates nothing. The level it was built for
// must not change between searches; if its space or row count changes, the neighbour lists
// are rebuilt before the next search.
class VisibleSpaceSearch {
public:
    VisibleSpaceSearch() = default;
    explicit VisibleSpaceSearch(const SpacePartition& partition) { rebuild(partition); }

    // Reads each space's neighbours out of the adjacency rows once. Bits that name no
    // space of the level are dropped; a space without a row has no neighbours.
    void rebuild(const SpacePartition& partition);

    // Appends to list, in depth-first preorder, the spaces reached from the eye's space
    // through spaces whose boxes pass the frustum; neighbours are taken in ascending
    // order. The eye's own space is always expanded and is listed only if its box passes.
    // A space is marked when first examined, so a failing box is tested once per search.
    // A level without nodes or spaces yields nothing.
    void collect(const LevelGeometry& geometry, const SpacePartition& partition, const Vector3& eye,
                 const ViewFrustum& frustum, std::vector<std::uint32_t>& list);

    // The neighbours of space s as the last rebuild found them, ascending.
    [[nodiscard]] std::span<const std::uint32_t> neighboursOf(std::uint32_t s) const;

private:
    struct Frame {
        std::uint32_t space;
        std::size_t next;  // position in neighbourList of the next neighbour to examine
    };

    [[nodiscard]] bool builtFor(const SpacePartition& partition) const;
    void startMarking();

    std::vector<std::size_t> firstNeighbour;  // space s owns [firstNeighbour[s], firstNeighbour[s + 1])
    std::vector<std::uint32_t> neighbourList;
    std::size_t rowCount = 0;
    // A space is visited in this search when its stamp equals generation; bumping the
    // generation clears every mark at once.
    std::vector<std::uint32_t> visitStamp;
    std::uint32_t generation = 0;
    std::vector<Frame> stack;  // never deeper than the number of spaces
};

}  // namespace vantrell
