// The walk-through's level queries: which spaces a frame draws, whether a box can be in
// view, and what a movement runs into. Requires a valid level (LevelValidation.h).
#pragma once

#include "level/LevelTypes.h"
#include "visibility/ContactQuery.h"
#include "visibility/SpaceExplanation.h"
#include "visibility/ViewFrustum.h"
#include "visibility/VisibleSpaceSearch.h"

#include <cstdint>
#include <vector>

namespace vantrell {

struct LevelGeometry;
struct SpacePartition;
class Walkthrough;

// Reads the camera, field of view and aspect ratio through its owner at each call; keeps
// only working memory between calls (built for the level at construction), never results.
class SpaceVisibility {
public:
    // Does not touch owner, which may still be under construction.
    SpaceVisibility(const SpacePartition& spacePartition, const LevelGeometry& levelGeometry,
                    const Walkthrough& owner);

    // Appends the visible spaces to list in depth-first search order from the eye's space.
    void collectVisibleSpaces(std::vector<std::uint32_t>& list);
    // The same search recording what it decided for every space (record.list is the list).
    void collectVisibleSpaces(SearchRecord& record);
    // Why the search that filled record (from the current camera) listed space or not;
    // space must be below the level's space count.
    [[nodiscard]] SpaceExplanation explain(const SearchRecord& record, std::uint32_t space) const;
    // True unless all eight corners lie strictly outside one of the five view planes.
    [[nodiscard]] bool boxInViewFrustum(const BoundingBox& bounds) const;
    // The plane of the first triangle the movement from -> to comes into contact with, or
    // (0, 0, 0, 0) for none.
    [[nodiscard]] Plane findContactPlane(const Vector3& from, const Vector3& to);

    // The five view planes of the owner's camera as they stand now.
    [[nodiscard]] ViewFrustum viewFrustum() const;

private:
    const SpacePartition& partition;
    const LevelGeometry& geometry;
    const Walkthrough& owner;
    VisibleSpaceSearch search;
    ContactQuery contact;
};

}  // namespace vantrell
