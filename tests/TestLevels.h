// Small levels built in code for the tests. Each builder appends to the level it is given,
// so a test can combine them; a finished level should pass validateLevel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "level/LevelGeometry.h"
#include "level/SpacePartition.h"
#include "math/Vector.h"

namespace vantrell::testlevels {

struct TestLevel {
    LevelGeometry geometry;
    SpacePartition partition;
};

// One row per space, each (spaceCount + 7) / 8 bytes wide, with the listed neighbours set.
inline AdjacencyMatrix adjacencyFromLists(std::size_t spaceCount, const std::vector<std::vector<int>>& neighbours) {
    AdjacencyMatrix rows = AdjacencyMatrix::forSpaces(spaceCount);
    for (std::size_t s = 0; s < neighbours.size() && s < spaceCount; ++s) {
        for (const int n : neighbours[s]) rows.set(s, static_cast<std::size_t>(n));
    }
    return rows;
}

// Appends a node splitting on plane (a, b, c, d): points with distance >= 0 go to the
// space frontSpace, the others to backSpace. Returns the node's index.
inline std::int32_t addLeafSplit(TestLevel& level, const Plane& plane, std::int32_t frontSpace,
                                 std::int32_t backSpace) {
    BspNode node;
    node.planeIndex = level.geometry.addPlane(plane);
    node.front = childOfSpace(frontSpace);
    node.back = childOfSpace(backSpace);
    return level.partition.addNode(node);
}

// A root under which every point lies in space s.
inline std::int32_t addSingleLeafRoot(TestLevel& level, std::int32_t s) {
    return addLeafSplit(level, Plane{0.0f, 1.0f, 0.0f, 0.0f}, s, s);
}

// Appends a space with these bounds and no triangles; returns its index.
inline std::int32_t addBoxSpace(TestLevel& level, const BoundingBox& bounds) {
    Space space;
    space.bounds = bounds;
    return level.partition.addSpace(space);
}

// Appends a triangle with three new vertices and its own plane through them, the normal
// being the unit (p1 - p0) x (p2 - p0), so that the triangle's corners wind with its plane.
// Returns the triangle's index.
inline std::int32_t addTriangle(LevelGeometry& geometry, const Vector3& p0, const Vector3& p1, const Vector3& p2) {
    const Vector3 n = normalized(cross(p1 - p0, p2 - p0));
    Triangle t;
    t.planeIndex = geometry.addPlane(Plane{n.x, n.y, n.z, -dot(n, p0)});
    const std::int32_t normal = geometry.addNormal(n);
    t.vertexIndex = {geometry.addVertex(p0), geometry.addVertex(p1), geometry.addVertex(p2)};
    t.normalIndex = {normal, normal, normal};
    return geometry.addTriangle(t);
}

// As addTriangle, but on an existing plane (which the corners should lie on).
inline std::int32_t addTriangleOnPlane(LevelGeometry& geometry, std::int32_t planeIndex, const Vector3& p0,
                                       const Vector3& p1, const Vector3& p2) {
    const Plane& plane = geometry.plane(planeIndex);
    const std::int32_t normal = geometry.addNormal(Vector3{plane.a, plane.b, plane.c});
    Triangle t;
    t.planeIndex = planeIndex;
    t.vertexIndex = {geometry.addVertex(p0), geometry.addVertex(p1), geometry.addVertex(p2)};
    t.normalIndex = {normal, normal, normal};
    return geometry.addTriangle(t);
}

// One box space from (-5, -1, -5) to (5, 4, 5) with a floor triangle on y = 0, under a
// single-leaf root: the smallest valid level a player can stand in.
inline TestLevel oneRoom() {
    TestLevel level;
    const std::int32_t s = addBoxSpace(level, BoundingBox{-5.0f, -1.0f, -5.0f, 5.0f, 4.0f, 5.0f});
    addSingleLeafRoot(level, s);
    const std::int32_t floor =
        addTriangle(level.geometry, {-5.0f, 0.0f, -5.0f}, {-5.0f, 0.0f, 5.0f}, {5.0f, 0.0f, 5.0f});
    level.partition.spaces[0].triangleIndices.push_back(floor);
    level.partition.setAdjacency(adjacencyFromLists(1, {{}}));
    return level;
}

}  // namespace vantrell::testlevels
