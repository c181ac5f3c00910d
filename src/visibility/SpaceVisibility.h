// The walk-through's level queries: which spaces a frame draws, whether a box can be in
// view, and what a movement runs into. Requires a valid level (LevelValidation.h).
#pragma once

#include "level/LevelTypes.h"

#include <cstdint>
#include <vector>

namespace vantrell {

struct LevelGeometry;
struct SpacePartition;
class Walkthrough;

class SpaceVisibility {
public:
    SpaceVisibility(const SpacePartition& spacePartition, const LevelGeometry& levelGeometry,
                    const Walkthrough& owner);

    // Appends the visible spaces to list in depth-first search order from the eye's space.
    void collectVisibleSpaces(std::vector<std::uint32_t>& list);
    // True unless all eight corners lie strictly outside one of the five view planes.
    [[nodiscard]] bool boxInViewFrustum(const BoundingBox& bounds) const;
    // The plane of the first triangle the movement from -> to comes into contact with, or
    // (0, 0, 0, 0) for none.
    [[nodiscard]] Plane findContactPlane(const Vector3& from, const Vector3& to);
};

}  // namespace vantrell
