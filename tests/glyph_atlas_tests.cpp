// The overlay's glyph atlas and text layout, without GL: packing the printable ASCII glyphs
// of the installed font, the layout of text as quads, and a font that cannot be read.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "play/GlyphAtlas.h"

namespace vantrell {
namespace {

// fontconfig keeps the configuration it loads on first use for the life of the process;
// freeing it at the end keeps the sanitizer build's leak check about this program's memory.
class FontconfigRelease : public testing::Environment {
public:
    void TearDown() override { FcFini(); }
};
const testing::Environment* const fontconfigRelease = testing::AddGlobalTestEnvironment(new FontconfigRelease);

struct Rect {
    int x0, y0, x1, y1;  // x1, y1 exclusive
};

Rect rectOf(const Glyph& g) {
    return {g.atlasX, g.atlasY, g.atlasX + g.width, g.atlasY + g.height};
}

bool overlap(const Rect& a, const Rect& b) {
    return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

std::uint8_t texel(const GlyphAtlas& atlas, int x, int y, int channel) {
    return atlas.texels[static_cast<std::size_t>((y * GlyphAtlas::width + x) * 2 + channel)];
}

// The sizes in use: the info panel's smallest, the overlay's, the info panel's largest.
class GlyphAtlasSizes : public testing::TestWithParam<int> {};

TEST_P(GlyphAtlasSizes, PacksEveryPrintableGlyphWithoutOverlap) {
    GlyphAtlas atlas;
    std::string error;
    ASSERT_TRUE(buildGlyphAtlas(atlas, GetParam(), error)) << error << " (fonts-liberation is a dependency)";
    EXPECT_GT(atlas.ascender, 0);
    EXPECT_GE(atlas.lineHeight, atlas.ascender);
    ASSERT_GT(atlas.height, 0);
    ASSERT_EQ(atlas.texels.size(), static_cast<std::size_t>(GlyphAtlas::width * atlas.height * 2));

    std::vector<Rect> placed;
    std::vector<std::uint8_t> covered(static_cast<std::size_t>(GlyphAtlas::width * atlas.height), 0);
    for (char c = GlyphAtlas::firstGlyph; c <= GlyphAtlas::lastGlyph; ++c) {
        const Glyph* glyph = atlas.glyph(c);
        ASSERT_NE(glyph, nullptr);
        EXPECT_GT(glyph->advance, 0) << "'" << c << "'";
        if (c == ' ') {
            EXPECT_EQ(glyph->width, 0) << "the space has nothing to draw";
            continue;
        }
        ASSERT_GT(glyph->width, 2 * GlyphAtlas::outlineWidth) << "'" << c << "' has no bitmap";
        ASSERT_GT(glyph->height, 2 * GlyphAtlas::outlineWidth) << "'" << c << "' has no bitmap";
        const Rect r = rectOf(*glyph);
        ASSERT_GE(r.x0, 0);
        ASSERT_GE(r.y0, 0);
        ASSERT_LE(r.x1, GlyphAtlas::width) << "'" << c << "'";
        ASSERT_LE(r.y1, atlas.height) << "'" << c << "'";
        for (const Rect& other : placed) EXPECT_FALSE(overlap(r, other)) << "'" << c << "' overlaps another glyph";
        placed.push_back(r);

        // The outline ring holds no coverage of its own; the outline channel covers the
        // glyph; something is drawn.
        int inked = 0;
        for (int y = r.y0; y < r.y1; ++y) {
            for (int x = r.x0; x < r.x1; ++x) {
                covered[static_cast<std::size_t>(y * GlyphAtlas::width + x)] = 1;
                const bool ring = x == r.x0 || y == r.y0 || x == r.x1 - 1 || y == r.y1 - 1;
                if (ring) {
                    EXPECT_EQ(texel(atlas, x, y, 0), 0) << "'" << c << "' at " << x << "," << y;
                }
                EXPECT_GE(texel(atlas, x, y, 1), texel(atlas, x, y, 0));
                inked += texel(atlas, x, y, 0) > 0 ? 1 : 0;
            }
        }
        EXPECT_GT(inked, 0) << "'" << c << "'";
    }
    EXPECT_EQ(placed.size(), static_cast<std::size_t>(GlyphAtlas::glyphCount - 1));
    // Between and around the glyphs the atlas stays empty.
    for (int y = 0; y < atlas.height; ++y) {
        for (int x = 0; x < GlyphAtlas::width; ++x) {
            if (covered[static_cast<std::size_t>(y * GlyphAtlas::width + x)] != 0) continue;
            ASSERT_EQ(texel(atlas, x, y, 0), 0) << x << "," << y;
            ASSERT_EQ(texel(atlas, x, y, 1), 0) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(GlyphAtlas, GlyphAtlasSizes, testing::Values(11, 20, 96));

TEST(GlyphAtlas, FontThatCannotBeReadIsAClearError) {
    for (const std::string& file : {std::string("/nonexistent/overlay-font.ttf"),
                                    std::string(VANTRELL_SOURCE_DIR "/tests/glyph_atlas_tests.cpp")}) {
        GlyphAtlas atlas;
        std::string error;
        EXPECT_FALSE(buildGlyphAtlasFromFile(atlas, file, 0, 20, error));
        EXPECT_EQ(error, "FreeType cannot load " + file + " at 20 pixels");
        EXPECT_EQ(atlas.height, 0) << "a failed build leaves the atlas as it was";
        EXPECT_TRUE(atlas.texels.empty());
    }
}

// A hand-made atlas: 'A' and 'B' drawn, the space only advancing.
GlyphAtlas smallAtlas() {
    GlyphAtlas atlas;
    atlas.ascender = 15;
    atlas.lineHeight = 20;
    atlas.height = 64;
    Glyph& a = atlas.glyphs['A' - GlyphAtlas::firstGlyph];
    a = {.atlasX = 0, .atlasY = 0, .width = 8, .height = 12, .left = 1, .top = 11, .advance = 10};
    Glyph& b = atlas.glyphs['B' - GlyphAtlas::firstGlyph];
    b = {.atlasX = 128, .atlasY = 32, .width = 6, .height = 10, .left = -1, .top = 9, .advance = 7};
    atlas.glyphs[' ' - GlyphAtlas::firstGlyph].advance = 4;
    return atlas;
}

// The quad's corners: x0, y0, x1, y1 from its first and third vertices.
struct Quad {
    float x0, y0, x1, y1, u0, v0, u1, v1;
};

std::vector<Quad> quadsOf(const std::vector<float>& vertices) {
    std::vector<Quad> quads;
    for (std::size_t i = 0; i + 24 <= vertices.size(); i += 24) {
        quads.push_back({vertices[i], vertices[i + 1], vertices[i + 8], vertices[i + 9], vertices[i + 2],
                         vertices[i + 3], vertices[i + 10], vertices[i + 11]});
    }
    return quads;
}

TEST(TextLayout, AdvancesAlongALineAndWrapsAtNewlines) {
    const GlyphAtlas atlas = smallAtlas();
    std::vector<float> out;
    const float widest = appendText(atlas, "AB A\nB", 5.0f, 7.0f, 1000.0f, out);
    ASSERT_EQ(out.size(), 4u * 24u) << "the space draws nothing";
    const std::vector<Quad> q = quadsOf(out);
    // Baseline at top + ascender; the glyph's box hangs from its top above it.
    EXPECT_EQ(q[0].x0, 6.0f);
    EXPECT_EQ(q[0].y0, 11.0f);
    EXPECT_EQ(q[0].x1, 14.0f);
    EXPECT_EQ(q[0].y1, 23.0f);
    EXPECT_EQ(q[1].x0, 14.0f);  // pen 15, left -1
    EXPECT_EQ(q[1].y0, 13.0f);
    EXPECT_EQ(q[2].x0, 27.0f);  // pen 5 + 10 + 7 + 4, left 1
    // The second line starts back at the left, one line height down.
    EXPECT_EQ(q[3].x0, 4.0f);
    EXPECT_EQ(q[3].y0, 33.0f);
    EXPECT_EQ(widest, 31.0f);
    // Texture positions span the glyph's place in the atlas.
    EXPECT_EQ(q[1].u0, 128.0f / 512.0f);
    EXPECT_EQ(q[1].v0, 32.0f / 64.0f);
    EXPECT_EQ(q[1].u1, 134.0f / 512.0f);
    EXPECT_EQ(q[1].v1, 42.0f / 64.0f);
    // Both triangles of a quad share its diagonal, corners in the order the renderer draws.
    EXPECT_EQ((std::vector<float>(out.begin(), out.begin() + 24)),
              (std::vector<float>{6, 11, 0, 0, 14, 11, 8.0f / 512, 0,          14, 23, 8.0f / 512, 12.0f / 64,
                                  6, 11, 0, 0, 14, 23, 8.0f / 512, 12.0f / 64, 6,  23, 0,          12.0f / 64}));
}

TEST(TextLayout, WidestLineAndOneLineWidthAgree) {
    const GlyphAtlas atlas = smallAtlas();
    std::vector<float> out;
    EXPECT_EQ(appendText(atlas, "B\nAAA\nA", 0.0f, 0.0f, 1000.0f, out), 30.0f);
    EXPECT_EQ(textWidth(atlas, "AB A"), 31.0f);
    EXPECT_EQ(textWidth(atlas, "AB A"), appendText(atlas, "AB A", 0.0f, 0.0f, 1000.0f, out));
    EXPECT_EQ(textWidth(atlas, ""), 0.0f);
    EXPECT_EQ(appendText(atlas, "", 3.0f, 3.0f, 1000.0f, out), 0.0f);
}

TEST(TextLayout, LeavesOutGlyphsFromTheClipEdgeOn) {
    const GlyphAtlas atlas = smallAtlas();
    std::vector<float> out;
    // Pens at 0, 10, 20: the glyph whose pen is exactly at the edge is left out, but its
    // advance still counts, and the next line starts drawing again.
    const float widest = appendText(atlas, "AAA\nA", 0.0f, 0.0f, 20.0f, out);
    const std::vector<Quad> q = quadsOf(out);
    ASSERT_EQ(q.size(), 3u);
    EXPECT_EQ(q[0].x0, 1.0f);
    EXPECT_EQ(q[1].x0, 11.0f);
    EXPECT_EQ(q[2].y0, 24.0f);
    EXPECT_EQ(widest, 30.0f);
}

TEST(TextLayout, SkipsCharactersOutsideTheAtlas) {
    const GlyphAtlas atlas = smallAtlas();
    std::vector<float> out;
    const std::string text = std::string("A\tA") + static_cast<char>(0xC3) + static_cast<char>(0xA9) + '\x7f' + "A";
    EXPECT_EQ(appendText(atlas, text, 0.0f, 0.0f, 1000.0f, out), 30.0f);
    const std::vector<Quad> q = quadsOf(out);
    ASSERT_EQ(q.size(), 3u);
    EXPECT_EQ(q[1].x0, 11.0f);
    EXPECT_EQ(q[2].x0, 21.0f);
    EXPECT_EQ(textWidth(atlas, text), 30.0f);
    EXPECT_EQ(atlas.glyph('\n'), nullptr);
    EXPECT_EQ(atlas.glyph(static_cast<char>(0xC3)), nullptr);
}

// The overlay's three lines with the installed font: every line starts at the left edge and
// lines are one line height apart, whatever their glyphs.
TEST(TextLayout, OverlayLinesStackOneLineHeightApart) {
    GlyphAtlas atlas;
    std::string error;
    ASSERT_TRUE(buildGlyphAtlas(atlas, 20, error)) << error;
    std::vector<float> out;
    const float widest = appendText(atlas, "SPs: 12/34\nFPS: 59.9\nHeight: 1.7", 0.0f, 0.0f, 1000.0f, out);
    EXPECT_EQ(widest, std::max({textWidth(atlas, "SPs: 12/34"), textWidth(atlas, "FPS: 59.9"),
                                textWidth(atlas, "Height: 1.7")}));
    // The first glyph of each line: 'S', 'F', 'H', each at its own left bearing and top.
    const std::vector<Quad> q = quadsOf(out);
    const std::vector<std::size_t> firsts{0, 9, 17};  // lines of 10, 9 and 11 characters
    ASSERT_EQ(q.size(), 10u + 9u + 11u - 3u) << "the three spaces draw nothing";
    const char lineStarts[] = {'S', 'F', 'H'};
    for (std::size_t line = 0; line < 3; ++line) {
        const Glyph* glyph = atlas.glyph(lineStarts[line]);
        const Quad& first = q[firsts[line]];
        EXPECT_EQ(first.x0, static_cast<float>(glyph->left));
        EXPECT_EQ(first.y0,
                  static_cast<float>(atlas.ascender - glyph->top + static_cast<int>(line) * atlas.lineHeight));
    }
}

}  // namespace
}  // namespace vantrell
