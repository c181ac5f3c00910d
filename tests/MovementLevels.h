// Open levels for movement tests: a single space that holds every triangle, so the contact
// query sees them all, in the order they were added.
#pragma once

#include <algorithm>
#include <initializer_list>

#include "TestLevels.h"

namespace vantrell::testlevels {

// One space (0) everywhere, with an empty box and no triangles yet.
inline TestLevel openLevel() {
    TestLevel level;
    addSingleLeafRoot(level, addBoxSpace(level, {}));
    level.partition.setAdjacency(adjacencyFromLists(1, {}));
    return level;
}

// Grows space 0's box around the points (an empty box becomes the first point's).
inline void growSpaceBox(TestLevel& level, std::initializer_list<Vector3> points) {
    BoundingBox& box = level.partition.spaces[0].bounds;
    for (const Vector3& p : points) {
        if (box.minX > box.maxX) box = {p.x, p.y, p.z, p.x, p.y, p.z};
        box.minX = std::min(box.minX, p.x), box.maxX = std::max(box.maxX, p.x);
        box.minY = std::min(box.minY, p.y), box.maxY = std::max(box.maxY, p.y);
        box.minZ = std::min(box.minZ, p.z), box.maxZ = std::max(box.maxZ, p.z);
    }
}

// Quad a, b, c, d (corners in order round it, wound with the normal (b - a) x (c - a)) as
// two triangles on one shared plane, listed in space 0 after the triangles already there.
inline void addQuad(TestLevel& level, const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d) {
    const std::int32_t first = addTriangle(level.geometry, a, b, c);
    const std::int32_t plane = level.geometry.triangle(first).planeIndex;
    const std::int32_t second = addTriangleOnPlane(level.geometry, plane, a, c, d);
    std::vector<std::int32_t>& list = level.partition.spaces[0].triangleIndices;
    list.push_back(first);
    list.push_back(second);
    growSpaceBox(level, {a, b, c, d});
}

// A square floor at height y facing up, from -half to +half in x and z.
inline void addFloor(TestLevel& level, float y, float half) {
    addQuad(level, {-half, y, -half}, {-half, y, half}, {half, y, half}, {half, y, -half});
}

}  // namespace vantrell::testlevels
