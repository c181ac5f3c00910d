#include "visibility/SpaceVisibility.h"

namespace vantrell {

SpaceVisibility::SpaceVisibility(const SpacePartition& spacePartition, const LevelGeometry& levelGeometry)
    : partition(spacePartition), geometry(levelGeometry), search(spacePartition) {}

void SpaceVisibility::collectVisibleSpaces(const ViewPoint& view, std::vector<std::uint32_t>& list) {
    // Nothing the planes depend on changes during a search, so they are derived once.
    search.collect(geometry, partition, view.eye, makeViewFrustum(view), list);
}

void SpaceVisibility::collectVisibleSpaces(const ViewPoint& view, SearchRecord& record) {
    search.collectRecorded(geometry, partition, view.eye, makeViewFrustum(view), record);
}

SpaceExplanation SpaceVisibility::explain(const ViewPoint& view, const SearchRecord& record,
                                          std::uint32_t space) const {
    return explainSpace(partition, search, makeViewFrustum(view), record, space);
}

bool SpaceVisibility::boxInViewFrustum(const ViewPoint& view, const BoundingBox& bounds) {
    return boxInFrustum(makeViewFrustum(view), bounds);
}

Plane SpaceVisibility::findContactPlane(const Vector3& from, const Vector3& to) {
    return contact.find(geometry, partition, from, to);
}

}  // namespace vantrell
