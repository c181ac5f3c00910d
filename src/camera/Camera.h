// The viewer's body and eyes: positions advanced in fixed 10 ms movement steps and
// interpolated for the present, a view basis that the mouse turns, and the eye point.
#pragma once

#include <cstdint>

#include "camera/ContactFunction.h"
#include "camera/MovementKeys.h"
#include "level/LevelTypes.h"

namespace vantrell {

class Camera {
public:
    static constexpr Vector3 standingEyeOffset{0.0f, 1.0f, 0.0f};
    static constexpr Vector3 crouchEyeOffset{0.0f, 0.5f, 0.0f};
    static constexpr float turnRate = 0.008726646f;  // radians per pixel (half a degree)
    static constexpr float flyDistance = 0.05f;      // per fly step: 5 units per second
    static constexpr float flyFastFactor = 4.0f;     // while the fast key is held

    // Places the body at startPosition at rest, normalises startForward (a zero or
    // non-finite one looks along +x instead), starts the movement clock at counterNow with
    // steps of stepLengthFor(counterFrequency) counts, and derives right and up (right
    // (0, 0, -1) for a vertical startForward).
    Camera(const Vector3& startPosition, const Vector3& startForward, std::int64_t counterNow,
           std::int64_t counterFrequency);

    // position + the crouching eye offset while crouching (and not flying), else the standing one.
    [[nodiscard]] Vector3 eyePoint(bool crouching) const;
    [[nodiscard]] const Vector3& forward() const { return forward_; }
    [[nodiscard]] const Vector3& up() const { return up_; }
    [[nodiscard]] const Vector3& right() const { return right_; }
    [[nodiscard]] const Vector3& position() const { return position_; }
    [[nodiscard]] const Vector3& currentPosition() const { return currentPosition_; }
    [[nodiscard]] const Vector3& previousPosition() const { return previousPosition_; }
    // Counter value at which the next movement step falls due, and counts per step.
    [[nodiscard]] std::int64_t nextStepTime() const { return nextStepTime_; }
    [[nodiscard]] std::int64_t stepLength() const { return stepLength_; }

    // Pitch about right by dy pixels (down for positive dy), then yaw about world y by dx
    // pixels (to the right for positive dx); no pitch limit.
    void turn(std::int32_t dx, std::int32_t dy);
    // Runs every movement step that has fallen due by the counter value now (with keys held
    // and contact asked), then interpolates position.
    void update(std::int64_t now, const MovementKeys& keys, ContactFunction contact);
    // One 10 ms movement step: gravity, ground contact, walking, sliding, jumping, wall clips;
    // while flying, flyStep instead. contact is asked for the ground and for each wall clip.
    void step(const MovementKeys& keys, ContactFunction contact);

    // Flying: no gravity and no contact with the level. Forward/back move along the view
    // direction, left/right along right, jump up and crouch down along world y, each
    // flyDistance per step (times flyFastFactor with fast). Switching either way leaves the
    // body where it is drawn now, at rest, so that ending a flight lets it fall from there.
    [[nodiscard]] bool flying() const { return flying_; }
    void setFlying(bool on);

private:
    // right = the horizontal perpendicular of forward, up = forward x right. A forward with
    // no horizontal part keeps the previous right, so the basis never collapses.
    void updateBasis();
    void flyStep(const MovementKeys& keys);

    std::int64_t nextStepTime_ = 0;  // counter value at which the next step falls due
    std::int64_t stepLength_ = 1;    // counts per step, at least 1
    Vector3 previousPosition_;
    Vector3 currentPosition_;
    Vector3 position_;
    Vector3 forward_;
    Vector3 up_;
    Vector3 right_;
    bool flying_ = false;
};

}  // namespace vantrell
