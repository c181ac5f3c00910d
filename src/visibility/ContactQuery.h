// What a movement from one point to another runs into among the level's triangles.
#pragma once

#include <cstdint>
#include <vector>

#include "level/LevelGeometry.h"
#include "level/SpacePartition.h"
#include "level/StampMarks.h"

namespace vantrell {

// Holds the per-plane working memory of the query between calls, so that a query in steady
// state allocates nothing; no result carries over from one call to the next.
class ContactQuery {
public:
    static constexpr float contactSkin = 0.05f;                   // world units
    static constexpr float pushOutDistance = contactSkin * 1.1f;  // 0.055, formed in float
    // A start point wedged between facing planes less than two skins apart would be pushed
    // back and forth for ever; after this many restarts the next push-out ends the query.
    static constexpr int maxRestarts = 64;

    // The plane record of the first candidate triangle that the movement from -> to comes
    // within contactSkin of, with the line through the two points meeting its plane inside
    // the triangle (edges included); (0, 0, 0, 0) for none. Candidates are the triangles of
    // the space holding from, then those of the space holding to when it is another one.
    // A working copy of from is pushed out to pushOutDistance in front of any candidate
    // plane that it lies within the skin of (or behind) while to enters that plane's skin,
    // and the scan then starts again. When a push-out is called for after maxRestarts
    // restarts, the body is wedged: the query returns the plane of that last push-out, so
    // the caller treats it as a contact instead of passing through.
    // Triangles, planes or vertices that the level does not hold are skipped.
    [[nodiscard]] Plane find(const LevelGeometry& geometry, const SpacePartition& partition, const Vector3& from,
                             const Vector3& to);

private:
    // Fraction at which the line from the working point to `to` meets each plane, valid
    // for the planes marked in planesMet (met since the last restart); -1 when `to` stays
    // outside that plane's skin.
    std::vector<float> fractionOfPlane;
    StampMarks planesMet;
};

}  // namespace vantrell
