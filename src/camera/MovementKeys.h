// The movement keys held during a step, whichever input they came from: the window's keys,
// a trace script's letters, or a test.
#pragma once

namespace vantrell {

struct MovementKeys {
    bool forward = false;  // walk (or fly) along the view direction
    bool back = false;
    bool left = false;  // along -right
    bool right = false;
    bool jump = false;    // walking: lift off the ground; flying: rise along world y
    bool crouch = false;  // walking: the lower eye; flying: sink along world y
    bool fast = false;    // flying only: flyFastFactor times the speed

    friend bool operator==(const MovementKeys&, const MovementKeys&) = default;
};

}  // namespace vantrell
