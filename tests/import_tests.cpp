// The IBSP importer: geometry, coordinates, tree and spaces of tiny files built in code, and
// clear errors for malformed ones.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "IbspBytes.h"
#include "camera/MovementClock.h"
#include "import/IbspImport.h"
#include "level/LevelValidation.h"
#include "level/WalkableCheck.h"
#include "walk/Walkthrough.h"

using namespace vantrell;

namespace {

struct Imported {
    LevelGeometry geometry;
    SpacePartition partition;
    ImportReport report;
    std::string error;
    bool ok = false;
};

Imported importBytes(const std::vector<std::uint8_t>& bytes, ImportOptions options = {}) {
    Imported out;
    out.ok =
        importLevelFromMemory(bytes.data(), bytes.size(), options, out.geometry, out.partition, out.report, out.error);
    return out;
}

Imported importLevelOf(const ibsptest::Level& level, ImportOptions options = {}) {
    return importBytes(ibsptest::serialise(level), options);
}

// The file's own tree, one space per leaf: what the tests of the conversion look at.
ImportOptions keptTree() {
    ImportOptions options;
    options.keepTree = true;
    return options;
}

std::string importError(const ibsptest::Level& level) {
    const Imported result = importLevelOf(level);
    EXPECT_FALSE(result.ok);
    return result.error;
}

Vector3 sub(const Vector3& a, const Vector3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vector3 crossOf(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float dotOf(const Vector3& a, const Vector3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector3 faceCross(const LevelGeometry& g, const Triangle& t) {
    const Vector3& v0 = g.vertex(t.vertexIndex[0]);
    return crossOf(sub(g.vertex(t.vertexIndex[1]), v0), sub(g.vertex(t.vertexIndex[2]), v0));
}

bool neighbours(const SpacePartition& p, int a, int b) {
    return p.adjacency.test(static_cast<std::size_t>(a), static_cast<std::size_t>(b));
}

// Every triangle: corners ordered along its plane's unit normal, the plane through its corners.
void expectTrianglesConsistent(const LevelGeometry& g) {
    for (const Triangle& t : g.triangles) {
        const Plane& p = g.plane(t.planeIndex);
        const Vector3 n{p.a, p.b, p.c};
        EXPECT_NEAR(std::sqrt(dotOf(n, n)), 1.0f, 1e-5f);
        EXPECT_GT(dotOf(faceCross(g, t), n), 0.0f);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(dotOf(n, g.vertex(t.vertexIndex[k])) + p.d, 0.0f, 1e-4f);
    }
}

}  // namespace

TEST(IbspImport, BoxRoomImportsAsValidLevel) {
    const Imported r = importLevelOf(ibsptest::boxRoom(), keptTree());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(validateLevel(r.geometry, r.partition).empty());
    EXPECT_EQ(r.partition.nodes.size(), 2u);
    ASSERT_EQ(r.partition.spaces.size(), 3u);
    EXPECT_EQ(r.report.openSpaces, 2u);
    // Node for node, with the leaf encoding kept.
    EXPECT_EQ(r.partition.node(0).front, 1);
    EXPECT_EQ(r.partition.node(0).back, -1);
    EXPECT_EQ(r.partition.node(1).front, -2);
    EXPECT_EQ(r.partition.node(1).back, -3);
    // The spawn stands 0.02 above the floor, at the origin: the floor lies at y = -0.02.
    EXPECT_TRUE(r.report.spawnFound);
    for (const Triangle& t : r.geometry.triangles) {
        const Plane& p = r.geometry.plane(t.planeIndex);
        if (p.b > 0.999f) {
            EXPECT_NEAR(p.d, 0.02f, 1e-6f);
        }
    }
    // The origin lies in front of x = 0 (leaf 1), a point at file x < 0 in leaf 2, below the floor leaf 0.
    EXPECT_EQ(locateSpace(r.geometry, r.partition, 0, {0.0f, 0.5f, 0.0f}), 1);
    EXPECT_EQ(locateSpace(r.geometry, r.partition, 0, {-0.5f, 0.5f, 0.0f}), 2);
    EXPECT_EQ(locateSpace(r.geometry, r.partition, 0, {0.0f, -0.5f, 0.0f}), 0);
}

TEST(IbspImport, AdjacencyLinksOpenLeavesOnlyAndIsSymmetric) {
    const Imported r = importLevelOf(ibsptest::boxRoom(), keptTree());
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.partition.adjacency.rowCount(), 3u);
    EXPECT_TRUE(neighbours(r.partition, 1, 2));
    EXPECT_TRUE(neighbours(r.partition, 2, 1));
    for (std::uint8_t byte : r.partition.adjacency.row(0)) EXPECT_EQ(byte, 0);  // opaque: empty row
    EXPECT_FALSE(neighbours(r.partition, 1, 0));
    EXPECT_FALSE(neighbours(r.partition, 2, 0));
    EXPECT_EQ(r.report.neighbourLinks, 1u);
}

TEST(IbspImport, SurfaceListedByTwoLeavesIsStoredTwice) {
    ibsptest::Level level = ibsptest::boxRoom();
    level.leafSurfaces = {0, 0};  // only the floor, in leaves 1 and 2
    level.leaves[1].numLeafSurfaces = 1;
    level.leaves[2].firstLeafSurface = 1;
    const Imported r = importLevelOf(level, keptTree());
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.geometry.triangles.size(), 4u);
    const auto& a = r.partition.space(1).triangleIndices;
    const auto& b = r.partition.space(2).triangleIndices;
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_NE(a[i], b[i]);  // own copies, with the same corners
        EXPECT_EQ(r.geometry.triangle(a[i]).vertexIndex, r.geometry.triangle(b[i]).vertexIndex);
    }
    // Both floor triangles share one plane record.
    EXPECT_EQ(r.geometry.triangle(a[0]).planeIndex, r.geometry.triangle(a[1]).planeIndex);
}

// A pillar beside the spawn (x 40..72, y 0..40, file units) whose two y faces are listed by
// the spawn's leaf before the floor: the spawn (10, 20) lies behind both faces, which turn
// away from each other.
ibsptest::Level roomWithPillarBesideTheSpawn() {
    ibsptest::Level level = ibsptest::boxRoom();
    ibsptest::Surface face;
    face.type = 1;
    face.normal = {0, -1, 0};
    const std::int32_t south =
        level.addSurface(face, {{{40, 0, 0}}, {{72, 0, 0}}, {{72, 0, 64}}, {{40, 0, 64}}}, {0, 1, 2, 0, 2, 3});
    face.normal = {0, 1, 0};
    const std::int32_t north =
        level.addSurface(face, {{{40, 40, 0}}, {{72, 40, 0}}, {{72, 40, 64}}, {{40, 40, 64}}}, {0, 1, 2, 0, 2, 3});
    level.leafSurfaces = {south, north, 0, 1, 0};
    level.leaves[1].numLeafSurfaces = 4;
    level.leaves[2].firstLeafSurface = 4;
    return level;
}

TEST(IbspImport, LeafBoundaryFacesAreListedBeforeDetailInside) {
    const Imported r = importLevelOf(roomWithPillarBesideTheSpawn(), keptTree());
    ASSERT_TRUE(r.ok) << r.error;
    const auto& list = r.partition.space(1).triangleIndices;
    ASSERT_GT(list.size(), 6u);  // floor 2, pillar 4, then the patch
    const auto normalY = [&](std::size_t i) { return r.geometry.plane(r.geometry.triangle(list[i]).planeIndex).b; };
    // The floor (on the root's splitting plane, facing the leaf) first, then the pillar's
    // faces in the leaf's order (south before north), then the patch.
    EXPECT_NEAR(normalY(0), 1.0f, 1e-6f);
    EXPECT_NEAR(normalY(1), 1.0f, 1e-6f);
    const Plane& south = r.geometry.plane(r.geometry.triangle(list[2]).planeIndex);
    const Plane& north = r.geometry.plane(r.geometry.triangle(list[4]).planeIndex);
    EXPECT_NEAR(south.c, -1.0f, 1e-6f);  // file y is our z
    EXPECT_NEAR(north.c, 1.0f, 1e-6f);
    EXPECT_EQ(r.geometry.triangle(list[2]).planeIndex, r.geometry.triangle(list[3]).planeIndex);
    EXPECT_EQ(r.geometry.triangle(list[4]).planeIndex, r.geometry.triangle(list[5]).planeIndex);
    // Every triangle is still listed exactly once.
    std::vector<std::int32_t> sorted(list.begin(), list.end());
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

// Rebuilt, the leaf holding the pillar is cut along the pillar's faces: every space is bounded
// by its triangles, the room stays open to the spawn, and the opaque leaf stays solid.
TEST(IbspImport, RebuiltTreeIsWalkableWhereTheFilesIsNot) {
    const Imported kept = importLevelOf(roomWithPillarBesideTheSpawn(), keptTree());
    ASSERT_TRUE(kept.ok) << kept.error;
    EXPECT_FALSE(checkWalkable(kept.geometry, kept.partition).walkable());

    const Imported r = importLevelOf(roomWithPillarBesideTheSpawn());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.report.rebuilt);
    EXPECT_EQ(r.report.fileLeaves, 3u);
    EXPECT_TRUE(validateLevel(r.geometry, r.partition).empty());
    const WalkableReport walkable = checkWalkable(r.geometry, r.partition);
    EXPECT_TRUE(walkable.walkable()) << (walkable.examples.empty() ? walkable.why : walkable.examples[0].problem);
    EXPECT_GT(r.partition.spaces.size(), kept.partition.spaces.size());
    // The file's opaque leaf (below the floor) lists nothing and neighbours nothing.
    const std::int32_t below = locateSpace(r.geometry, r.partition, 0, {0.0f, -0.5f, 0.0f});
    EXPECT_TRUE(r.partition.space(below).triangleIndices.empty());
    std::vector<std::int32_t> list;
    r.partition.neighbours(below, list);
    EXPECT_TRUE(list.empty());
    // The spawn's space lists the floor under the body.
    const std::int32_t spawn = locateSpace(r.geometry, r.partition, 0, {0.0f, 0.0f, 0.0f});
    bool floor = false;
    for (const std::int32_t t : r.partition.space(spawn).triangleIndices)
        floor = floor || r.geometry.plane(r.geometry.triangle(t).planeIndex).b > 0.999f;
    EXPECT_TRUE(floor);
}

TEST(IbspImport, BodyBetweenDetailFacesTurnedAwayStaysOnTheFloor) {
    const Imported r = importLevelOf(roomWithPillarBesideTheSpawn());
    ASSERT_TRUE(r.ok) << r.error;
    const ManualCounter clock;
    Walkthrough walkthrough(r.geometry, r.partition, clock);
    // The ground probe at the spawn finds the floor, not one of the pillar's faces.
    const Plane ground = walkthrough.findContactPlane({0.0f, 0.0f, 0.0f}, {0.0f, -0.05f, 0.0f});
    EXPECT_NEAR(ground.b, 1.0f, 1e-6f);
    Camera& camera = walkthrough.camera();
    for (int i = 0; i < 300; ++i) walkthrough.step();
    EXPECT_EQ(camera.currentPosition().y, 0.0f);
    // Walking back, away from the pillar and into the next leaf, keeps the body on the floor.
    walkthrough.setMovementKeys({.back = true});
    for (int i = 0; i < 100; ++i) walkthrough.step();
    EXPECT_EQ(camera.currentPosition().y, 0.0f);
    EXPECT_LT(camera.currentPosition().x, -1.9f);
}

TEST(IbspImport, WindingFollowsTheNormalWhateverTheStoredOrder) {
    for (bool reversed : {false, true}) {
        ibsptest::Level level = ibsptest::boxRoom();
        if (reversed) level.indexes = {0, 2, 3, 0, 1, 2};  // counter-clockwise from above
        const Imported r = importLevelOf(level);
        ASSERT_TRUE(r.ok) << r.error;
        expectTrianglesConsistent(r.geometry);
        for (std::int32_t i : r.partition.space(2).triangleIndices) {
            const Plane& p = r.geometry.plane(r.geometry.triangle(i).planeIndex);
            EXPECT_NEAR(p.b, 1.0f, 1e-6f) << "reversed " << reversed;  // the floor faces up
        }
    }
}

TEST(IbspImport, SoupTrianglesFaceTheirCornerNormals) {
    ibsptest::Level level = ibsptest::boxRoom();
    ibsptest::Surface soup;
    soup.type = 3;
    // Two triangles of a wall at x = 100 facing -x; the first stored one way, the second the other.
    const std::array<float, 3> n{-1, 0, 0};
    level.addSurface(soup, {{{100, 0, 0}, n}, {{100, 50, 0}, n}, {{100, 50, 50}, n}, {{100, 0, 50}, n}},
                     {0, 1, 2, 0, 3, 2});
    level.leafSurfaces = {2};
    level.leaves[1].numLeafSurfaces = 1;
    level.leaves[2].numLeafSurfaces = 0;
    level.leaves[2].firstLeafSurface = 0;
    const Imported r = importLevelOf(level);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.geometry.triangles.size(), 2u);
    expectTrianglesConsistent(r.geometry);
    for (const Triangle& t : r.geometry.triangles) EXPECT_NEAR(r.geometry.plane(t.planeIndex).a, -1.0f, 1e-6f);
}

TEST(IbspImport, DegenerateTrianglesAreDroppedAndZeroNormalsFallBackToTheFace) {
    ibsptest::Level level = ibsptest::boxRoom();
    ibsptest::Surface soup;
    soup.type = 3;
    const std::array<float, 3> zero{0, 0, 0};
    level.addSurface(soup, {{{0, 0, 10}, zero}, {{10, 0, 10}, zero}, {{20, 0, 10}, zero}, {{0, 10, 10}, zero}},
                     {0, 1, 2, 0, 3, 1});  // the first is a line
    level.leafSurfaces = {2};
    level.leaves[1].numLeafSurfaces = 1;
    level.leaves[2].numLeafSurfaces = 0;
    const Imported r = importLevelOf(level);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.geometry.triangles.size(), 1u);
    const Triangle& t = r.geometry.triangles[0];
    const Plane& p = r.geometry.plane(t.planeIndex);
    for (int k = 0; k < 3; ++k) {
        const Vector3& n = r.geometry.normal(t.normalIndex[k]);
        EXPECT_EQ(n.x, p.a);
        EXPECT_EQ(n.y, p.b);
        EXPECT_EQ(n.z, p.c);
    }
}

TEST(IbspImport, PatchIsTessellatedOnTheBezierSurface) {
    ibsptest::Level level = ibsptest::boxRoom();
    level.leafSurfaces = {1};
    level.leaves[1].numLeafSurfaces = 1;
    level.leaves[2].numLeafSurfaces = 0;
    const Imported r = importLevelOf(level);
    ASSERT_TRUE(r.ok) << r.error;
    // Curved along u (middle point 45 units off the chord: 7 segments), flat along v (1).
    EXPECT_EQ(r.geometry.triangles.size(), 2u * 7u);
    expectTrianglesConsistent(r.geometry);
    // Every triangle faces into the curve (towards -x and up, in file terms): our x and y.
    for (const Triangle& t : r.geometry.triangles) {
        const Plane& p = r.geometry.plane(t.planeIndex);
        EXPECT_LE(p.a, 1e-6f);
        EXPECT_GE(p.b, -1e-6f);
    }
    // Corners lie on B(u) = (1-u)^2 P0 + 2u(1-u) P1 + u^2 P2 of the profile (0,0), (64,0), (64,64),
    // at u = k / 7; every one of those eight points is used.
    const float s = 1.0f / 50.0f;
    std::vector<bool> used(8, false);
    for (const Vector3& v : r.geometry.vertices) {
        const double x = v.x / s + 10.0;  // undo the shift of the spawn (x 10) and of the body (0.02 up)
        const double z = (v.y + 0.02) / s;
        bool onCurve = false;
        for (int k = 0; k <= 7; ++k) {
            const double u = k / 7.0;
            if (std::fabs(x - 64.0 * (1.0 - (1.0 - u) * (1.0 - u))) < 1e-3 && std::fabs(z - 64.0 * u * u) < 1e-3) {
                onCurve = true;
                used[static_cast<std::size_t>(k)] = true;
            }
        }
        EXPECT_TRUE(onCurve) << x << ", " << z;
    }
    EXPECT_EQ(std::count(used.begin(), used.end(), true), 8);
}

TEST(IbspImport, LeavesOutFlaresAndWaterAndNodraw) {
    ibsptest::Level level = ibsptest::boxRoom();
    level.shaders.push_back({0, 32});    // water
    level.shaders.push_back({0x80, 1});  // nodraw
    level.surfaces[0].shader = 1;
    level.surfaces[1].shader = 2;
    ibsptest::Surface flare;
    flare.type = 4;
    level.addSurface(flare, {{{0, 0, 10}}}, {});
    level.leafSurfaces = {0, 1, 2};
    level.leaves[1].numLeafSurfaces = 3;
    level.leaves[2].numLeafSurfaces = 0;
    const Imported r = importLevelOf(level);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.geometry.triangles.empty());
    EXPECT_EQ(r.report.skippedSurfaces, 3u);
    // Nothing to rebuild: the file's tree is kept.
    EXPECT_FALSE(r.report.rebuilt);
}

TEST(IbspImport, CoordinatesSwapScaleAndTurnTowardsTheSpawnAngle) {
    ibsptest::Level level = ibsptest::boxRoom();
    level.entities =
        "{ \"classname\" \"info_player_start\" \"origin\" \"0 0 100\" }"
        "{ \"classname\" \"info_player_deathmatch\" \"origin\" \"-64 0 24\" \"angle\" \"92\" }";
    ImportOptions options = keptTree();
    options.scale = 0.5f;
    const Imported r = importLevelOf(level, options);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.report.spawnOrigin.x, -64.0f);  // the deathmatch spawn wins over the start
    EXPECT_EQ(r.report.quarterTurns, 1);
    // File (128, -128, 0) -> swapped (128, 0, -128), turned (x, z) -> (z, -x): (-128, 0, -128),
    // scaled by 0.5 and shifted so that the spawn (-64, 0) -> (0, 0, 32) lands on the origin.
    const Vector3& v = r.geometry.vertex(1);
    EXPECT_FLOAT_EQ(v.x, -64.0f);
    EXPECT_FLOAT_EQ(v.y, -0.02f);
    EXPECT_FLOAT_EQ(v.z, -96.0f);
    // The file's x = 0 plane (normal +x) now has normal -z and passes through z = -32.
    const Plane& p = r.geometry.plane(1);
    EXPECT_FLOAT_EQ(p.c, -1.0f);
    EXPECT_FLOAT_EQ(p.d, -32.0f);
    EXPECT_TRUE(validateLevel(r.geometry, r.partition).empty());
}

TEST(IbspImport, MalformedFilesGiveClearErrors) {
    const std::vector<std::uint8_t> good = ibsptest::serialise(ibsptest::boxRoom());
    const auto patchInt = [&](std::size_t at, std::int32_t value) {
        std::vector<std::uint8_t> bytes = good;
        for (int i = 0; i < 4; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
        return importBytes(bytes);
    };
    const auto expectError = [](const Imported& r, const std::string& words) {
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(words), std::string::npos) << r.error;
    };
    expectError(patchInt(ibsptest::lumpEntry(2) + 4, 15), "planes lump is 15 bytes long, not a multiple");
    expectError(patchInt(ibsptest::lumpEntry(3), static_cast<std::int32_t>(good.size())), "ends past the end");
    expectError(patchInt(ibsptest::lumpEntry(3) + 4, -36), "negative");
    expectError(patchInt(4, 47), "version 47");
    expectError(importBytes({'I', 'B', 'S', 'P', 46, 0, 0, 0}), "cut short");
    expectError(importBytes({'X', 'B', 'S', 'P'}), "not an IBSP file");

    ibsptest::Level level = ibsptest::boxRoom();
    level.nodes[1].children[0] = -9;
    EXPECT_NE(importError(level).find("names leaf 8"), std::string::npos);
    level = ibsptest::boxRoom();
    level.nodes[1].children[1] = 5;
    EXPECT_NE(importError(level).find("names child node 5"), std::string::npos);
    level = ibsptest::boxRoom();
    level.nodes[1].plane = 2;
    EXPECT_NE(importError(level).find("plane 2"), std::string::npos);
    level = ibsptest::boxRoom();
    level.leafSurfaces[2] = 7;
    EXPECT_NE(importError(level).find("names surface 7"), std::string::npos);
    level = ibsptest::boxRoom();
    level.leaves[2].numLeafSurfaces = 2;
    EXPECT_NE(importError(level).find("leaf 2 lists leafsurfaces"), std::string::npos);
    level = ibsptest::boxRoom();
    level.indexes[4] = 4;
    EXPECT_NE(importError(level).find("drawindex 4"), std::string::npos);
    level = ibsptest::boxRoom();
    level.surfaces[0].numIndexes = 7;
    EXPECT_NE(importError(level).find("outside"), std::string::npos);
    level = ibsptest::boxRoom();
    level.surfaces[0].numVertices = 100;
    EXPECT_NE(importError(level).find("uses drawverts"), std::string::npos);
    level = ibsptest::boxRoom();
    level.surfaces[0].shader = 3;
    EXPECT_NE(importError(level).find("uses shader 3"), std::string::npos);
    level = ibsptest::boxRoom();
    level.vertices[2].position[1] = std::nanf("");
    EXPECT_NE(importError(level).find("drawvert 2"), std::string::npos);
}

TEST(IbspImport, PatchesWithEvenOrTooSmallSizesAreRefused) {
    for (auto [w, h] :
         {std::pair{2, 3}, std::pair{3, 4}, std::pair{0, 3}, std::pair{1, 1}, std::pair{3, -3}, std::pair{5, 3}}) {
        ibsptest::Level level = ibsptest::boxRoom();
        level.surfaces[1].patchWidth = w;
        level.surfaces[1].patchHeight = h;
        const std::string error = importError(level);
        EXPECT_NE(error.find("surface 1 is a patch of " + std::to_string(w) + " x " + std::to_string(h)),
                  std::string::npos)
            << error;
    }
}

TEST(IbspImport, TreesThatLoopOrShareBranchesAreRefused) {
    ibsptest::Level level = ibsptest::boxRoom();
    level.nodes[1].children[1] = 0;  // back to the root
    EXPECT_NE(importError(level).find("loops"), std::string::npos);
    level = ibsptest::boxRoom();
    level.nodes[1].children[1] = 1;  // itself
    EXPECT_NE(importError(level).find("loops"), std::string::npos);
    level = ibsptest::boxRoom();
    level.nodes[0].children = {1, 1};  // one branch reached twice
    EXPECT_NE(importError(level).find("node 1"), std::string::npos);
}

TEST(IbspImport, EveryTruncationFailsCleanly) {
    const std::vector<std::uint8_t> good = ibsptest::serialise(ibsptest::boxRoom());
    for (std::size_t n = 0; n < good.size(); ++n) {
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        const Imported r = importBytes(cut);
        EXPECT_FALSE(r.ok) << "cut at " << n;
        EXPECT_FALSE(r.error.empty());
    }
    EXPECT_TRUE(importBytes(good).ok);
}

TEST(IbspImport, SurfacesReusingOneBigPatchHitTheSizeLimit) {
    // Many surfaces naming one large patch would tessellate into billions of vertices.
    ibsptest::Level level = ibsptest::boxRoom();
    std::vector<ibsptest::Vertex> grid(101 * 101, ibsptest::Vertex{});
    for (std::size_t i = 0; i < grid.size(); ++i)
        grid[i].position = {static_cast<float>(i % 101), static_cast<float>(i / 101), 0};
    grid[1].position[2] = 1000.0f;  // curved: eight segments per piece
    ibsptest::Surface patch;
    patch.type = 2;
    patch.patchWidth = 101;
    patch.patchHeight = 101;
    const std::int32_t first = level.addSurface(patch, grid, {});
    for (int i = 0; i < 200; ++i) level.surfaces.push_back(level.surfaces[static_cast<std::size_t>(first)]);
    level.leafSurfaces.clear();
    for (std::int32_t s = first; s < static_cast<std::int32_t>(level.surfaces.size()); ++s)
        level.leafSurfaces.push_back(s);
    level.leaves[1].numLeafSurfaces = static_cast<std::int32_t>(level.leafSurfaces.size());
    level.leaves[2].numLeafSurfaces = 0;
    EXPECT_NE(importError(level).find("too large"), std::string::npos);
}

TEST(IbspImport, RefusesBadOptionsAndFilledContainers) {
    const std::vector<std::uint8_t> bytes = ibsptest::serialise(ibsptest::boxRoom());
    ImportOptions options;
    options.scale = 0.0f;
    EXPECT_NE(importBytes(bytes, options).error.find("scale"), std::string::npos);
    Imported r;
    r.geometry.addVertex({});
    EXPECT_FALSE(importLevelFromMemory(bytes.data(), bytes.size(), {}, r.geometry, r.partition, r.report, r.error));
    EXPECT_NE(r.error.find("empty"), std::string::npos);
}

TEST(IbspImport, ReadsMapsFromZipArchives) {
    const std::vector<std::uint8_t> bytes = ibsptest::serialise(ibsptest::boxRoom());
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vantrell_import_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string archive = (dir / "test.pk3").string();
    {
        int code = 0;
        zip_t* zip = zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
        ASSERT_NE(zip, nullptr);
        for (const char* name : {"maps/room.bsp", "maps/Other.BSP", "textures/x.bsp", "maps/sub/deep.bsp"}) {
            zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
            ASSERT_GE(zip_file_add(zip, name, source, ZIP_FL_OVERWRITE), 0);
        }
        ASSERT_EQ(zip_close(zip), 0);
    }
    std::vector<std::string> maps;
    std::string error;
    ASSERT_TRUE(listArchiveMaps(archive, maps, error)) << error;
    EXPECT_EQ(maps, (std::vector<std::string>{"maps/Other.BSP", "maps/room.bsp"}));

    // Every way of naming a map, in its case or another; a path outside maps/ names its entry.
    for (const char* name :
         {"maps/room.bsp", "room", "room.bsp", "maps/room", "ROOM", "maps/other.bsp", "Other", "maps/sub/deep.bsp"}) {
        SCOPED_TRACE(name);
        Imported r;
        ImportOptions options;
        options.mapName = name;
        EXPECT_TRUE(importLevel(archive, options, r.geometry, r.partition, r.report, r.error)) << r.error;
        EXPECT_EQ(r.partition.spaces.size(), 3u);
    }
    Imported missing;
    ImportOptions options;
    options.mapName = "maps/none.bsp";
    EXPECT_FALSE(importLevel(archive, options, missing.geometry, missing.partition, missing.report, missing.error));
    EXPECT_NE(missing.error.find("holds no map 'maps/none.bsp' among its 2 maps"), std::string::npos) << missing.error;
    std::string entry;
    EXPECT_TRUE(findArchiveMap(archive, "maps/OTHER", entry, error)) << error;
    EXPECT_EQ(entry, "maps/Other.BSP");
    EXPECT_FALSE(findArchiveMap(archive, "maps/rom", entry, error));
    EXPECT_NE(error.find("holds no map 'maps/rom'; close names: maps/room.bsp"), std::string::npos) << error;
    EXPECT_FALSE(findArchiveMap(archive, "oth", entry, error));  // a part of a name
    EXPECT_NE(error.find("close names: maps/Other.BSP"), std::string::npos) << error;
    EXPECT_FALSE(findArchiveMap(archive, "maps/", entry, error));
    EXPECT_FALSE(findArchiveMap(archive, std::string(100000, 'r'), entry, error));  // too long to compare: no names
    EXPECT_EQ(error.find("close names"), std::string::npos);
    Imported unnamed;
    EXPECT_FALSE(importLevel(archive, {}, unnamed.geometry, unnamed.partition, unnamed.report, unnamed.error));
    EXPECT_NE(unnamed.error.find("name the map"), std::string::npos);
    std::filesystem::remove_all(dir);
}
