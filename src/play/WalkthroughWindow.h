// The walk-through's window and loop: an SDL window with an OpenGL 3.3 core context, the
// input of WindowInput, the GlRenderer, and a loop that runs on the caller's thread until
// Escape, the window's close command, or requestWalkthroughEnd().
#pragma once

#include <functional>
#include <string>

#include "camera/MovementClock.h"
#include "level/LevelGeometry.h"
#include "level/SpacePartition.h"
#include "walk/WalkthroughView.h"

namespace vantrell {

class WalkthroughWindow;

// The running walk-through, or null. At most one exists at a time.
extern WalkthroughWindow* activeWalkthrough;

struct WalkthroughOptions {
    // Called once per pass before the window's event, so that another toolkit on the same
    // thread (the main dialog) stays responsive; it should handle at most one event.
    std::function<void()> pumpOtherEvents;
    Vector3 startPosition{0.0f, 0.0f, 0.0f};
    Vector3 startForward{1.0f, 0.0f, 0.0f};
    int windowWidth = 800;  // the drawing area at the start, in screen units
    int windowHeight = 600;
    bool fullscreen = false;         // start on the whole screen (F11 switches)
    float fieldOfView = 0.7853982f;  // vertical, radians
    Shading shading = Shading::vertex;
    // Prints the window id at start and, while it runs, the camera's state, the visible
    // count and the drawing area's size on standard output.
    bool debug = false;
    // Starts the lines on standard error that say why no window could be opened.
    std::string errorPrefix = "vantrell: ";
};

enum class WalkthroughResult {
    ended,           // ran until its end was asked for
    alreadyRunning,  // another walk-through runs; nothing was done
    noWindow,        // the video system or the window could not be created (reason on stderr)
};

// Runs a walk-through of the level, which must be valid and must not change until this
// returns. Returns when the walk-through has ended and its window is gone.
WalkthroughResult startWalkthrough(const LevelGeometry& levelGeometry, const SpacePartition& spacePartition,
                                   const WalkthroughOptions& options = {});

// Asks the running walk-through, if any, to end after the pass under way.
void requestWalkthroughEnd();

// Why the walk-through has no display to open its window on, from the DISPLAY and
// WAYLAND_DISPLAY variables (null when unset) and the video driver SDL settled for instead.
[[nodiscard]] std::string missingDisplayReason(const char* display, const char* waylandDisplay,
                                               const std::string& driver);

// Whether VANTRELL_DEBUG asks for the debug lines ("1", "yes" or "true").
[[nodiscard]] bool debugRequestedByEnvironment();

// PerformanceCounter over SDL's high-resolution counter.
class SdlPerformanceCounter final : public PerformanceCounter {
public:
    [[nodiscard]] std::int64_t counter() const override;
    [[nodiscard]] std::int64_t frequency() const override;
};

}  // namespace vantrell
