#include "play/WalkthroughWindow.h"

#include <SDL.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include "play/FramePacer.h"
#include "play/GlRenderer.h"
#include "play/PngWriter.h"
#include "play/ScreenshotPath.h"
#include "play/WindowInput.h"
#include "walk/InfoPanel.h"
#include "walk/Statistics.h"
#include "walk/Walkthrough.h"

namespace vantrell {

WalkthroughWindow* activeWalkthrough = nullptr;

namespace {

constexpr int windowX = 100;
constexpr int windowY = 100;
constexpr const char* windowTitle = "Vantrell";
constexpr std::uint32_t noteDuration = 1000;  // ms the note after a screenshot stays
// Pending mouse motion is taken in one pass: a pointer reports far more often than frames
// are drawn, and leaving the rest for later passes would let the view lag further and further.
constexpr int maxMotionEventsPerPass = 4096;
constexpr std::uint32_t debugInterval = 1000;       // ms between debug lines at rest
constexpr std::uint32_t debugChangeInterval = 100;  // ms between lines while the camera moves

// The video subsystem for the life of one walk-through.
class SdlVideo {
public:
    SdlVideo() {
        // Let SIGINT and SIGTERM end the process instead of becoming a quit event.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        initialised = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        if (!initialised) {
            why = SDL_GetError();
            return;
        }
        // Without a display SDL may fall back to drawing on the console (KMS/DRM), where
        // nobody sitting at a remote shell could see or end the walk-through. Only a
        // driver the user names with SDL_VIDEODRIVER is taken besides X11 and Wayland.
        const char* driver = SDL_GetCurrentVideoDriver();
        const bool desktop = driver && (std::strcmp(driver, "x11") == 0 || std::strcmp(driver, "wayland") == 0);
        if (!desktop && !std::getenv("SDL_VIDEODRIVER")) {
            why = missingDisplayReason(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"), driver ? driver : "");
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            initialised = false;
        }
    }
    ~SdlVideo() {
        if (initialised) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    SdlVideo(const SdlVideo&) = delete;
    SdlVideo& operator=(const SdlVideo&) = delete;
    [[nodiscard]] bool ok() const { return initialised; }
    [[nodiscard]] const std::string& error() const { return why; }

private:
    bool initialised = false;
    std::string why;
};

unsigned long nativeWindowId(SDL_Window* window);  // at the end of this file: it needs X11 headers

bool sameVector(const Vector3& a, const Vector3& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

}  // namespace

class WalkthroughWindow {
public:
    WalkthroughWindow(const LevelGeometry& levelGeometry, const SpacePartition& spacePartition,
                      const WalkthroughOptions& options)
        : options(options),
          levelGeometry(levelGeometry),
          spacePartition(spacePartition),
          walkthrough(levelGeometry, spacePartition, counter, options.startPosition, options.startForward),
          input(walkthrough, &view) {
        walkthrough.setFieldOfView(options.fieldOfView);
        view.shading = options.shading;
    }

    ~WalkthroughWindow() {
        // GL objects need their context, the context its window: free in reverse order.
        if (context) SDL_GL_MakeCurrent(window, context);
        renderer.reset();
        if (context) SDL_GL_DeleteContext(context);
        if (window) {
            SDL_SetRelativeMouseMode(SDL_FALSE);
            SDL_DestroyWindow(window);
        }
    }

    WalkthroughWindow(const WalkthroughWindow&) = delete;
    WalkthroughWindow& operator=(const WalkthroughWindow&) = delete;

    // The start sequence and the loop. False when no window could be made.
    bool run() {
        initialiseState();
        if (!createRenderWindow()) return false;
        createRenderer();
        SDL_ShowWindow(window);
        SDL_RaiseWindow(window);
        // The window is taken to have the focus once shown; a focus event corrects that.
        SDL_SetRelativeMouseMode(SDL_TRUE);
        if (options.debug) {
            std::printf("window %lu\n", nativeWindowId(window));
            std::fflush(stdout);
        }
        while (!endRequested) {
            if (options.pumpOtherEvents) options.pumpOtherEvents();
            handlePendingEvent();
            walkthrough.update();
            renderFrame();
            if (options.debug) printDebug();
            pace();
        }
        if (options.debug) {
            std::printf("ended\n");
            std::fflush(stdout);
        }
        return true;
    }

    void requestEnd() { endRequested = true; }

private:
    void initialiseState() {
        walkthrough.releaseAllKeys();
        statistics.start(SDL_GetTicks());
        endRequested = false;
    }

    bool createRenderWindow() {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        const Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI |
                             (options.fullscreen ? static_cast<Uint32>(SDL_WINDOW_FULLSCREEN_DESKTOP) : 0u);
        const int windowWidth = options.windowWidth;
        const int windowHeight = options.windowHeight;
        window = SDL_CreateWindow(windowTitle, windowX, windowY, windowWidth, windowHeight, flags | SDL_WINDOW_OPENGL);
        if (window) return true;
        noGraphics("cannot create an OpenGL window: " + std::string(SDL_GetError()));
        // A plain window still shows the reason in its title and ends on Escape.
        window = SDL_CreateWindow(windowTitle, windowX, windowY, windowWidth, windowHeight, flags);
        if (window) {
            SDL_SetWindowTitle(window, "Vantrell - OpenGL 3.3 is not available");
            return true;
        }
        std::cerr << options.errorPrefix << "cannot create the walk-through window: " << SDL_GetError() << '\n';
        return false;
    }

    void createRenderer() {
        if (!(SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL)) {
            pacer.emplace(counter.frequency(), refreshRate(), false);
            return;
        }
        context = SDL_GL_CreateContext(window);
        if (!context) {
            noGraphics("cannot create an OpenGL 3.3 core context: " + std::string(SDL_GetError()));
        } else {
            std::string error;
            renderer = GlRenderer::create(error);
            if (!renderer) noGraphics(error);
        }
        const bool swapWaits = renderer && SDL_GL_SetSwapInterval(1) == 0;
        pacer.emplace(counter.frequency(), refreshRate(), swapWaits);
        if (renderer) renderer->buildVertexBuffer(levelGeometry, spacePartition);
    }

    void noGraphics(const std::string& why) {
        std::cerr << "vantrell: OpenGL 3.3 is not available, the level cannot be drawn (" << why
                  << "). Press Escape to return.\n";
        if (window) SDL_SetWindowTitle(window, "Vantrell - OpenGL 3.3 is not available (Escape returns)");
    }

    [[nodiscard]] int refreshRate() const {
        SDL_DisplayMode mode;
        const int display = SDL_GetWindowDisplayIndex(window);
        if (display < 0 || SDL_GetCurrentDisplayMode(display, &mode) != 0) return 0;
        return mode.refresh_rate;
    }

    void handlePendingEvent() {
        SDL_Event event;
        if (!SDL_PollEvent(&event)) return;
        act(input.handle(event));
        if (event.type != SDL_MOUSEMOTION) return;
        for (int n = 0; n < maxMotionEventsPerPass; ++n) {
            if (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_MOUSEMOTION, SDL_MOUSEMOTION) != 1) break;
            act(input.handle(event));
        }
    }

    void act(WindowAction action) {
        switch (action) {
            case WindowAction::end:
                endRequested = true;
                break;
            case WindowAction::screenshot:
                screenshotRequested = true;
                break;
            case WindowAction::fullscreen:
                toggleFullscreen();
                break;
            case WindowAction::focusGained:
                SDL_SetRelativeMouseMode(SDL_TRUE);
                break;
            case WindowAction::focusLost:
                SDL_SetRelativeMouseMode(SDL_FALSE);
                break;
            case WindowAction::none:
                break;
        }
    }

    void toggleFullscreen() {
        const bool on = (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN_DESKTOP;
        if (SDL_SetWindowFullscreen(window, on ? 0u : static_cast<Uint32>(SDL_WINDOW_FULLSCREEN_DESKTOP)) != 0) {
            std::cerr << "vantrell: cannot switch fullscreen " << (on ? "off" : "on") << ": " << SDL_GetError() << '\n';
        }
    }

    // The back buffer follows the window's drawable size (pixels, so HiDPI stays sharp);
    // a minimised window reports no area and keeps the previous projection.
    void followDrawableSize() {
        int width = 0;
        int height = 0;
        SDL_GL_GetDrawableSize(window, &width, &height);
        if (width <= 0 || height <= 0 || (width == drawableWidth && height == drawableHeight)) return;
        drawableWidth = width;
        drawableHeight = height;
        applyProjection();
    }

    void applyProjection() {
        walkthrough.setAspectRatio(static_cast<float>(drawableWidth) / static_cast<float>(drawableHeight));
        renderer->setViewport(drawableWidth, drawableHeight);
        renderer->applyProjection(walkthrough.fieldOfView(), walkthrough.aspectRatio());
    }

    void renderFrame() {
        if (!renderer) {
            if (screenshotRequested) {
                screenshotRequested = false;
                std::cerr << "vantrell: no screenshot: nothing is drawn without OpenGL 3.3\n";
            }
            return;
        }
        followDrawableSize();
        const std::uint32_t now = SDL_GetTicks();
        // Frame time: from the start of the last frame to the start of this one.
        const std::int64_t frameStart = counter.counter();
        if (lastFrameStart != 0) {
            frameTimes.add(now, static_cast<float>(static_cast<double>(frameStart - lastFrameStart) * 1000.0 /
                                                   static_cast<double>(counter.frequency())));
        }
        lastFrameStart = frameStart;
        view.buildFrame(walkthrough, lists);
        lastListedCount = lists.listedCount;
        if (view.infoPanel) describeFrame(walkthrough, view, lists, frameTimes.lastSecond(now), panel);
        FrameOverlays overlays;
        if (view.infoPanel) overlays.panel = &panel;
        if (!note.empty() && now - noteShownAt < noteDuration) overlays.note = note;
        renderer->drawFrame(walkthrough, lists, statistics, now, overlays);
        if (screenshotRequested) {
            screenshotRequested = false;
            saveScreenshot();  // before the swap, while the back buffer holds the frame
        }
        SDL_GL_SwapWindow(window);
    }

    void saveScreenshot() {
        if (drawableWidth <= 0 || drawableHeight <= 0) return;
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        std::filesystem::path folder = picturesFolder([](const char* name) { return std::getenv(name); });
        if (folder.empty()) {
            std::error_code error;
            folder = std::filesystem::current_path(error);
            if (error) folder = ".";
        }
        std::vector<std::uint8_t> png;
        std::string error;
        const std::filesystem::path path =
            encodePng(drawableWidth, drawableHeight, renderer->readPixels(drawableWidth, drawableHeight), png, error)
                ? writeNewScreenshot(
                      folder, screenshotFileName(local),
                      [&png](std::ostream& out) {
                          return static_cast<bool>(out.write(reinterpret_cast<const char*>(png.data()),
                                                             static_cast<std::streamsize>(png.size())));
                      },
                      error)
                : std::filesystem::path();
        if (path.empty()) {
            std::cerr << "vantrell: no screenshot: " << error << '\n';
            return;
        }
        std::printf("Screenshot saved to %s\n", path.string().c_str());
        std::fflush(stdout);
        note = "Saved " + path.filename().string();
        noteShownAt = SDL_GetTicks();
    }

    void pace() {
        const std::int64_t wait = pacer->afterFrame(counter.counter());
        if (wait > 0) SDL_Delay(countsToMilliseconds(wait, counter.frequency()));
    }

    void printDebug() {
        const std::uint32_t now = SDL_GetTicks();
        const Camera& camera = walkthrough.camera();
        // Modes and the drawing area count as changes too, so that a key's effect shows soon.
        const std::array<int, 7> modes{camera.flying() ? 1 : 0,          view.frozen() ? 1 : 0, view.infoPanel ? 1 : 0,
                                       static_cast<int>(view.shading),   drawableWidth,         drawableHeight,
                                       static_cast<int>(lastListedCount)};
        const bool changed = !sameVector(camera.position(), lastPosition) ||
                             !sameVector(camera.forward(), lastForward) || modes != lastModes;
        const std::uint32_t since = now - lastDebugTicks;
        if (!(since >= debugInterval || (changed && since >= debugChangeInterval))) return;
        lastDebugTicks = now;
        lastModes = modes;
        lastPosition = camera.position();
        lastForward = camera.forward();
        const Vector3 eye = walkthrough.eyePoint();
        std::printf(
            "position %.9g %.9g %.9g forward %.9g %.9g %.9g eye %.9g aspect %.9g visible %u size %d %d "
            "flying %d frozen %d panel %d shading %s\n",
            static_cast<double>(lastPosition.x), static_cast<double>(lastPosition.y),
            static_cast<double>(lastPosition.z), static_cast<double>(lastForward.x), static_cast<double>(lastForward.y),
            static_cast<double>(lastForward.z), static_cast<double>(eye.y),
            static_cast<double>(walkthrough.aspectRatio()), static_cast<unsigned>(lastListedCount), drawableWidth,
            drawableHeight, camera.flying() ? 1 : 0, view.frozen() ? 1 : 0, view.infoPanel ? 1 : 0,
            shadingName(view.shading));
        std::fflush(stdout);
    }

    const WalkthroughOptions& options;
    const LevelGeometry& levelGeometry;
    const SpacePartition& spacePartition;
    SdlPerformanceCounter counter;  // before the walk-through, whose camera clock reads it
    Walkthrough walkthrough;
    WalkthroughView view;  // before input, which acts on it
    WindowInput input;
    FrameStatistics statistics;
    FrameLists lists;
    std::vector<PanelLine> panel;
    FrameTimes frameTimes;
    std::int64_t lastFrameStart = 0;
    std::uint32_t lastListedCount = 0;
    std::string note;  // shown for noteDuration after noteShownAt
    std::uint32_t noteShownAt = 0;
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    std::unique_ptr<GlRenderer> renderer;
    std::optional<FramePacer> pacer;
    int drawableWidth = 0;  // pixels of the back buffer last applied
    int drawableHeight = 0;
    bool endRequested = false;
    bool screenshotRequested = false;
    std::uint32_t lastDebugTicks = 0;
    Vector3 lastPosition{};
    Vector3 lastForward{};
    std::array<int, 7> lastModes{};
};

WalkthroughResult startWalkthrough(const LevelGeometry& levelGeometry, const SpacePartition& spacePartition,
                                   const WalkthroughOptions& options) {
    if (activeWalkthrough) return WalkthroughResult::alreadyRunning;
    SdlVideo video;
    if (!video.ok()) {
        std::cerr << options.errorPrefix << "cannot open the walk-through window: " << video.error() << '\n';
        return WalkthroughResult::noWindow;
    }
    WalkthroughWindow walkthrough(levelGeometry, spacePartition, options);
    struct ClearActive {
        ~ClearActive() { activeWalkthrough = nullptr; }
    } clearActive;
    activeWalkthrough = &walkthrough;
    return walkthrough.run() ? WalkthroughResult::ended : WalkthroughResult::noWindow;
}

std::string missingDisplayReason(const char* display, const char* waylandDisplay, const std::string& driver) {
    const bool x11 = display != nullptr && *display != '\0';
    const bool wayland = waylandDisplay != nullptr && *waylandDisplay != '\0';
    const std::string x11Name = x11 ? std::string("DISPLAY=") + display : std::string();
    const std::string waylandName = wayland ? std::string("WAYLAND_DISPLAY=") + waylandDisplay : std::string();
    std::string why;
    if (x11 && wayland)
        why = "neither the display " + x11Name + " nor the display " + waylandName + " can be opened";
    else if (x11)
        why = "the display " + x11Name + " cannot be opened";
    else if (wayland)
        why = "the display " + waylandName + " cannot be opened";
    else
        why = "no display: DISPLAY and WAYLAND_DISPLAY are unset";
    if (!driver.empty())
        why += " (SDL found only the '" + driver + "' video driver, which SDL_VIDEODRIVER could select)";
    return why;
}

void requestWalkthroughEnd() {
    if (activeWalkthrough) activeWalkthrough->requestEnd();
}

bool debugRequestedByEnvironment() {
    const char* value = std::getenv("VANTRELL_DEBUG");
    if (!value) return false;
    return std::strcmp(value, "1") == 0 || std::strcmp(value, "yes") == 0 || std::strcmp(value, "true") == 0;
}

std::int64_t SdlPerformanceCounter::counter() const {
    return static_cast<std::int64_t>(SDL_GetPerformanceCounter());
}

std::int64_t SdlPerformanceCounter::frequency() const {
    return static_cast<std::int64_t>(SDL_GetPerformanceFrequency());
}

}  // namespace vantrell

// Last, because the X11 headers define macros (None, Status, Bool) that clash with ordinary names.
#include <SDL_syswm.h>

namespace vantrell {
namespace {

unsigned long nativeWindowId(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info)) return 0;
#if defined(SDL_VIDEO_DRIVER_X11)
    if (info.subsystem == SDL_SYSWM_X11) return static_cast<unsigned long>(info.info.x11.window);
#endif
    return 0;
}

}  // namespace
}  // namespace vantrell
