// The shipped sample levels: valid, consistent with their own tree and boxes, wound to
// face their rooms, and walkable from the origin.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "level/LevelFile.h"
#include "walk/Walkthrough.h"

namespace vantrell {
namespace {

namespace fs = std::filesystem;

constexpr float tolerance = 1e-4f;

std::vector<fs::path> sampleLevels() {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(fs::path(VANTRELL_SOURCE_DIR) / "examples")) {
        if (entry.path().extension() == ".bsp") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

Vector3 sub(const Vector3& a, const Vector3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
float dotOf(const Vector3& a, const Vector3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vector3 crossOf(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float lengthOf(const Vector3& v) {
    return std::sqrt(dotOf(v, v));
}
Vector3 normalOf(const Plane& p) {
    return {p.a, p.b, p.c};
}
float distanceTo(const Plane& p, const Vector3& v) {
    return p.a * v.x + p.b * v.y + p.c * v.z + p.d;
}
Vector3 centreOf(const BoundingBox& b) {
    return {(b.minX + b.maxX) * 0.5f, (b.minY + b.maxY) * 0.5f, (b.minZ + b.maxZ) * 0.5f};
}
bool contains(const BoundingBox& b, const Vector3& v, float slack) {
    return v.x >= b.minX - slack && v.x <= b.maxX + slack && v.y >= b.minY - slack && v.y <= b.maxY + slack &&
           v.z >= b.minZ - slack && v.z <= b.maxZ + slack;
}

// The height of the floor under (x, z) in space s: the highest upward-facing triangle of s
// whose outline contains the point seen from above; NaN when s has none there.
float floorBelow(const LevelGeometry& g, const Space& s, const Vector3& p) {
    float best = std::nanf("");
    for (std::int32_t index : s.triangleIndices) {
        const Triangle& t = g.triangle(index);
        const Plane& plane = g.plane(t.planeIndex);
        if (plane.b < 0.8f) continue;  // walls, ceilings and steep faces are no floor
        bool inside = true;
        for (std::size_t k = 0; k < 3; ++k) {
            const Vector3& v = g.vertex(t.vertexIndex[k]);
            const Vector3& w = g.vertex(t.vertexIndex[(k + 1) % 3]);
            // The y part of (w - v) x (p - v): not negative on the inner side of each edge.
            const float side = (w.z - v.z) * (p.x - v.x) - (w.x - v.x) * (p.z - v.z);
            if (side < -1e-6f) inside = false;
        }
        if (!inside) continue;
        const float y = -(plane.a * p.x + plane.c * p.z + plane.d) / plane.b;
        if (std::isnan(best) || y > best) best = y;
    }
    return best;
}

class SampleLevel : public ::testing::TestWithParam<fs::path> {
protected:
    void SetUp() override {
        level = loadLevelFile(GetParam().string());
        ASSERT_EQ(level.result, parseLoaded) << GetParam();
        ASSERT_TRUE(level.valid()) << (level.problems.empty() ? "" : level.problems.front());
    }
    LoadedLevel level;
};

TEST(SampleLevels, AtLeastTwoAreShipped) {
    EXPECT_GE(sampleLevels().size(), 2u);
}

TEST(SampleLevels, GeneratorReproducesTheShippedFiles) {
    const fs::path out = fs::temp_directory_path() / ("vantrell-makelevels-" + std::to_string(::getpid()));
    const std::string command = std::string("\"") + VANTRELL_MAKELEVELS + "\" \"" + out.string() + "\" > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    auto bytes = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::size_t generated = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        ++generated;
        const fs::path shipped = fs::path(VANTRELL_SOURCE_DIR) / "examples" / entry.path().filename();
        ASSERT_TRUE(fs::exists(shipped)) << shipped << " is not shipped";
        EXPECT_EQ(bytes(entry.path()), bytes(shipped)) << shipped << " is stale: run makelevels";
    }
    EXPECT_GE(generated, 2u);
    fs::remove_all(out);
}

TEST_P(SampleLevel, TrianglesLieOnTheirPlanesAndAreWoundAlongTheNormal) {
    const LevelGeometry& g = level.geometry;
    for (std::int32_t i = 0; i < g.triangleCount(); ++i) {
        const Triangle& t = g.triangle(i);
        const Plane& plane = g.plane(t.planeIndex);
        const Vector3 n = normalOf(plane);
        EXPECT_NEAR(lengthOf(n), 1.0f, 1e-5f) << "triangle " << i;
        const Vector3& v0 = g.vertex(t.vertexIndex[0]);
        const Vector3 face = crossOf(sub(g.vertex(t.vertexIndex[1]), v0), sub(g.vertex(t.vertexIndex[2]), v0));
        ASSERT_GT(lengthOf(face), 0.0f) << "triangle " << i << " is degenerate";
        EXPECT_GT(dotOf(face, n) / lengthOf(face), 0.9999f) << "triangle " << i << " is wound against its plane";
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_NEAR(distanceTo(plane, g.vertex(t.vertexIndex[k])), 0.0f, tolerance) << "triangle " << i;
            const Vector3& corner = g.normal(t.normalIndex[k]);
            EXPECT_NEAR(lengthOf(corner), 1.0f, 1e-5f) << "triangle " << i;
            EXPECT_GT(dotOf(corner, n), 0.999f) << "triangle " << i << " corner normal";
        }
    }
}

TEST_P(SampleLevel, SpacesHoldTheirTrianglesFacingInwardOncePerLevel) {
    const LevelGeometry& g = level.geometry;
    const SpacePartition& p = level.partition;
    std::vector<int> listed(static_cast<std::size_t>(g.triangleCount()), 0);
    for (std::int32_t s = 0; s < p.spaceCount(); ++s) {
        const Space& space = p.space(s);
        const Vector3 centre = centreOf(space.bounds);
        EXPECT_FALSE(space.triangleIndices.empty()) << "space " << s;
        for (std::int32_t index : space.triangleIndices) {
            ++listed[static_cast<std::size_t>(index)];
            const Triangle& t = g.triangle(index);
            for (std::int32_t v : t.vertexIndex) {
                EXPECT_TRUE(contains(space.bounds, g.vertex(v), tolerance))
                    << "space " << s << " triangle " << index << " leaves the box";
            }
            // The regions are convex rooms: every face of one looks at its middle.
            EXPECT_GT(distanceTo(g.plane(t.planeIndex), centre), 0.0f)
                << "space " << s << " triangle " << index << " faces away from its room";
        }
    }
    for (std::size_t i = 0; i < listed.size(); ++i) EXPECT_EQ(listed[i], 1) << "triangle " << i;
}

TEST_P(SampleLevel, PointLocationAgreesWithTheSpaceBoxes) {
    const SpacePartition& p = level.partition;
    for (std::int32_t s = 0; s < p.spaceCount(); ++s) {
        const BoundingBox& b = p.space(s).bounds;
        ASSERT_LT(b.minX, b.maxX) << "space " << s;
        ASSERT_LT(b.minY, b.maxY) << "space " << s;
        ASSERT_LT(b.minZ, b.maxZ) << "space " << s;
        EXPECT_EQ(locateSpace(level.geometry, p, 0, centreOf(b)), s);
        // Just inside every corner as well: the splits run along the box faces.
        for (int corner = 0; corner < 8; ++corner) {
            const float inset = 0.01f;
            const Vector3 v{corner & 1 ? b.maxX - inset : b.minX + inset, corner & 2 ? b.maxY - inset : b.minY + inset,
                            corner & 4 ? b.maxZ - inset : b.minZ + inset};
            EXPECT_EQ(locateSpace(level.geometry, p, 0, v), s) << "space " << s << " corner " << corner;
        }
    }
}

TEST_P(SampleLevel, NeighboursAreSymmetricTouchingAndConnected) {
    const SpacePartition& p = level.partition;
    const std::int32_t count = p.spaceCount();
    std::vector<std::vector<std::int32_t>> lists(static_cast<std::size_t>(count));
    for (std::int32_t s = 0; s < count; ++s) p.neighbours(s, lists[static_cast<std::size_t>(s)]);
    for (std::int32_t s = 0; s < count; ++s) {
        for (std::int32_t t : lists[static_cast<std::size_t>(s)]) {
            EXPECT_NE(s, t) << "space " << s << " neighbours itself";
            const auto& back = lists[static_cast<std::size_t>(t)];
            EXPECT_NE(std::find(back.begin(), back.end(), s), back.end()) << s << " -> " << t << " only one way";
            // Open neighbours share a face: their boxes meet without a gap.
            const BoundingBox& a = p.space(s).bounds;
            const BoundingBox& b = p.space(t).bounds;
            EXPECT_TRUE(a.minX <= b.maxX && b.minX <= a.maxX && a.minY <= b.maxY && b.minY <= a.maxY &&
                        a.minZ <= b.maxZ && b.minZ <= a.maxZ)
                << "spaces " << s << " and " << t << " do not touch";
        }
    }
    // Every space can be reached from the start's space: nothing is walled off.
    const std::int32_t start = locateSpace(level.geometry, p, 0, Vector3{});
    std::vector<bool> seen(static_cast<std::size_t>(count), false);
    std::vector<std::int32_t> open{start};
    seen[static_cast<std::size_t>(start)] = true;
    while (!open.empty()) {
        const std::int32_t s = open.back();
        open.pop_back();
        for (std::int32_t t : lists[static_cast<std::size_t>(s)]) {
            if (!seen[static_cast<std::size_t>(t)]) seen[static_cast<std::size_t>(t)] = true, open.push_back(t);
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), count);
}

TEST_P(SampleLevel, OriginStandsJustAboveAFloor) {
    const std::int32_t s = locateSpace(level.geometry, level.partition, 0, Vector3{});
    const float floor = floorBelow(level.geometry, level.partition.space(s), Vector3{});
    ASSERT_FALSE(std::isnan(floor)) << "no floor under the origin in space " << s;
    EXPECT_LT(floor, 0.0f);
    EXPECT_GE(floor, -0.1f);
}

TEST_P(SampleLevel, BodyRestsAtTheStart) {
    ManualCounter counter;
    Walkthrough walk(level.geometry, level.partition, counter);
    for (int i = 0; i < 300; ++i) {
        walk.step();
        const Vector3& at = walk.camera().currentPosition();
        ASSERT_NEAR(at.x, 0.0f, 1e-6f) << "step " << i;
        ASSERT_NEAR(at.y, 0.0f, 1e-6f) << "step " << i;
        ASSERT_NEAR(at.z, 0.0f, 1e-6f) << "step " << i;
    }
}

// No floor is too steep to stand on (the ramps stay below tan 0.5): a body placed just
// above the middle of any upward face stays there.
TEST_P(SampleLevel, EveryFloorHoldsABodyAtRest) {
    const LevelGeometry& g = level.geometry;
    const SpacePartition& p = level.partition;
    int floors = 0;
    for (std::int32_t s = 0; s < p.spaceCount(); ++s) {
        for (std::int32_t index : p.space(s).triangleIndices) {
            const Triangle& t = g.triangle(index);
            const Plane& plane = g.plane(t.planeIndex);
            if (plane.b <= 0.0f) continue;
            ++floors;
            const Vector3& a = g.vertex(t.vertexIndex[0]);
            const Vector3& b = g.vertex(t.vertexIndex[1]);
            const Vector3& c = g.vertex(t.vertexIndex[2]);
            const float lift = 0.04f;
            const Vector3 start{(a.x + b.x + c.x) / 3.0f + lift * plane.a, (a.y + b.y + c.y) / 3.0f + lift * plane.b,
                                (a.z + b.z + c.z) / 3.0f + lift * plane.c};
            ManualCounter counter;
            Walkthrough walk(g, p, counter, start);
            for (int i = 0; i < 300; ++i) walk.step();
            const Vector3& at = walk.camera().currentPosition();
            EXPECT_NEAR(at.x, start.x, 1e-6f) << "triangle " << index;
            EXPECT_NEAR(at.y, start.y, 1e-6f) << "triangle " << index;
            EXPECT_NEAR(at.z, start.z, 1e-6f) << "triangle " << index;
        }
    }
    EXPECT_GE(floors, 2 * p.spaceCount());
}

// Walks with W held from the origin along startForward for the given number of steps and
// returns where the body ended. At every step the body must keep within the level: inside
// the box of the space it is in, and less than 0.1 from the floor under it.
Vector3 walkForward(const LoadedLevel& level, const Vector3& startForward, int steps) {
    const LevelGeometry& g = level.geometry;
    const SpacePartition& p = level.partition;
    ManualCounter counter;
    Walkthrough walk(g, p, counter, Vector3{}, startForward);
    walk.setMovementKeys({.forward = true});
    for (int i = 0; i < steps; ++i) {
        // The clock path of the viewer: one step falls due per 10 ms.
        counter.advance(stepLengthFor(counter.frequency()));
        walk.update();
        const Vector3 at = walk.camera().currentPosition();
        const std::int32_t s = locateSpace(g, p, 0, at);
        EXPECT_TRUE(contains(p.space(s).bounds, at, 0.0f)) << "step " << i << " left the level";
        const float floor = floorBelow(g, p.space(s), at);
        EXPECT_FALSE(std::isnan(floor)) << "step " << i << ": no floor under the body";
        EXPECT_GT(at.y, floor - 0.1f) << "step " << i;
        EXPECT_LT(at.y, floor + 0.1f) << "step " << i << ": the body left the floor";
        if (::testing::Test::HasFailure()) return at;
    }
    return walk.camera().currentPosition();
}

// Forward from the start runs through the doorways (and up the ramp) until a wall stops it.
TEST_P(SampleLevel, WalkingForwardCrossesDoorwaysAndStaysOnTheFloor) {
    const LevelGeometry& g = level.geometry;
    float highestFloor = -1e30f;
    for (std::int32_t index = 0; index < g.triangleCount(); ++index) {
        const Triangle& t = g.triangle(index);
        if (g.plane(t.planeIndex).b > 0.999f) highestFloor = std::max(highestFloor, g.vertex(t.vertexIndex[0]).y);
    }
    const Vector3 end = walkForward(level, Vector3{1.0f, 0.0f, 0.0f}, 1000);
    ASSERT_FALSE(HasFailure());
    EXPECT_NE(locateSpace(g, level.partition, 0, end), locateSpace(g, level.partition, 0, Vector3{}));
    // The walk ends on the level's highest floor: for a level with a ramp, it climbed.
    EXPECT_GT(end.y, highestFloor);
    EXPECT_LT(end.y, highestFloor + 0.1f);
}

// The hub's four doorways lead to four different rooms, reached along x and z alike.
TEST(SampleLevels, EveryDoorwayOfTheCrossroadsLeadsToItsOwnRoom) {
    const LoadedLevel level = loadLevelFile((fs::path(VANTRELL_SOURCE_DIR) / "examples" / "crossroads.bsp").string());
    ASSERT_TRUE(level.valid());
    const std::int32_t hub = locateSpace(level.geometry, level.partition, 0, Vector3{});
    std::vector<std::int32_t> reached;
    for (const Vector3& direction : {Vector3{1.0f, 0.0f, 0.0f}, Vector3{-1.0f, 0.0f, 0.0f}, Vector3{0.0f, 0.0f, 1.0f},
                                     Vector3{0.0f, 0.0f, -1.0f}}) {
        const Vector3 end = walkForward(level, direction, 600);
        ASSERT_FALSE(HasFailure()) << "walking along " << direction.x << "," << direction.z;
        const std::int32_t s = locateSpace(level.geometry, level.partition, 0, end);
        EXPECT_NE(s, hub);
        EXPECT_EQ(std::count(reached.begin(), reached.end(), s), 0) << "space " << s << " reached twice";
        reached.push_back(s);
        std::vector<std::int32_t> neighbours;
        level.partition.neighbours(s, neighbours);
        EXPECT_EQ(neighbours.size(), 1u) << "space " << s << " is a side room behind one doorway";
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, SampleLevel, ::testing::ValuesIn(sampleLevels()),
                         [](const ::testing::TestParamInfo<fs::path>& info) {
                             std::string name = info.param.stem().string();
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return name;
                         });

}  // namespace
}  // namespace vantrell
