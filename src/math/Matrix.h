// 4 x 4 matrices for the view and the projection.
//
// Matrices hold 16 floats in rows; a point (x, y, z) is transformed as the row vector
// (x, y, z, 1) multiplied from the left. View and projection are left-handed, with depth
// 0 on the near plane and 1 on the far plane.
#pragma once

#include <array>
#include <cstddef>

#include "math/Vector.h"

namespace vantrell {

struct Matrix4 {
    std::array<float, 16> m{};  // row-major: m[row * 4 + column]
    [[nodiscard]] float at(int row, int column) const { return m[static_cast<std::size_t>(row * 4 + column)]; }
    float& at(int row, int column) { return m[static_cast<std::size_t>(row * 4 + column)]; }
};

// Left-handed view matrix looking from eye towards target.
[[nodiscard]] Matrix4 lookAtLH(const Vector3& eye, const Vector3& target, const Vector3& up);
// Left-handed projection: vertical field of view (radians), aspect = width / height.
[[nodiscard]] Matrix4 perspectiveFovLH(float fieldOfView, float aspect, float nearPlane, float farPlane);
// (x, y, z, 1) * m, divided by the resulting w.
[[nodiscard]] Vector3 transformCoord(const Vector3& v, const Matrix4& m);
[[nodiscard]] Matrix4 multiply(const Matrix4& a, const Matrix4& b);

}  // namespace vantrell
