// Writers of small scene files as modelling tools export them: glTF 2.0 with its buffer
// embedded (base64), binary glTF, and Wavefront OBJ. The example scenes, the scene tests and
// the scene benchmark build their files with these.
//
// Coordinates are the files' own: right-handed, y up; a face is counter-clockwise seen from
// its front.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "math/Vector.h"

namespace vantrell::scenefiles {

struct Mesh {
    std::vector<Vector3> positions;
    std::vector<Vector3> normals;                   // empty, or one per position
    std::vector<std::vector<std::uint32_t>> faces;  // 3 or more corners each, counter-clockwise
};

struct Node {
    std::string name;
    int mesh = -1;  // index into Scene::meshes, or -1 for an empty node
    // A full matrix (column-major, as glTF stores it) replaces translation, rotation and scale.
    bool useMatrix = false;
    std::array<double, 16> matrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::array<double, 3> translation{0, 0, 0};
    std::array<double, 4> rotation{0, 0, 0, 1};  // unit quaternion x, y, z, w
    std::array<double, 3> scale{1, 1, 1};
    std::vector<int> children;
};

struct Scene {
    std::vector<Mesh> meshes;
    std::vector<Node> nodes;
    std::vector<int> roots;
};

// Faces of more than three corners are cut into fans for glTF, which holds only triangles.
[[nodiscard]] std::string gltfText(const Scene& scene);
[[nodiscard]] std::vector<std::uint8_t> glbBytes(const Scene& scene);
// One mesh as OBJ (with "vn" lines when it has normals); faces are kept as they are.
[[nodiscard]] std::string objText(const Mesh& mesh);

// A rectangle corner + s u + t v (s, t in [0, 1]) appended to mesh as one face whose front
// faces along `facing`, with that as its normal when withNormals.
void addRectangle(Mesh& mesh, const Vector3& corner, const Vector3& u, const Vector3& v, const Vector3& facing,
                  bool withNormals);
// A triangle appended to mesh, wound so that its front faces along `facing`.
void addTriangle(Mesh& mesh, const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& facing,
                 bool withNormals);

}  // namespace vantrell::scenefiles
