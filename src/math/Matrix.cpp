#include "math/Matrix.h"

#include <cmath>

namespace vantrell {

Matrix4 lookAtLH(const Vector3& eye, const Vector3& target, const Vector3& up) {
    const Vector3 z = normalized(target - eye);
    const Vector3 x = normalized(cross(up, z));
    const Vector3 y = cross(z, x);
    Matrix4 r;
    r.m = {x.x,          y.x,          z.x,          0.0f,  //
           x.y,          y.y,          z.y,          0.0f,  //
           x.z,          y.z,          z.z,          0.0f,  //
           -dot(x, eye), -dot(y, eye), -dot(z, eye), 1.0f};
    return r;
}

Matrix4 perspectiveFovLH(float fieldOfView, float aspect, float nearPlane, float farPlane) {
    const float s = 1.0f / std::tan(fieldOfView * 0.5f);
    const float depth = farPlane - nearPlane;
    Matrix4 r;
    r.m = {s / aspect, 0.0f, 0.0f,
           0.0f,  //
           0.0f,       s,    0.0f,
           0.0f,  //
           0.0f,       0.0f, farPlane / depth,
           1.0f,  //
           0.0f,       0.0f, -nearPlane * farPlane / depth,
           0.0f};
    return r;
}

Vector3 transformCoord(const Vector3& v, const Matrix4& m) {
    const float x = v.x * m.at(0, 0) + v.y * m.at(1, 0) + v.z * m.at(2, 0) + m.at(3, 0);
    const float y = v.x * m.at(0, 1) + v.y * m.at(1, 1) + v.z * m.at(2, 1) + m.at(3, 1);
    const float z = v.x * m.at(0, 2) + v.y * m.at(1, 2) + v.z * m.at(2, 2) + m.at(3, 2);
    const float w = v.x * m.at(0, 3) + v.y * m.at(1, 3) + v.z * m.at(2, 3) + m.at(3, 3);
    return {x / w, y / w, z / w};
}

Matrix4 multiply(const Matrix4& a, const Matrix4& b) {
    Matrix4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a.at(i, k) * b.at(k, j);
            r.at(i, j) = sum;
        }
    return r;
}

}  // namespace vantrell
