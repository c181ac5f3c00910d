// What a frame shows in each viewer mode, decided without a window: mode keys, frame lists
// (visible list, every space, frozen set, boxes, view volume) and the info panel's lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestLevels.h"
#include "allocation_counter.h"
#include "camera/MovementClock.h"
#include "math/Vector.h"
#include "walk/InfoPanel.h"
#include "walk/Walkthrough.h"
#include "walk/WalkthroughView.h"

namespace vantrell {
namespace {

using namespace testlevels;
using List = std::vector<std::uint32_t>;

constexpr BoundingBox ahead{4.0f, 0.0f, -1.0f, 6.0f, 2.0f, 1.0f};
constexpr BoundingBox behind{-6.0f, 0.0f, -1.0f, -4.0f, 2.0f, 1.0f};

// The eye's space 0 around the eye (two triangles), 1 and 3 ahead, 2 behind the camera,
// 3 only beyond 2; 4 linked to nothing.
TestLevel viewLevel() {
    TestLevel level;
    addBoxSpace(level, {-1.0f, 0.0f, -1.0f, 1.0f, 2.0f, 1.0f});
    addBoxSpace(level, ahead);
    addBoxSpace(level, behind);
    addBoxSpace(level, ahead);
    addBoxSpace(level, ahead);
    addSingleLeafRoot(level, 0);
    for (int k = 0; k < 2; ++k) {
        level.partition.spaces[0].triangleIndices.push_back(
            addTriangle(level.geometry, {0, 0, 0}, {0, 0, 1}, {1, 0, static_cast<float>(k)}));
    }
    level.partition.spaces[1].triangleIndices.push_back(addTriangle(level.geometry, {4, 0, 0}, {4, 1, 0}, {4, 1, 1}));
    level.partition.setAdjacency(adjacencyFromLists(5, {{1, 2}, {0}, {3}, {}, {}}));
    return level;
}

List spacesOf(const FrameLists& lists) {
    List spaces;
    for (const DrawnSpace& d : lists.spaces) spaces.push_back(d.space);
    return spaces;
}

bool sameColour(const Colour& a, const Colour& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

class ViewTest : public ::testing::Test {
protected:
    TestLevel level = viewLevel();
    ManualCounter counter;
    Walkthrough walkthrough{level.geometry, level.partition, counter};
    WalkthroughView view;
    FrameLists lists;
};

TEST(ViewModes, ShadingNamesAndPlaceColours) {
    EXPECT_EQ(nextShading(Shading::vertex), Shading::pixel);
    EXPECT_EQ(nextShading(Shading::pixel), Shading::flat);
    EXPECT_EQ(nextShading(Shading::flat), Shading::vertex);
    for (const Shading s : {Shading::vertex, Shading::pixel, Shading::flat}) EXPECT_EQ(shadingNamed(shadingName(s)), s);
    EXPECT_FALSE(shadingNamed("Pixel").has_value());
    EXPECT_FALSE(shadingNamed("").has_value());

    EXPECT_TRUE(sameColour(listPlaceColour(0, 1), {0, 1, 0}));
    EXPECT_TRUE(sameColour(listPlaceColour(1, 5), {1, 0, 0}));
    EXPECT_TRUE(sameColour(listPlaceColour(4, 5), {2.0f / 5.0f, 0, 3.0f / 5.0f}));
}

TEST_F(ViewTest, WithEveryModeOffTheFrameIsTheVisibleListInPlaceColours) {
    view.buildFrame(walkthrough, lists);
    List expected;
    walkthrough.collectVisibleSpaces(expected);
    ASSERT_EQ(expected, (List{0, 1}));
    EXPECT_EQ(spacesOf(lists), expected);
    EXPECT_TRUE(sameColour(lists.spaces[0].colour, listPlaceColour(0, 2)));
    EXPECT_TRUE(sameColour(lists.spaces[1].colour, listPlaceColour(1, 2)));
    EXPECT_EQ(lists.listedCount, 2u);
    EXPECT_EQ(lists.triangleCount, 3u);
    EXPECT_TRUE(lists.lines.empty());
    EXPECT_EQ(lists.shading, Shading::vertex);
    EXPECT_FALSE(lists.wireframe);

    // Steady frames allocate nothing.
    view.buildFrame(walkthrough, lists);
    const std::size_t before = testing::allocationCount();
    for (int frame = 0; frame < 20; ++frame) view.buildFrame(walkthrough, lists);
    EXPECT_EQ(testing::allocationCount(), before);
}

TEST_F(ViewTest, EverySpaceDrawsTheLevelInIndexOrderWithoutSearching) {
    view.press(ModeKey::allSpaces, walkthrough);
    walkthrough.camera().turn(360, 0);  // nothing in view ahead would matter
    view.buildFrame(walkthrough, lists);
    EXPECT_EQ(spacesOf(lists), (List{0, 1, 2, 3, 4}));
    EXPECT_EQ(lists.listedCount, 5u);
    for (std::size_t p = 0; p < 5; ++p) EXPECT_TRUE(sameColour(lists.spaces[p].colour, listPlaceColour(p, 5)));
    view.press(ModeKey::allSpaces, walkthrough);
    view.buildFrame(walkthrough, lists);
    EXPECT_EQ(spacesOf(lists), (List{0, 2}));
}

TEST_F(ViewTest, FrozenSetStaysWhileTheCameraMovesAndShowsFailedBoxesInGrey) {
    view.press(ModeKey::freeze, walkthrough);
    ASSERT_TRUE(view.frozen());
    const Vector3 frozenEye = walkthrough.eyePoint();
    // Turn round and fly away: the frozen frame does not change.
    walkthrough.camera().turn(360, 0);
    walkthrough.camera().setFlying(true);
    walkthrough.setMovementKeys({.forward = true});
    for (int i = 0; i < 100; ++i) walkthrough.step();
    walkthrough.update();
    view.buildFrame(walkthrough, lists);
    // Listed 0 and 1 in their colours, 2 (reached, behind) grey; 3 and 4 never reached.
    EXPECT_EQ(spacesOf(lists), (List{0, 1, 2}));
    EXPECT_EQ(lists.listedCount, 2u);
    EXPECT_TRUE(sameColour(lists.spaces[1].colour, listPlaceColour(1, 2)));
    EXPECT_TRUE(sameColour(lists.spaces[2].colour, failedBoxColour));
    EXPECT_EQ(view.frozenView()->failedCount, 1u);
    // The frozen volume starts at the frozen eye, not at the camera.
    ASSERT_FALSE(lists.lines.empty());
    EXPECT_EQ(lists.lines.front().from, frozenEye);
    EXPECT_TRUE(std::all_of(lists.lines.begin(), lists.lines.end(),
                            [](const LineSegment& l) { return sameColour(l.colour, frozenVolumeColour); }));

    view.press(ModeKey::freeze, walkthrough);
    EXPECT_FALSE(view.frozen());
    view.buildFrame(walkthrough, lists);
    EXPECT_TRUE(lists.lines.empty());
}

TEST_F(ViewTest, SpaceBoxesOutlineEachListedSpace) {
    view.press(ModeKey::spaceBoxes, walkthrough);
    view.buildFrame(walkthrough, lists);
    ASSERT_EQ(lists.lines.size(), 24u);
    // Every edge of space 1's box runs along one axis on its faces.
    for (std::size_t k = 12; k < 24; ++k) {
        const LineSegment& l = lists.lines[k];
        const Vector3 d = l.to - l.from;
        EXPECT_EQ((d.x != 0) + (d.y != 0) + (d.z != 0), 1);
        for (const Vector3& p : {l.from, l.to}) {
            EXPECT_TRUE(p.x == ahead.minX || p.x == ahead.maxX);
            EXPECT_TRUE(p.y == ahead.minY || p.y == ahead.maxY);
            EXPECT_TRUE(p.z == ahead.minZ || p.z == ahead.maxZ);
        }
    }
}

TEST(ViewVolumeLines, EdgesLieOnTheirTwoPlanesAheadOfTheEye) {
    const Vector3 eye{1, 2, 3};
    const Vector3 forward = normalized(Vector3{1, 0.3f, -0.2f});
    const Vector3 right = normalized(Vector3{forward.z, 0, -forward.x});
    const Vector3 up = cross(forward, right);
    const ViewFrustum frustum = makeViewFrustum(eye, forward, up, right, 0.7853982f, 4.0f / 3.0f);
    std::vector<LineSegment> lines;
    addViewVolumeLines(eye, forward, frustum, 8.0f, lines);
    ASSERT_EQ(lines.size(), 9u);  // four edges, the rim, the view direction
    for (std::size_t k = 0; k < 4; ++k) {
        const Vector3 end = lines[k].to;
        EXPECT_NEAR(length(end - eye), 8.0f, 1e-4f);
        EXPECT_GT(dot(end - eye, forward), 0.0f);
        int onPlanes = 0;
        for (const Plane& p : frustum.planes) {
            const float value = p.a * end.x + p.b * end.y + p.c * end.z + p.d;
            EXPECT_GT(value, -1e-3f);  // never outside the volume
            onPlanes += std::abs(value) < 1e-3f;
        }
        EXPECT_EQ(onPlanes, 2) << "edge " << k;
    }
    // An aspect ratio of 4 turns both side planes onto forward: still no line leaves the eye
    // backwards, and nothing is not a number.
    lines.clear();
    addViewVolumeLines(eye, forward, makeViewFrustum(eye, forward, up, right, 0.7853982f, 4.0f), 8.0f, lines);
    for (const LineSegment& l : lines) {
        EXPECT_TRUE(isFinite(l.from) && isFinite(l.to));
        EXPECT_GE(dot(l.to - eye, forward), -1e-4f);
    }
}

TEST_F(ViewTest, FlyAndSettingKeysSwitchAndFullscreenChangesNothingHere) {
    view.press(ModeKey::fly, walkthrough);
    EXPECT_TRUE(walkthrough.camera().flying());
    view.press(ModeKey::fly, walkthrough);
    EXPECT_FALSE(walkthrough.camera().flying());
    view.press(ModeKey::shading, walkthrough);
    view.press(ModeKey::wireframe, walkthrough);
    view.press(ModeKey::infoPanel, walkthrough);
    view.press(ModeKey::fullscreen, walkthrough);
    EXPECT_EQ(view.shading, Shading::pixel);
    EXPECT_TRUE(view.wireframe);
    EXPECT_TRUE(view.infoPanel);
    EXPECT_FALSE(view.allSpaces || view.spaceBoxes || view.frozen());
    view.buildFrame(walkthrough, lists);
    EXPECT_EQ(lists.shading, Shading::pixel);
    EXPECT_TRUE(lists.wireframe);
}

bool hasLine(const std::vector<PanelLine>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const PanelLine& l) { return l.text == text; });
}

TEST_F(ViewTest, PanelSaysWhereTheCameraIsWhatIsDrawnAndWhatColoursMean) {
    std::vector<PanelLine> lines;
    view.buildFrame(walkthrough, lists);
    FrameTimes times;
    times.add(100, 16.0f);
    times.add(116, 20.0f);
    describeFrame(walkthrough, view, lists, times.lastSecond(120), lines);
    EXPECT_TRUE(hasLine(lines, "Position 0.00 0.00 0.00"));
    EXPECT_TRUE(hasLine(lines, "Eye height 1.00 (standing)"));
    EXPECT_TRUE(hasLine(lines, "Forward 1.00 0.00 0.00"));
    EXPECT_TRUE(hasLine(lines, "Space 0"));
    EXPECT_TRUE(hasLine(lines, "Listed 2 of 5 spaces"));
    EXPECT_TRUE(hasLine(lines, "Triangles drawn 3"));
    EXPECT_TRUE(hasLine(lines, "Frame 18.0 ms mean, 20.0 ms worst (last second)"));
    EXPECT_TRUE(hasLine(lines, "Shading vertex (L)"));
    EXPECT_TRUE(hasLine(lines, "N boxes, F fly, Tab panel, F11 fullscreen, F12 picture"));
    const auto swatches = std::count_if(lines.begin(), lines.end(), [](const PanelLine& l) { return l.hasSwatch; });
    EXPECT_EQ(swatches, 2);  // first and second of two listed
    EXPECT_TRUE(sameColour(
        std::find_if(lines.begin(), lines.end(), [](const PanelLine& l) { return l.hasSwatch; })->swatch, {0, 1, 0}));

    view.press(ModeKey::freeze, walkthrough);
    walkthrough.setMovementKeys({.crouch = true});
    view.buildFrame(walkthrough, lists);
    describeFrame(walkthrough, view, lists, FrameTimes{}.lastSecond(0), lines);
    EXPECT_TRUE(hasLine(lines, "Eye height 0.50 (crouching)"));
    EXPECT_TRUE(hasLine(lines, "Frozen at 0.00 1.00 0.00 (V)"));
    EXPECT_TRUE(hasLine(lines, "2 listed, 1 failed the view test"));
    EXPECT_TRUE(hasLine(lines, "Frame time: no frames timed yet"));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const PanelLine& l) { return l.hasSwatch && sameColour(l.swatch, failedBoxColour); }));
}

}  // namespace
}  // namespace vantrell
