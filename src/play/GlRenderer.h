// The walk-through's renderer on OpenGL 3.3 core: the level's triangles in one static
// vertex buffer, one draw per visible space in its list-place colour, lit per vertex by a
// spot light at the eye, and the statistics overlay drawn over the level. It also draws
// what the viewer's modes decide (WalkthroughView.h): other shadings, triangle edges,
// lines, the info panel and a note; it never decides what to draw itself.
//
// The picture matches the left-handed, row-vector view and projection of VectorMath.h
// with depth 0..1: +z world lies to the viewer's left when looking along +x with y up.
// Triangles whose corners run clockwise on screen are fronts; the others are culled.
//
// Needs a current context of at least 3.3 core for its whole life, from create() to
// destruction; every GL object it made is deleted by its destructor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "level/LevelGeometry.h"
#include "level/SpacePartition.h"
#include "walk/InfoPanel.h"
#include "walk/Statistics.h"
#include "walk/WalkthroughView.h"

namespace vantrell {

class Walkthrough;

// What a frame draws over the level besides the overlay's three lines.
struct FrameOverlays {
    const std::vector<PanelLine>* panel = nullptr;  // the info panel at the top right, or none
    std::string_view note;                          // a short note at the bottom left, or none
};

class GlRenderer {
public:
    static constexpr float nearPlane = 0.01f;
    static constexpr float farPlane = 100.0f;

    // nullptr and a message in error when the context is below 3.3 or a shader fails to
    // compile or link (the log goes into error). A missing font is not an error: frames
    // are then drawn without text and the reason is logged once to standard error.
    [[nodiscard]] static std::unique_ptr<GlRenderer> create(std::string& error);

    ~GlRenderer();
    GlRenderer(const GlRenderer&) = delete;
    GlRenderer& operator=(const GlRenderer&) = delete;

    // Uploads every space's triangles, spaces in index order, three vertices per listed
    // triangle entry (a triangle listed twice is stored twice). Triangles with an index
    // outside the level's arrays are left out. Replaces any earlier buffer.
    void buildVertexBuffer(const LevelGeometry& levelGeometry, const SpacePartition& spacePartition);
    // The projection for a vertical field of view (radians) and width / height.
    void applyProjection(float fieldOfView, float aspectRatio);
    // The drawing area in framebuffer pixels; the overlay's box is measured in them.
    void setViewport(int framebufferWidth, int framebufferHeight);

    // One frame as the walk-through draws it with every mode off: view from the camera,
    // white clear, the visible spaces, the overlay; counts the frame in statistics at nowMs.
    // Returns the visible-space count. Allocates nothing once the first frames have sized
    // its buffers.
    std::size_t renderFrame(Walkthrough& walkthrough, FrameStatistics& statistics, std::uint32_t nowMs);
    // The same frame drawing the given spaces instead of searching (benchmarks and tests);
    // indices outside the level are skipped but keep their colour place.
    void renderSpaces(Walkthrough& walkthrough, FrameStatistics& statistics, std::uint32_t nowMs,
                      std::span<const std::uint32_t> spaces);

    // One frame of the given lists: the white clear, the spaces in their colours with the
    // lists' shading (and edges), the lines, the overlay with lists.listedCount, then the
    // info panel and the note (text scaled with the drawing area). Counts the frame.
    void drawFrame(const Walkthrough& walkthrough, const FrameLists& lists, FrameStatistics& statistics,
                   std::uint32_t nowMs, const FrameOverlays& overlays = {});

    // RGBA rows top to bottom of the current read framebuffer's lower-left width x height.
    [[nodiscard]] std::vector<std::uint8_t> readPixels(int width, int height) const;

    // True when the overlay font was found and its glyphs made.
    [[nodiscard]] bool hasFont() const;
    // The vertex count of the buffer and where each space starts in it.
    [[nodiscard]] std::size_t vertexCount() const { return vertexCount_; }
    [[nodiscard]] const std::vector<std::int32_t>& firstVertexOfSpace() const { return firstVertexOfSpace_; }

private:
    struct Impl;
    explicit GlRenderer(std::unique_ptr<Impl> impl);

    std::unique_ptr<Impl> impl;
    std::vector<std::int32_t> firstVertexOfSpace_;
    std::vector<std::int32_t> vertexCountOfSpace_;
    WalkthroughView plainView;  // every mode off, for renderFrame
    FrameLists frameLists;
    std::size_t vertexCount_ = 0;
};

}  // namespace vantrell
