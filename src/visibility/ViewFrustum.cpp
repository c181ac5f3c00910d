#include "visibility/ViewFrustum.h"

#include <array>

#include "math/Vector.h"

namespace vantrell {
namespace {

constexpr float pi = 3.1415927f;

Plane planeThrough(const Vector3& normal, const Vector3& point) {
    return {normal.x, normal.y, normal.z, -dot(normal, point)};
}

// The eight corners in the order the box test visits them.
std::array<Vector3, 8> cornersOf(const BoundingBox& b) {
    return {{
        {b.minX, b.minY, b.minZ},
        {b.minX, b.minY, b.maxZ},
        {b.minX, b.maxY, b.minZ},
        {b.minX, b.maxY, b.maxZ},
        {b.maxX, b.minY, b.minZ},
        {b.maxX, b.minY, b.maxZ},
        {b.maxX, b.maxY, b.minZ},
        {b.maxX, b.maxY, b.maxZ},
    }};
}

float valueAt(const Plane& n, const Vector3& p) {
    return n.a * p.x + n.b * p.y + n.c * p.z + n.d * 1.0f;
}

}  // namespace

ViewFrustum makeViewFrustum(const Vector3& eye, const Vector3& forward, const Vector3& up, const Vector3& right,
                            float fieldOfView, float aspectRatio) {
    // The horizontal half-angles: phi * alpha * 0.5 to the right of the view direction and
    // phi * alpha * -0.5 to the left of it.
    const float halfWidth = fieldOfView * aspectRatio * 0.5f;
    const float negativeHalfWidth = fieldOfView * aspectRatio * -0.5f;
    const float halfHeight = fieldOfView * 0.5f;

    ViewFrustum f;
    f.planes[ViewFrustum::front] = planeThrough(forward, eye);
    f.planes[ViewFrustum::right] = planeThrough(rotateAboutAxis(right, up, pi + halfWidth), eye);
    f.planes[ViewFrustum::left] = planeThrough(rotateAboutAxis(right, up, negativeHalfWidth), eye);
    f.planes[ViewFrustum::top] = planeThrough(rotateAboutAxis(up, right, pi - halfHeight), eye);
    f.planes[ViewFrustum::bottom] = planeThrough(rotateAboutAxis(up, right, halfHeight), eye);
    return f;
}

bool boxInFrustum(const ViewFrustum& frustum, const BoundingBox& b) {
    const std::array<Vector3, 8> corners = cornersOf(b);
    // A plane's flag, once set by one corner, stays set: the box is outside only when one
    // plane has all eight corners strictly behind it.
    unsigned inside = 0;
    for (const Vector3& p : corners) {
        for (unsigned k = 0; k < 5; ++k) {
            if (inside & (1u << k)) continue;  // settled: only how early we stop depends on it
            if (valueAt(frustum.planes[k], p) >= 0.0f) inside |= 1u << k;  // false for NaN
        }
        if (inside == 0x1Fu) return true;
    }
    return false;
}

int failingPlane(const ViewFrustum& frustum, const BoundingBox& b) {
    const std::array<Vector3, 8> corners = cornersOf(b);
    for (int k = 0; k < 5; ++k) {
        bool anyInside = false;
        for (const Vector3& p : corners)
            anyInside = anyInside || valueAt(frustum.planes[static_cast<std::size_t>(k)], p) >= 0.0f;
        if (!anyInside) return k;
    }
    return -1;
}

const char* planeName(int plane) {
    switch (plane) {
        case ViewFrustum::front:
            return "front";
        case ViewFrustum::right:
            return "right";
        case ViewFrustum::left:
            return "left";
        case ViewFrustum::top:
            return "top";
        case ViewFrustum::bottom:
            return "bottom";
        default:
            return "none";
    }
}

}  // namespace vantrell
