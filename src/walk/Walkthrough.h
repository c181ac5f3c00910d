// The platform-free half of a walk-through: the level it shows, its camera and level
// queries, the held movement keys, and the projection's field of view and aspect ratio.
//
// The window, the GL context and the renderer live in the viewer shell, which owns one
// Walkthrough and feeds it keys, mouse turns, the window's aspect ratio and time.
// Tests and headless commands drive it the same way without any window.
#pragma once

#include <cstdint>
#include <vector>

#include "camera/Camera.h"
#include "camera/MovementClock.h"
#include "camera/MovementKeys.h"
#include "level/LevelGeometry.h"
#include "level/SpacePartition.h"
#include "visibility/SpaceVisibility.h"

namespace vantrell {

class Walkthrough {
public:
    static constexpr float defaultFieldOfView = 0.7853982f;  // pi/4, vertical, radians
    static constexpr float defaultAspectRatio = 4.0f / 3.0f;

    // The level must be valid and must outlive the walk-through, as must counter. The camera
    // starts at startPosition looking along startForward, its clock running on counter.
    Walkthrough(const LevelGeometry& levelGeometry, const SpacePartition& spacePartition,
                const PerformanceCounter& counter, const Vector3& startPosition = {0.0f, 0.0f, 0.0f},
                const Vector3& startForward = {1.0f, 0.0f, 0.0f});
    Walkthrough(const Walkthrough&) = delete;
    Walkthrough& operator=(const Walkthrough&) = delete;

    [[nodiscard]] const LevelGeometry& levelGeometry() const { return geometry; }
    [[nodiscard]] const SpacePartition& spacePartition() const { return partition; }
    [[nodiscard]] const PerformanceCounter& performanceCounter() const { return counter; }

    [[nodiscard]] Camera& camera() { return camera_; }
    [[nodiscard]] const Camera& camera() const { return camera_; }
    [[nodiscard]] SpaceVisibility& visibility() { return visibility_; }

    // The movement keys held now; the shell and the trace command set them.
    [[nodiscard]] const MovementKeys& movementKeys() const { return keys; }
    void setMovementKeys(const MovementKeys& held) { keys = held; }
    void releaseAllKeys() { keys = {}; }

    // Runs the camera's due movement steps by the counter's value now, with the held keys.
    void update();
    // One movement step with the held keys, whatever the clock says.
    void step();
    // The camera's eye, lowered while crouching.
    [[nodiscard]] Vector3 eyePoint() const { return camera_.eyePoint(keys.crouch); }
    // The camera's eye, basis, field of view and aspect ratio as they stand now.
    [[nodiscard]] ViewPoint viewPoint() const;

    // The level queries from the current view (see SpaceVisibility.h).
    void collectVisibleSpaces(std::vector<std::uint32_t>& list) { visibility_.collectVisibleSpaces(viewPoint(), list); }
    void collectVisibleSpaces(SearchRecord& record) { visibility_.collectVisibleSpaces(viewPoint(), record); }
    [[nodiscard]] SpaceExplanation explain(const SearchRecord& record, std::uint32_t space) const {
        return visibility_.explain(viewPoint(), record, space);
    }
    [[nodiscard]] bool boxInViewFrustum(const BoundingBox& bounds) const {
        return SpaceVisibility::boxInViewFrustum(viewPoint(), bounds);
    }
    [[nodiscard]] ViewFrustum viewFrustum() const { return makeViewFrustum(viewPoint()); }
    [[nodiscard]] Plane findContactPlane(const Vector3& from, const Vector3& to) {
        return visibility_.findContactPlane(from, to);
    }

    [[nodiscard]] float fieldOfView() const { return fieldOfView_; }
    [[nodiscard]] float aspectRatio() const { return aspectRatio_; }
    // Ignores ratios that are not finite and positive (a minimised window keeps the last one).
    void setAspectRatio(float ratio);
    // Vertical, in radians; ignores values that are not finite and positive.
    void setFieldOfView(float radians);

private:
    const LevelGeometry& geometry;
    const SpacePartition& partition;
    const PerformanceCounter& counter;
    float fieldOfView_ = defaultFieldOfView;
    float aspectRatio_ = defaultAspectRatio;
    MovementKeys keys;
    SpaceVisibility visibility_;
    Camera camera_;
};

}  // namespace vantrell
