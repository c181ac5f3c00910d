#include "math/Vector.h"

namespace vantrell {

Vector3 rotateAboutAxis(const Vector3& v, const Vector3& axis, float angle) {
    const Vector3 a = normalized(axis);
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    return v * c + cross(a, v) * s + a * (dot(a, v) * (1.0f - c));
}

Vector3 rotateAboutY(const Vector3& v, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    return {v.x * c + v.z * s, v.y, -v.x * s + v.z * c};
}

}  // namespace vantrell
