// The render window's input: SDL events turned into the walk-through's key states and camera
// turns, by the Win32 virtual-key codes that the movement reads.
//
// Kept apart from the window so that it can be driven with hand-made events and no display.
#pragma once

#include <SDL.h>

namespace vantrell {

class Walkthrough;
class WalkthroughView;

// The virtual-key code for an SDL key (letters, digits, space, Tab, Shift, arrows, Escape,
// F1..F12), or -1 for keys the walk-through has no code for.
[[nodiscard]] int virtualKeyFor(SDL_Keycode key);

// What the loop must do after an event besides what WindowInput did itself.
enum class WindowAction {
    none,
    end,            // Escape while focused, or the window's close command
    screenshot,     // F12 while focused
    fullscreen,     // F11 while focused: fullscreen on or off
    focusGained,    // grab the pointer (relative mouse mode)
    focusLost,      // release the pointer
};

class WindowInput {
public:
    // active starts true, as the window is meant to have the focus once shown; the first
    // focus event corrects it. Mode keys (WalkthroughView.h) act on view when there is one.
    explicit WindowInput(Walkthrough& walkthrough, WalkthroughView* view = nullptr)
        : walkthrough(walkthrough), view(view) {}

    // Applies one event: keys are recorded by code while active and released always;
    // losing the focus releases every key; mouse motion turns the camera by its relative
    // offsets while active. A mode key's first press (not its repeats) while active also
    // switches its mode. Key repeats of F11, F12 and Escape are ignored.
    [[nodiscard]] WindowAction handle(const SDL_Event& event);

    [[nodiscard]] bool active() const { return active_; }

private:
    Walkthrough& walkthrough;
    WalkthroughView* view;
    bool active_ = true;
};

}  // namespace vantrell
