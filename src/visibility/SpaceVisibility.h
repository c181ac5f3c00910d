// A level's view and movement queries: which spaces a frame draws, whether a box can be in
// view, and what a movement runs into. Requires a valid level (LevelValidation.h).
#pragma once

#include <cstdint>
#include <vector>

#include "level/LevelTypes.h"
#include "visibility/ContactQuery.h"
#include "visibility/SpaceExplanation.h"
#include "visibility/ViewFrustum.h"
#include "visibility/VisibleSpaceSearch.h"

namespace vantrell {

struct LevelGeometry;
struct SpacePartition;

// Each view query takes the view it answers for; only working memory (built for the level
// at construction) is kept between calls, never results. The level must outlive it.
class SpaceVisibility {
public:
    SpaceVisibility(const SpacePartition& spacePartition, const LevelGeometry& levelGeometry);

    // Appends the visible spaces to list in depth-first search order from the eye's space.
    void collectVisibleSpaces(const ViewPoint& view, std::vector<std::uint32_t>& list);
    // The same search recording what it decided for every space (record.list is the list).
    void collectVisibleSpaces(const ViewPoint& view, SearchRecord& record);
    // Why the search that filled record (from the same view) listed space or not; space
    // must be below the level's space count.
    [[nodiscard]] SpaceExplanation explain(const ViewPoint& view, const SearchRecord& record,
                                           std::uint32_t space) const;
    // True unless all eight corners lie strictly outside one of the five view planes.
    [[nodiscard]] static bool boxInViewFrustum(const ViewPoint& view, const BoundingBox& bounds);
    // The plane of the first triangle the movement from -> to comes into contact with, or
    // (0, 0, 0, 0) for none.
    [[nodiscard]] Plane findContactPlane(const Vector3& from, const Vector3& to);

private:
    const SpacePartition& partition;
    const LevelGeometry& geometry;
    VisibleSpaceSearch search;
    ContactQuery contact;
};

}  // namespace vantrell
