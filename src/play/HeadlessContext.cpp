#include "play/HeadlessContext.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstring>

namespace vantrell {

namespace {

constexpr int maximumSide = 16384;

// The surfaceless display is shared by every context of the process: EGL hands out the
// same display for the same platform, so it is terminated only when the last one goes.
int liveContexts = 0;

bool hasClientExtension(const char* name) {
    const char* list = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (list == nullptr) return false;
    const std::size_t length = std::strlen(name);
    for (const char* p = std::strstr(list, name); p != nullptr; p = std::strstr(p + 1, name)) {
        const bool startsWord = p == list || p[-1] == ' ';
        const bool endsWord = p[length] == ' ' || p[length] == '\0';
        if (startsWord && endsWord) return true;
    }
    return false;
}

std::string eglErrorText(const char* what) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(eglGetError()));
    return std::string(what) + " failed (EGL error " + code + ")";
}

}  // namespace

std::unique_ptr<HeadlessContext> HeadlessContext::create(int width, int height, std::string& error) {
    if (width < 1 || height < 1 || width > maximumSide || height > maximumSide) {
        error = "picture size " + std::to_string(width) + "x" + std::to_string(height) + " is outside 1x1 .. " +
                std::to_string(maximumSide) + "x" + std::to_string(maximumSide);
        return nullptr;
    }
    if (!hasClientExtension("EGL_MESA_platform_surfaceless")) {
        error = "no EGL with the surfaceless platform (EGL_MESA_platform_surfaceless) is available";
        return nullptr;
    }
    EGLDisplay display = EGL_NO_DISPLAY;
    if (hasClientExtension("EGL_EXT_platform_base")) {
        display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    }
    if (display == EGL_NO_DISPLAY) {
        error = eglErrorText("getting the surfaceless EGL display");
        return nullptr;
    }
    EGLint major = 0;
    EGLint minor = 0;
    if (eglInitialize(display, &major, &minor) != EGL_TRUE) {
        error = eglErrorText("eglInitialize");
        return nullptr;
    }
    std::unique_ptr<HeadlessContext> result(new HeadlessContext());
    ++liveContexts;
    result->display = display;  // from here on the destructor cleans up
    result->width_ = width;
    result->height_ = height;

    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
        error = eglErrorText("selecting desktop OpenGL (eglBindAPI)");
        return nullptr;
    }
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                       EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configCount = 0;
    if (eglChooseConfig(display, configAttributes, &config, 1, &configCount) != EGL_TRUE || configCount < 1) {
        if (!epoxy_has_egl_extension(display, "EGL_KHR_no_config_context")) {
            error = "EGL offers no configuration for desktop OpenGL";
            return nullptr;
        }
        config = EGL_NO_CONFIG_KHR;
    }
    const EGLint contextAttributes[] = {
        EGL_CONTEXT_MAJOR_VERSION,           3,       EGL_CONTEXT_MINOR_VERSION, 3, EGL_CONTEXT_OPENGL_PROFILE_MASK,
        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        error = eglErrorText("creating an OpenGL 3.3 core context");
        return nullptr;
    }
    result->context = context;
    if (eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context) != EGL_TRUE) {
        error = eglErrorText("making the context current without a surface");
        return nullptr;
    }
    if (epoxy_gl_version() < 33 || !epoxy_is_desktop_gl()) {
        error = "the OpenGL context is below 3.3";
        return nullptr;
    }

    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    result->framebuffer = framebuffer;
    GLuint buffers[2] = {0, 0};
    glGenRenderbuffers(2, buffers);
    result->colourBuffer = buffers[0];
    result->depthBuffer = buffers[1];
    glBindRenderbuffer(GL_RENDERBUFFER, buffers[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, buffers[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffers[0]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, buffers[1]);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        error = "the offscreen framebuffer of " + std::to_string(width) + "x" + std::to_string(height) +
                " is incomplete (out of memory?)";
        return nullptr;
    }
    glViewport(0, 0, width, height);
    return result;
}

HeadlessContext::~HeadlessContext() {
    auto* eglDisplay = static_cast<EGLDisplay>(display);
    if (context != nullptr) {
        if (eglGetCurrentContext() == static_cast<EGLContext>(context)) {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            if (framebuffer != 0) glDeleteFramebuffers(1, &framebuffer);
            const GLuint buffers[2] = {colourBuffer, depthBuffer};
            glDeleteRenderbuffers(2, buffers);
            eglMakeCurrent(eglDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        }
        eglDestroyContext(eglDisplay, static_cast<EGLContext>(context));
    }
    if (eglDisplay != EGL_NO_DISPLAY && --liveContexts == 0) {
        eglTerminate(eglDisplay);
        eglReleaseThread();
    }
}

void HeadlessContext::bindFramebuffer() const {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, width_, height_);
}

}  // namespace vantrell
