#include "play/WindowInput.h"

#include "walk/Walkthrough.h"

namespace vantrell {
namespace {

enum HeldBit : std::uint16_t {
    heldW = 1u << 0,
    heldUp = 1u << 1,
    heldS = 1u << 2,
    heldDown = 1u << 3,
    heldA = 1u << 4,
    heldLeft = 1u << 5,
    heldD = 1u << 6,
    heldRight = 1u << 7,
    heldSpace = 1u << 8,
    heldC = 1u << 9,
    heldShift = 1u << 10,
};

[[nodiscard]] std::uint16_t heldBitFor(SDL_Keycode key) {
    switch (key) {
        case SDLK_w:
            return heldW;
        case SDLK_UP:
            return heldUp;
        case SDLK_s:
            return heldS;
        case SDLK_DOWN:
            return heldDown;
        case SDLK_a:
            return heldA;
        case SDLK_LEFT:
            return heldLeft;
        case SDLK_d:
            return heldD;
        case SDLK_RIGHT:
            return heldRight;
        case SDLK_SPACE:
            return heldSpace;
        case SDLK_c:
            return heldC;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return heldShift;
        default:
            return 0;
    }
}

[[nodiscard]] MovementKeys movementKeysOf(std::uint16_t held) {
    MovementKeys keys;
    keys.forward = (held & (heldW | heldUp)) != 0;
    keys.back = (held & (heldS | heldDown)) != 0;
    keys.left = (held & (heldA | heldLeft)) != 0;
    keys.right = (held & (heldD | heldRight)) != 0;
    keys.jump = (held & heldSpace) != 0;
    keys.crouch = (held & heldC) != 0;
    keys.fast = (held & heldShift) != 0;
    return keys;
}

}  // namespace

std::optional<ModeKey> modeKeyFor(SDL_Keycode key) {
    switch (key) {
        case SDLK_l:
            return ModeKey::shading;
        case SDLK_g:
            return ModeKey::wireframe;
        case SDLK_b:
            return ModeKey::allSpaces;
        case SDLK_v:
            return ModeKey::freeze;
        case SDLK_n:
            return ModeKey::spaceBoxes;
        case SDLK_f:
            return ModeKey::fly;
        case SDLK_TAB:
            return ModeKey::infoPanel;
        case SDLK_F11:
            return ModeKey::fullscreen;
        default:
            return std::nullopt;
    }
}

void WindowInput::setHeld(SDL_Keycode key, bool down) {
    const std::uint16_t bit = heldBitFor(key);
    if (bit == 0) return;
    held = static_cast<std::uint16_t>(down ? held | bit : held & ~bit);
    walkthrough.setMovementKeys(movementKeysOf(held));
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
                    held = 0;
                    walkthrough.releaseAllKeys();
                    return WindowAction::focusLost;
                default:
                    return WindowAction::none;
            }
        case SDL_KEYDOWN: {
            const SDL_Keycode key = event.key.keysym.sym;
            if (!active_) {
                setHeld(key, false);
                return WindowAction::none;
            }
            // Escape ends the walk-through and F12 and F11 only act.
            if (key == SDLK_ESCAPE) return event.key.repeat ? WindowAction::none : WindowAction::end;
            if (key == SDLK_F12) return event.key.repeat ? WindowAction::none : WindowAction::screenshot;
            if (key == SDLK_F11) return event.key.repeat ? WindowAction::none : WindowAction::fullscreen;
            setHeld(key, true);
            if (view != nullptr && !event.key.repeat) {
                if (const auto mode = modeKeyFor(key)) view->press(*mode, walkthrough);
            }
            return WindowAction::none;
        }
        case SDL_KEYUP:
            setHeld(event.key.keysym.sym, false);
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
