#include "play/Walkthrough.h"

#include <cmath>

namespace vantrell {

Walkthrough::Walkthrough(const LevelGeometry& levelGeometry, const SpacePartition& spacePartition,
                         const PerformanceCounter& counter, const Vector3& startPosition,
                         const Vector3& startForward)
    : geometry(levelGeometry),
      partition(spacePartition),
      counter(counter),
      visibility_(spacePartition, levelGeometry, *this),
      camera_(startPosition, startForward, *this) {}

int Walkthrough::isKeyDown(int code) const {
    if (code < 0 || code >= static_cast<int>(keyDown.size())) return 0;
    return keyDown[static_cast<std::size_t>(code)];
}

void Walkthrough::setKeyDown(int code, bool down) {
    if (code < 0 || code >= static_cast<int>(keyDown.size())) return;
    keyDown[static_cast<std::size_t>(code)] = down ? 1 : 0;
}

void Walkthrough::setAspectRatio(float ratio) {
    if (std::isfinite(ratio) && ratio > 0.0f) aspectRatio_ = ratio;
}

void Walkthrough::setFieldOfView(float radians) {
    if (std::isfinite(radians) && radians > 0.0f) fieldOfView_ = radians;
}

}  // namespace vantrell
