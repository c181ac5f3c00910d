// The printable ASCII glyphs of one face at one pixel size, rasterised with FreeType into a
// single two-channel bitmap, and the layout of text set with them as screen-space quads.
// Needs no GL: the renderer uploads texels as a texture and draws the quads.
//
// Pixel positions are framebuffer pixels with the origin at the top left, y down.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrell {

struct Glyph {
    // The padded bitmap (outline included) in the atlas, in pixels; width 0 for a glyph
    // that only advances the pen (the space).
    int atlasX = 0;
    int atlasY = 0;
    int width = 0;
    int height = 0;
    int left = 0;  // from the pen to the padded bitmap's left edge
    int top = 0;   // from the baseline up to the padded bitmap's top edge
    int advance = 0;
};

struct GlyphAtlas {
    static constexpr char firstGlyph = ' ';
    static constexpr char lastGlyph = '~';
    static constexpr int glyphCount = lastGlyph - firstGlyph + 1;
    static constexpr int width = 512;       // texels per row; rows grow with the size
    static constexpr int outlineWidth = 1;  // pixels of dark outline around every glyph

    std::array<Glyph, glyphCount> glyphs{};  // glyphs[c - firstGlyph]
    int ascender = 0;                        // pixels from a line's top to its baseline
    int lineHeight = 0;                      // pixels from one baseline to the next
    int height = 0;                          // rows of texels
    // Pairs per texel, rows top to bottom, width x height: the glyph's coverage (0..255),
    // then that coverage grown by one pixel in every direction (the outline). Glyphs are
    // packed in shelves with one empty texel between neighbours; everything else is 0.
    std::vector<std::uint8_t> texels;

    [[nodiscard]] const Glyph* glyph(char c) const {
        if (c < firstGlyph || c > lastGlyph) return nullptr;
        return &glyphs[static_cast<std::size_t>(c - firstGlyph)];
    }
};

// Rasterises the printable ASCII glyphs of the face fontconfig picks for "Arial" at
// pixelHeight (above 0) into atlas. False with a sentence in error when there is no font or
// FreeType cannot read it; atlas is then left as it was.
[[nodiscard]] bool buildGlyphAtlas(GlyphAtlas& atlas, int pixelHeight, std::string& error);
// The same from a font file and the face's index in it.
[[nodiscard]] bool buildGlyphAtlasFromFile(GlyphAtlas& atlas, const std::string& fontFile, int faceIndex,
                                           int pixelHeight, std::string& error);

// Appends the glyph quads of text set from (left, top): a new line at each '\n' one line
// height down, characters outside the atlas skipped without advancing, and a glyph whose
// pen position is at or right of clipRight left out (its advance still counts). Each quad is
// two triangles, six vertices of x, y, u, v (u, v in 0..1 across the atlas). Returns the
// widest line's advance in pixels.
float appendText(const GlyphAtlas& atlas, std::string_view text, float left, float top, float clipRight,
                 std::vector<float>& out);
// The advance of text set on one line, in pixels ('\n' and other characters outside the
// atlas add nothing).
[[nodiscard]] float textWidth(const GlyphAtlas& atlas, std::string_view text);
// Appends a filled rectangle from (x0, y0) to (x1, y1) in the quads' layout, atlas position 0.
void appendBox(float x0, float y0, float x1, float y1, std::vector<float>& out);

}  // namespace vantrell
