#include "walk/Walkthrough.h"

#include <cmath>

namespace vantrell {

Walkthrough::Walkthrough(const LevelGeometry& levelGeometry, const SpacePartition& spacePartition,
                         const PerformanceCounter& counter, const Vector3& startPosition, const Vector3& startForward)
    : geometry(levelGeometry),
      partition(spacePartition),
      counter(counter),
      visibility_(spacePartition, levelGeometry),
      camera_(startPosition, startForward, counter.counter(), counter.frequency()) {}

void Walkthrough::update() {
    const auto contact = [this](const Vector3& from, const Vector3& to) {
        return visibility_.findContactPlane(from, to);
    };
    camera_.update(counter.counter(), keys, contact);
}

void Walkthrough::step() {
    const auto contact = [this](const Vector3& from, const Vector3& to) {
        return visibility_.findContactPlane(from, to);
    };
    camera_.step(keys, contact);
}

ViewPoint Walkthrough::viewPoint() const {
    return {eyePoint(), camera_.forward(), camera_.up(), camera_.right(), fieldOfView_, aspectRatio_};
}

void Walkthrough::setAspectRatio(float ratio) {
    if (std::isfinite(ratio) && ratio > 0.0f) aspectRatio_ = ratio;
}

void Walkthrough::setFieldOfView(float radians) {
    if (std::isfinite(radians) && radians > 0.0f) fieldOfView_ = radians;
}

}  // namespace vantrell
