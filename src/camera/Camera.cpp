#include "camera/Camera.h"

#include <cmath>
#include <cstdint>

#include "camera/MovementClock.h"
#include "math/Vector.h"

namespace vantrell {
namespace {

// Wraps instead of overflowing: counter differences are meaningful even near the ends of
// the counter's range.
[[nodiscard]] std::int64_t difference(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

}  // namespace

Camera::Camera(const Vector3& startPosition, const Vector3& startForward, std::int64_t counterNow,
               std::int64_t counterFrequency)
    : nextStepTime_(counterNow),
      stepLength_(stepLengthFor(counterFrequency)),
      previousPosition_(startPosition),
      currentPosition_(startPosition),
      position_(startPosition),
      forward_(normalized(startForward)),
      // The start orientation's right; only a vertical start forward ever keeps it.
      right_{0.0f, 0.0f, -1.0f} {
    // A zero or non-finite look direction has no normalised form; look along +x instead of
    // carrying non-numbers into every later frame.
    if (!isFinite(forward_)) forward_ = {1.0f, 0.0f, 0.0f};
    updateBasis();
}

void Camera::updateBasis() {
    const Vector3 horizontal{forward_.z, 0.0f, -forward_.x};
    // Exactly zero when forward is vertical; a horizontal part too small to square (below
    // about 1e-22) is treated the same, as its normalisation would not be finite either.
    if (dot(horizontal, horizontal) != 0.0f) {
        const Vector3 candidate = normalized(horizontal);
        if (isFinite(candidate)) right_ = candidate;
    }
    up_ = cross(forward_, right_);
}

void Camera::turn(std::int32_t dx, std::int32_t dy) {
    forward_ = rotateAboutAxis(forward_, right_, static_cast<float>(dy) * turnRate);
    forward_ = rotateAboutY(forward_, static_cast<float>(dx) * turnRate);
    updateBasis();
}

Vector3 Camera::eyePoint(bool crouching) const {
    // The crouch key means down while flying, so the eye stays at the standing height.
    return position_ + (!flying_ && crouching ? crouchEyeOffset : standingEyeOffset);
}

void Camera::setFlying(bool on) {
    flying_ = on;
    previousPosition_ = position_;
    currentPosition_ = position_;
}

void Camera::update(std::int64_t now, const MovementKeys& keys, ContactFunction contact) {
    // Strictly later: a step falls due only once its time has passed. No cap on the
    // number of steps, so the body's path does not depend on the frame rate or on pauses.
    while (difference(now, nextStepTime_) > 0) {
        step(keys, contact);
        nextStepTime_ = static_cast<std::int64_t>(static_cast<std::uint64_t>(nextStepTime_) +
                                                  static_cast<std::uint64_t>(stepLength_));
    }
    const double fraction = static_cast<double>(difference(nextStepTime_, now)) / static_cast<double>(stepLength_);
    const float f = static_cast<float>(fraction);
    const float g = 1.0f - f;
    position_ = {f * previousPosition_.x + g * currentPosition_.x, f * previousPosition_.y + g * currentPosition_.y,
                 f * previousPosition_.z + g * currentPosition_.z};
}

}  // namespace vantrell
