// Plain value records of a level, as the level file stores them.
//
// Conventions that every reader relies on:
//  - World coordinates are left-handed, y up, in the level's own units.
//  - A plane (a, b, c, d) has the signed distance a*x + b*y + c*z + d; the side
//    where it is >= 0 is the front.
//  - A node child v >= 0 is a node index; v < 0 is a leaf naming space ~v
//    (-1 is space 0, -2 is space 1).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "math/Vector.h"

namespace vantrell {

struct Plane {
    float a = 0.0f;
    float b = 0.0f;
    float c = 0.0f;
    float d = 0.0f;
};

// A box with minX > maxX (or likewise on another axis) is empty; the default is.
struct BoundingBox {
    float minX = 1.0f;
    float minY = 0.0f;
    float minZ = 0.0f;
    float maxX = 0.0f;
    float maxY = 0.0f;
    float maxZ = 0.0f;
};

// Empty when min > max on some axis (a NaN bound is not empty).
[[nodiscard]] constexpr bool isEmpty(const BoundingBox& b) {
    return b.minX > b.maxX || b.minY > b.maxY || b.minZ > b.maxZ;
}
// Grows box to hold other; an empty other changes nothing, an empty box becomes other.
constexpr void mergeWith(BoundingBox& box, const BoundingBox& other) {
    if (isEmpty(other)) return;
    if (isEmpty(box)) {
        box = other;
        return;
    }
    box.minX = std::min(box.minX, other.minX), box.minY = std::min(box.minY, other.minY);
    box.minZ = std::min(box.minZ, other.minZ), box.maxX = std::max(box.maxX, other.maxX);
    box.maxY = std::max(box.maxY, other.maxY), box.maxZ = std::max(box.maxZ, other.maxZ);
}
// Grows box to hold the point p.
constexpr void mergeWith(BoundingBox& box, const Vector3& p) {
    mergeWith(box, BoundingBox{p.x, p.y, p.z, p.x, p.y, p.z});
}
// Whether p lies in box, its faces included.
[[nodiscard]] constexpr bool contains(const BoundingBox& b, const Vector3& p) {
    return p.x >= b.minX && p.x <= b.maxX && p.y >= b.minY && p.y <= b.maxY && p.z >= b.minZ && p.z <= b.maxZ;
}

struct Triangle {
    std::array<std::int32_t, 3> vertexIndex{-1, -1, -1};  // corners 0, 1, 2
    std::array<std::int32_t, 3> normalIndex{-1, -1, -1};  // normal of corner k
    std::int32_t planeIndex = -1;                         // the triangle's own plane
};

// "No child set" until a file says otherwise.
inline constexpr std::int32_t noChild = std::numeric_limits<std::int32_t>::max();

struct BspNode {
    std::int32_t planeIndex = -1;  // the splitting plane
    std::int32_t front = noChild;  // child for signed distance >= 0
    std::int32_t back = noChild;   // child for signed distance < 0
    BoundingBox bounds;            // stored, never read by any query
};

struct Space {
    BoundingBox bounds;                         // tested against the view volume
    std::vector<std::int32_t> triangleIndices;  // drawn and collided with, in file order
};

// The space a negative child reference names.
[[nodiscard]] constexpr std::int32_t spaceOfChild(std::int32_t child) {
    return ~child;
}
// The child reference that names space s.
[[nodiscard]] constexpr std::int32_t childOfSpace(std::int32_t space) {
    return ~space;
}

}  // namespace vantrell
