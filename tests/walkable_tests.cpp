// The walkable check: regions from the tree, spaces named by several leaves, and the ways a
// listed triangle can fail to bound its space.
#include <gtest/gtest.h>

#include <cmath>

#include "TestLevels.h"
#include "level/LevelValidation.h"
#include "level/WalkableCheck.h"
#include "math/ConvexPolyhedron.h"

namespace vantrell {
namespace {

using testlevels::addTriangle;
using testlevels::adjacencyFromLists;
using testlevels::TestLevel;

std::int32_t addNode(TestLevel& level, const Plane& plane, std::int32_t front, std::int32_t back) {
    BspNode node;
    node.planeIndex = level.geometry.addPlane(plane);
    node.front = front;
    node.back = back;
    return level.partition.addNode(node);
}

// Space 0 is the slab y >= 0 of the box [-1, 1] x [0, 2] x [-1, 1] (the level's extent, given
// by a ceiling at y = 2); space 1 lies below the floor. The floor faces up into space 0.
TestLevel slabLevel() {
    TestLevel level;
    addNode(level, {0, 1, 0, 0}, childOfSpace(0), childOfSpace(1));
    level.partition.addSpace(Space{{-1, 0, -1, 1, 2, 1}, {}});
    level.partition.addSpace(Space{});
    const std::int32_t floor = addTriangle(level.geometry, {-1, 0, -1}, {-1, 0, 1}, {1, 0, 1});
    addTriangle(level.geometry, {-1, 2, -1}, {1, 2, 1}, {-1, 2, 1});  // the ceiling, triangle 1, listed nowhere
    level.partition.spaces[0].triangleIndices = {floor};
    level.partition.setAdjacency(adjacencyFromLists(2, {{1}, {0}}));
    return level;
}

WalkableReport check(const TestLevel& level) {
    EXPECT_TRUE(validateLevel(level.geometry, level.partition).empty());
    return checkWalkable(level.geometry, level.partition);
}

TEST(WalkableCheck, FloorFacingIntoItsSpacePasses) {
    TestLevel level = slabLevel();
    const WalkableReport r = check(level);
    EXPECT_TRUE(r.walkable());
    EXPECT_EQ(r.offences, 0u);

    // A ceiling facing down into the slab bounds it as well.
    level.partition.spaces[0].triangleIndices.push_back(1);
    EXPECT_TRUE(check(level).walkable());
}

TEST(WalkableCheck, EachWayOfNotBoundingTheSpaceIsNamed) {
    // Wound the other way: the floor faces away from its space.
    TestLevel level = slabLevel();
    const std::int32_t down = addTriangle(level.geometry, {-1, 0, -1}, {1, 0, 1}, {-1, 0, 1});
    level.partition.spaces[0].triangleIndices = {down};
    WalkableReport r = check(level);
    ASSERT_EQ(r.offences, 1u);
    EXPECT_EQ(r.examples[0].space, 0);
    EXPECT_EQ(r.examples[0].triangle, down);
    EXPECT_EQ(r.examples[0].problem, "part of the space lies 2 behind the triangle's plane");

    // Detail geometry: a table top at y = 1 inside the slab, with half the slab below it.
    level = slabLevel();
    const std::int32_t table = addTriangle(level.geometry, {-0.5f, 1, -0.5f}, {-0.5f, 1, 0.5f}, {0.5f, 1, 0.5f});
    level.partition.spaces[0].triangleIndices.push_back(table);
    r = check(level);
    ASSERT_EQ(r.offences, 1u);
    EXPECT_EQ(r.examples[0].triangle, table);
    EXPECT_EQ(r.examples[0].problem, "part of the space lies 1 behind the triangle's plane");

    // Facing up below the slab: in front of its plane, but nowhere near the space.
    level = slabLevel();
    const std::int32_t below = addTriangle(level.geometry, {-1, -0.5f, -1}, {-1, -0.5f, 1}, {1, -0.5f, 1});
    level.partition.spaces[0].triangleIndices = {below};
    r = check(level);
    ASSERT_EQ(r.offences, 1u);
    EXPECT_EQ(r.examples[0].problem, "the triangle's plane passes 0.5 from the space, not along its boundary");

    // On the floor's plane but beyond the space's sides.
    level = slabLevel();
    const std::int32_t beside = addTriangle(level.geometry, {3, 0, -1}, {3, 0, 1}, {5, 0, 1});
    // The level now reaches x = 5: space 0 ends at x = 1, at a cut without a wall.
    level.partition.nodes[0].front = addNode(level, {-1, 0, 0, 1}, childOfSpace(0), childOfSpace(1));
    level.partition.spaces[0].triangleIndices = {0, beside};
    r = check(level);
    ASSERT_EQ(r.offences, 1u);
    EXPECT_EQ(r.examples[0].triangle, beside);
    EXPECT_EQ(r.examples[0].problem, "the triangle lies outside the space");
}

TEST(WalkableCheck, SpaceNamedByNoLeafOffendsWithEveryTriangle) {
    TestLevel level = slabLevel();
    level.partition.nodes[0].front = childOfSpace(1);  // space 0 is no longer a leaf
    const WalkableReport r = check(level);
    ASSERT_EQ(r.offences, 1u);
    EXPECT_EQ(r.examples[0].problem, "no leaf of the tree gives the space any volume");
}

// Several leaves may name one space: the triangles of the space must bound all of them.
TEST(WalkableCheck, EveryLeafOfASpaceCounts) {
    TestLevel level = slabLevel();
    // The slab is cut at x = 0; both halves are space 0.
    level.partition.nodes[0].front = addNode(level, {1, 0, 0, 0}, childOfSpace(0), childOfSpace(0));
    EXPECT_TRUE(check(level).walkable());

    // A wall at x = 0 facing +x bounds the east half only: the west half lies behind it.
    const std::int32_t wall = addTriangle(level.geometry, {0, 0, -1}, {0, 2, -1}, {0, 2, 1});
    ASSERT_GT(level.geometry.plane(level.geometry.triangle(wall).planeIndex).a, 0.99f);
    level.partition.spaces[0].triangleIndices.push_back(wall);
    const WalkableReport r = check(level);
    ASSERT_EQ(r.offences, 1u);
    EXPECT_EQ(r.examples[0].problem, "part of the space lies 1 behind the triangle's plane");

    // Named by the east leaf alone, the wall bounds its space, but the floor now reaches
    // beyond it; half of the floor is the east leaf's.
    level.partition.nodes[1].back = childOfSpace(1);
    const WalkableReport east = check(level);
    ASSERT_EQ(east.offences, 1u);
    EXPECT_EQ(east.examples[0].triangle, 0);
    EXPECT_EQ(east.examples[0].problem, "the triangle lies outside the space");
    level.partition.spaces[0].triangleIndices = {addTriangle(level.geometry, {0, 0, -1}, {0, 0, 1}, {1, 0, 1}), wall};
    EXPECT_TRUE(check(level).walkable());
}

TEST(WalkableCheck, ReportsCountAllButSpellOutAFew) {
    TestLevel level = slabLevel();
    for (int i = 0; i < 20; ++i) {
        const float y = 0.05f * static_cast<float>(i + 1);
        level.partition.spaces[0].triangleIndices.push_back(
            addTriangle(level.geometry, {-1, y, -1}, {-1, y, 1}, {1, y, 1}));
    }
    const WalkableReport r = check(level);
    EXPECT_TRUE(r.checked);
    EXPECT_EQ(r.offences, 20u);
    EXPECT_EQ(r.examples.size(), walkableExamples);
    EXPECT_EQ(r.examples[0].triangle, 2);  // after the floor and the ceiling
}

// A tree whose nodes share their children has exponentially many paths: the check gives up
// in bounded time instead of walking them all.
TEST(WalkableCheck, TreeOfSharedBranchesIsNotWalkedForever) {
    TestLevel level = slabLevel();
    level.partition.nodes.clear();
    constexpr std::int32_t depth = 64;
    for (std::int32_t i = 0; i < depth; ++i) {
        const std::int32_t next = i + 1 < depth ? i + 1 : childOfSpace(0);
        addNode(level, {0, 1, 0, -0.01f * static_cast<float>(i)}, next, next);
    }
    const WalkableReport r = check(level);
    EXPECT_FALSE(r.checked);
    EXPECT_FALSE(r.walkable());
    EXPECT_EQ(r.why, "the tree has too many paths to check");
}

TEST(WalkableCheck, PlanesWithoutDirectionSendTheRegionOneWay) {
    TestLevel level = slabLevel();
    // A root with a zero plane: every distance is 0, so everything lies in front.
    level.partition.nodes.insert(level.partition.nodes.begin(),
                                 BspNode{level.geometry.addPlane({0, 0, 0, 0}), 1, childOfSpace(1), {}});
    EXPECT_TRUE(check(level).walkable());
    // Distance -1 everywhere: the floor's node is never reached and space 0 has no region.
    level.partition.nodes[0].planeIndex = level.geometry.addPlane({0, 0, 0, -1});
    EXPECT_EQ(check(level).offences, 1u);
    // A plane that is not a number sends every point to the front, as point location does.
    level.partition.nodes[0].planeIndex = level.geometry.addPlane({std::nanf(""), 0, 0, 0});
    EXPECT_TRUE(check(level).walkable());
}

TEST(ConvexPolyhedron, SplitKeepsBothPartsAndTheirCorners) {
    const ConvexPolyhedron cube = ConvexPolyhedron::box({0, 0, 0}, {2, 2, 2});
    EXPECT_EQ(cube.corners().size(), 8u);
    ConvexPolyhedron front, back;
    // A diagonal cut through two opposite edges: two triangular prisms of six corners each.
    const double r = std::sqrt(0.5);
    cube.split({{r, -r, 0}, 0}, 1e-9, &front, &back);
    EXPECT_EQ(front.corners().size(), 6u);
    EXPECT_EQ(back.corners().size(), 6u);
    EXPECT_EQ(front.faces().size(), 5u);
    for (const Vector3d& c : front.corners()) EXPECT_GE(c.x - c.y, -1e-12);
    for (const Vector3d& c : back.corners()) EXPECT_LE(c.x - c.y, 1e-12);

    // A cut that only grazes the cube within epsilon leaves it whole on one side.
    cube.split({{1, 0, 0}, 1e-12}, 1e-9, &front, &back);
    EXPECT_EQ(front.corners().size(), 8u);
    EXPECT_TRUE(back.empty());
    cube.split({{1, 0, 0}, -2.0 - 1e-12}, 1e-9, &front, &back);
    EXPECT_TRUE(front.empty());
    EXPECT_EQ(back.corners().size(), 8u);

    // Cutting off a corner adds a triangle: 7 faces and 10 corners.
    const double t = 1.0 / std::sqrt(3.0);
    cube.split({{-t, -t, -t}, 1.0 * t}, 1e-9, &front, &back);
    EXPECT_EQ(back.faces().size(), 7u);
    EXPECT_EQ(back.corners().size(), 10u);
    EXPECT_EQ(front.corners().size(), 4u);
    double area = 0;
    for (const ConvexPolyhedron::Face& f : front.faces()) area += polygonArea(front.polygon(f));
    // Three right triangles of legs 1 and the equilateral cap of side sqrt(2).
    EXPECT_NEAR(area, 1.5 + std::sqrt(3.0) / 2.0, 1e-12);
}

}  // namespace
}  // namespace vantrell
