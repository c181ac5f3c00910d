// The level compiler on scenes built in code: closed rooms with doorways, detail standing in
// a room, stairs and a ramp, leaks, the spawn, refusals, and a starting tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>
#include <utility>

#include "SceneBuilder.h"
#include "compile/Compiler.h"
#include "level/LevelFile.h"
#include "level/LevelValidation.h"
#include "level/WalkableCheck.h"
#include "visibility/ContactQuery.h"
#include "walk/Walkthrough.h"

namespace vantrell {
namespace {

using namespace scenes;

struct Compiled {
    bool ok = false;
    std::string error;
    CompileReport report;
    LevelGeometry geometry;
    SpacePartition partition;
};

CompileOptions spawnAt(const Vector3d& spawn) {
    CompileOptions options;
    options.spawn = spawn;
    return options;
}

Compiled compile(const SceneMesh& mesh, const CompileOptions& options = {}, const StartPartition* start = nullptr) {
    Compiled c;
    c.ok = compileLevel(mesh, start, options, c.geometry, c.partition, c.report, c.error);
    return c;
}

// Valid and walkable, as info would report it.
void expectSound(const Compiled& c) {
    ASSERT_TRUE(c.ok) << c.error;
    const std::vector<std::string> problems = validateLevel(c.geometry, c.partition);
    ASSERT_TRUE(problems.empty()) << problems.front();
    const WalkableReport walkable = checkWalkable(c.geometry, c.partition);
    EXPECT_TRUE(walkable.walkable()) << walkable.offences << " offences, first: "
                                     << (walkable.examples.empty() ? walkable.why : walkable.examples[0].problem);
    // Neighbours both ways.
    const AdjacencyMatrix& m = c.partition.adjacency;
    for (std::size_t s = 0; s < m.rowCount(); ++s) {
        m.forEachNeighbour(s, [&](std::size_t t) { EXPECT_TRUE(m.test(t, s)) << s << " -> " << t; });
    }
}

bool isSolidSpace(const SpacePartition& p, std::int32_t s) {
    return p.space(s).triangleIndices.empty() && isEmpty(p.space(s).bounds);
}

// A body left alone at the origin stays there.
void expectRestsAtSpawn(const Compiled& c) {
    ManualCounter counter;
    Walkthrough walk(c.geometry, c.partition, counter);
    for (int i = 0; i < 300; ++i) walk.step();
    const Vector3& at = walk.camera().currentPosition();
    EXPECT_NEAR(at.x, 0.0f, 1e-6f);
    EXPECT_NEAR(at.y, 0.0f, 1e-6f);
    EXPECT_NEAR(at.z, 0.0f, 1e-6f);
}

// Walks 1000 steps from the origin facing +x with each of W, A, S and D held: the body never
// enters the solid space and never sinks below the floor of the space it is in.
void expectWalksStayInside(const Compiled& c) {
    const std::pair<char, MovementKeys> held[] = {
        {'W', {.forward = true}}, {'A', {.left = true}}, {'S', {.back = true}}, {'D', {.right = true}}};
    for (const auto& [key, keys] : held) {
        ManualCounter counter;
        Walkthrough walk(c.geometry, c.partition, counter);
        walk.setMovementKeys(keys);
        for (int i = 0; i < 1000; ++i) {
            walk.step();
            const Vector3& at = walk.camera().currentPosition();
            const std::int32_t s = locateSpace(c.geometry, c.partition, 0, at);
            ASSERT_FALSE(isSolidSpace(c.partition, s)) << "key " << key << " step " << i << " walked into solid";
            ASSERT_GT(at.y, c.partition.space(s).bounds.minY - 0.1f) << "key " << key << " step " << i << " fell";
        }
    }
}

std::vector<std::uint32_t> visibleFrom(const Compiled& c, const Vector3& forward) {
    ManualCounter counter;
    Walkthrough walk(c.geometry, c.partition, counter, Vector3{}, forward);
    std::vector<std::uint32_t> list;
    walk.collectVisibleSpaces(list);
    return list;
}

// Room A around the origin and room B east of it, joined by a doorway through walls 0.2 thick.
SceneMesh twoRooms() {
    SceneMesh mesh;
    const Vector3d doorLo{0, 0, -0.6}, doorHi{0, 2, 0.6};
    addRoom(mesh, {-3, 0, -3}, {3, 3, 3}, {{0, false, doorLo, doorHi}});
    addPassage(mesh, 0, {3, 0, -0.6}, {3.2, 2, 0.6});
    addRoom(mesh, {3.2, 0, -3}, {9.2, 3, 3}, {{0, true, doorLo, doorHi}});
    return mesh;
}

TEST(Compiler, OneClosedRoomIsOneSpaceWithItsOwnBox) {
    SceneMesh mesh;
    addRoom(mesh, {-3, -1, -3}, {3, 2, 3});
    const Compiled c = compile(mesh);
    expectSound(c);
    EXPECT_EQ(c.report.spaces, 2u);  // the room and the solid space
    EXPECT_EQ(c.report.leaked, false);
    EXPECT_EQ(c.report.outputTriangles, 12u);
    EXPECT_EQ(c.report.spawnSource, "largest floor");
    // The body stands 0.02 above the floor at the origin; the room's box is the room's.
    const std::int32_t room = locateSpace(c.geometry, c.partition, 0, Vector3{});
    const BoundingBox& b = c.partition.space(room).bounds;
    EXPECT_FLOAT_EQ(b.minY, -0.02f);
    EXPECT_FLOAT_EQ(b.maxY, 2.98f);
    EXPECT_FLOAT_EQ(b.minX, -3.0f);
    EXPECT_FLOAT_EQ(b.maxZ, 3.0f);
    EXPECT_EQ(c.partition.space(room).triangleIndices.size(), 12u);
    // Floors come last in the list: clip queries meet the walls before the ground.
    const Triangle& last = c.geometry.triangle(c.partition.space(room).triangleIndices.back());
    EXPECT_FLOAT_EQ(c.geometry.plane(last.planeIndex).b, 1.0f);
    const Triangle& first = c.geometry.triangle(c.partition.space(room).triangleIndices.front());
    EXPECT_FLOAT_EQ(c.geometry.plane(first.planeIndex).b, 0.0f);
    expectRestsAtSpawn(c);
    expectWalksStayInside(c);
}

TEST(Compiler, TwoRoomsAndADoorway) {
    const Compiled c = compile(twoRooms(), spawnAt({0, 1, 0}));
    expectSound(c);
    expectRestsAtSpawn(c);
    expectWalksStayInside(c);
    const std::int32_t a = locateSpace(c.geometry, c.partition, 0, Vector3{0, 1, 0});
    const std::int32_t b = locateSpace(c.geometry, c.partition, 0, Vector3{6.2f, 1, 0});
    const std::int32_t door = locateSpace(c.geometry, c.partition, 0, Vector3{3.1f, 1, 0});
    EXPECT_NE(a, b);
    EXPECT_NE(door, a);
    EXPECT_NE(door, b);
    // The rooms meet only through the doorway.
    EXPECT_FALSE(c.partition.adjacency.test(static_cast<std::size_t>(a), static_cast<std::size_t>(b)));
    EXPECT_TRUE(c.partition.adjacency.test(static_cast<std::size_t>(a), static_cast<std::size_t>(door)));
    EXPECT_TRUE(c.partition.adjacency.test(static_cast<std::size_t>(door), static_cast<std::size_t>(b)));
    // Facing the doorway the other room is listed; with it out of view, it is not.
    const std::vector<std::uint32_t> ahead = visibleFrom(c, {1, 0, 0});
    const std::vector<std::uint32_t> behind = visibleFrom(c, {-1, 0, 0});
    EXPECT_NE(std::find(ahead.begin(), ahead.end(), static_cast<std::uint32_t>(b)), ahead.end());
    EXPECT_EQ(std::find(behind.begin(), behind.end(), static_cast<std::uint32_t>(b)), behind.end());
    ASSERT_FALSE(behind.empty());
    EXPECT_EQ(behind[0], static_cast<std::uint32_t>(a));
}

TEST(Compiler, PillarAndTableStandingInARoom) {
    SceneMesh mesh;
    addRoom(mesh, {-4, 0, -4}, {4, 3, 4});
    addBlock(mesh, {1.5, 0, 1.5}, {2.1, 3, 2.1});          // a pillar, floor to ceiling
    addBlock(mesh, {-2, 0.8, -2}, {-0.5, 0.9, -1}, true);  // the table top
    for (const double x : {-2.0, -0.6}) {
        for (const double z : {-2.0, -1.1}) addBlock(mesh, {x, 0, z}, {x + 0.1, 0.8, z + 0.1});
    }
    const Compiled c = compile(mesh, spawnAt({0.5, 1, 0.5}));
    expectSound(c);
    expectRestsAtSpawn(c);
    expectWalksStayInside(c);
    // The detail splits the room, and merging keeps the pieces few.
    EXPECT_GT(c.report.openLeaves, 4u);
    EXPECT_LT(c.report.spaces, c.report.openLeaves);
    // The closed insides of the pillar, the legs and the table top are left out.
    EXPECT_GE(c.report.unreachableLeaves, 6u);
    // Standing on the table top.
    const Vector3 onTable{-1.75f, 0.92f, -2.0f};  // the middle of the top, 0.04 above it
    ManualCounter counter;
    Walkthrough walk(c.geometry, c.partition, counter, onTable);
    for (int i = 0; i < 200; ++i) walk.step();
    EXPECT_NEAR(walk.camera().currentPosition().y, onTable.y, 1e-5f);
}

TEST(Compiler, StairsAndARamp) {
    SceneMesh mesh;
    addRoom(mesh, {-4, 0, -4}, {8, 4, 4});
    addRamp(mesh, {1, 0, -3}, {4, 1.2, -1});
    for (int step = 0; step < 5; ++step) {
        const double x = 1.0 + 0.5 * step;
        addBlock(mesh, {x, 0, 1}, {x + 0.5, 0.2 * (step + 1), 3});
    }
    const Compiled c = compile(mesh, spawnAt({0, 1, 0}));
    expectSound(c);
    expectRestsAtSpawn(c);
    expectWalksStayInside(c);
    // Walking up the ramp along +x from its foot ends on its top.
    ManualCounter counter;
    Walkthrough walk(c.geometry, c.partition, counter, Vector3{0.5f, 0.0f, -2.0f});
    walk.setMovementKeys({.forward = true});
    float highest = 0.0f;
    for (int i = 0; i < 170; ++i) {
        walk.step();
        highest = std::max(highest, walk.camera().currentPosition().y);
    }
    EXPECT_GT(highest, 1.0f);
}

// A closed room whose floor is flat for x < 0 and falls away by one degree beyond a ridge at
// x = 0: the space above the flat floor's plane runs on a little above the falling floor.
TEST(Compiler, GroundProbeFindsAFloorOnBothSidesOfAFlatRidge) {
    const double drop = 4.0 * std::tan(std::numbers::pi / 180.0);
    const Vector3d centre{0, 1.5, 0};
    SceneMesh mesh;
    // A polygon as a fan from its first corner, wound to face the room's centre (turned round
    // that corner, so that the fan keeps it).
    const auto face = [&](std::vector<Vector3d> points) {
        if (dot(cross(points[1] - points[0], points[2] - points[0]), centre - points[0]) < 0.0)
            std::reverse(points.begin() + 1, points.end());
        for (std::size_t k = 1; k + 1 < points.size(); ++k) addTriangle(mesh, points[0], points[k], points[k + 1]);
    };
    face({{-4, 0, -2}, {-4, 0, 2}, {0, 0, 2}, {0, 0, -2}});
    face({{0, 0, -2}, {0, 0, 2}, {4, -drop, 2}, {4, -drop, -2}});
    face({{-4, 3, -2}, {-4, 3, 2}, {4, 3, 2}, {4, 3, -2}});
    face({{-4, 0, -2}, {-4, 3, -2}, {-4, 3, 2}, {-4, 0, 2}});
    face({{4, -drop, -2}, {4, 3, -2}, {4, 3, 2}, {4, -drop, 2}});
    // Not convex at the ridge: fanned from the ridge's corner, which sees the whole wall.
    for (const double z : {-2.0, 2.0}) face({{0, 0, z}, {4, -drop, z}, {4, 3, z}, {-4, 3, z}, {-4, 0, z}});
    const Compiled c = compile(mesh, spawnAt({-2, 1, 0}));
    expectSound(c);
    expectRestsAtSpawn(c);
    // A body resting 0.02 above the floor anywhere across the ridge: the ground probe (0.05
    // down) meets a floor.
    ContactQuery query;
    for (double x = -1.0; x <= 3.0; x += 0.05) {
        const double floor = x < 0.0 ? 0.0 : -x * drop / 4.0;
        const Vector3d body = Vector3d{x, floor + 0.02, 0.5} + c.report.translation;
        const Vector3 from{static_cast<float>(body.x), static_cast<float>(body.y), static_cast<float>(body.z)};
        const Plane ground = query.find(c.geometry, c.partition, from, from + Vector3{0, -0.05f, 0});
        EXPECT_GT(ground.b, 0.99f) << "no floor under x = " << x;
    }
    expectWalksStayInside(c);
}

TEST(Compiler, LeakingRoomNamesAChainAndCompilesWhenAllowed) {
    SceneMesh mesh;
    addRoom(mesh, {-3, 0, -3}, {3, 3, 3}, {{2, false, {-0.5, 1, 0}, {0.5, 2, 0}}});  // a window in the north wall
    const Compiled refused = compile(mesh, spawnAt({0, 1, 0}));
    ASSERT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find("the scene leaks"), std::string::npos) << refused.error;
    EXPECT_NE(refused.error.find("--allow-leak"), std::string::npos) << refused.error;
    EXPECT_TRUE(refused.report.leaked);
    ASSERT_FALSE(refused.report.leakChain.empty());
    // The chain starts in the room, at a point inside it.
    const Vector3d first = refused.report.leakChain.front().point;
    EXPECT_GT(first.x, -3.0);
    EXPECT_LT(first.x, 3.0);
    EXPECT_GT(first.y, 0.0);
    EXPECT_LT(first.y, 3.0);

    CompileOptions allow = spawnAt({0, 1, 0});
    allow.allowLeak = true;
    const Compiled allowed = compile(mesh, allow);
    expectSound(allowed);
    EXPECT_TRUE(allowed.report.leaked);
    expectRestsAtSpawn(allowed);

    // The same room closed does not leak.
    SceneMesh closed;
    addRoom(closed, {-3, 0, -3}, {3, 3, 3});
    EXPECT_TRUE(compile(closed).ok);
}

TEST(Compiler, SpawnFromTheOptionTheSceneOrTheLargestFloor) {
    SceneMesh mesh;
    // Without a spawn: the middle of the largest floor, the upward faces on one plane weighted
    // by area. Both rooms stand on y = 0, and room B has most of that floor.
    mesh = SceneMesh{};
    addRoom(mesh, {-3, 0, -3}, {3, 3, 3}, {{0, false, {0, 0, -0.6}, {0, 2, 0.6}}});
    addPassage(mesh, 0, {3, 0, -0.6}, {3.2, 2, 0.6});
    addRoom(mesh, {3.2, 0, -5}, {13.2, 3, 5}, {{0, true, {0, 0, -0.6}, {0, 2, 0.6}}});
    Compiled c = compile(mesh);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(c.report.spawnSource, "largest floor");
    const double floorArea = 36.0 + 0.2 * 1.2 + 100.0;
    EXPECT_NEAR(c.report.spawn.x, (0.2 * 1.2 * 3.1 + 100.0 * 8.2) / floorArea, 1e-6);
    EXPECT_NEAR(c.report.spawn.y, 0.02, 1e-6);
    EXPECT_NEAR(c.report.spawn.z, 0.0, 1e-6);
    EXPECT_NEAR(c.report.translation.x, -c.report.spawn.x, 1e-12);

    // The scene's spawn node, dropped onto the floor below it.
    mesh.spawn = Vector3d{1, 2.5, 1};
    c = compile(mesh);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(c.report.spawnSource, "scene");
    EXPECT_NEAR(c.report.spawn.y, 0.02, 1e-6);
    EXPECT_NEAR(c.report.translation.z, -1.0, 1e-6);
    expectRestsAtSpawn(c);

    // The option wins over the scene, and its points come back in the scene's coordinates.
    CompileOptions options = spawnAt({-1, 1, -2});
    options.toSourcePoint = [](const Vector3d& p) { return Vector3d{p.x * 2, p.y * 2, -p.z * 2}; };
    c = compile(mesh, options);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(c.report.spawnSource, "option");
    EXPECT_NEAR(c.report.spawn.x, -2.0, 1e-6);
    EXPECT_NEAR(c.report.spawn.z, 4.0, 1e-6);
    EXPECT_NEAR(c.report.translation.x, 1.0, 1e-6);
}

TEST(Compiler, RefusesWhatItCannotCompile) {
    EXPECT_EQ(compile(SceneMesh{}).error, "the scene has no triangles");

    SceneMesh broken;
    broken.positions = {{0, 0, 0}, {std::nan(""), 0, 0}, {0, 0, 1}, {1, 0, 0}, {2, 0, 0}};
    broken.triangles = {{0, 1, 2}, {0, 3, 4}, {0, 2, 9}};  // not finite, no area, an index past the end
    Compiled c = compile(broken);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error, "the scene has no triangle that is not a sliver");

    SceneMesh room;
    addRoom(room, {-3, 0, -3}, {3, 3, 3});
    addBlock(room, {1, 1, 1}, {2, 2, 2}, true);  // a closed crate floating in the room
    CompileOptions tight;
    tight.maxSpaces = 3;
    c = compile(room, tight);
    EXPECT_FALSE(c.ok);
    EXPECT_NE(c.error.find("spaces, more than the 3 a level may have"), std::string::npos) << c.error;

    // A spawn inside the crate's closed void, left where it is.
    CompileOptions inside = spawnAt({1.5, 1.5, 1.5});
    inside.placeOnFloor = false;
    c = compile(room, inside);
    EXPECT_FALSE(c.ok);
    EXPECT_NE(c.error.find("lies inside solid geometry"), std::string::npos) << c.error;

    // The containers must start empty.
    Compiled full = compile(room);
    ASSERT_TRUE(full.ok);
    CompileReport report;
    std::string error;
    EXPECT_FALSE(compileLevel(room, nullptr, {}, full.geometry, full.partition, report, error));
    EXPECT_EQ(error, "the level containers must be empty before a compile");
}

TEST(Compiler, StartingTreeCutsFirstAndItsSolidLeavesDropTheirTriangles) {
    SceneMesh mesh;
    addRoom(mesh, {-3, 0, -3}, {3, 3, 3});
    addRect(mesh, {-1, -0.5, -1}, {0, 0, 2}, {2, 0, 0});  // below the floor, inside the solid
    StartPartition start;
    start.planes = {{{0, 1, 0}, 0.0}};
    start.nodes = {{0, childOfSpace(0), childOfSpace(1)}};
    start.leafSolid = {0, 1};
    start.lo = {-10, -10, -10};
    start.hi = {10, 10, 10};
    const Compiled c = compile(mesh, spawnAt({0, 1, 0}), &start);
    expectSound(c);
    EXPECT_EQ(c.report.startLeaves, 2u);
    EXPECT_EQ(c.report.outputTriangles, 12u);
    EXPECT_GE(c.report.solidLeaves, 1u);
    // The starting tree's plane is the root.
    const Plane& root = c.geometry.plane(c.partition.node(0).planeIndex);
    EXPECT_FLOAT_EQ(root.b, 1.0f);

    StartPartition broken = start;
    broken.nodes[0].back = childOfSpace(5);
    const Compiled bad = compile(mesh, {}, &broken);
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.error, "the starting tree names a leaf it does not have");
}

// A starting tree read from a file may loop back or go on for ever; followed as it is, either
// would grow the tree until memory ran out.
TEST(Compiler, StartingTreeThatLoopsOrRunsTooDeepIsRefusedBeforeAnyCut) {
    SceneMesh mesh;
    addRoom(mesh, {-3, 0, -3}, {3, 3, 3});
    StartPartition start;
    start.planes = {{{0, 1, 0}, 0.0}, {{1, 0, 0}, 0.0}};
    start.nodes = {{0, 1, childOfSpace(0)}, {1, 0, childOfSpace(1)}};  // node 1 leads back to the root
    start.leafSolid = {0, 0};
    start.lo = {-10, -10, -10};
    start.hi = {10, 10, 10};
    const Compiled loop = compile(mesh, {}, &start);
    EXPECT_FALSE(loop.ok);
    EXPECT_EQ(loop.error, "the starting tree reaches node 0 more than once");

    start.nodes = {{0, 1, childOfSpace(0)}, {1, childOfSpace(1), 1}};  // a node that is its own child
    EXPECT_EQ(compile(mesh, {}, &start).error, "the starting tree reaches node 1 more than once");

    // A chain of nodes, each on the same plane, deeper than any real tree.
    start.nodes.clear();
    for (std::int32_t i = 0; i < 5000; ++i) start.nodes.push_back({0, i + 1, childOfSpace(0)});
    start.nodes.back().front = childOfSpace(1);
    const Compiled deep = compile(mesh, {}, &start);
    EXPECT_FALSE(deep.ok);
    EXPECT_EQ(deep.error, "the starting tree is deeper than 4096");

    start.nodes.resize(1000);  // within the limit, the same chain compiles
    start.nodes.back().front = childOfSpace(1);
    expectSound(compile(mesh, spawnAt({0, 1, 0}), &start));
}

TEST(Compiler, SameSceneSameBytes) {
    const auto bytes = [](const Compiled& c) {
        std::ostringstream out;
        EXPECT_TRUE(writeLevel(out, c.geometry, c.partition));
        return out.str();
    };
    const Compiled a = compile(twoRooms());
    const Compiled b = compile(twoRooms());
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_EQ(bytes(a), bytes(b));
    EXPECT_EQ(a.report.fileBytes, bytes(a).size());
}

}  // namespace
}  // namespace vantrell
