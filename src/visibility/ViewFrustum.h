// The view volume of a camera: five planes through the eye (across the view and four
// sides), an open pyramid with no near or far cap, and the corner test of a box on it.
#pragma once

#include <array>

#include "level/LevelTypes.h"

namespace vantrell {

struct ViewFrustum {
    // Indices into planes, in the order the box test checks them.
    static constexpr int front = 0;
    static constexpr int right = 1;
    static constexpr int left = 2;
    static constexpr int top = 3;
    static constexpr int bottom = 4;

    std::array<Plane, 5> planes;  // value >= 0 is the inner side
};

// Where a camera looks from and how wide: its eye, its basis and its projection.
struct ViewPoint {
    Vector3 eye;
    Vector3 forward;
    Vector3 up;
    Vector3 right;
    float fieldOfView = 0.0f;  // vertical, radians
    float aspectRatio = 0.0f;  // width / height
};

// The planes of a camera at eye with the basis forward, up, right, a vertical field of
// view (radians) and an aspect ratio (width / height). The side planes turn by
// fieldOfView * aspectRatio * 0.5, which is not the projection's exact horizontal
// half-angle: an aspect ratio of 4 at pi/4 turns both side normals onto forward, so
// nothing is culled sideways.
[[nodiscard]] ViewFrustum makeViewFrustum(const Vector3& eye, const Vector3& forward, const Vector3& up,
                                          const Vector3& right, float fieldOfView, float aspectRatio);
[[nodiscard]] inline ViewFrustum makeViewFrustum(const ViewPoint& view) {
    return makeViewFrustum(view.eye, view.forward, view.up, view.right, view.fieldOfView, view.aspectRatio);
}

// True unless all eight corners lie strictly outside one plane. A corner on a plane
// (value 0) counts as inside it; a value that is not a number counts as outside. This is a
// corner test, not an exact intersection: a box straddling two side planes near an edge of
// the view can pass without any of it being in view. Boxes with min > max are tested with
// their corners formed as they are.
[[nodiscard]] bool boxInFrustum(const ViewFrustum& frustum, const BoundingBox& bounds);

// Which plane a box fails: the first in test order (front, right, left, top, bottom) with
// all eight corners strictly outside it (or not a number), or -1 when the box passes.
// -1 exactly when boxInFrustum is true. Tests every corner; meant for explaining a result,
// not for the search itself.
[[nodiscard]] int failingPlane(const ViewFrustum& frustum, const BoundingBox& bounds);

// "front", "right", "left", "top" or "bottom" for a plane index; "none" for any other.
[[nodiscard]] const char* planeName(int plane);

}  // namespace vantrell
