// An OpenGL 3.3 core context with no window and no display: EGL on Mesa's surfaceless
// platform, drawing into an offscreen framebuffer (colour + 24-bit depth) of a fixed size.
#pragma once

#include <memory>
#include <string>

namespace vantrell {

class HeadlessContext {
public:
    // A current context with the offscreen framebuffer bound for drawing and reading, or
    // nullptr with the reason in error (no EGL, no surfaceless platform, no 3.3 core
    // context, an incomplete framebuffer, a size outside 1..16384).
    [[nodiscard]] static std::unique_ptr<HeadlessContext> create(int width, int height, std::string& error);

    ~HeadlessContext();
    HeadlessContext(const HeadlessContext&) = delete;
    HeadlessContext& operator=(const HeadlessContext&) = delete;

    [[nodiscard]] int width() const { return width_; }
    [[nodiscard]] int height() const { return height_; }
    // Binds the offscreen framebuffer again (after code that bound another one).
    void bindFramebuffer() const;

private:
    HeadlessContext() = default;

    void* display = nullptr;  // EGLDisplay
    void* context = nullptr;  // EGLContext
    unsigned framebuffer = 0;
    unsigned colourBuffer = 0;
    unsigned depthBuffer = 0;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace vantrell
