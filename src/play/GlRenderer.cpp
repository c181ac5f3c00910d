// Contents:
//  - fonts and text: sizes, the overlay's box, the atlas as a texture, the level's programs,
//    the overlay's fixed text buffer
//  - GlRenderer: creation, vertex buffer, projection, frame, lines, overlay, info panel,
//    note, read-back
#include "play/GlRenderer.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <locale>
#include <ostream>
#include <streambuf>
#include <string_view>

#include "math/Matrix.h"
#include "play/GlShaders.h"
#include "play/GlyphAtlas.h"
#include "walk/Walkthrough.h"

namespace vantrell {

namespace {

// ---------------------------------------------------------------------------------------
// Fonts and text

constexpr int fontPixelHeight = 20;  // the overlay's three lines
// The info panel's text: panelBasePixels at 800 x 600, scaled with the drawing area (and so
// with the screen's pixel density), within these limits.
constexpr int panelBasePixels = 16;
constexpr int panelMinimumPixels = 11;
constexpr int panelMaximumPixels = 96;

// The overlay's box in framebuffer pixels: left, top, right, bottom.
constexpr int textLeft = 0;
constexpr int textTop = 0;
constexpr int textRight = 150;
constexpr int textBottom = 100;

// The atlas as a texture (coverage in red, outline in green); 0 when GL cannot make one.
GLuint uploadAtlas(GlyphAtlas& atlas) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RG8, GlyphAtlas::width, atlas.height, 0, GL_RG, GL_UNSIGNED_BYTE,
                 atlas.texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, 0);
    atlas.texels = {};
    return texture;
}

// The level's shader programs and the places of their uniforms.
struct LevelProgram {
    GLuint program = 0;
    GLint viewProjection = -1;
    GLint convertDepth = -1;
    GLint lightPosition = -1;
    GLint lightDirection = -1;
    GLint material = -1;

    bool link(const char* vertex, const char* fragment, const char* name, std::string& error) {
        program = linkProgram(vertex, fragment, name, error);
        if (program == 0) return false;
        viewProjection = glGetUniformLocation(program, "viewProjection");
        convertDepth = glGetUniformLocation(program, "convertDepth");
        lightPosition = glGetUniformLocation(program, "lightPosition");
        lightDirection = glGetUniformLocation(program, "lightDirection");
        material = glGetUniformLocation(program, "materialDiffuse");
        return true;
    }
    void release() {
        if (program != 0) glDeleteProgram(program);
        program = 0;
    }
};

// An output buffer of fixed size for the overlay text, so that formatting a frame's text
// allocates nothing. Text beyond its end is dropped (the stream goes bad until reset).
class FixedTextBuffer final : public std::streambuf {
public:
    FixedTextBuffer() { reset(); }
    void reset() { setp(storage.data(), storage.data() + storage.size()); }
    [[nodiscard]] std::string_view text() const { return {pbase(), static_cast<std::size_t>(pptr() - pbase())}; }

private:
    std::array<char, 256> storage{};
};

}  // namespace

// ---------------------------------------------------------------------------------------
// GlRenderer

struct GlRenderer::Impl {
    LevelProgram vertexLit;  // the walk-through's own picture
    LevelProgram pixelLit;
    LevelProgram flat;
    GLuint levelArray = 0;
    GLuint levelBuffer = 0;
    bool clipControl = false;  // depth 0..1 natively (GL 4.5 or ARB_clip_control)

    GLuint lineProgram = 0;
    GLint lineViewProjection = -1;
    GLint lineConvertDepth = -1;
    GLint lineOneColour = -1;
    GLint lineSolidColour = -1;
    GLuint lineArray = 0;
    GLuint lineBuffer = 0;
    std::size_t lineBufferFloats = 0;  // capacity of lineBuffer
    std::vector<float> lineVertices;   // x, y, z, r, g, b per vertex

    GLuint textProgram = 0;
    GLuint textArray = 0;
    GLuint textBuffer = 0;
    GLuint atlasTexture = 0;
    GLint framebufferSizeLocation = -1;
    std::size_t textBufferFloats = 0;  // capacity of textBuffer
    bool fontReady = false;
    GlyphAtlas atlas;

    GLuint boxProgram = 0;
    GLint boxFramebufferSize = -1;
    GLint boxFillColour = -1;
    // The panel's font, made at the size the drawing area asks for; remade when that changes.
    GlyphAtlas panelAtlas;
    GLuint panelTexture = 0;
    int panelPixels = 0;           // 0: not made yet
    bool panelFontFailed = false;  // do not retry a size that failed

    Matrix4 projection = perspectiveFovLH(Walkthrough::defaultFieldOfView, Walkthrough::defaultAspectRatio,
                                          GlRenderer::nearPlane, GlRenderer::farPlane);
    int framebufferWidth = 1;
    int framebufferHeight = 1;

    FixedTextBuffer textStorage;
    std::ostream textStream{&textStorage};
    std::vector<float> glyphVertices;  // x, y, u, v per vertex, six per glyph
    std::vector<float> boxVertices;    // the same layout, for boxes

    ~Impl() {
        if (panelTexture != 0) glDeleteTextures(1, &panelTexture);
        if (boxProgram != 0) glDeleteProgram(boxProgram);
        if (atlasTexture != 0) glDeleteTextures(1, &atlasTexture);
        if (textBuffer != 0) glDeleteBuffers(1, &textBuffer);
        if (textArray != 0) glDeleteVertexArrays(1, &textArray);
        if (textProgram != 0) glDeleteProgram(textProgram);
        if (lineBuffer != 0) glDeleteBuffers(1, &lineBuffer);
        if (lineArray != 0) glDeleteVertexArrays(1, &lineArray);
        if (lineProgram != 0) glDeleteProgram(lineProgram);
        if (levelBuffer != 0) glDeleteBuffers(1, &levelBuffer);
        if (levelArray != 0) glDeleteVertexArrays(1, &levelArray);
        flat.release();
        pixelLit.release();
        vertexLit.release();
    }

    [[nodiscard]] const LevelProgram& programFor(Shading shading) const {
        switch (shading) {
            case Shading::pixel:
                return pixelLit;
            case Shading::flat:
                return flat;
            case Shading::vertex:
                break;
        }
        return vertexLit;
    }
    void drawLines(const std::vector<LineSegment>& lines, const Matrix4& viewProjection);
    void drawOverlay(std::string_view text);
    // Uploads glyphVertices or boxVertices into the text buffer, growing it when needed.
    void uploadQuads(const std::vector<float>& vertices);
    void drawBoxes(const std::vector<float>& vertices, const Colour& colour, float alpha);
    void drawGlyphs(GLuint texture);
    bool ensurePanelFont();
    void drawPanel(const std::vector<PanelLine>& lines);
    void drawNote(std::string_view note);
};

std::unique_ptr<GlRenderer> GlRenderer::create(std::string& error) {
    if (!epoxy_is_desktop_gl() || epoxy_gl_version() < 33) {
        error = "OpenGL 3.3 or later is needed; the context offers " + std::to_string(epoxy_gl_version() / 10) + "." +
                std::to_string(epoxy_gl_version() % 10);
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    if (!impl->vertexLit.link(levelVertexShader, levelFragmentShader, "level", error)) return nullptr;
    if (!impl->pixelLit.link(pixelVertexShader, pixelFragmentShader, "per-pixel level", error)) return nullptr;
    if (!impl->flat.link(pixelVertexShader, flatFragmentShader, "flat level", error)) return nullptr;
    impl->lineProgram = linkProgram(lineVertexShader, lineFragmentShader, "line", error);
    if (impl->lineProgram == 0) return nullptr;
    impl->textProgram = linkProgram(textVertexShader, textFragmentShader, "overlay", error);
    if (impl->textProgram == 0) return nullptr;
    impl->boxProgram = linkProgram(textVertexShader, boxFragmentShader, "panel box", error);
    if (impl->boxProgram == 0) return nullptr;

    impl->lineViewProjection = glGetUniformLocation(impl->lineProgram, "viewProjection");
    impl->lineConvertDepth = glGetUniformLocation(impl->lineProgram, "convertDepth");
    impl->lineOneColour = glGetUniformLocation(impl->lineProgram, "oneColour");
    impl->lineSolidColour = glGetUniformLocation(impl->lineProgram, "solidColour");
    impl->framebufferSizeLocation = glGetUniformLocation(impl->textProgram, "framebufferSize");
    impl->boxFramebufferSize = glGetUniformLocation(impl->boxProgram, "framebufferSize");
    impl->boxFillColour = glGetUniformLocation(impl->boxProgram, "fillColour");

    impl->clipControl = epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_ARB_clip_control");
    if (impl->clipControl) glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);

    // The level's vertex layout: position then normal, 24 bytes.
    glGenVertexArrays(1, &impl->levelArray);
    glGenBuffers(1, &impl->levelBuffer);
    glBindVertexArray(impl->levelArray);
    glBindBuffer(GL_ARRAY_BUFFER, impl->levelBuffer);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 24, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 24, reinterpret_cast<const void*>(12));

    // Lines: position then colour, 24 bytes; the buffer grows with the first frames that need it.
    glGenVertexArrays(1, &impl->lineArray);
    glGenBuffers(1, &impl->lineBuffer);
    glBindVertexArray(impl->lineArray);
    glBindBuffer(GL_ARRAY_BUFFER, impl->lineBuffer);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 24, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 24, reinterpret_cast<const void*>(12));

    // Overlay glyph quads: pixel position then atlas position, 16 bytes. Room for 128
    // glyphs is far more than the three lines need, so the buffer never grows in practice.
    constexpr std::size_t initialGlyphs = 128;
    impl->textBufferFloats = initialGlyphs * 6 * 4;
    impl->glyphVertices.reserve(impl->textBufferFloats);
    glGenVertexArrays(1, &impl->textArray);
    glGenBuffers(1, &impl->textBuffer);
    glBindVertexArray(impl->textArray);
    glBindBuffer(GL_ARRAY_BUFFER, impl->textBuffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(impl->textBufferFloats * sizeof(float)), nullptr,
                 GL_DYNAMIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<const void*>(8));
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    impl->textStream.imbue(std::locale::classic());

    std::string fontError;
    if (buildGlyphAtlas(impl->atlas, fontPixelHeight, fontError)) {
        impl->atlasTexture = uploadAtlas(impl->atlas);
        impl->fontReady = true;
    } else {
        std::fprintf(stderr, "vantrell: no overlay text: %s\n", fontError.c_str());
    }
    return std::unique_ptr<GlRenderer>(new GlRenderer(std::move(impl)));
}

GlRenderer::GlRenderer(std::unique_ptr<Impl> impl) : impl(std::move(impl)) {}

GlRenderer::~GlRenderer() = default;

bool GlRenderer::hasFont() const {
    return impl->fontReady;
}

void GlRenderer::buildVertexBuffer(const LevelGeometry& levelGeometry, const SpacePartition& spacePartition) {
    const std::size_t spaceCount = spacePartition.spaces.size();
    firstVertexOfSpace_.assign(spaceCount, 0);
    vertexCountOfSpace_.assign(spaceCount, 0);

    // Sized by the listed entries, not by the level's triangle count, so that a triangle
    // listed in two spaces still fits. glDrawArrays counts in GLint, hence the cap.
    constexpr std::uint64_t maximumVertices = std::numeric_limits<GLint>::max();
    std::uint64_t listed = 0;
    for (const Space& space : spacePartition.spaces) listed += space.triangleIndices.size();
    const std::uint64_t reserved = std::min<std::uint64_t>(listed * 3, maximumVertices);
    std::vector<float> data;
    data.reserve(static_cast<std::size_t>(reserved) * 6);

    const auto inRange = [](std::int32_t index, std::size_t size) {
        return index >= 0 && static_cast<std::size_t>(index) < size;
    };
    std::uint64_t written = 0;
    for (std::size_t s = 0; s < spaceCount; ++s) {
        firstVertexOfSpace_[s] = static_cast<std::int32_t>(written);
        for (const std::int32_t t : spacePartition.spaces[s].triangleIndices) {
            if (!inRange(t, levelGeometry.triangles.size()) || written + 3 > maximumVertices) continue;
            const Triangle& triangle = levelGeometry.triangles[static_cast<std::size_t>(t)];
            bool usable = true;
            for (int k = 0; k < 3; ++k) {
                usable = usable &&
                         inRange(triangle.vertexIndex[static_cast<std::size_t>(k)], levelGeometry.vertices.size()) &&
                         inRange(triangle.normalIndex[static_cast<std::size_t>(k)], levelGeometry.normals.size());
            }
            if (!usable) continue;
            for (int k = 0; k < 3; ++k) {
                const Vector3& p = levelGeometry.vertex(triangle.vertexIndex[static_cast<std::size_t>(k)]);
                const Vector3& n = levelGeometry.normal(triangle.normalIndex[static_cast<std::size_t>(k)]);
                data.insert(data.end(), {p.x, p.y, p.z, n.x, n.y, n.z});
            }
            written += 3;
        }
        vertexCountOfSpace_[s] =
            static_cast<std::int32_t>(written - static_cast<std::uint64_t>(firstVertexOfSpace_[s]));
    }
    vertexCount_ = static_cast<std::size_t>(written);

    glBindBuffer(GL_ARRAY_BUFFER, impl->levelBuffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(data.size() * sizeof(float)),
                 data.empty() ? nullptr : data.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    frameLists.spaces.reserve(spaceCount);
}

void GlRenderer::applyProjection(float fieldOfView, float aspectRatio) {
    impl->projection = perspectiveFovLH(fieldOfView, aspectRatio, nearPlane, farPlane);
}

void GlRenderer::setViewport(int framebufferWidth, int framebufferHeight) {
    impl->framebufferWidth = std::max(framebufferWidth, 1);
    impl->framebufferHeight = std::max(framebufferHeight, 1);
    glViewport(0, 0, impl->framebufferWidth, impl->framebufferHeight);
}

std::size_t GlRenderer::renderFrame(Walkthrough& walkthrough, FrameStatistics& statistics, std::uint32_t nowMs) {
    plainView.buildFrame(walkthrough, frameLists);
    drawFrame(walkthrough, frameLists, statistics, nowMs);
    return frameLists.listedCount;
}

void GlRenderer::renderSpaces(Walkthrough& walkthrough, FrameStatistics& statistics, std::uint32_t nowMs,
                              std::span<const std::uint32_t> spaces) {
    frameLists.clear();
    listSpacesInPlaceColours(spaces, frameLists);
    frameLists.listedCount = static_cast<std::uint32_t>(spaces.size());
    drawFrame(walkthrough, frameLists, statistics, nowMs);
}

void GlRenderer::drawFrame(const Walkthrough& walkthrough, const FrameLists& lists, FrameStatistics& statistics,
                           std::uint32_t nowMs, const FrameOverlays& overlays) {
    const Camera& camera = walkthrough.camera();
    const Vector3 eye = walkthrough.eyePoint();
    const Matrix4 view = lookAtLH(eye, eye + camera.forward(), camera.up());
    const Matrix4 viewProjection = multiply(view, impl->projection);

    glViewport(0, 0, impl->framebufferWidth, impl->framebufferHeight);
    glDisable(GL_SCISSOR_TEST);
    glDepthMask(GL_TRUE);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    statistics.countFrame(nowMs);
    impl->textStorage.reset();
    impl->textStream.clear();
    writeStatistics(impl->textStream, lists.listedCount, walkthrough.spacePartition().spaceCount(),
                    statistics.framesPerSecond, eye.y);

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_BLEND);
    // Fronts run clockwise on screen; the others are culled.
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);

    const LevelProgram& program = impl->programFor(lists.shading);
    glUseProgram(program.program);
    // Row-vector matrices uploaded as they are read as their transposes by GL, which is
    // exactly the column-vector form the shader multiplies with.
    glUniformMatrix4fv(program.viewProjection, 1, GL_FALSE, viewProjection.m.data());
    glUniform1i(program.convertDepth, impl->clipControl ? 0 : 1);
    glUniform3f(program.lightPosition, eye.x, eye.y, eye.z);
    const Vector3& forward = camera.forward();
    glUniform3f(program.lightDirection, forward.x, forward.y, forward.z);
    glBindVertexArray(impl->levelArray);

    // Edges drawn over the faces must win the depth test against their own face.
    if (lists.wireframe) {
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(1.0f, 1.0f);
    }
    const std::size_t spaceCount = firstVertexOfSpace_.size();
    const auto drawSpace = [&](std::uint32_t s) {
        if (s < spaceCount && vertexCountOfSpace_[s] > 0)
            glDrawArrays(GL_TRIANGLES, firstVertexOfSpace_[s], vertexCountOfSpace_[s]);
    };
    for (const DrawnSpace& drawn : lists.spaces) {
        glUniform4f(program.material, drawn.colour.r, drawn.colour.g, drawn.colour.b, 1.0f);
        drawSpace(drawn.space);
    }
    if (lists.wireframe) {
        glDisable(GL_POLYGON_OFFSET_FILL);
        glUseProgram(impl->lineProgram);
        glUniformMatrix4fv(impl->lineViewProjection, 1, GL_FALSE, viewProjection.m.data());
        glUniform1i(impl->lineConvertDepth, impl->clipControl ? 0 : 1);
        glUniform1i(impl->lineOneColour, 1);
        glUniform3f(impl->lineSolidColour, edgeColour.r, edgeColour.g, edgeColour.b);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        for (const DrawnSpace& drawn : lists.spaces) drawSpace(drawn.space);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
    glBindVertexArray(0);

    if (!lists.lines.empty()) impl->drawLines(lists.lines, viewProjection);
    if (impl->fontReady) impl->drawOverlay(impl->textStorage.text());
    if (overlays.panel != nullptr && !overlays.panel->empty()) impl->drawPanel(*overlays.panel);
    if (!overlays.note.empty()) impl->drawNote(overlays.note);
    glUseProgram(0);
}

void GlRenderer::Impl::drawLines(const std::vector<LineSegment>& lines, const Matrix4& viewProjection) {
    lineVertices.clear();
    for (const LineSegment& l : lines) {
        lineVertices.insert(lineVertices.end(), {l.from.x, l.from.y, l.from.z, l.colour.r, l.colour.g, l.colour.b,
                                                 l.to.x, l.to.y, l.to.z, l.colour.r, l.colour.g, l.colour.b});
    }
    glBindBuffer(GL_ARRAY_BUFFER, lineBuffer);
    if (lineVertices.size() > lineBufferFloats) {
        lineBufferFloats = lineVertices.capacity();
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(lineBufferFloats * sizeof(float)), nullptr,
                     GL_DYNAMIC_DRAW);
    }
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(lineVertices.size() * sizeof(float)),
                    lineVertices.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    // Seen through the level: boxes lie on its walls and the frozen volume is looked at from
    // outside, where walls would hide most of either.
    glDisable(GL_DEPTH_TEST);
    glUseProgram(lineProgram);
    glUniformMatrix4fv(lineViewProjection, 1, GL_FALSE, viewProjection.m.data());
    glUniform1i(lineConvertDepth, clipControl ? 0 : 1);
    glUniform1i(lineOneColour, 0);
    glBindVertexArray(lineArray);
    glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(lineVertices.size() / 6));
    glBindVertexArray(0);
    glEnable(GL_DEPTH_TEST);
}

void GlRenderer::Impl::uploadQuads(const std::vector<float>& vertices) {
    glBindBuffer(GL_ARRAY_BUFFER, textBuffer);
    if (vertices.size() > textBufferFloats) {
        textBufferFloats = vertices.capacity();
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(textBufferFloats * sizeof(float)), nullptr,
                     GL_DYNAMIC_DRAW);
    }
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(vertices.size() * sizeof(float)), vertices.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void GlRenderer::Impl::drawGlyphs(GLuint texture) {
    if (glyphVertices.empty()) return;
    uploadQuads(glyphVertices);
    glUseProgram(textProgram);
    glUniform2f(framebufferSizeLocation, static_cast<float>(framebufferWidth), static_cast<float>(framebufferHeight));
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBindVertexArray(textArray);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(glyphVertices.size() / 4));
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void GlRenderer::Impl::drawOverlay(std::string_view text) {
    glyphVertices.clear();
    appendText(atlas, text, static_cast<float>(textLeft), static_cast<float>(textTop), static_cast<float>(textRight),
               glyphVertices);
    if (glyphVertices.empty()) return;

    // Drawn last and without depth so the level never covers it; clipped to its box
    // (GL's scissor counts rows from the bottom).
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_SCISSOR_TEST);
    glScissor(textLeft, framebufferHeight - textBottom, textRight - textLeft, textBottom - textTop);
    drawGlyphs(atlasTexture);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
}

void GlRenderer::Impl::drawBoxes(const std::vector<float>& vertices, const Colour& colour, float alpha) {
    if (vertices.empty()) return;
    uploadQuads(vertices);
    glUseProgram(boxProgram);
    glUniform2f(boxFramebufferSize, static_cast<float>(framebufferWidth), static_cast<float>(framebufferHeight));
    glUniform4f(boxFillColour, colour.r * alpha, colour.g * alpha, colour.b * alpha, alpha);
    glBindVertexArray(textArray);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertices.size() / 4));
    glBindVertexArray(0);
}

bool GlRenderer::Impl::ensurePanelFont() {
    const float scale =
        std::min(static_cast<float>(framebufferWidth) / 800.0f, static_cast<float>(framebufferHeight) / 600.0f);
    const int pixels = std::clamp(static_cast<int>(std::lround(static_cast<float>(panelBasePixels) * scale)),
                                  panelMinimumPixels, panelMaximumPixels);
    if (pixels == panelPixels) return panelTexture != 0;
    panelPixels = pixels;
    if (panelTexture != 0) glDeleteTextures(1, &panelTexture);
    panelTexture = 0;
    std::string error;
    panelAtlas = GlyphAtlas{};
    if (!buildGlyphAtlas(panelAtlas, pixels, error)) {
        if (!panelFontFailed) std::fprintf(stderr, "vantrell: no info panel text: %s\n", error.c_str());
        panelFontFailed = true;
        return false;
    }
    panelTexture = uploadAtlas(panelAtlas);
    return panelTexture != 0;
}

void GlRenderer::Impl::drawPanel(const std::vector<PanelLine>& lines) {
    if (!ensurePanelFont()) return;
    const float size = static_cast<float>(panelPixels);
    const float lineHeight = static_cast<float>(panelAtlas.lineHeight);
    const float padding = std::round(size * 0.5f);
    const float margin = std::round(size * 0.75f);
    const float swatch = std::round(static_cast<float>(panelAtlas.ascender) * 0.8f);
    const float swatchColumn = swatch + padding;
    float width = 0.0f;
    for (const PanelLine& line : lines) {
        width = std::max(width, textWidth(panelAtlas, line.text) + (line.hasSwatch ? swatchColumn : 0.0f));
    }
    width += 2.0f * padding;
    const float height = lineHeight * static_cast<float>(lines.size()) + 2.0f * padding;
    const float right = static_cast<float>(framebufferWidth) - margin;
    const float left = std::max(0.0f, right - width);
    const float top = margin;

    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    boxVertices.clear();
    appendBox(left, top, left + width, top + height, boxVertices);
    drawBoxes(boxVertices, {0.0f, 0.0f, 0.0f}, 0.7f);

    glyphVertices.clear();
    float y = top + padding;
    for (const PanelLine& line : lines) {
        float x = left + padding;
        if (line.hasSwatch) {
            boxVertices.clear();
            const float swatchTop = y + (static_cast<float>(panelAtlas.ascender) - swatch) * 0.5f;
            appendBox(x, swatchTop, x + swatch, swatchTop + swatch, boxVertices);
            drawBoxes(boxVertices, line.swatch, 1.0f);
            x += swatchColumn;
        }
        appendText(panelAtlas, line.text, x, y, left + width, glyphVertices);
        y += lineHeight;
    }
    drawGlyphs(panelTexture);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
}

void GlRenderer::Impl::drawNote(std::string_view note) {
    if (!ensurePanelFont()) return;
    const float size = static_cast<float>(panelPixels);
    const float padding = std::round(size * 0.4f);
    const float margin = std::round(size * 0.75f);
    const float width = textWidth(panelAtlas, note) + 2.0f * padding;
    const float height = static_cast<float>(panelAtlas.lineHeight) + 2.0f * padding;
    const float left = margin;
    const float top = std::max(0.0f, static_cast<float>(framebufferHeight) - margin - height);

    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    boxVertices.clear();
    appendBox(left, top, left + width, top + height, boxVertices);
    drawBoxes(boxVertices, {0.0f, 0.0f, 0.0f}, 0.7f);
    glyphVertices.clear();
    appendText(panelAtlas, note, left + padding, top + padding, left + width, glyphVertices);
    drawGlyphs(panelTexture);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
}

std::vector<std::uint8_t> GlRenderer::readPixels(int width, int height) const {
    std::vector<std::uint8_t> pixels;
    if (width <= 0 || height <= 0) return pixels;
    const auto rowBytes = static_cast<std::size_t>(width) * 4;
    pixels.resize(rowBytes * static_cast<std::size_t>(height));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    // GL's rows run bottom to top; a picture file's top to bottom.
    std::vector<std::uint8_t> row(rowBytes);
    for (std::size_t top = 0, bottom = static_cast<std::size_t>(height) - 1; top < bottom; ++top, --bottom) {
        std::copy_n(pixels.begin() + static_cast<std::ptrdiff_t>(top * rowBytes), rowBytes, row.begin());
        std::copy_n(pixels.begin() + static_cast<std::ptrdiff_t>(bottom * rowBytes), rowBytes,
                    pixels.begin() + static_cast<std::ptrdiff_t>(top * rowBytes));
        std::copy_n(row.begin(), rowBytes, pixels.begin() + static_cast<std::ptrdiff_t>(bottom * rowBytes));
    }
    return pixels;
}

}  // namespace vantrell
