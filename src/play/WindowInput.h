// The render window's input: SDL events turned into the walk-through's movement keys, mode
// switches and camera turns.
//
// Kept apart from the window so that it can be driven with hand-made events and no display.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <optional>

#include "walk/WalkthroughView.h"

namespace vantrell {

class Walkthrough;

// The mode an SDL key switches (L G B V N F Tab F11), or nullopt for any other key.
[[nodiscard]] std::optional<ModeKey> modeKeyFor(SDL_Keycode key);

// What the loop must do after an event besides what WindowInput did itself.
enum class WindowAction {
    none,
    end,          // Escape while focused, or the window's close command
    screenshot,   // F12 while focused
    fullscreen,   // F11 while focused: fullscreen on or off
    focusGained,  // grab the pointer (relative mouse mode)
    focusLost,    // release the pointer
};

class WindowInput {
public:
    // active starts true, as the window is meant to have the focus once shown; the first
    // focus event corrects it. Mode keys (WalkthroughView.h) act on view when there is one.
    explicit WindowInput(Walkthrough& walkthrough, WalkthroughView* view = nullptr)
        : walkthrough(walkthrough), view(view) {}

    // Applies one event: movement keys (W A S D or the arrows, Space, C, either Shift) are
    // held while active and released always; losing the focus releases every key; mouse
    // motion turns the camera by its relative offsets while active. A mode key's first
    // press (not its repeats) while active also switches its mode. Key repeats of F11, F12
    // and Escape are ignored.
    [[nodiscard]] WindowAction handle(const SDL_Event& event);

    [[nodiscard]] bool active() const { return active_; }

private:
    // Sets or clears the held bit of a movement key and hands the walk-through the keys
    // that follow; other keys change nothing.
    void setHeld(SDL_Keycode key, bool down);

    Walkthrough& walkthrough;
    WalkthroughView* view;
    // One bit per physical movement key, so that W and Up (say) are held apart: releasing
    // one leaves the walk going while the other is down. Both Shift keys share one bit.
    std::uint16_t held = 0;
    bool active_ = true;
};

}  // namespace vantrell
