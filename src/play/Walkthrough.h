// The platform-free half of a walk-through: the level it shows, its camera and level
// queries, the held keys, and the projection's field of view and aspect ratio.
//
// The window, the GL context and the renderer live in the viewer shell, which owns one
// Walkthrough and feeds it keys, mouse turns, the window's aspect ratio and time.
// Tests and headless commands drive it the same way without any window.
#pragma once

#include "camera/Camera.h"
#include "camera/MovementClock.h"
#include "level/LevelGeometry.h"
#include "level/SpacePartition.h"
#include "visibility/SpaceVisibility.h"

#include <array>
#include <cstdint>

namespace vantrell {

// Win32 virtual-key codes, which index the key table.
namespace virtualKey {
inline constexpr int tab = 0x09;
inline constexpr int shift = 0x10;
inline constexpr int space = 0x20;
inline constexpr int left = 0x25;
inline constexpr int up = 0x26;
inline constexpr int right = 0x27;
inline constexpr int down = 0x28;
inline constexpr int escape = 0x1B;
inline constexpr int a = 0x41;
inline constexpr int b = 0x42;
inline constexpr int c = 0x43;
inline constexpr int d = 0x44;
inline constexpr int f = 0x46;
inline constexpr int g = 0x47;
inline constexpr int l = 0x4C;
inline constexpr int n = 0x4E;
inline constexpr int s = 0x53;
inline constexpr int v = 0x56;
inline constexpr int w = 0x57;
inline constexpr int f11 = 0x7A;
inline constexpr int f12 = 0x7B;
}  // namespace virtualKey

class Walkthrough {
public:
    static constexpr float defaultFieldOfView = 0.7853982f;  // pi/4, vertical, radians
    static constexpr float defaultAspectRatio = 4.0f / 3.0f;

    // The level must be valid and must outlive the walk-through. The camera starts at
    // startPosition looking along startForward, its clock running on counter.
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

    // 1 while the key with this virtual-key code is held, else 0; codes outside 0..255 are 0.
    [[nodiscard]] int isKeyDown(int code) const;
    void setKeyDown(int code, bool down);
    void releaseAllKeys() { keyDown.fill(0); }

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
    std::array<std::uint8_t, 256> keyDown{};
    SpaceVisibility visibility_;  // built before the camera, whose clock starts last
    Camera camera_;
};

}  // namespace vantrell
