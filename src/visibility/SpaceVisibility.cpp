#include "visibility/SpaceVisibility.h"

#include "play/Walkthrough.h"

namespace vantrell {

SpaceVisibility::SpaceVisibility(const SpacePartition& spacePartition, const LevelGeometry& levelGeometry,
                                 const Walkthrough& owner)
    : partition(spacePartition), geometry(levelGeometry), owner(owner), search(spacePartition) {}

ViewFrustum SpaceVisibility::viewFrustum() const {
    const Camera& camera = owner.camera();
    return makeViewFrustum(camera.eyePoint(), camera.forward(), camera.up(), camera.right(), owner.fieldOfView(),
                           owner.aspectRatio());
}

void SpaceVisibility::collectVisibleSpaces(std::vector<std::uint32_t>& list) {
    // Nothing the planes depend on changes during a search, so they are derived once.
    const ViewFrustum frustum = viewFrustum();
    search.collect(geometry, partition, owner.camera().eyePoint(), frustum, list);
}

void SpaceVisibility::collectVisibleSpaces(SearchRecord& record) {
    search.collectRecorded(geometry, partition, owner.camera().eyePoint(), viewFrustum(), record);
}

SpaceExplanation SpaceVisibility::explain(const SearchRecord& record, std::uint32_t space) const {
    return explainSpace(partition, search, viewFrustum(), record, space);
}

bool SpaceVisibility::boxInViewFrustum(const BoundingBox& bounds) const {
    return boxInFrustum(viewFrustum(), bounds);
}

Plane SpaceVisibility::findContactPlane(const Vector3& from, const Vector3& to) {
    return contact.find(geometry, partition, from, to);
}

}  // namespace vantrell
