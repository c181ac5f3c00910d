#include "play/WindowInput.h"

#include "play/Walkthrough.h"
#include "play/WalkthroughView.h"

namespace vantrell {

int virtualKeyFor(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return 0x41 + static_cast<int>(key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return 0x30 + static_cast<int>(key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return 0x70 + static_cast<int>(key - SDLK_F1);
    switch (key) {
    case SDLK_SPACE: return virtualKey::space;
    case SDLK_TAB: return virtualKey::tab;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return virtualKey::shift;
    case SDLK_LEFT: return virtualKey::left;
    case SDLK_UP: return virtualKey::up;
    case SDLK_RIGHT: return virtualKey::right;
    case SDLK_DOWN: return virtualKey::down;
    case SDLK_ESCAPE: return virtualKey::escape;
    default: return -1;
    }
}

WindowAction WindowInput::handle(const SDL_Event& event) {
    switch (event.type) {
    case SDL_QUIT:
        return WindowAction::end;
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            return WindowAction::end;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            active_ = true;
            return WindowAction::focusGained;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            active_ = false;
            walkthrough.releaseAllKeys();
            return WindowAction::focusLost;
        default:
            return WindowAction::none;
        }
    case SDL_KEYDOWN: {
        const SDL_Keycode key = event.key.keysym.sym;
        const int code = virtualKeyFor(key);
        if (!active_) {
            walkthrough.setKeyDown(code, false);
            return WindowAction::none;
        }
        // Escape ends the walk-through without being recorded, like F12 which only acts.
        if (key == SDLK_ESCAPE) return event.key.repeat ? WindowAction::none : WindowAction::end;
        if (key == SDLK_F12) return event.key.repeat ? WindowAction::none : WindowAction::screenshot;
        if (key == SDLK_F11) return event.key.repeat ? WindowAction::none : WindowAction::fullscreen;
        walkthrough.setKeyDown(code, true);
        if (view != nullptr && !event.key.repeat) {
            if (const auto mode = modeKeyFor(code)) view->press(*mode, walkthrough);
        }
        return WindowAction::none;
    }
    case SDL_KEYUP:
        walkthrough.setKeyDown(virtualKeyFor(event.key.keysym.sym), false);
        return WindowAction::none;
    case SDL_MOUSEMOTION:
        if (active_ && (event.motion.xrel != 0 || event.motion.yrel != 0)) {
            walkthrough.camera().turn(event.motion.xrel, event.motion.yrel);
        }
        return WindowAction::none;
    default:
        return WindowAction::none;
    }
}

}  // namespace vantrell
