// Vector and matrix operations shared by the camera, the view volume and the renderer.
//
// Matrices hold 16 floats in rows; a point (x, y, z) is transformed as the row vector
// (x, y, z, 1) multiplied from the left. View and projection are left-handed, with depth
// 0 on the near plane and 1 on the far plane.
#pragma once

#include "level/LevelTypes.h"

#include <array>
#include <cmath>

namespace vantrell {

[[nodiscard]] inline Vector3 operator+(const Vector3& a, const Vector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
[[nodiscard]] inline Vector3 operator-(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
[[nodiscard]] inline Vector3 operator-(const Vector3& a) { return {-a.x, -a.y, -a.z}; }
[[nodiscard]] inline Vector3 operator*(const Vector3& a, float s) { return {a.x * s, a.y * s, a.z * s}; }
[[nodiscard]] inline Vector3 operator*(float s, const Vector3& a) { return {s * a.x, s * a.y, s * a.z}; }
[[nodiscard]] inline bool operator==(const Vector3& a, const Vector3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

[[nodiscard]] inline float dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
[[nodiscard]] inline Vector3 cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
[[nodiscard]] inline float length(const Vector3& v) { return std::sqrt(dot(v, v)); }

// All three components exactly 0.
[[nodiscard]] inline bool isZero(const Vector3& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

// v / |v|; a zero vector gives non-numbers, as the platform function did. Callers that can
// meet a zero vector use normalizeIfNonZero.
[[nodiscard]] inline Vector3 normalized(const Vector3& v) {
    const float n = length(v);
    return {v.x / n, v.y / n, v.z / n};
}

// Scales v in place to unit length unless it is exactly zero; returns v.
inline Vector3& normalizeIfNonZero(Vector3& v) {
    if (!isZero(v)) v = normalized(v);
    return v;
}

// Turns v about axis (any positive length) by angle radians:
// v cos t + (a x v) sin t + a (a . v)(1 - cos t), with a the unit axis.
[[nodiscard]] Vector3 rotateAboutAxis(const Vector3& v, const Vector3& axis, float angle);
// The same about (0, 1, 0): (x cos t + z sin t, y, -x sin t + z cos t).
[[nodiscard]] Vector3 rotateAboutY(const Vector3& v, float angle);

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
