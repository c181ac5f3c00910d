#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "CommandRunner.h"
#include "TestLevels.h"
#include "allocation_counter.h"
#include "camera/MovementClock.h"
#include "level/LevelFile.h"
#include "level/LevelValidation.h"
#include "math/Vector.h"
#include "visibility/ContactQuery.h"
#include "visibility/SpaceExplanation.h"
#include "visibility/SpaceVisibility.h"
#include "visibility/ViewFrustum.h"
#include "visibility/VisibleSpaceSearch.h"
#include "walk/Walkthrough.h"

namespace vantrell {
namespace {

using namespace testlevels;
using List = std::vector<std::uint32_t>;

constexpr float quarterPi = 0.7853982f;
constexpr float aspect43 = 4.0f / 3.0f;

// The start camera: eye (0, 1, 0) looking along +x, right (0, 0, -1), up (0, 1, 0).
ViewFrustum startFrustum(float aspect = aspect43, const Vector3& eye = {0.0f, 1.0f, 0.0f}) {
    return makeViewFrustum(eye, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, -1.0f}, quarterPi, aspect);
}

constexpr BoundingBox ahead{4.0f, 0.0f, -1.0f, 6.0f, 2.0f, 1.0f};
constexpr BoundingBox behind{-6.0f, 0.0f, -1.0f, -4.0f, 2.0f, 1.0f};

// ---------------------------------------------------------------- view volume

TEST(ViewFrustum, StartCameraPlanes) {
    const ViewFrustum f = startFrustum();
    const std::array<Plane, 5> expected{{
        {1.0f, 0.0f, 0.0f, 0.0f},
        {0.5f, 0.0f, 0.8660254f, 0.0f},
        {0.5f, 0.0f, -0.8660254f, 0.0f},
        {0.3826834f, -0.9238795f, 0.0f, 0.9238795f},
        {0.3826834f, 0.9238795f, 0.0f, -0.9238795f},
    }};
    for (std::size_t k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(f.planes[k].a, expected[k].a, 1e-4);
        EXPECT_NEAR(f.planes[k].b, expected[k].b, 1e-4);
        EXPECT_NEAR(f.planes[k].c, expected[k].c, 1e-4);
        EXPECT_NEAR(f.planes[k].d, expected[k].d, 1e-4);
    }
}

TEST(ViewFrustum, StartCameraBoxes) {
    const ViewFrustum f = startFrustum();
    EXPECT_TRUE(boxInFrustum(f, ahead));
    EXPECT_FALSE(boxInFrustum(f, behind));
    EXPECT_FALSE(boxInFrustum(f, {1.0f, 0.0f, 5.0f, 2.0f, 2.0f, 6.0f}));      // +z is the viewer's left
    EXPECT_FALSE(boxInFrustum(f, {1.0f, 0.0f, -6.0f, 2.0f, 2.0f, -5.0f}));    // beyond the right plane
    EXPECT_FALSE(boxInFrustum(f, {2.0f, 5.0f, -1.0f, 3.0f, 6.0f, 1.0f}));     // above
    EXPECT_FALSE(boxInFrustum(f, {2.0f, -5.0f, -1.0f, 3.0f, -4.0f, 1.0f}));   // below
    EXPECT_TRUE(boxInFrustum(f, {-1.0f, 0.0f, -1.0f, 1.0f, 2.0f, 1.0f}));     // holds the eye
    EXPECT_TRUE(boxInFrustum(f, {150.0f, 0.0f, -1.0f, 151.0f, 2.0f, 1.0f}));  // no far plane
}

TEST(ViewFrustum, CornerOnAPlaneCountsInside) {
    const ViewFrustum f = startFrustum();
    // Behind the front plane, touching it along x = 0: the front plane's value there is 0.
    EXPECT_TRUE(boxInFrustum(f, {-2.0f, 0.0f, -1.0f, 0.0f, 2.0f, 1.0f}));
    EXPECT_FALSE(boxInFrustum(f, {-2.0f, 0.0f, -1.0f, -0.001f, 2.0f, 1.0f}));
}

TEST(ViewFrustum, NotANumberSetsNothing) {
    const ViewFrustum f = startFrustum();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(boxInFrustum(f, {nan, nan, nan, nan, nan, nan}));
    // The corners with a number still count.
    EXPECT_TRUE(boxInFrustum(f, {nan, 0.0f, -1.0f, 6.0f, 2.0f, 1.0f}));
    // A view basis of non-numbers culls everything rather than passing it.
    const ViewFrustum broken = makeViewFrustum({0.0f, 1.0f, 0.0f}, {nan, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f},
                                               {0.0f, 0.0f, -1.0f}, quarterPi, aspect43);
    EXPECT_FALSE(boxInFrustum(broken, ahead));
}

TEST(ViewFrustum, SwappedBoundsFormTheSameCorners) {
    const ViewFrustum f = startFrustum();
    EXPECT_TRUE(boxInFrustum(f, {6.0f, 2.0f, 1.0f, 4.0f, 0.0f, -1.0f}));
    EXPECT_FALSE(boxInFrustum(f, {-4.0f, 2.0f, 1.0f, -6.0f, 0.0f, -1.0f}));
}

TEST(ViewFrustum, AspectFourCullsNothingSideways) {
    const BoundingBox farLeft{1.0f, 0.0f, 50.0f, 2.0f, 2.0f, 51.0f};
    const BoundingBox farRight{1.0f, 0.0f, -51.0f, 2.0f, 2.0f, -50.0f};
    EXPECT_FALSE(boxInFrustum(startFrustum(aspect43), farLeft));
    EXPECT_FALSE(boxInFrustum(startFrustum(aspect43), farRight));
    const ViewFrustum wide = startFrustum(4.0f);
    EXPECT_NEAR(wide.planes[ViewFrustum::right].a, 1.0f, 1e-6);
    EXPECT_NEAR(wide.planes[ViewFrustum::left].a, 1.0f, 1e-6);
    EXPECT_TRUE(boxInFrustum(wide, farLeft));
    EXPECT_TRUE(boxInFrustum(wide, farRight));
    EXPECT_FALSE(boxInFrustum(wide, behind));
}

// --------------------------------------------------------------- search

// The five-space level: the eye's space is 2; rows 2 -> {0, 3}, 0 -> {1, 2}, 3 -> {4}.
TestLevel fiveSpaces(const std::array<BoundingBox, 5>& boxes) {
    TestLevel level;
    for (const BoundingBox& b : boxes) addBoxSpace(level, b);
    addSingleLeafRoot(level, 2);
    level.partition.setAdjacency(adjacencyFromLists(5, {{1, 2}, {}, {0, 3}, {4}, {}}));
    return level;
}

List search(const TestLevel& level, const ViewFrustum& frustum = startFrustum(),
            const Vector3& eye = {0.0f, 1.0f, 0.0f}) {
    VisibleSpaceSearch s(level.partition);
    List list;
    s.collect(level.geometry, level.partition, eye, frustum, list);
    return list;
}

TEST(VisibleSpaces, FiveSpaceExample) {
    EXPECT_EQ(search(fiveSpaces({ahead, ahead, ahead, ahead, ahead})), (List{2, 0, 1, 3, 4}));
    // A failing space is neither listed nor passed through: 1 is only reachable through 0.
    EXPECT_EQ(search(fiveSpaces({behind, ahead, ahead, ahead, ahead})), (List{2, 3, 4}));
    // The eye's own space is expanded even when its box fails.
    EXPECT_EQ(search(fiveSpaces({ahead, ahead, behind, ahead, ahead})), (List{0, 1, 3, 4}));
}

TEST(VisibleSpaces, ThroughTheWalkthroughCamera) {
    const TestLevel level = fiveSpaces({ahead, ahead, ahead, ahead, ahead});
    ASSERT_TRUE(validateLevel(level.geometry, level.partition).empty());
    const ManualCounter counter;
    Walkthrough walkthrough(level.geometry, level.partition, counter);
    List list;
    walkthrough.collectVisibleSpaces(list);
    EXPECT_EQ(list, (List{2, 0, 1, 3, 4}));
    // The caller's entries stay in front; the search only appends.
    List appended{7};
    walkthrough.collectVisibleSpaces(appended);
    EXPECT_EQ(appended, (List{7, 2, 0, 1, 3, 4}));
    // A half turn puts every box behind the eye.
    walkthrough.camera().turn(360, 0);
    list.clear();
    walkthrough.collectVisibleSpaces(list);
    EXPECT_TRUE(list.empty());
}

// A standing eye at (0, 1, 0) looking along +x (or -x), at pi/4 and 4:3.
ViewPoint viewAlongX(float sign = 1.0f, float aspectRatio = 4.0f / 3.0f) {
    return {{0.0f, 1.0f, 0.0f}, {sign, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, -sign}, 0.7853982f, aspectRatio};
}

TEST(VisibleSpaces, FromViewValuesWithoutACamera) {
    const TestLevel level = fiveSpaces({ahead, ahead, ahead, ahead, ahead});
    ASSERT_TRUE(validateLevel(level.geometry, level.partition).empty());
    SpaceVisibility visibility(level.partition, level.geometry);
    List list;
    visibility.collectVisibleSpaces(viewAlongX(), list);
    EXPECT_EQ(list, (List{2, 0, 1, 3, 4}));
    List appended{7};
    visibility.collectVisibleSpaces(viewAlongX(), appended);
    EXPECT_EQ(appended, (List{7, 2, 0, 1, 3, 4}));
    list.clear();
    visibility.collectVisibleSpaces(viewAlongX(-1.0f), list);
    EXPECT_TRUE(list.empty());
    // Each call reads only the view it is given: the same values give the same list again.
    list.clear();
    visibility.collectVisibleSpaces(viewAlongX(), list);
    EXPECT_EQ(list, (List{2, 0, 1, 3, 4}));

    // A box up and to the side of the view: the field of view and the aspect ratio decide.
    const BoundingBox aside{3.0f, 0.5f, -2.9f, 3.1f, 1.5f, -2.8f};
    EXPECT_FALSE(SpaceVisibility::boxInViewFrustum(viewAlongX(), aside));
    EXPECT_TRUE(SpaceVisibility::boxInViewFrustum(viewAlongX(1.0f, 3.0f), aside));
    ViewPoint wide = viewAlongX();
    wide.fieldOfView = 1.6f;
    EXPECT_TRUE(SpaceVisibility::boxInViewFrustum(wide, aside));
}

TEST(VisibleSpaces, TheWalkthroughAsksWithItsCamerasView) {
    const TestLevel level = fiveSpaces({ahead, ahead, ahead, ahead, ahead});
    const ManualCounter counter;
    Walkthrough walkthrough(level.geometry, level.partition, counter);
    walkthrough.setAspectRatio(2.5f);
    walkthrough.setFieldOfView(0.5f);
    walkthrough.camera().turn(37, -12);
    const Camera& camera = walkthrough.camera();
    const ViewPoint view = walkthrough.viewPoint();
    EXPECT_TRUE(view.eye == camera.eyePoint(false) && view.forward == camera.forward() && view.up == camera.up() &&
                view.right == camera.right());
    EXPECT_EQ(view.fieldOfView, 0.5f);
    EXPECT_EQ(view.aspectRatio, 2.5f);
    walkthrough.setMovementKeys({.crouch = true});
    EXPECT_TRUE(walkthrough.viewPoint().eye == camera.eyePoint(true));
    SpaceVisibility visibility(level.partition, level.geometry);
    List expected;
    visibility.collectVisibleSpaces(walkthrough.viewPoint(), expected);
    List list;
    walkthrough.collectVisibleSpaces(list);
    EXPECT_EQ(list, expected);
}

TEST(VisibleSpaces, CameraSpaceStaysFirstAfterHalfTurn) {
    const BoundingBox aroundEye{-1.0f, 0.0f, -1.0f, 1.0f, 2.0f, 1.0f};
    const TestLevel level = fiveSpaces({ahead, ahead, aroundEye, behind, behind});
    const ManualCounter counter;
    Walkthrough walkthrough(level.geometry, level.partition, counter);
    List list;
    walkthrough.collectVisibleSpaces(list);
    EXPECT_EQ(list, (List{2, 0, 1}));
    walkthrough.camera().turn(360, 0);
    list.clear();
    walkthrough.collectVisibleSpaces(list);
    EXPECT_EQ(list, (List{2, 3, 4}));
}

TEST(VisibleSpaces, CrouchingLowersTheViewPlanes) {
    TestLevel level;
    addBoxSpace(level, {-1.0f, 0.0f, -1.0f, 1.0f, 2.0f, 1.0f});
    addSingleLeafRoot(level, 0);
    level.partition.setAdjacency(adjacencyFromLists(1, {}));
    const ManualCounter counter;
    Walkthrough walkthrough(level.geometry, level.partition, counter);
    // Below the standing view's bottom edge, above the crouching one's.
    const BoundingBox low{2.0f, -0.5f, -1.0f, 2.5f, -0.4f, 1.0f};
    EXPECT_FALSE(walkthrough.boxInViewFrustum(low));
    walkthrough.setMovementKeys({.crouch = true});
    EXPECT_TRUE(walkthrough.boxInViewFrustum(low));
    walkthrough.releaseAllKeys();
    EXPECT_FALSE(walkthrough.boxInViewFrustum(low));
}

TEST(VisibleSpaces, SelfLinksAndTwoChainsListOnce) {
    TestLevel level;
    for (int i = 0; i < 5; ++i) addBoxSpace(level, ahead);
    addSingleLeafRoot(level, 0);
    // 0 names itself; 4 is reached through 1 and again through 3; 3 also names 0.
    level.partition.setAdjacency(adjacencyFromLists(5, {{0, 1, 3}, {1, 4}, {}, {0, 4, 2}, {4}}));
    EXPECT_EQ(search(level), (List{0, 1, 4, 3, 2}));
}

TEST(VisibleSpaces, FailingSpaceIsTestedOncePerSearch) {
    TestLevel level;
    for (int i = 0; i < 4; ++i) addBoxSpace(level, ahead);
    level.partition.spaces[2].bounds = behind;
    addSingleLeafRoot(level, 0);
    // 2 fails when 1 reaches it; 3 reaches it again later, and 2 would lead on to nothing new.
    level.partition.setAdjacency(adjacencyFromLists(4, {{1, 3}, {2}, {3}, {2}}));
    EXPECT_EQ(search(level), (List{0, 1, 3}));
}

TEST(VisibleSpaces, AdjacencyIsDirected) {
    TestLevel level;
    for (int i = 0; i < 3; ++i) addBoxSpace(level, ahead);
    addSingleLeafRoot(level, 0);
    // 0 names 1 (1 does not name 0); 2 names 0, but nothing names 2.
    level.partition.setAdjacency(adjacencyFromLists(3, {{1}, {}, {0}}));
    EXPECT_EQ(search(level), (List{0, 1}));
}

TEST(VisibleSpaces, EmptyRowsGiveAtMostTheEyeSpace) {
    TestLevel level = fiveSpaces({ahead, ahead, ahead, ahead, ahead});
    level.partition.setAdjacency(adjacencyFromLists(5, {}));
    EXPECT_EQ(search(level), (List{2}));
    level.partition.spaces[2].bounds = behind;
    EXPECT_TRUE(search(level).empty());
}

TEST(VisibleSpaces, RepeatedSearchesGiveTheSameList) {
    const TestLevel level = fiveSpaces({ahead, ahead, ahead, ahead, ahead});
    VisibleSpaceSearch s(level.partition);
    for (int frame = 0; frame < 3; ++frame) {
        List list;
        s.collect(level.geometry, level.partition, {0.0f, 1.0f, 0.0f}, startFrustum(), list);
        EXPECT_EQ(list, (List{2, 0, 1, 3, 4})) << "frame " << frame;
    }
}

TEST(VisibleSpaces, StartsInTheSpaceHoldingTheEye) {
    TestLevel level;
    addBoxSpace(level, ahead);
    addBoxSpace(level, ahead);
    addLeafSplit(level, {0.0f, 1.0f, 0.0f, -2.0f}, 1, 0);  // y >= 2 is space 1
    level.partition.setAdjacency(adjacencyFromLists(2, {{}, {}}));
    EXPECT_EQ(search(level, startFrustum(aspect43, {0.0f, 1.0f, 0.0f}), {0.0f, 1.0f, 0.0f}), (List{0}));
    EXPECT_EQ(search(level, startFrustum(aspect43, {0.0f, 2.0f, 0.0f}), {0.0f, 2.0f, 0.0f}), (List{1}));
}

TEST(VisibleSpaces, LevelsBreakingTheLimitsReadNothingOutside) {
    TestLevel noNodes;
    addBoxSpace(noNodes, ahead);
    EXPECT_TRUE(search(noNodes).empty());

    TestLevel leafBeyond;
    addBoxSpace(leafBeyond, ahead);
    addSingleLeafRoot(leafBeyond, 3);
    EXPECT_TRUE(search(leafBeyond).empty());

    // A missing row means no neighbours; bits naming no space are dropped.
    TestLevel rows;
    for (int i = 0; i < 3; ++i) addBoxSpace(rows, ahead);
    addSingleLeafRoot(rows, 0);
    rows.partition.setAdjacency(AdjacencyMatrix{{0xFE, 0xFF}, {0x04}});
    EXPECT_EQ(search(rows), (List{0, 1, 2}));
    VisibleSpaceSearch built(rows.partition);
    EXPECT_EQ(std::vector<std::uint32_t>(built.neighboursOf(0).begin(), built.neighboursOf(0).end()),
              (std::vector<std::uint32_t>{1, 2}));
    EXPECT_TRUE(built.neighboursOf(2).empty());
    EXPECT_TRUE(built.neighboursOf(99).empty());
}

TEST(VisibleSpaces, RebuildsWhenTheLevelGrows) {
    TestLevel level;
    addBoxSpace(level, ahead);
    addSingleLeafRoot(level, 0);
    level.partition.setAdjacency(adjacencyFromLists(1, {}));
    VisibleSpaceSearch s(level.partition);
    addBoxSpace(level, ahead);
    level.partition.setAdjacency(adjacencyFromLists(2, {{1}, {}}));
    List list;
    s.collect(level.geometry, level.partition, {0.0f, 1.0f, 0.0f}, startFrustum(), list);
    EXPECT_EQ(list, (List{0, 1}));
}

struct ChainSearch {
    const TestLevel* level = nullptr;
    List list;
};

void* searchChain(void* argument) {
    auto* job = static_cast<ChainSearch*>(argument);
    job->list = search(*job->level);
    return nullptr;
}

TEST(VisibleSpaces, LongChainNeedsNoDeepCallStack) {
    // A chain 0 -> 1 -> ... expanded one level deeper per space. Its rows grow with the
    // index (the matrix of a chain of n spaces holds about n * n / 16 bytes), so instead of a
    // chain long enough to overflow the main stack the search runs on a 256 KiB stack, where
    // one call frame per space would need several times that.
    constexpr int count = 20000;
    TestLevel level;
    AdjacencyMatrix matrix = AdjacencyMatrix::forSpaces(count);
    for (int i = 0; i < count; ++i) {
        addBoxSpace(level, ahead);
        if (i + 1 < count) matrix.set(static_cast<std::size_t>(i), static_cast<std::size_t>(i + 1));
    }
    addSingleLeafRoot(level, 0);
    level.partition.setAdjacency(std::move(matrix));

    ChainSearch job{&level, {}};
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 256 * 1024), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, searchChain, &job), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attributes);

    ASSERT_EQ(job.list.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) ASSERT_EQ(job.list[static_cast<std::size_t>(i)], static_cast<std::uint32_t>(i));
}

// The search as a plain recursion, with a fresh visited set and neighbour lists per call.
void floodReference(const SpacePartition& p, const ViewFrustum& f, std::int32_t s, List& list,
                    std::vector<bool>& visited) {
    std::vector<std::int32_t> n;
    p.neighbours(s, n);
    for (const std::int32_t t : n) {
        if (visited[static_cast<std::size_t>(t)]) continue;
        visited[static_cast<std::size_t>(t)] = true;
        if (boxInFrustum(f, p.space(t).bounds)) {
            list.push_back(static_cast<std::uint32_t>(t));
            floodReference(p, f, t, list, visited);
        }
    }
}

TEST(VisibleSpaces, MatchesARecursiveSearchOnRandomLevels) {
    std::mt19937 random(12345);
    for (int round = 0; round < 200; ++round) {
        const int count = 1 + static_cast<int>(random() % 40);
        TestLevel level;
        std::vector<std::vector<int>> rows(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            addBoxSpace(level, random() % 3 == 0 ? behind : ahead);
            for (int j = 0; j < count; ++j) {
                if (random() % 5 == 0) rows[static_cast<std::size_t>(i)].push_back(j);
            }
        }
        const auto start = static_cast<std::int32_t>(random() % static_cast<unsigned>(count));
        addSingleLeafRoot(level, start);
        level.partition.setAdjacency(adjacencyFromLists(static_cast<std::size_t>(count), rows));

        const ViewFrustum f = startFrustum();
        List expected;
        if (boxInFrustum(f, level.partition.space(start).bounds)) expected.push_back(static_cast<std::uint32_t>(start));
        std::vector<bool> visited(static_cast<std::size_t>(count));
        visited[static_cast<std::size_t>(start)] = true;
        floodReference(level.partition, f, start, expected, visited);
        ASSERT_EQ(search(level, f), expected) << "round " << round;
    }
}

// --------------------------------------------------------------- cull reasons

TEST(ViewFrustum, FailingPlaneNamesTheFirstPlaneWithEveryCornerOutside) {
    const ViewFrustum f = startFrustum();
    EXPECT_EQ(failingPlane(f, ahead), -1);
    EXPECT_EQ(failingPlane(f, behind), ViewFrustum::front);
    EXPECT_EQ(failingPlane(f, {1.0f, 0.0f, 5.0f, 2.0f, 2.0f, 6.0f}), ViewFrustum::left);
    EXPECT_EQ(failingPlane(f, {1.0f, 0.0f, -6.0f, 2.0f, 2.0f, -5.0f}), ViewFrustum::right);
    EXPECT_EQ(failingPlane(f, {2.0f, 5.0f, -1.0f, 3.0f, 6.0f, 1.0f}), ViewFrustum::top);
    EXPECT_EQ(failingPlane(f, {2.0f, -5.0f, -1.0f, 3.0f, -4.0f, 1.0f}), ViewFrustum::bottom);
    // Behind and far to the left: both fail, the front plane is named first.
    EXPECT_EQ(failingPlane(f, {-3.0f, 0.0f, 50.0f, -2.0f, 2.0f, 51.0f}), ViewFrustum::front);
    EXPECT_STREQ(planeName(ViewFrustum::bottom), "bottom");
    EXPECT_STREQ(planeName(7), "none");

    // It agrees with the box test on random boxes around the eye and random views.
    std::mt19937 random(99);
    std::uniform_real_distribution<float> coordinate(-8.0f, 8.0f);
    for (int round = 0; round < 2000; ++round) {
        const float x0 = coordinate(random), y0 = coordinate(random), z0 = coordinate(random);
        const BoundingBox box{x0, y0, z0, x0 + coordinate(random) / 4.0f + 2.0f, y0 + 1.0f, z0 + 1.5f};
        const ViewFrustum view = startFrustum(0.5f + static_cast<float>(round % 7), {0.0f, 1.0f, 0.0f});
        ASSERT_EQ(failingPlane(view, box) < 0, boxInFrustum(view, box)) << "round " << round;
    }
}

SearchRecord record(const TestLevel& level, const ViewFrustum& frustum = startFrustum(),
                    const Vector3& eye = {0.0f, 1.0f, 0.0f}) {
    VisibleSpaceSearch s(level.partition);
    SearchRecord r;
    s.collectRecorded(level.geometry, level.partition, eye, frustum, r);
    return r;
}

SpaceExplanation why(const TestLevel& level, std::uint32_t space, const ViewFrustum& frustum = startFrustum()) {
    VisibleSpaceSearch s(level.partition);
    SearchRecord r;
    s.collectRecorded(level.geometry, level.partition, {0.0f, 1.0f, 0.0f}, frustum, r);
    return explainSpace(level.partition, s, frustum, r, space);
}

std::vector<std::uint32_t> chainSpaces(const SpaceExplanation& e) {
    std::vector<std::uint32_t> spaces;
    for (const ChainStep& step : e.chain) spaces.push_back(step.space);
    return spaces;
}

TEST(CullReasons, FiveSpaceExampleWithAFailingSpace) {
    const SearchRecord r = record(fiveSpaces({behind, ahead, ahead, ahead, ahead}));
    EXPECT_EQ(r.startSpace, 2);
    EXPECT_EQ(r.list, (List{2, 3, 4}));
    using enum SpaceOutcome;
    EXPECT_EQ(r.outcome, (std::vector<SpaceOutcome>{failedBox, unreached, listed, listed, listed}));
    EXPECT_EQ(r.failedPlane, (std::vector<std::int8_t>{ViewFrustum::front, -1, -1, -1, -1}));
    EXPECT_EQ(r.reachedFrom, (std::vector<std::int32_t>{2, -1, -1, 2, 3}));

    // The eye's space with a failing box is still searched from, and says so.
    const SearchRecord outside = record(fiveSpaces({ahead, ahead, behind, ahead, ahead}));
    EXPECT_EQ(outside.list, (List{0, 1, 3, 4}));
    EXPECT_EQ(outside.outcome[2], SpaceOutcome::failedBox);
    EXPECT_EQ(outside.failedPlane[2], ViewFrustum::front);
    EXPECT_EQ(outside.reachedFrom[2], -1);

    // A level without nodes has no start space, and a reused record forgets the last search.
    TestLevel none;
    addBoxSpace(none, ahead);
    VisibleSpaceSearch s(none.partition);
    SearchRecord reused = r;
    s.collectRecorded(none.geometry, none.partition, {0.0f, 1.0f, 0.0f}, startFrustum(), reused);
    EXPECT_EQ(reused.startSpace, -1);
    EXPECT_TRUE(reused.list.empty());
    EXPECT_EQ(reused.outcome, (std::vector<SpaceOutcome>{unreached}));
}

TEST(CullReasons, RecordedSearchListsWhatThePlainSearchListsOnRandomLevels) {
    std::mt19937 random(777);
    for (int round = 0; round < 200; ++round) {
        const int count = 1 + static_cast<int>(random() % 30);
        TestLevel level;
        std::vector<std::vector<int>> rows(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            addBoxSpace(level, random() % 3 == 0 ? behind : ahead);
            for (int j = 0; j < count; ++j) {
                if (random() % 6 == 0) rows[static_cast<std::size_t>(i)].push_back(j);
            }
        }
        addSingleLeafRoot(level, static_cast<std::int32_t>(random() % static_cast<unsigned>(count)));
        level.partition.setAdjacency(adjacencyFromLists(static_cast<std::size_t>(count), rows));
        const SearchRecord r = record(level);
        ASSERT_EQ(r.list, search(level)) << "round " << round;
        for (std::size_t s = 0; s < r.outcome.size(); ++s) {
            SCOPED_TRACE(::testing::Message() << "round " << round << " space " << s);
            const bool inList = std::find(r.list.begin(), r.list.end(), s) != r.list.end();
            EXPECT_EQ(inList, r.outcome[s] == SpaceOutcome::listed);
            EXPECT_EQ(r.failedPlane[s] >= 0, r.outcome[s] == SpaceOutcome::failedBox);
            const std::int32_t from = r.reachedFrom[s];
            if (static_cast<std::int32_t>(s) == r.startSpace || r.outcome[s] == SpaceOutcome::unreached) {
                EXPECT_EQ(from, -1);
                continue;
            }
            // Reached from a space that was searched from and whose row names it.
            ASSERT_GE(from, 0);
            const auto& row = rows[static_cast<std::size_t>(from)];
            EXPECT_NE(std::find(row.begin(), row.end(), static_cast<int>(s)), row.end());
            EXPECT_TRUE(r.outcome[static_cast<std::size_t>(from)] == SpaceOutcome::listed || from == r.startSpace);
        }
    }
}

// The eye's space 0 around the eye; 1 ahead; 2 behind the camera; 3 ahead but only reached
// through 2; 4 ahead, named by nobody's row; 5 ahead but only naming 0.
TestLevel cullingLevel() {
    TestLevel level;
    addBoxSpace(level, {-1.0f, 0.0f, -1.0f, 1.0f, 2.0f, 1.0f});
    addBoxSpace(level, ahead);
    addBoxSpace(level, behind);
    addBoxSpace(level, ahead);
    addBoxSpace(level, ahead);
    addBoxSpace(level, ahead);
    addSingleLeafRoot(level, 0);
    level.partition.setAdjacency(adjacencyFromLists(6, {{1, 2}, {0}, {3}, {}, {1}, {0}}));
    return level;
}

TEST(Why, ListedSpaceGivesTheSearchChainWithEveryBoxResult) {
    const SpaceExplanation e = why(cullingLevel(), 1);
    EXPECT_EQ(e.verdict, SpaceExplanation::Verdict::listed);
    EXPECT_EQ(e.place, 1u);
    EXPECT_EQ(chainSpaces(e), (List{0, 1}));
    EXPECT_EQ(e.chain[0].failedPlane, -1);
    EXPECT_EQ(e.chain[1].failedPlane, -1);

    // The eye outside its own space's box: the chain starts at a failing space.
    const SpaceExplanation outside = why(fiveSpaces({ahead, ahead, behind, ahead, ahead}), 1);
    EXPECT_EQ(outside.verdict, SpaceExplanation::Verdict::listed);
    EXPECT_EQ(chainSpaces(outside), (List{2, 0, 1}));
    EXPECT_EQ(outside.chain[0].failedPlane, ViewFrustum::front);
    EXPECT_EQ(outside.place, 1u);
}

TEST(Why, SpaceBehindTheCameraFailsTheFrontPlane) {
    const SpaceExplanation e = why(cullingLevel(), 2);
    EXPECT_EQ(e.verdict, SpaceExplanation::Verdict::blocked);
    EXPECT_EQ(e.outcome, SpaceOutcome::failedBox);
    EXPECT_EQ(chainSpaces(e), (List{0, 2}));
    EXPECT_EQ(e.chain[1].failedPlane, ViewFrustum::front);
    ASSERT_EQ(e.blocked.size(), 1u);
    EXPECT_EQ(e.blocked[0].firstFailing, 2u);
    EXPECT_EQ(e.blocked[0].plane, ViewFrustum::front);
    EXPECT_EQ(e.blocked[0].chain, (List{0, 2}));

    // The eye's own space is blocked only by its own box.
    const SpaceExplanation own = why(fiveSpaces({ahead, ahead, behind, ahead, ahead}), 2);
    EXPECT_EQ(own.verdict, SpaceExplanation::Verdict::blocked);
    ASSERT_EQ(own.blocked.size(), 1u);
    EXPECT_EQ(own.blocked[0].firstFailing, 2u);
    EXPECT_EQ(own.blocked[0].chain, (List{2}));
}

TEST(Why, SpaceReachableOnlyThroughAnOutOfViewSpaceNamesThatSpaceAndItsPlane) {
    const SpaceExplanation e = why(cullingLevel(), 3);
    EXPECT_EQ(e.verdict, SpaceExplanation::Verdict::blocked);
    EXPECT_EQ(e.outcome, SpaceOutcome::unreached);
    EXPECT_TRUE(e.chain.empty());
    EXPECT_EQ(e.shortestLength, 3u);
    ASSERT_EQ(e.blocked.size(), 1u);
    EXPECT_EQ(e.blocked[0].firstFailing, 2u);
    EXPECT_EQ(e.blocked[0].plane, ViewFrustum::front);
    EXPECT_EQ(e.blocked[0].chain, (List{0, 2, 3}));

    // The five-space example: 1 lies beyond 0, which is behind the eye.
    const SpaceExplanation five = why(fiveSpaces({behind, ahead, ahead, ahead, ahead}), 1);
    ASSERT_EQ(five.blocked.size(), 1u);
    EXPECT_EQ(five.blocked[0].firstFailing, 0u);
    EXPECT_EQ(five.blocked[0].chain, (List{2, 0, 1}));
}

TEST(Why, EveryShortestChainNamesItsFirstFailingSpaceAndLongerChainsNone) {
    // 0 -> {1, 2, 5}; 1 (passes) -> 3 (fails left) -> 6; 2 (fails right) -> 6; 2 -> 3;
    // 5 (fails top) -> 7 -> 8 -> 6 is longer; 4 fails too but is on no chain to 6.
    TestLevel level;
    addBoxSpace(level, {-1.0f, 0.0f, -1.0f, 1.0f, 2.0f, 1.0f});
    addBoxSpace(level, ahead);
    addBoxSpace(level, {1.0f, 0.0f, -6.0f, 2.0f, 2.0f, -5.0f});
    addBoxSpace(level, {1.0f, 0.0f, 5.0f, 2.0f, 2.0f, 6.0f});
    addBoxSpace(level, behind);
    addBoxSpace(level, {2.0f, 5.0f, -1.0f, 3.0f, 6.0f, 1.0f});
    addBoxSpace(level, ahead);
    addBoxSpace(level, ahead);
    addBoxSpace(level, ahead);
    addSingleLeafRoot(level, 0);
    level.partition.setAdjacency(adjacencyFromLists(9, {{1, 2, 5, 4}, {3}, {6, 3}, {6}, {}, {7}, {}, {8}, {6}}));
    // 6 is 3 steps away through 1 and 3 (blocked at 3) and 2 steps away through 2 (blocked at 2).
    const SpaceExplanation e = why(level, 6);
    EXPECT_EQ(e.verdict, SpaceExplanation::Verdict::blocked);
    EXPECT_EQ(e.shortestLength, 3u);
    ASSERT_EQ(e.blocked.size(), 1u);
    EXPECT_EQ(e.blocked[0].firstFailing, 2u);
    EXPECT_EQ(e.blocked[0].plane, ViewFrustum::right);
    EXPECT_EQ(e.blocked[0].chain, (List{0, 2, 6}));

    // 3 is two steps away both through 1 (which passes, so 3 itself blocks) and through 2.
    const SpaceExplanation three = why(level, 3);
    ASSERT_EQ(three.blocked.size(), 2u);
    EXPECT_EQ(three.blocked[0].firstFailing, 2u);
    EXPECT_EQ(three.blocked[0].chain, (List{0, 2, 3}));
    EXPECT_EQ(three.blocked[1].firstFailing, 3u);
    EXPECT_EQ(three.blocked[1].plane, ViewFrustum::left);
    EXPECT_EQ(three.blocked[1].chain, (List{0, 1, 3}));

    // 8 lies only beyond 5, which fails the top plane.
    const SpaceExplanation eight = why(level, 8);
    ASSERT_EQ(eight.blocked.size(), 1u);
    EXPECT_EQ(eight.blocked[0].firstFailing, 5u);
    EXPECT_EQ(eight.blocked[0].plane, ViewFrustum::top);
    EXPECT_EQ(eight.blocked[0].chain, (List{0, 5, 7, 8}));
}

TEST(Why, SpaceWithNoChainAtAll) {
    // 4 is named by no row; 5 names the eye's space, but rows lead one way only.
    for (const std::uint32_t space : {4u, 5u}) {
        const SpaceExplanation e = why(cullingLevel(), space);
        EXPECT_EQ(e.verdict, SpaceExplanation::Verdict::notReachable) << space;
        EXPECT_EQ(e.outcome, SpaceOutcome::unreached);
        EXPECT_TRUE(e.blocked.empty());
    }
    // No start space: nothing was searched.
    TestLevel none;
    addBoxSpace(none, ahead);
    EXPECT_EQ(why(none, 0).verdict, SpaceExplanation::Verdict::noStart);
}

TEST(Why, FollowsTheWalkthroughCamera) {
    const TestLevel level = cullingLevel();
    const ManualCounter counter;
    Walkthrough walkthrough(level.geometry, level.partition, counter);
    SearchRecord r;
    walkthrough.collectVisibleSpaces(r);
    EXPECT_EQ(r.list, (List{0, 1}));
    EXPECT_EQ(walkthrough.explain(r, 2).blocked.at(0).plane, ViewFrustum::front);
    // After a half turn the space behind is in view and the one ahead fails the front plane.
    walkthrough.camera().turn(360, 0);
    walkthrough.collectVisibleSpaces(r);
    EXPECT_EQ(r.list, (List{0, 2}));
    const SpaceExplanation ahead1 = walkthrough.explain(r, 1);
    EXPECT_EQ(ahead1.outcome, SpaceOutcome::failedBox);
    EXPECT_EQ(ahead1.blocked.at(0).plane, ViewFrustum::front);
    EXPECT_EQ(walkthrough.explain(r, 3).verdict, SpaceExplanation::Verdict::blocked);
}

// -------------------------------------------------------------- contact query

constexpr Plane noContact{};

bool samePlane(const Plane& p, const Plane& q) {
    return p.a == q.a && p.b == q.b && p.c == q.c && p.d == q.d;
}

// A square floor of two triangles at height y, 20 units wide, normal up.
void addFloor(TestLevel& level, std::int32_t space, float y, float minX = -10.0f, float maxX = 10.0f) {
    const std::int32_t t = addTriangle(level.geometry, {minX, y, -10.0f}, {minX, y, 10.0f}, {maxX, y, -10.0f});
    const std::int32_t plane = level.geometry.triangle(t).planeIndex;
    const std::int32_t u =
        addTriangleOnPlane(level.geometry, plane, {maxX, y, -10.0f}, {minX, y, 10.0f}, {maxX, y, 10.0f});
    level.partition.spaces[static_cast<std::size_t>(space)].triangleIndices.push_back(t);
    level.partition.spaces[static_cast<std::size_t>(space)].triangleIndices.push_back(u);
}

TestLevel oneSpace() {
    TestLevel level;
    addBoxSpace(level, {-10.0f, -10.0f, -10.0f, 10.0f, 10.0f, 10.0f});
    addSingleLeafRoot(level, 0);
    level.partition.setAdjacency(adjacencyFromLists(1, {}));
    return level;
}

Plane contactOf(const TestLevel& level, const Vector3& from, const Vector3& to) {
    ContactQuery query;
    return query.find(level.geometry, level.partition, from, to);
}

TEST(ContactQuery, StayingOutsideTheSkinIsNoContact) {
    TestLevel level = oneSpace();
    addFloor(level, 0, 0.0f);
    EXPECT_TRUE(samePlane(contactOf(level, {0.0f, 1.0f, 0.0f}, {0.0f, 0.5f, 0.0f}), noContact));
    EXPECT_TRUE(samePlane(contactOf(level, {0.0f, 1.0f, 0.0f}, {0.0f, 0.05f, 0.0f}), noContact));
    EXPECT_TRUE(samePlane(contactOf(level, {0.0f, 0.05f, 0.0f}, {0.0f, 0.05f, 0.0f}), noContact));
    const Plane floor = level.geometry.plane(0);
    EXPECT_TRUE(samePlane(contactOf(level, {0.0f, 1.0f, 0.0f}, {0.0f, 0.049f, 0.0f}), floor));
    EXPECT_TRUE(samePlane(contactOf(level, {0.0f, 1.0f, 0.0f}, {0.0f, -1.0f, 0.0f}), floor));
}

TEST(ContactQuery, StandingInsideTheSkinPushesOutAndFindsTheFloor) {
    TestLevel level = oneSpace();
    addFloor(level, 0, 0.0f);
    const Vector3 point{0.0f, 0.04f, 0.0f};
    EXPECT_TRUE(samePlane(contactOf(level, point, point), level.geometry.plane(0)));
    // Even from below the floor.
    EXPECT_TRUE(samePlane(contactOf(level, {1.0f, -0.5f, 1.0f}, {1.0f, 0.0f, 1.0f}), level.geometry.plane(0)));
}

TEST(ContactQuery, FirstCandidateWinsOverANearerOne) {
    TestLevel level = oneSpace();
    addFloor(level, 0, 0.0f);
    addFloor(level, 0, 0.5f);  // nearer to the start, but later in the list
    EXPECT_TRUE(samePlane(contactOf(level, {0.0f, 1.0f, 0.0f}, {0.0f, -1.0f, 0.0f}), level.geometry.plane(0)));
}

TEST(ContactQuery, CrossingOnAnEdgeCountsInside) {
    TestLevel level = oneSpace();
    // One triangle with an edge along x = 0 (from z = -1 to z = 1), reaching to x = 2.
    const std::int32_t t = addTriangle(level.geometry, {0.0f, 0.0f, -1.0f}, {0.0f, 0.0f, 1.0f}, {2.0f, 0.0f, 0.0f});
    level.partition.spaces[0].triangleIndices.push_back(t);
    const Plane floor = level.geometry.plane(level.geometry.triangle(t).planeIndex);
    EXPECT_TRUE(samePlane(contactOf(level, {0.0f, 1.0f, 0.0f}, {0.0f, -1.0f, 0.0f}), floor));
    EXPECT_TRUE(samePlane(contactOf(level, {0.5f, 1.0f, 0.0f}, {0.5f, -1.0f, 0.0f}), floor));
    EXPECT_TRUE(samePlane(contactOf(level, {-0.001f, 1.0f, 0.0f}, {-0.001f, -1.0f, 0.0f}), noContact));
}

TEST(ContactQuery, ReversedWindingIsNeverReported) {
    TestLevel level = oneSpace();
    const std::int32_t t =
        addTriangle(level.geometry, {-10.0f, 0.0f, -10.0f}, {-10.0f, 0.0f, 10.0f}, {10.0f, 0.0f, -10.0f});
    // Same corners on a plane facing down: the edge tests all come out negative.
    const std::int32_t down = level.geometry.addPlane({0.0f, -1.0f, 0.0f, 0.0f});
    level.geometry.triangles[static_cast<std::size_t>(t)].planeIndex = down;
    level.partition.spaces[0].triangleIndices.push_back(t);
    EXPECT_TRUE(samePlane(contactOf(level, {0.0f, -1.0f, 0.0f}, {0.0f, 1.0f, 0.0f}), noContact));
}

TEST(ContactQuery, TrianglesSharingAPlaneShareItsCrossing) {
    TestLevel level = oneSpace();
    // The first triangle on the plane misses the crossing, the second holds it.
    const std::int32_t t = addTriangle(level.geometry, {5.0f, 0.0f, -1.0f}, {5.0f, 0.0f, 1.0f}, {7.0f, 0.0f, 0.0f});
    const std::int32_t plane = level.geometry.triangle(t).planeIndex;
    const std::int32_t u =
        addTriangleOnPlane(level.geometry, plane, {-1.0f, 0.0f, -1.0f}, {-1.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f});
    level.partition.spaces[0].triangleIndices = {t, u};
    EXPECT_TRUE(samePlane(contactOf(level, {0.0f, 1.0f, 0.0f}, {0.0f, -1.0f, 0.0f}), level.geometry.plane(plane)));
}

// Space 0 is x >= 0, space 1 is x < 0; a floor at y = 0 listed by space 0 only and a floor
// at y = -0.5 listed by space 1 only, both spanning x from -10 to 10.
TestLevel twoSpaces() {
    TestLevel level;
    addBoxSpace(level, {0.0f, -10.0f, -10.0f, 10.0f, 10.0f, 10.0f});
    addBoxSpace(level, {-10.0f, -10.0f, -10.0f, 0.0f, 10.0f, 10.0f});
    addLeafSplit(level, {1.0f, 0.0f, 0.0f, 0.0f}, 0, 1);
    level.partition.setAdjacency(adjacencyFromLists(2, {{1}, {0}}));
    addFloor(level, 0, 0.0f);
    addFloor(level, 1, -0.5f);
    return level;
}

TEST(ContactQuery, ExaminesBothEndSpacesStartFirst) {
    const TestLevel level = twoSpaces();
    ASSERT_TRUE(validateLevel(level.geometry, level.partition).empty());
    const Plane upper =
        level.geometry.plane(level.geometry.triangle(level.partition.spaces[0].triangleIndices[0]).planeIndex);
    const Plane lower =
        level.geometry.plane(level.geometry.triangle(level.partition.spaces[1].triangleIndices[0]).planeIndex);
    ASSERT_FALSE(samePlane(upper, lower));
    EXPECT_TRUE(samePlane(contactOf(level, {-1.0f, 1.0f, 0.0f}, {1.0f, -1.0f, 0.0f}), lower));
    EXPECT_TRUE(samePlane(contactOf(level, {1.0f, 1.0f, 0.0f}, {-1.0f, -1.0f, 0.0f}), upper));
    // Both ends in space 1: the floor listed by space 0 is not a candidate.
    EXPECT_TRUE(samePlane(contactOf(level, {-1.0f, 1.0f, 0.0f}, {-2.0f, -0.2f, 0.0f}), noContact));
    EXPECT_TRUE(samePlane(contactOf(level, {1.0f, 1.0f, 0.0f}, {2.0f, -0.2f, 0.0f}), upper));
}

// Planes at heights 0, 0.1, 0.2, ... facing up, each with a triangle far from x = 0. A fall
// from (0, 0, 0) to (0, -1, 0) pushes the start point out of each plane in turn, one
// restart per plane, and never crosses a triangle.
TestLevel stackedPlanes(int count) {
    TestLevel level = oneSpace();
    for (int k = 0; k < count; ++k) {
        const float y = 0.1f * static_cast<float>(k);
        level.partition.spaces[0].triangleIndices.push_back(
            addTriangle(level.geometry, {100.0f, y, 0.0f}, {100.0f, y, 1.0f}, {101.0f, y, 0.0f}));
    }
    return level;
}

TEST(ContactQuery, RestartsAreBounded) {
    ASSERT_EQ(ContactQuery::maxRestarts, 64);
    // 64 push-outs are 64 restarts, after which the scan finds nothing.
    const TestLevel allowed = stackedPlanes(64);
    EXPECT_TRUE(samePlane(contactOf(allowed, {0.0f, 0.0f, 0.0f}, {0.0f, -1.0f, 0.0f}), noContact));
    // A 65th push-out ends the query with its own plane.
    const TestLevel tooMany = stackedPlanes(65);
    const Plane last = tooMany.geometry.plane(tooMany.geometry.triangle(64).planeIndex);
    EXPECT_TRUE(samePlane(contactOf(tooMany, {0.0f, 0.0f, 0.0f}, {0.0f, -1.0f, 0.0f}), last));
}

TEST(ContactQuery, WedgedBetweenFacingPlanesReturnsTheLastPushOut) {
    TestLevel level = oneSpace();
    // A floor and a ceiling 0.08 apart, their triangles away from the point: the push-outs
    // alternate floor, ceiling, floor ... and the 65th is the floor's.
    const std::int32_t floor =
        addTriangle(level.geometry, {100.0f, 0.0f, 0.0f}, {100.0f, 0.0f, 1.0f}, {101.0f, 0.0f, 0.0f});
    const std::int32_t ceiling =
        addTriangle(level.geometry, {100.0f, 0.08f, 0.0f}, {101.0f, 0.08f, 0.0f}, {100.0f, 0.08f, 1.0f});
    level.partition.spaces[0].triangleIndices = {floor, ceiling};
    const Plane floorPlane = level.geometry.plane(level.geometry.triangle(floor).planeIndex);
    ASSERT_EQ(level.geometry.plane(level.geometry.triangle(ceiling).planeIndex).b, -1.0f);
    const Vector3 point{0.0f, 0.04f, 0.0f};
    EXPECT_TRUE(samePlane(contactOf(level, point, point), floorPlane));
}

TEST(ContactQuery, ReusedQueryKeepsNothingBetweenCalls) {
    TestLevel level = oneSpace();
    addFloor(level, 0, 0.0f);
    ContactQuery query;
    const Vector3 high{0.0f, 1.0f, 0.0f};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(samePlane(query.find(level.geometry, level.partition, high, {0.0f, 0.5f, 0.0f}), noContact));
        EXPECT_TRUE(
            samePlane(query.find(level.geometry, level.partition, high, {0.0f, -1.0f, 0.0f}), level.geometry.plane(0)));
    }
}

TEST(ContactQuery, IndicesOutsideTheLevelAreSkipped) {
    TestLevel level = oneSpace();
    addFloor(level, 0, 0.0f);
    level.partition.spaces[0].triangleIndices.insert(level.partition.spaces[0].triangleIndices.begin(), {-1, 99});
    Triangle broken;
    broken.planeIndex = 0;
    broken.vertexIndex = {0, 1, 500};
    level.partition.spaces[0].triangleIndices.insert(level.partition.spaces[0].triangleIndices.begin(),
                                                     level.geometry.addTriangle(broken));
    EXPECT_TRUE(samePlane(contactOf(level, {0.0f, 1.0f, 0.0f}, {0.0f, -1.0f, 0.0f}), level.geometry.plane(0)));
    TestLevel noNodes;
    addBoxSpace(noNodes, ahead);
    EXPECT_TRUE(samePlane(contactOf(noNodes, {0.0f, 1.0f, 0.0f}, {0.0f, -1.0f, 0.0f}), noContact));
}

TEST(SteadyState, SearchAndContactAllocateNothing) {
    TestLevel level = fiveSpaces({ahead, ahead, ahead, ahead, ahead});
    addFloor(level, 2, 0.0f);
    SpaceVisibility visibility(level.partition, level.geometry);
    const ViewPoint view = viewAlongX();
    List list;
    list.reserve(16);
    const Vector3 from{0.0f, 1.0f, 0.0f};
    const Vector3 to{0.0f, 0.04f, 0.0f};
    visibility.collectVisibleSpaces(view, list);
    const Plane first = visibility.findContactPlane(from, to);
    const std::size_t before = testing::allocationCount();
    for (int frame = 0; frame < 10; ++frame) {
        list.clear();
        visibility.collectVisibleSpaces(view, list);
        EXPECT_TRUE(samePlane(visibility.findContactPlane(from, to), first));
        EXPECT_TRUE(SpaceVisibility::boxInViewFrustum(view, ahead));
    }
    EXPECT_EQ(testing::allocationCount(), before);
    EXPECT_EQ(list, (List{2, 0, 1, 3, 4}));
    EXPECT_TRUE(samePlane(first, level.geometry.plane(0)));
}

// ------------------------------------------------------------------ commands

class WalkCommands : public ::testing::Test {
protected:
    std::string write(const TestLevel& level, const std::string& name) {
        const std::string path = scratch.file(name);
        EXPECT_TRUE(writeLevelFile(path, level.geometry, level.partition));
        return path;
    }

    testing::CommandRun runVantrell(const std::string& arguments) { return testing::runVantrell(arguments, scratch); }

    testing::ScratchFolder scratch{"vantrell-visibility"};
};

TEST_F(WalkCommands, VisiblePrintsTheSearchOrder) {
    const std::string path = write(fiveSpaces({ahead, ahead, ahead, ahead, ahead}), "five.bsp");
    testing::CommandRun r = runVantrell("visible " + path + " --eye 0,1,0 --forward 1,0,0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "2 0 1 3 4\n");
    // The forward vector is normalised; looking back culls everything.
    r = runVantrell("visible " + path + " --eye 0,1,0 --forward 5,0,0");
    EXPECT_EQ(r.out, "2 0 1 3 4\n");
    r = runVantrell("visible " + path + " --eye 0,1,0 --forward -1,0,0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n");
}

TEST_F(WalkCommands, VisibleAspectAndFieldOfView) {
    TestLevel level;
    addBoxSpace(level, {-1.0f, 0.0f, -1.0f, 1.0f, 2.0f, 1.0f});
    addBoxSpace(level, {1.0f, 0.0f, 50.0f, 2.0f, 2.0f, 51.0f});  // far to the left
    addSingleLeafRoot(level, 0);
    level.partition.setAdjacency(adjacencyFromLists(2, {{1}, {}}));
    const std::string path = write(level, "side.bsp");
    EXPECT_EQ(runVantrell("visible " + path + " --eye 0,1,0 --forward 1,0,0").out, "0\n");
    EXPECT_EQ(runVantrell("visible " + path + " --eye 0,1,0 --forward 1,0,0 --aspect 4").out, "0 1\n");
    // 3pi/4 at 4/3 turns the sides as far as pi/4 at 4; beyond that the view narrows again.
    EXPECT_EQ(runVantrell("visible " + path + " --eye 0,1,0 --forward 1,0,0 --fov 2.3561945").out, "0 1\n");
    EXPECT_EQ(runVantrell("visible " + path + " --eye 0,1,0 --forward 1,0,0 --fov 3.1415927").out, "0\n");
}

TEST_F(WalkCommands, FieldOfViewInDegreesEqualsItInRadians) {
    TestLevel level;
    addBoxSpace(level, {-1.0f, 0.0f, -1.0f, 1.0f, 2.0f, 1.0f});
    addBoxSpace(level, {1.0f, 0.0f, 50.0f, 2.0f, 2.0f, 51.0f});
    addSingleLeafRoot(level, 0);
    level.partition.setAdjacency(adjacencyFromLists(2, {{1}, {}}));
    const std::string path = write(level, "side.bsp");
    const std::string view = " --eye 0,1,0 --forward 1,0,0";
    EXPECT_EQ(runVantrell("visible " + path + view + " --fov-degrees 135").out, "0 1\n");
    EXPECT_EQ(runVantrell("visible " + path + view + " --fov-degrees 45").out, "0\n");
    EXPECT_NE(runVantrell("visible " + path + view + " --fov 1 --fov-degrees 45").status, 0);
    EXPECT_NE(runVantrell("visible " + path + view + " --fov-degrees -3").status, 0);
    // why sees the same frame.
    EXPECT_NE(runVantrell("why " + path + view + " --fov-degrees 135 1").out.find("space 1 is listed"),
              std::string::npos);
}

TEST_F(WalkCommands, WhyExplainsListedBlockedAndUnreachableSpaces) {
    const std::string path = write(cullingLevel(), "culling.bsp");
    const std::string view = " --eye 0,1,0 --forward 1,0,0 ";
    testing::CommandRun r = runVantrell("why " + path + view + "1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "the eye is in space 0; 2 of 6 spaces are listed\n"
              "space 1 is listed, place 1 (0 is first)\n"
              "the search's chain from space 0:\n"
              "  0: box in view\n"
              "  1: box in view\n");
    r = runVantrell("why " + path + view + "3");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("space 3 is not listed: the search never reached it\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  space 2 fails the front plane, on the chain 0 2 3\n"), std::string::npos) << r.out;
    r = runVantrell("why " + path + view + "4");
    EXPECT_NE(r.out.find("no chain of adjacency rows leads from space 0 to space 4"), std::string::npos) << r.out;
    // Spaces the level does not have, and malformed ones.
    for (const char* space : {"6", "-1", "x"}) {
        r = runVantrell("why " + path + view + std::string(space));
        EXPECT_NE(r.status, 0) << space;
        EXPECT_TRUE(r.out.empty()) << space;
    }
    EXPECT_EQ(runVantrell("why " + path + view + "6").status, 2);
}

TEST_F(WalkCommands, ContactPrintsThePlane) {
    TestLevel level = oneSpace();
    addFloor(level, 0, 0.0f);
    level.geometry.planes[0] = {0.0f, 1.0f, 0.0f, 0.25f};  // floor at y = -0.25
    for (Triangle& t : level.geometry.triangles) t.planeIndex = 0;
    for (Vector3& v : level.geometry.vertices) v.y = -0.25f;
    const std::string path = write(level, "floor.bsp");
    testing::CommandRun r = runVantrell("contact " + path + " --from 0,1,0 --to 0,-1,0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0 1 0 0.25\n");
    r = runVantrell("contact " + path + " --from 0,1,0 --to 0,0.5,0");
    EXPECT_EQ(r.out, "0 0 0 0\n");
}

TEST_F(WalkCommands, RefusesBadArgumentsAndLevels) {
    const std::string path = write(fiveSpaces({ahead, ahead, ahead, ahead, ahead}), "five.bsp");
    for (const std::string& arguments :
         {"visible " + path + " --eye 0,1 --forward 1,0,0", "visible " + path + " --eye 0,1,0 --forward 0,0,0",
          "visible " + path + " --eye nan,1,0 --forward 1,0,0", "visible " + path + " --eye 0,1,0 --forward 1,inf,0",
          "visible " + path + " --eye 0,1,0 --forward 1,0,0 --aspect 0",
          "visible " + path + " --eye 0,1,0 --forward 1,0,0 --fov x", "visible " + path + " --forward 1,0,0",
          "contact " + path + " --from 0,1,0 --to 0,1,nan", "contact " + path + " --from 0,1,0,4 --to 0,1,0"}) {
        const testing::CommandRun r = runVantrell(arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_TRUE(r.out.empty()) << arguments;
    }
    // A level whose leaf names a space it does not have.
    TestLevel invalid = fiveSpaces({ahead, ahead, ahead, ahead, ahead});
    invalid.partition.nodes[0].front = childOfSpace(9);
    const std::string bad = write(invalid, "invalid.bsp");
    EXPECT_EQ(runVantrell("visible " + bad + " --eye 0,1,0 --forward 1,0,0").status, 1);
    EXPECT_EQ(runVantrell("contact " + bad + " --from 0,1,0 --to 0,0,0").status, 1);
}

}  // namespace
}  // namespace vantrell
