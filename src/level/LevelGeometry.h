// The geometry half of a level: vertex positions, vertex normals, triangles and planes.
// Readers index without checks; a level is validated once after loading (LevelValidation.h).
#pragma once

#include <cstdint>
#include <vector>

#include "level/LevelTypes.h"

namespace vantrell {

struct LevelGeometry {
    std::vector<Vector3> vertices;
    std::vector<Vector3> normals;
    std::vector<Triangle> triangles;
    std::vector<Plane> planes;

    [[nodiscard]] const Vector3& vertex(std::int32_t i) const { return vertices[static_cast<std::size_t>(i)]; }
    [[nodiscard]] const Vector3& normal(std::int32_t i) const { return normals[static_cast<std::size_t>(i)]; }
    [[nodiscard]] const Triangle& triangle(std::int32_t i) const { return triangles[static_cast<std::size_t>(i)]; }
    [[nodiscard]] const Plane& plane(std::int32_t i) const { return planes[static_cast<std::size_t>(i)]; }
    [[nodiscard]] std::int32_t triangleCount() const { return static_cast<std::int32_t>(triangles.size()); }

    // Each returns the index of the appended record (new size - 1).
    std::int32_t addVertex(const Vector3& v) { return append(vertices, v); }
    std::int32_t addNormal(const Vector3& n) { return append(normals, n); }
    std::int32_t addTriangle(const Triangle& t) { return append(triangles, t); }
    std::int32_t addPlane(const Plane& p) { return append(planes, p); }

private:
    template <typename T>
    static std::int32_t append(std::vector<T>& array, const T& record) {
        array.push_back(record);
        return static_cast<std::int32_t>(array.size() - 1);
    }
};

}  // namespace vantrell
