// Why a search listed a space or left it out: the chain that reached it, or what stops
// every chain from the eye's space.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "level/SpacePartition.h"
#include "visibility/ViewFrustum.h"
#include "visibility/VisibleSpaceSearch.h"

namespace vantrell {

struct ChainStep {
    std::uint32_t space = 0;
    int failedPlane = -1;  // the plane its box fails (ViewFrustum index); -1: the box is in view
};

// One space that blocks shortest chains, with one such chain through it.
struct BlockedChain {
    std::uint32_t firstFailing = 0;    // the first space after the eye's space whose box fails
    int plane = -1;                    // the plane it fails
    std::vector<std::uint32_t> chain;  // eye's space ... firstFailing ... the explained space
};

struct SpaceExplanation {
    enum class Verdict {
        noStart,       // the level has no space for the eye: nothing was searched
        listed,        // chain holds the search's way to it
        notReachable,  // no chain of adjacency rows leads from the eye's space to it
        blocked,       // chains exist, but each one passes a space whose box fails
    };
    Verdict verdict = Verdict::noStart;
    std::uint32_t space = 0;
    std::int32_t startSpace = -1;
    SpaceOutcome outcome = SpaceOutcome::unreached;  // what the search itself did with it
    std::size_t place = 0;                           // its place in the list when listed (0 first)
    // listed, or reached with a failing box: the search's chain from the eye's space to it,
    // each step with its box test result.
    std::vector<ChainStep> chain;
    // blocked: the distinct spaces that come first with a failing box on the shortest chains
    // (fewest steps along adjacency rows), ascending, each with one such chain.
    std::size_t shortestLength = 0;  // spaces on a shortest chain, both ends included
    std::vector<BlockedChain> blocked;
};

// Explains space (which must be below the level's space count) for the search that filled
// record with these frustum planes. search must have been built for partition (as it is
// after collectRecorded). Walks every space reachable from the eye's space twice, so it is
// meant for one answer at a time, not for every frame.
[[nodiscard]] SpaceExplanation explainSpace(const SpacePartition& partition, const VisibleSpaceSearch& search,
                                            const ViewFrustum& frustum, const SearchRecord& record,
                                            std::uint32_t space);

}  // namespace vantrell
