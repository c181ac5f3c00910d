// The OpenGL renderer, drawn headless on EGL's surfaceless platform and read back.
// Skipped where no EGL context can be made.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "CommandRunner.h"
#include "TestLevels.h"
#include "allocation_counter.h"
#include "level/LevelFile.h"
#include "play/GlRenderer.h"
#include "play/HeadlessContext.h"
#include "play/PngWriter.h"
#include "walk/InfoPanel.h"
#include "walk/Walkthrough.h"
#include "walk/WalkthroughView.h"

namespace vantrell {
namespace {

using testlevels::TestLevel;

constexpr int pictureWidth = 160;
constexpr int pictureHeight = 120;

struct Rgba {
    int r = 0;
    int g = 0;
    int b = 0;
};

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    [[nodiscard]] Rgba at(int x, int y) const {
        const auto i =
            (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
        return {pixels[i], pixels[i + 1], pixels[i + 2]};
    }
};

bool isWhite(const Rgba& c) {
    return c.r >= 250 && c.g >= 250 && c.b >= 250;
}
bool isGreen(const Rgba& c) {
    return c.g > 30 && c.g > 2 * (c.r + c.b);
}
bool isRed(const Rgba& c) {
    return c.r > 30 && c.r > 2 * (c.g + c.b);
}

::testing::AssertionResult hasColour(const Picture& picture, int x, int y, bool (*test)(const Rgba&),
                                     const char* name) {
    const Rgba c = picture.at(x, y);
    if (test(c)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is (" << c.r << ", " << c.g << ", " << c.b
                                         << "), not " << name;
}

// A wall at x = 3 facing the origin, seen from the eye (0, 1, 0) looking along +x: world
// +z appears on the left of the screen. Corners run clockwise on screen unless reversed.
void addWall(TestLevel& level, std::int32_t space, float zLeft, float zRight, float yBottom, float yTop,
             bool reversed = false) {
    const Vector3 bottomLeft{3.0f, yBottom, zLeft};
    const Vector3 topLeft{3.0f, yTop, zLeft};
    const Vector3 topRight{3.0f, yTop, zRight};
    const Vector3 bottomRight{3.0f, yBottom, zRight};
    auto& list = level.partition.spaces[static_cast<std::size_t>(space)].triangleIndices;
    if (!reversed) {
        list.push_back(testlevels::addTriangle(level.geometry, bottomLeft, topLeft, topRight));
        list.push_back(testlevels::addTriangle(level.geometry, bottomLeft, topRight, bottomRight));
    } else {
        list.push_back(testlevels::addTriangle(level.geometry, bottomLeft, topRight, topLeft));
        list.push_back(testlevels::addTriangle(level.geometry, bottomLeft, bottomRight, topRight));
    }
}

// Two neighbouring spaces split at x = 2: the eye's space 0 (first in the visible list)
// and space 1 ahead of it, both boxes in view.
TestLevel twoSpaces() {
    TestLevel level;
    testlevels::addBoxSpace(level, BoundingBox{-1.0f, -1.0f, -4.0f, 2.0f, 3.0f, 4.0f});
    testlevels::addBoxSpace(level, BoundingBox{2.0f, -1.0f, -4.0f, 4.0f, 3.0f, 4.0f});
    testlevels::addLeafSplit(level, Plane{1.0f, 0.0f, 0.0f, -2.0f}, 1, 0);
    level.partition.setAdjacency(testlevels::adjacencyFromLists(2, {{1}, {0}}));
    return level;
}

class Render : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        context = HeadlessContext::create(pictureWidth, pictureHeight, error);
        if (!context) GTEST_SKIP() << "no headless OpenGL context: " << error;
        renderer = GlRenderer::create(error);
        ASSERT_NE(renderer, nullptr) << error;
        renderer->setViewport(pictureWidth, pictureHeight);
    }

    // Draws one frame of level from the eye (0, 1, 0) looking along +x.
    Picture draw(const TestLevel& level, float aspectRatio = float(pictureWidth) / float(pictureHeight),
                 const std::vector<std::uint32_t>* spaces = nullptr) {
        Walkthrough walkthrough(level.geometry, level.partition, counter);
        walkthrough.setAspectRatio(aspectRatio);
        renderer->buildVertexBuffer(level.geometry, level.partition);
        renderer->applyProjection(walkthrough.fieldOfView(), walkthrough.aspectRatio());
        FrameStatistics statistics;
        statistics.start(0);
        if (spaces != nullptr) {
            renderer->renderSpaces(walkthrough, statistics, 0, *spaces);
        } else {
            lastVisibleCount = renderer->renderFrame(walkthrough, statistics, 0);
        }
        return {pictureWidth, pictureHeight, renderer->readPixels(pictureWidth, pictureHeight)};
    }

    ManualCounter counter;
    std::unique_ptr<HeadlessContext> context;
    std::unique_ptr<GlRenderer> renderer;
    std::size_t lastVisibleCount = 0;
};

// Left of the picture's centre, below the overlay; and the same distance right of it.
constexpr int leftX = pictureWidth / 2 - 20;
constexpr int rightX = pictureWidth / 2 + 20;
constexpr int middleY = pictureHeight / 2 + 10;

TEST_F(Render, FirstVisibleSpaceGreenSecondRedBackgroundWhiteNotMirrored) {
    TestLevel level = twoSpaces();
    addWall(level, 0, 1.0f, 0.0f, 0.5f, 1.5f);   // +z: left of the screen
    addWall(level, 1, 0.0f, -1.0f, 0.5f, 1.5f);  // -z: right of the screen
    const Picture picture = draw(level);
    EXPECT_EQ(lastVisibleCount, 2u);
    EXPECT_TRUE(hasColour(picture, leftX, middleY, isGreen, "green"));
    EXPECT_TRUE(hasColour(picture, rightX, middleY, isRed, "red"));
    // Above and below the walls, and at the sides, only the clear colour.
    EXPECT_TRUE(hasColour(picture, pictureWidth / 2, pictureHeight - 3, isWhite, "white"));
    EXPECT_TRUE(hasColour(picture, pictureWidth - 3, pictureHeight / 2, isWhite, "white"));
    EXPECT_TRUE(hasColour(picture, 3, pictureHeight - 3, isWhite, "white"));
}

TEST_F(Render, ColourFollowsThePlaceInTheListNotTheSpaceIndex) {
    TestLevel level = twoSpaces();
    addWall(level, 0, 1.0f, 0.0f, 0.5f, 1.5f);
    addWall(level, 1, 0.0f, -1.0f, 0.5f, 1.5f);
    const std::vector<std::uint32_t> reversedList{1, 0};
    const Picture picture = draw(level, float(pictureWidth) / float(pictureHeight), &reversedList);
    EXPECT_TRUE(hasColour(picture, leftX, middleY, isRed, "red"));
    EXPECT_TRUE(hasColour(picture, rightX, middleY, isGreen, "green"));

    // A listed space without triangles keeps its place: space 1 comes third of three here
    // and gets (2/3, 0, 1/3) before lighting: red above blue, no green.
    const std::vector<std::uint32_t> withEmpty{0, 7, 1};  // 7 is no space of the level
    const Picture third = draw(level, float(pictureWidth) / float(pictureHeight), &withEmpty);
    const Rgba c = third.at(rightX, middleY);
    EXPECT_GT(c.r, c.b);
    EXPECT_GT(c.b, 40);
    EXPECT_LT(c.g, 10);
    EXPECT_TRUE(hasColour(third, leftX, middleY, isGreen, "green"));
}

TEST_F(Render, TriangleSeenFromItsBackIsCulled) {
    TestLevel level = twoSpaces();
    addWall(level, 0, 1.0f, 0.0f, 0.5f, 1.5f, /*reversed=*/true);
    addWall(level, 1, 0.0f, -1.0f, 0.5f, 1.5f);
    const Picture picture = draw(level);
    EXPECT_TRUE(hasColour(picture, leftX, middleY, isWhite, "white (culled)"));
    EXPECT_TRUE(hasColour(picture, rightX, middleY, isRed, "red"));
}

TEST_F(Render, NearerWallHidesFartherOneWhateverTheDrawingOrder) {
    TestLevel level = twoSpaces();
    // Space 0 (drawn first) holds a wall nearer than space 1's, both across the centre.
    const Vector3 a{2.5f, 0.5f, 1.0f}, b{2.5f, 1.5f, 1.0f}, c{2.5f, 1.5f, -1.0f}, d{2.5f, 0.5f, -1.0f};
    auto& near = level.partition.spaces[0].triangleIndices;
    near.push_back(testlevels::addTriangle(level.geometry, a, b, c));
    near.push_back(testlevels::addTriangle(level.geometry, a, c, d));
    addWall(level, 1, 1.0f, -1.0f, 0.5f, 1.5f);
    const std::vector<std::uint32_t> farFirst{1, 0};
    EXPECT_TRUE(hasColour(draw(level), pictureWidth / 2, middleY, isGreen, "green (near, drawn first)"));
    EXPECT_TRUE(hasColour(draw(level, float(pictureWidth) / float(pictureHeight), &farFirst), pictureWidth / 2, middleY,
                          isRed, "red (near, drawn second)"));
}

// The width in pixels of the non-white run through the centre of row y.
int coloredWidth(const Picture& picture, int y) {
    int width = 0;
    for (int x = 0; x < picture.width; ++x) width += isWhite(picture.at(x, y)) ? 0 : 1;
    return width;
}

TEST_F(Render, AspectRatioScalesThePictureHorizontally) {
    TestLevel level = twoSpaces();
    addWall(level, 0, 0.5f, -0.5f, 0.5f, 1.5f);
    const Picture normal = draw(level);
    const Picture wide = draw(level, 2.0f * float(pictureWidth) / float(pictureHeight));
    const int normalWidth = coloredWidth(normal, middleY);
    const int wideWidth = coloredWidth(wide, middleY);
    ASSERT_GT(normalWidth, 20);
    EXPECT_NEAR(static_cast<double>(wideWidth) / normalWidth, 0.5, 0.06);
    // Heights stay: the vertical field of view does not depend on the aspect ratio.
    int normalHeight = 0;
    int wideHeight = 0;
    for (int y = 0; y < pictureHeight; ++y) {
        normalHeight += isWhite(normal.at(pictureWidth / 2, y)) ? 0 : 1;
        wideHeight += isWhite(wide.at(pictureWidth / 2, y)) ? 0 : 1;
    }
    EXPECT_NEAR(normalHeight, wideHeight, 1);
}

// Counts pixels of the overlay's box (150 x 100 at the top left) that are dark or that
// differ from the given background test.
int darkPixelsIn(const Picture& picture, int x0, int y0, int x1, int y1) {
    int dark = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const Rgba c = picture.at(x, y);
            dark += (c.r + c.g + c.b < 200) ? 1 : 0;
        }
    }
    return dark;
}

TEST_F(Render, OverlayTextIsDrawnInItsBoxOverWhiteAndOverTheLevel) {
    ASSERT_TRUE(renderer->hasFont()) << "the overlay font (fonts-liberation) is missing";
    // Nothing in view: the text's dark outline is the only thing not white, all of it
    // inside the box at the top left.
    TestLevel empty = twoSpaces();
    const Picture blank = draw(empty);
    EXPECT_GT(darkPixelsIn(blank, 0, 0, 150, 100), 50);
    EXPECT_EQ(darkPixelsIn(blank, 150, 0, pictureWidth, pictureHeight), 0);
    EXPECT_EQ(darkPixelsIn(blank, 0, 100, pictureWidth, pictureHeight), 0);

    // A wall covering the whole view: the white glyphs still show over it.
    TestLevel covered = twoSpaces();
    // Small enough that its corners, lit per vertex, stay inside the spot light's cone.
    addWall(covered, 0, 2.0f, -2.0f, -1.0f, 3.0f);
    const Picture wall = draw(covered);
    int whiteInBox = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 150; ++x) whiteInBox += isWhite(wall.at(x, y)) ? 1 : 0;
    }
    EXPECT_GT(whiteInBox, 20);
    EXPECT_TRUE(hasColour(wall, pictureWidth / 2, pictureHeight / 2, isGreen, "green"));
    EXPECT_TRUE(hasColour(wall, pictureWidth - 2, pictureHeight - 2, isGreen, "green"));
}

TEST_F(Render, VertexBufferSkipsBadIndicesAndKeepsTrianglesListedTwice) {
    TestLevel level = twoSpaces();
    addWall(level, 0, 1.0f, 0.0f, 0.5f, 1.5f);                // triangles 0 and 1
    level.partition.spaces[0].triangleIndices.push_back(99);  // no such triangle
    level.partition.spaces[1].triangleIndices = {1, -5, 0};   // both listed again, one bad
    Triangle broken = level.geometry.triangles[0];
    broken.normalIndex[2] = 1000;
    level.partition.spaces[1].triangleIndices.push_back(level.geometry.addTriangle(broken));
    renderer->buildVertexBuffer(level.geometry, level.partition);
    EXPECT_EQ(renderer->vertexCount(), 12u);
    EXPECT_EQ(renderer->firstVertexOfSpace(), (std::vector<std::int32_t>{0, 6}));
    // Both spaces draw the same wall; the list place decides the colour.
    const Picture picture = draw(level, float(pictureWidth) / float(pictureHeight), nullptr);
    EXPECT_TRUE(hasColour(picture, leftX, middleY, isRed, "red (space 1, drawn last)"));
}

TEST_F(Render, EmptyLevelDrawsWhite) {
    TestLevel level;
    const Picture picture = draw(level);
    EXPECT_EQ(lastVisibleCount, 0u);
    EXPECT_EQ(renderer->vertexCount(), 0u);
    EXPECT_TRUE(hasColour(picture, pictureWidth / 2, pictureHeight / 2, isWhite, "white"));
}

TEST_F(Render, SteadyStateFramesAllocateNothing) {
    TestLevel level = twoSpaces();
    addWall(level, 0, 1.0f, 0.0f, 0.5f, 1.5f);
    addWall(level, 1, 0.0f, -1.0f, 0.5f, 1.5f);
    Walkthrough walkthrough(level.geometry, level.partition, counter);
    renderer->buildVertexBuffer(level.geometry, level.partition);
    FrameStatistics statistics;
    statistics.start(0);
    for (std::uint32_t frame = 0; frame < 40; ++frame) renderer->renderFrame(walkthrough, statistics, frame * 16);
    const std::size_t before = testing::allocationCount();
    for (std::uint32_t frame = 40; frame < 100; ++frame) renderer->renderFrame(walkthrough, statistics, frame * 16);
    EXPECT_EQ(testing::allocationCount() - before, 0u);
    EXPECT_GT(statistics.framesPerSecond, 0.0f);
}

// ---------------------------------------------------------------- viewer modes

// Draws level through a WalkthroughView with the given modes, from the body at position
// looking along forward, at width x height (the context is made for that size).
class RenderModes : public ::testing::Test {
protected:
    bool makeContext(int width, int height) {
        // The old renderer's GL objects belong to the old context: free both first.
        renderer.reset();
        context.reset();
        std::string error;
        context = HeadlessContext::create(width, height, error);
        if (!context) return false;
        renderer = GlRenderer::create(error);
        EXPECT_NE(renderer, nullptr) << error;
        pictureSize = {width, height};
        return renderer != nullptr;
    }

    Picture draw(const LevelGeometry& geometry, const SpacePartition& partition, WalkthroughView& view,
                 const Vector3& position = {}, const Vector3& forward = {1, 0, 0}, int settle = 0) {
        Walkthrough walkthrough(geometry, partition, counter, position, forward);
        walkthrough.setAspectRatio(float(pictureSize.first) / float(pictureSize.second));
        for (int i = 0; i < settle; ++i) walkthrough.step();
        walkthrough.update();
        renderer->buildVertexBuffer(geometry, partition);
        renderer->applyProjection(walkthrough.fieldOfView(), walkthrough.aspectRatio());
        renderer->setViewport(pictureSize.first, pictureSize.second);
        FrameStatistics statistics;
        statistics.start(0);
        FrameLists lists;
        view.buildFrame(walkthrough, lists);
        std::vector<PanelLine> panel;
        if (view.infoPanel) describeFrame(walkthrough, view, lists, FrameTimes{}.lastSecond(0), panel);
        renderer->drawFrame(walkthrough, lists, statistics, 0, {&panel, {}});
        lastLists = lists;
        return {pictureSize.first, pictureSize.second, renderer->readPixels(pictureSize.first, pictureSize.second)};
    }

    ManualCounter counter;
    std::unique_ptr<HeadlessContext> context;
    std::unique_ptr<GlRenderer> renderer;
    std::pair<int, int> pictureSize;
    FrameLists lastLists;
};

bool nearBlack(const Rgba& c) {
    return std::max({c.r, c.g, c.b}) < 24;
}

double nearBlackShare(const Picture& picture) {
    std::size_t dark = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) dark += nearBlack(picture.at(x, y)) ? 1 : 0;
    }
    return static_cast<double>(dark) / (static_cast<double>(picture.width) * picture.height);
}

int differingPixels(const Picture& a, const Picture& b) {
    int n = 0;
    for (std::size_t i = 0; i + 3 < a.pixels.size(); i += 4) {
        n += (a.pixels[i] != b.pixels[i] || a.pixels[i + 1] != b.pixels[i + 1] || a.pixels[i + 2] != b.pixels[i + 2]);
    }
    return n;
}

// The game level of the package the checks use, imported once by the command into a file.
std::string importedGameLevel(const testing::ScratchFolder& scratch) {
    const std::string pk3 = "/usr/share/games/openarena/baseoa/pak6-patch088.pk3";
    if (!std::filesystem::exists(pk3)) return {};
    const std::string out = scratch.file("oa_thor.bsp");
    const testing::CommandRun run =
        testing::runVantrell("import " + pk3 + " " + out + " --map maps/oa_thor.bsp", scratch);
    return run.status == 0 ? out : std::string();
}

TEST_F(RenderModes, PixelShadingLeavesLittleNearBlackOnASampleAndAGameLevel) {
    if (!makeContext(320, 240)) GTEST_SKIP() << "no headless OpenGL context";
    const testing::ScratchFolder scratch("vantrell-render-modes");
    std::vector<std::string> levels{VANTRELL_SOURCE_DIR "/examples/two-rooms.bsp"};
    const std::string game = importedGameLevel(scratch);
    if (!game.empty()) levels.push_back(game);
    for (const std::string& path : levels) {
        SCOPED_TRACE(path);
        const LoadedLevel level = loadLevelFile(path);
        ASSERT_TRUE(level.valid());
        WalkthroughView view;
        const Picture vertex = draw(level.geometry, level.partition, view, {}, {1, 0, 0}, 100);
        view.shading = Shading::pixel;
        const Picture pixel = draw(level.geometry, level.partition, view, {}, {1, 0, 0}, 100);
        EXPECT_LT(nearBlackShare(pixel), 0.05);
        // The walk-through's own light leaves much of the same view near black.
        EXPECT_GT(nearBlackShare(vertex), nearBlackShare(pixel) + 0.05);
    }
    if (game.empty()) GTEST_SKIP() << "openarena-088-data is not installed: only the sample level was checked";
}

TEST_F(RenderModes, ModesSwitchedOffGiveThePlainFrameAgain) {
    if (!makeContext(pictureWidth, pictureHeight)) GTEST_SKIP() << "no headless OpenGL context";
    const LoadedLevel level = loadLevelFile(VANTRELL_SOURCE_DIR "/examples/crossroads.bsp");
    ASSERT_TRUE(level.valid());
    Walkthrough walkthrough(level.geometry, level.partition, counter);
    walkthrough.setAspectRatio(float(pictureWidth) / float(pictureHeight));
    renderer->buildVertexBuffer(level.geometry, level.partition);
    renderer->applyProjection(walkthrough.fieldOfView(), walkthrough.aspectRatio());
    renderer->setViewport(pictureWidth, pictureHeight);
    FrameStatistics statistics;
    renderer->renderFrame(walkthrough, statistics, 0);
    const auto plain = renderer->readPixels(pictureWidth, pictureHeight);

    // Every mode drawn once, then all off again: nothing they set may linger.
    WalkthroughView view;
    view.shading = Shading::flat;
    view.wireframe = view.allSpaces = view.spaceBoxes = view.infoPanel = true;
    draw(level.geometry, level.partition, view);
    view.freeze(walkthrough);
    draw(level.geometry, level.partition, view);
    WalkthroughView off;
    EXPECT_EQ(draw(level.geometry, level.partition, off).pixels, plain);
    renderer->renderFrame(walkthrough, statistics, 0);
    EXPECT_EQ(renderer->readPixels(pictureWidth, pictureHeight), plain);
}

TEST_F(RenderModes, FlatShadingFollowsTheFaceNotTheLight) {
    if (!makeContext(pictureWidth, pictureHeight)) GTEST_SKIP() << "no headless OpenGL context";
    TestLevel level = twoSpaces();
    addWall(level, 0, 2.0f, -2.0f, -1.0f, 3.0f);  // square across the view
    WalkthroughView view;
    view.shading = Shading::flat;
    const Picture flat = draw(level.geometry, level.partition, view, {0, 0, 0});
    // Seen squarely: nearly the full green, at the centre and in the corners alike.
    EXPECT_GT(flat.at(pictureWidth / 2, pictureHeight / 2).g, 240);
    EXPECT_GT(flat.at(pictureWidth - 3, pictureHeight - 3).g, 200);
    EXPECT_LT(flat.at(pictureWidth / 2, pictureHeight / 2).r, 10);
    // Seen at a slant from the side, darker but never black.
    const Picture slant = draw(level.geometry, level.partition, view, {2.2f, -0.5f, 1.8f}, {0.2f, 0, -1});
    const Rgba c = slant.at(pictureWidth / 2, pictureHeight / 2);
    EXPECT_LT(c.g, 200);
    EXPECT_GT(c.g, 60);
}

TEST_F(RenderModes, WireframeAddsEdgePixelsOverTheFaces) {
    if (!makeContext(pictureWidth, pictureHeight)) GTEST_SKIP() << "no headless OpenGL context";
    TestLevel level = twoSpaces();
    addWall(level, 0, 1.0f, 0.0f, 0.5f, 1.5f);
    addWall(level, 1, 0.0f, -1.0f, 0.5f, 1.5f);
    WalkthroughView view;
    const Picture faces = draw(level.geometry, level.partition, view);
    view.wireframe = true;
    const Picture edges = draw(level.geometry, level.partition, view);
    const int changed = differingPixels(faces, edges);
    EXPECT_GT(changed, 60);
    // The diagonal of the left wall's square runs through it as an edge colour line.
    int whiteOnWall = 0;
    for (int y = 0; y < pictureHeight; ++y) {
        for (int x = 0; x < pictureWidth / 2; ++x) {
            whiteOnWall += isWhite(edges.at(x, y)) && isGreen(faces.at(x, y)) ? 1 : 0;
        }
    }
    EXPECT_GT(whiteOnWall, 10);
}

TEST_F(RenderModes, AllSpacesDrawsWhatTheListLeavesOut) {
    if (!makeContext(pictureWidth, pictureHeight)) GTEST_SKIP() << "no headless OpenGL context";
    TestLevel level = twoSpaces();
    addWall(level, 0, 1.0f, 0.0f, 0.5f, 1.5f);
    addWall(level, 1, 0.0f, -1.0f, 0.5f, 1.5f);
    level.partition.setAdjacency(testlevels::adjacencyFromLists(2, {{}, {}}));  // 1 is never reached
    WalkthroughView view;
    const Picture listed = draw(level.geometry, level.partition, view);
    EXPECT_EQ(lastLists.listedCount, 1u);
    EXPECT_TRUE(hasColour(listed, rightX, middleY, isWhite, "white (space 1 not listed)"));
    view.allSpaces = true;
    const Picture all = draw(level.geometry, level.partition, view);
    EXPECT_EQ(lastLists.listedCount, 2u);
    EXPECT_TRUE(hasColour(all, leftX, middleY, isGreen, "green"));
    EXPECT_TRUE(hasColour(all, rightX, middleY, isRed, "red (space 1, second in index order)"));
}

TEST_F(RenderModes, FrozenSetShowsFailedBoxesGreyAndItsVolumeFromOutside) {
    if (!makeContext(pictureWidth, pictureHeight)) GTEST_SKIP() << "no headless OpenGL context";
    TestLevel level = twoSpaces();
    addWall(level, 0, 1.0f, 0.0f, 0.5f, 1.5f);
    addWall(level, 1, 0.0f, -1.0f, 0.5f, 1.5f);
    // From behind space 1's box (x > 4 looking back) neither box is in view; freeze there.
    Walkthrough away(level.geometry, level.partition, counter, {1.0f, 0.0f, 0.0f}, {-1, 0, 0});
    WalkthroughView view;
    view.freeze(away);
    ASSERT_EQ(view.frozenView()->record.outcome[1], SpaceOutcome::failedBox);
    const Picture frozen = draw(level.geometry, level.partition, view);
    const Rgba grey = frozen.at(rightX, middleY);
    EXPECT_GT(grey.r, 15);
    EXPECT_NEAR(grey.r, grey.g, 2);
    EXPECT_NEAR(grey.g, grey.b, 2);
    // The volume's lines, in their orange, somewhere in the picture.
    int orange = 0;
    for (int y = 0; y < pictureHeight; ++y) {
        for (int x = 0; x < pictureWidth; ++x) {
            const Rgba c = frozen.at(x, y);
            orange += c.r > 200 && c.g > 100 && c.g < 180 && c.b < 40 ? 1 : 0;
        }
    }
    EXPECT_GT(orange, 20);
}

TEST_F(RenderModes, InfoPanelSitsAtTheTopRightWithAMarginAndScalesWithTheSize) {
    const auto panelBox = [](const Picture& p) {
        // The panel's darkened box: rows and columns holding non-white pixels away from the overlay.
        int left = p.width, top = p.height, right = -1, bottom = -1;
        for (int y = 0; y < p.height; ++y) {
            for (int x = 160; x < p.width; ++x) {
                if (isWhite(p.at(x, y))) continue;
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
        }
        return std::array<int, 4>{left, top, right, bottom};
    };
    TestLevel level = twoSpaces();  // nothing to draw: white but for the overlay and panel
    std::array<int, 4> small{};
    for (const int scale : {1, 2}) {
        if (!makeContext(640 * scale, 480 * scale)) GTEST_SKIP() << "no headless OpenGL context";
        if (!renderer->hasFont()) GTEST_SKIP() << "no font";
        WalkthroughView view;
        const Picture without = draw(level.geometry, level.partition, view);
        view.infoPanel = true;
        const Picture with = draw(level.geometry, level.partition, view);
        const std::array<int, 4> box = panelBox(with);
        EXPECT_EQ(panelBox(without)[2], -1) << "nothing right of the overlay without the panel";
        ASSERT_GE(box[2], 0);
        SCOPED_TRACE(scale);
        EXPECT_GT(box[1], 4 * scale);               // a margin above
        EXPECT_LT(box[2], with.width - 4 * scale);  // and to the right
        EXPECT_GT(box[3] - box[1], 150 * scale);    // many lines tall
        if (scale == 1) small = box;
        if (scale == 2) {
            EXPECT_NEAR(box[3] - box[1], 2 * (small[3] - small[1]), 12);
        }
    }
}

// A file in the temporary folder that no other test process uses: ctest runs tests in parallel.
std::filesystem::path scratchPath(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("vantrell-render-" + std::to_string(::getpid()) + "-" + name);
}

TEST(PngWriter, RefusesAMismatchedSizeAndAnUnwritablePath) {
    std::string error;
    EXPECT_FALSE(writePng("/tmp/never.png", 2, 2, std::vector<std::uint8_t>(15), error));
    EXPECT_NE(error.find("16"), std::string::npos) << error;
    EXPECT_FALSE(writePng("/tmp/never.png", 0, 2, {}, error));
    EXPECT_FALSE(writePng("/nonexistent-dir/x.png", 1, 1, std::vector<std::uint8_t>(4), error));
    EXPECT_FALSE(error.empty());

    const auto path = scratchPath("png_test.png");
    std::vector<std::uint8_t> rgba(3 * 2 * 4, 200);
    ASSERT_TRUE(writePng(path.string(), 3, 2, rgba, error)) << error;
    EXPECT_GT(std::filesystem::file_size(path), 8u);
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    ASSERT_NE(file, nullptr);
    unsigned char signature[8] = {};
    EXPECT_EQ(std::fread(signature, 1, 8, file), 8u);
    std::fclose(file);
    EXPECT_EQ(signature[1], 'P');
    EXPECT_EQ(signature[2], 'N');
    std::filesystem::remove(path);
}

TEST(HeadlessContext, RefusesSizesOutsideTheLimits) {
    std::string error;
    EXPECT_EQ(HeadlessContext::create(0, 10, error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(HeadlessContext::create(10, 100000, error), nullptr);
}

// Runs "vantrell render ARGUMENTS"; returns its exit status (-1 if it did not exit normally)
// and what it printed on both streams.
int runVantrell(const std::string& arguments, std::string& output, const std::string& environment = "") {
    const testing::ScratchFolder scratch("vantrell-render");
    const testing::CommandRun run = testing::runVantrell("render " + arguments, scratch, "", environment);
    output = run.out + run.err;
    return run.status;
}

// Width and height from a PNG file's header chunk; 0 x 0 when it is no PNG.
std::pair<std::uint32_t, std::uint32_t> pngSize(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[24] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    if (!in || header[1] != 'P' || header[12] != 'I' || header[13] != 'H') return {0, 0};
    const auto word = [&](int at) {
        return (std::uint32_t{header[at]} << 24) | (std::uint32_t{header[at + 1]} << 16) |
               (std::uint32_t{header[at + 2]} << 8) | std::uint32_t{header[at + 3]};
    };
    return {word(16), word(20)};
}

TEST(RenderCommand, WritesOneFrameOfTheRequestedSize) {
    const auto out = scratchPath("render_command.png");
    std::filesystem::remove(out);
    std::string output;
    const int status = runVantrell(std::string(VANTRELL_SOURCE_DIR "/examples/two-rooms.bsp -o ") + out.string() +
                                       " --size 64x48 --eye 0,1,0 --forward 1,0,0 --settle 5",
                                   output);
    if (status == 1 && output.find("cannot render without a display") != std::string::npos)
        GTEST_SKIP() << "no headless OpenGL here: " << output;
    ASSERT_EQ(status, 0) << output;
    EXPECT_EQ(pngSize(out), (std::pair<std::uint32_t, std::uint32_t>{64, 48}));
    std::filesystem::remove(out);
}

TEST(RenderCommand, RefusesBadArgumentsAndLevelsWithoutWriting) {
    const auto out = scratchPath("render_refused.png");
    std::filesystem::remove(out);
    const std::string level = VANTRELL_SOURCE_DIR "/examples/two-rooms.bsp";
    std::string output;
    EXPECT_EQ(runVantrell(level + " -o " + out.string() + " --size 0x10", output), 2) << output;
    EXPECT_EQ(runVantrell(level + " -o " + out.string() + " --size 12", output), 2) << output;
    EXPECT_EQ(runVantrell(level + " -o " + out.string() + " --forward 0,0,0", output), 2) << output;
    EXPECT_EQ(runVantrell(level + " -o " + out.string() + " --eye 0,nan,0", output), 2) << output;
    EXPECT_NE(runVantrell(level + " -o " + out.string() + " --eye 0,1,0 --position 0,0,0", output), 0);
    EXPECT_EQ(runVantrell(level + " -o " + out.string() + " --shading phong", output), 2) << output;
    EXPECT_NE(runVantrell(level + " -o " + out.string() + " --fov 0", output), 0) << output;
    EXPECT_NE(runVantrell(level + " -o " + out.string() + " --fov 180", output), 0) << output;
    EXPECT_EQ(runVantrell("/nonexistent.bsp -o " + out.string(), output), 1) << output;
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(RenderCommand, WritesOnlyPngAndNeverOverAFileUnlessForced) {
    const testing::ScratchFolder scratch("vantrell-render-output");
    const std::string level = VANTRELL_SOURCE_DIR "/examples/two-rooms.bsp";
    std::string output;
    for (const char* name : {"x.jpg", "x", ".png", "x.png.txt"}) {
        EXPECT_EQ(runVantrell(level + " -o " + scratch.file(name), output), 2) << name << output;
        EXPECT_NE(output.find("vantrell: render: -o "), std::string::npos) << output;
        EXPECT_FALSE(std::filesystem::exists(scratch.file(name))) << name;
    }
    const std::string existing = scratch.write("old.png", "old");
    EXPECT_EQ(runVantrell(level + " -o " + existing, output), 1);
    EXPECT_NE(output.find("old.png exists (--force replaces it)"), std::string::npos) << output;
    // The level itself, under a PNG name, even with --force.
    const std::string copy = scratch.file("level.bsp");
    std::filesystem::copy_file(level, copy);
    std::filesystem::create_symlink(copy, scratch.file("level.PNG"));
    EXPECT_EQ(runVantrell(copy + " -o " + scratch.file("level.PNG") + " --force", output), 1);
    EXPECT_NE(output.find("is the input file"), std::string::npos) << output;

    const int forced = runVantrell(level + " -o " + existing + " --force --size 8x8", output);
    if (forced == 1 && output.find("cannot render without a display") != std::string::npos)
        GTEST_SKIP() << "no headless OpenGL here: " << output;
    EXPECT_EQ(forced, 0) << output;
    EXPECT_EQ(pngSize(existing), (std::pair<std::uint32_t, std::uint32_t>{8, 8}));
}

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(RenderCommand, EveryModeRendersAndSettlingMovesTheDrawnBody) {
    // The crossroads lists 3 of its 9 spaces from the start.
    const std::string level = VANTRELL_SOURCE_DIR "/examples/crossroads.bsp";
    const std::vector<std::string> variants{"",
                                            "--shading vertex",
                                            "--shading pixel",
                                            "--shading flat",
                                            "--wireframe",
                                            "--all-spaces",
                                            "--info",
                                            "--fov-degrees 70",
                                            "--position 0,1.5,0",
                                            "--position 0,1.5,0 --settle 300"};
    std::vector<std::string> pictures;
    for (const std::string& variant : variants) {
        const auto out = scratchPath("render_mode.png");
        std::string output;
        const int status = runVantrell(level + " -o " + out.string() + " --size 200x150 " + variant, output);
        if (status == 1 && output.find("cannot render without a display") != std::string::npos)
            GTEST_SKIP() << "no headless OpenGL here: " << output;
        ASSERT_EQ(status, 0) << variant << ": " << output;
        pictures.push_back(fileBytes(out));
        std::filesystem::remove(out);
    }
    // Compared as truth values: the files are too long to print.
    EXPECT_TRUE(pictures[1] == pictures[0]) << "vertex is the default";
    for (std::size_t k = 2; k < 8; ++k) EXPECT_FALSE(pictures[k] == pictures[0]) << variants[k];
    // The steps of --settle move the body the frame is drawn from: it falls to the floor.
    EXPECT_FALSE(pictures[9] == pictures[8]);
}

TEST(RenderCommand, ReportsAMissingDisplayInsteadOfCrashing) {
    // No EGL vendor library can be found: the command must say so and fail cleanly.
    const auto out = scratchPath("render_nodisplay.png");
    std::string output;
    const int status = runVantrell(std::string(VANTRELL_SOURCE_DIR "/examples/two-rooms.bsp -o ") + out.string(),
                                   output, "env __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json");
    EXPECT_EQ(status, 1) << output;
    EXPECT_NE(output.find("vantrell: render: cannot render without a display"), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace vantrell
