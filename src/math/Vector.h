// Three-component vectors and their arithmetic: the one vocabulary of points and directions
// that the level, the camera, the view volume, the renderer, the importer and the tools use.
//
// Vector3 (single precision) is what level files store and what the walk-through computes
// with; Vector3d (double precision) is for geometry that is built rather than walked: portals,
// importing, compiling. Every operation is written out component by component, in the order
// the comments give, so results are the same in every build (no fused multiply-add).
#pragma once

#include <cmath>
#include <type_traits>

namespace vantrell {

template <typename T>
struct Vec3 {
    T x = 0;
    T y = 0;
    T z = 0;
};

using Vector3 = Vec3<float>;
using Vector3d = Vec3<double>;

// The scalar of a product is never deduced from it, so `2.0f * v` and `0.5 * w` both take the
// vector's own precision.
template <typename T>
using Scalar = std::type_identity_t<T>;

template <typename T>
[[nodiscard]] constexpr Vec3<T> operator+(const Vec3<T>& a, const Vec3<T>& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
template <typename T>
[[nodiscard]] constexpr Vec3<T> operator-(const Vec3<T>& a, const Vec3<T>& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
template <typename T>
[[nodiscard]] constexpr Vec3<T> operator-(const Vec3<T>& a) {
    return {-a.x, -a.y, -a.z};
}
template <typename T>
[[nodiscard]] constexpr Vec3<T> operator*(const Vec3<T>& a, Scalar<T> s) {
    return {a.x * s, a.y * s, a.z * s};
}
template <typename T>
[[nodiscard]] constexpr Vec3<T> operator*(Scalar<T> s, const Vec3<T>& a) {
    return {s * a.x, s * a.y, s * a.z};
}
// Exact comparison of all three components.
template <typename T>
[[nodiscard]] constexpr bool operator==(const Vec3<T>& a, const Vec3<T>& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

// a.x*b.x + a.y*b.y + a.z*b.z, summed left to right.
template <typename T>
[[nodiscard]] constexpr T dot(const Vec3<T>& a, const Vec3<T>& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
// (a.y*b.z - a.z*b.y, a.z*b.x - a.x*b.z, a.x*b.y - a.y*b.x).
template <typename T>
[[nodiscard]] constexpr Vec3<T> cross(const Vec3<T>& a, const Vec3<T>& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
template <typename T>
[[nodiscard]] T length(const Vec3<T>& v) {
    return std::sqrt(dot(v, v));
}

// All three components exactly 0.
template <typename T>
[[nodiscard]] constexpr bool isZero(const Vec3<T>& v) {
    return v.x == 0 && v.y == 0 && v.z == 0;
}
template <typename T>
[[nodiscard]] bool isFinite(const Vec3<T>& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// v / |v|. A zero vector gives non-numbers; callers that can meet one use
// normalizeIfNonZero or unitOrZero.
template <typename T>
[[nodiscard]] Vec3<T> normalized(const Vec3<T>& v) {
    const T n = length(v);
    return {v.x / n, v.y / n, v.z / n};
}

// Scales v in place to unit length unless it is exactly zero; returns v.
template <typename T>
Vec3<T>& normalizeIfNonZero(Vec3<T>& v) {
    if (!isZero(v)) v = normalized(v);
    return v;
}

// v / |v|, or the zero vector when |v| is not above tiny or not finite.
template <typename T>
[[nodiscard]] Vec3<T> unitOrZero(const Vec3<T>& v, Scalar<T> tiny = T(1e-12)) {
    const T l = length(v);
    if (!(l > tiny) || !std::isfinite(l)) return {};
    return v * (T(1) / l);
}

[[nodiscard]] constexpr Vector3d toDouble(const Vector3& v) {
    return {v.x, v.y, v.z};
}
[[nodiscard]] constexpr Vector3 toFloat(const Vector3d& v) {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

// Turns v about axis (any positive length) by angle radians:
// v cos t + (a x v) sin t + a (a . v)(1 - cos t), with a the unit axis.
[[nodiscard]] Vector3 rotateAboutAxis(const Vector3& v, const Vector3& axis, float angle);
// The same about (0, 1, 0): (x cos t + z sin t, y, -x sin t + z cos t).
[[nodiscard]] Vector3 rotateAboutY(const Vector3& v, float angle);

}  // namespace vantrell
