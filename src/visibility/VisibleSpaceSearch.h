// The search for the spaces a frame draws: from the space holding the eye, depth-first
// through the adjacency rows, over every space whose box passes the view volume.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "level/LevelGeometry.h"
#include "level/SpacePartition.h"
#include "level/StampMarks.h"
#include "visibility/ViewFrustum.h"

namespace vantrell {

// What one search did with a space.
enum class SpaceOutcome : std::uint8_t {
    unreached,  // no expanded space's row led to it (or the search never ran)
    listed,     // its box passed: listed and expanded
    failedBox,  // its box failed the view test: not listed, and not expanded unless it is
                // the eye's own space, which the search always starts from
};

// Everything a search decided, per space, for explaining its result afterwards.
struct SearchRecord {
    std::int32_t startSpace = -1;           // the eye's space; -1 when the level has no space to start from
    std::vector<std::uint32_t> list;        // the listed spaces in search order
    std::vector<SpaceOutcome> outcome;      // per space
    std::vector<std::int8_t> failedPlane;   // per space: the plane its box fails (ViewFrustum index), else -1
    std::vector<std::int32_t> reachedFrom;  // per space: the expanded space whose row led to it, else -1
};

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

    // The same search, recording into record (resized to the level; its old contents are
    // replaced) the outcome of every space, the plane each failing box fails and the space
    // that reached each one. record.list equals what collect appends. Costs one extra box
    // test per failing space; collect itself records nothing.
    void collectRecorded(const LevelGeometry& geometry, const SpacePartition& partition, const Vector3& eye,
                         const ViewFrustum& frustum, SearchRecord& record);

    // The neighbours of space s as the last rebuild found them, ascending.
    [[nodiscard]] std::span<const std::uint32_t> neighboursOf(std::uint32_t s) const;

private:
    struct Frame {
        std::uint32_t space;
        std::size_t next;  // position in neighbourList of the next neighbour to examine
    };

    [[nodiscard]] bool builtFor(const SpacePartition& partition) const;
    // The walk behind collect and collectRecorded; Recorder's hooks are told the start, each
    // listed space and each failing one (see the .cpp).
    template <class Recorder>
    void walk(const LevelGeometry& geometry, const SpacePartition& partition, const Vector3& eye,
              const ViewFrustum& frustum, std::vector<std::uint32_t>& list, Recorder& recorder);

    std::vector<std::size_t> firstNeighbour;  // space s owns [firstNeighbour[s], firstNeighbour[s + 1])
    std::vector<std::uint32_t> neighbourList;
    std::size_t rowCount = 0;
    StampMarks visited;        // the spaces this search has reached
    std::vector<Frame> stack;  // never deeper than the number of spaces
};

}  // namespace vantrell
