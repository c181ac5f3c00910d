// Contents:
//  - font lookup through fontconfig
//  - rasterising with FreeType, shelf packing, the outline channel
//  - text layout as quads
#include "play/GlyphAtlas.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstddef>

namespace vantrell {

namespace {

// The file of the face that fontconfig gives for "Arial" (Liberation Sans on most Linux
// systems); empty when fontconfig has no font at all.
std::string findFontFile(int& faceIndex) {
    std::string path;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("Arial"));
    if (pattern == nullptr) return path;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match != nullptr) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
            path = reinterpret_cast<const char*>(file);
        }
        int index = 0;
        faceIndex = FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch ? index : 0;
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return path;
}

}  // namespace

bool buildGlyphAtlas(GlyphAtlas& atlas, int pixelHeight, std::string& error) {
    int faceIndex = 0;
    const std::string path = findFontFile(faceIndex);
    if (path.empty()) {
        error = "fontconfig finds no font for \"Arial\"";
        return false;
    }
    return buildGlyphAtlasFromFile(atlas, path, faceIndex, pixelHeight, error);
}

bool buildGlyphAtlasFromFile(GlyphAtlas& atlas, const std::string& fontFile, int faceIndex, int pixelHeight,
                             std::string& error) {
    constexpr int glyphCount = GlyphAtlas::glyphCount;
    constexpr int atlasWidth = GlyphAtlas::width;
    constexpr int outlineWidth = GlyphAtlas::outlineWidth;

    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        error = "FreeType cannot start";
        return false;
    }
    FT_Face face = nullptr;
    if (FT_New_Face(library, fontFile.c_str(), faceIndex, &face) != 0 ||
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelHeight)) != 0) {
        error = "FreeType cannot load " + fontFile + " at " + std::to_string(pixelHeight) + " pixels";
        if (face != nullptr) FT_Done_Face(face);
        FT_Done_FreeType(library);
        return false;
    }
    atlas.ascender = static_cast<int>(face->size->metrics.ascender >> 6);
    atlas.lineHeight = static_cast<int>(face->size->metrics.height >> 6);

    // Rasterise each glyph into a padded coverage bitmap; place them in shelves.
    std::vector<std::vector<std::uint8_t>> coverage(glyphCount);
    int shelfX = 0;
    int shelfY = 0;
    int shelfHeight = 0;
    for (int g = 0; g < glyphCount; ++g) {
        Glyph& glyph = atlas.glyphs[static_cast<std::size_t>(g)];
        if (FT_Load_Char(face, static_cast<FT_ULong>(GlyphAtlas::firstGlyph + g), FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        glyph.advance = static_cast<int>(slot->advance.x >> 6);
        if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.width == 0 || bitmap.rows == 0 || bitmap.width > 256 ||
            bitmap.rows > 256) {
            continue;  // a blank (the space) or an unusable bitmap: advance only
        }
        glyph.width = static_cast<int>(bitmap.width) + 2 * outlineWidth;
        glyph.height = static_cast<int>(bitmap.rows) + 2 * outlineWidth;
        glyph.left = slot->bitmap_left - outlineWidth;
        glyph.top = slot->bitmap_top + outlineWidth;
        auto& cells = coverage[static_cast<std::size_t>(g)];
        cells.assign(static_cast<std::size_t>(glyph.width * glyph.height), 0);
        for (int y = 0; y < static_cast<int>(bitmap.rows); ++y) {
            const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
            for (int x = 0; x < static_cast<int>(bitmap.width); ++x) {
                cells[static_cast<std::size_t>((y + outlineWidth) * glyph.width + x + outlineWidth)] = row[x];
            }
        }
        if (shelfX + glyph.width + 1 > atlasWidth) {
            shelfX = 0;
            shelfY += shelfHeight + 1;
            shelfHeight = 0;
        }
        glyph.atlasX = shelfX;
        glyph.atlasY = shelfY;
        shelfX += glyph.width + 1;
        shelfHeight = std::max(shelfHeight, glyph.height);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    atlas.height = shelfY + shelfHeight + 1;
    atlas.texels.assign(static_cast<std::size_t>(atlasWidth * atlas.height * 2), 0);
    for (int g = 0; g < glyphCount; ++g) {
        const Glyph& glyph = atlas.glyphs[static_cast<std::size_t>(g)];
        const auto& cells = coverage[static_cast<std::size_t>(g)];
        if (cells.empty()) continue;
        for (int y = 0; y < glyph.height; ++y) {
            for (int x = 0; x < glyph.width; ++x) {
                std::uint8_t grown = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int sx = x + dx;
                        const int sy = y + dy;
                        if (sx < 0 || sy < 0 || sx >= glyph.width || sy >= glyph.height) continue;
                        grown = std::max(grown, cells[static_cast<std::size_t>(sy * glyph.width + sx)]);
                    }
                }
                const auto texel = static_cast<std::size_t>(((glyph.atlasY + y) * atlasWidth + glyph.atlasX + x) * 2);
                atlas.texels[texel] = cells[static_cast<std::size_t>(y * glyph.width + x)];
                atlas.texels[texel + 1] = grown;
            }
        }
    }
    return true;
}

float appendText(const GlyphAtlas& atlas, std::string_view text, float left, float top, float clipRight,
                 std::vector<float>& out) {
    float penX = left;
    float widest = 0.0f;
    float baseline = top + static_cast<float>(atlas.ascender);
    const float inverseWidth = 1.0f / static_cast<float>(GlyphAtlas::width);
    const float inverseHeight = 1.0f / static_cast<float>(atlas.height);
    for (const char c : text) {
        if (c == '\n') {
            widest = std::max(widest, penX - left);
            penX = left;
            baseline += static_cast<float>(atlas.lineHeight);
            continue;
        }
        const Glyph* glyph = atlas.glyph(c);
        if (glyph == nullptr) continue;
        if (glyph->width > 0 && penX < clipRight) {
            const float x0 = penX + static_cast<float>(glyph->left);
            const float y0 = baseline - static_cast<float>(glyph->top);
            const float x1 = x0 + static_cast<float>(glyph->width);
            const float y1 = y0 + static_cast<float>(glyph->height);
            const float u0 = static_cast<float>(glyph->atlasX) * inverseWidth;
            const float v0 = static_cast<float>(glyph->atlasY) * inverseHeight;
            const float u1 = static_cast<float>(glyph->atlasX + glyph->width) * inverseWidth;
            const float v1 = static_cast<float>(glyph->atlasY + glyph->height) * inverseHeight;
            out.insert(out.end(), {x0, y0, u0, v0, x1, y0, u1, v0, x1, y1, u1, v1,
                                   x0, y0, u0, v0, x1, y1, u1, v1, x0, y1, u0, v1});
        }
        penX += static_cast<float>(glyph->advance);
    }
    return std::max(widest, penX - left);
}

float textWidth(const GlyphAtlas& atlas, std::string_view text) {
    float width = 0.0f;
    for (const char c : text) {
        if (const Glyph* glyph = atlas.glyph(c)) width += static_cast<float>(glyph->advance);
    }
    return width;
}

void appendBox(float x0, float y0, float x1, float y1, std::vector<float>& out) {
    out.insert(out.end(), {x0, y0, 0, 0, x1, y0, 0, 0, x1, y1, 0, 0, x0, y0, 0, 0, x1, y1, 0, 0, x0, y1, 0, 0});
}

}  // namespace vantrell
