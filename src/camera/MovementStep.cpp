// One 10 ms movement step of the camera's body. Motion is position Verlet: the velocity is
// currentPosition - previousPosition, so the step stores no velocity of its own.
#include <cmath>

#include "camera/Camera.h"
#include "math/Vector.h"

namespace vantrell {
namespace {

constexpr Vector3 gravity{0.0f, -8.0f, 0.0f};  // units per second squared
// Per step: gravity times the step length in milliseconds squared, times 1e-6.
constexpr Vector3 gravityPerStep{0.0f, gravity.y * 10.0f * 10.0f * 1e-6f, 0.0f};
constexpr Vector3 groundProbe{0.0f, -0.005f, 0.0f};
// The probe reaches this far below the previous position.
constexpr Vector3 probeReach{0.0f, groundProbe.y * 10.0f, 0.0f};
constexpr float probeDrop = 0.05f;     // a prediction further below prev than this is probed itself
constexpr float walkDistance = 0.02f;  // per step: 2 units per second
constexpr float jumpLift = 0.03f;      // per contact step while jump is held
constexpr float frictionRatio = 0.5f;
constexpr float slideGain = 10.0f;
constexpr int clipLimit = 10;

[[nodiscard]] Vector3 normalOf(const Plane& plane) {
    return {plane.a, plane.b, plane.c};
}

}  // namespace

void Camera::step(const MovementKeys& keys, ContactFunction contact) {
    if (flying_) {
        flyStep(keys);
        return;
    }

    Vector3 horizontalForward{forward_.x, 0.0f, forward_.z};
    normalizeIfNonZero(horizontalForward);

    // Horizontal, of length 1 or 0: opposite keys cancel exactly.
    Vector3 wish{};
    if (keys.forward) wish = horizontalForward;
    if (keys.back) wish = wish - horizontalForward;
    if (keys.left) wish = wish - right_;
    if (keys.right) wish = wish + right_;
    normalizeIfNonZero(wish);

    const Vector3 cur = currentPosition_;
    const Vector3 prev = previousPosition_;
    Vector3 next{(2.0f * cur.x - prev.x) + gravityPerStep.x, (2.0f * cur.y - prev.y) + gravityPerStep.y,
                 (2.0f * cur.z - prev.z) + gravityPerStep.z};

    // A fast fall probes its own prediction; otherwise the probe reaches a fixed distance
    // below the previous position, so a body resting on the ground keeps finding it.
    const Vector3 probeEnd =
        prev.y - probeDrop > next.y ? next + walkDistance * wish : prev + probeReach + walkDistance * wish;
    const Vector3 ground = normalOf(contact(cur, probeEnd));

    if (!isZero(ground)) {
        // On the ground all carried motion stops; only slide, walk and jump move the body.
        next = cur;

        // Slide when the probe's part along the surface (t) reaches the friction share of
        // its part across it (k). A normal longer than unit makes k a non-number: no slide.
        Vector3 along = cross(ground, cross(groundProbe, ground));
        const float t = length(along);
        const float k = frictionRatio * std::sqrt(dot(groundProbe, groundProbe) - dot(along, along));
        if (k <= t) next = next + slideGain * (t - k) * normalizeIfNonZero(along);

        if (!isZero(wish)) {
            // The wish direction with its part across the surface removed: the body walks
            // along the slope, uphill and downhill at the same speed.
            Vector3 walk = cross(ground, cross(wish, ground));
            if (!isZero(walk)) next = next + walkDistance * normalized(walk);
        }

        if (keys.jump) next.y = next.y + jumpLift;

        for (int clip = 0; clip < clipLimit; ++clip) {
            const Vector3 motion = next - cur;
            const Vector3 wall = normalOf(contact(cur, next));
            // The ground found above never clips (exact comparison), nor does a plane the
            // motion does not go into.
            if (isZero(wall) || wall == ground || dot(motion, wall) >= 0.0f) break;
            Vector3 slid = cross(cross(wall, motion), wall);
            // Against a wall that stands on a slope, the walk's part left after the clip can
            // head down into the ground, and step by step the body would sink through the
            // floor. It follows the crease between the wall and the ground instead.
            if (dot(slid, ground) < 0.0f) {
                Vector3 crease = cross(ground, wall);
                normalizeIfNonZero(crease);
                slid = dot(slid, crease) * crease;
            }
            next = cur + slid;
        }
    }

    previousPosition_ = cur;
    currentPosition_ = next;
}

void Camera::flyStep(const MovementKeys& keys) {
    Vector3 wish{};
    if (keys.forward) wish = wish + forward_;
    if (keys.back) wish = wish - forward_;
    if (keys.left) wish = wish - right_;
    if (keys.right) wish = wish + right_;
    if (keys.jump) wish.y = wish.y + 1.0f;
    if (keys.crouch) wish.y = wish.y - 1.0f;
    // Diagonals keep the speed; opposite keys cancel.
    normalizeIfNonZero(wish);
    const float distance = keys.fast ? flyDistance * flyFastFactor : flyDistance;
    previousPosition_ = currentPosition_;
    currentPosition_ = currentPosition_ + distance * wish;
}

}  // namespace vantrell
