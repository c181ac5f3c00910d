#include "visibility/ContactQuery.h"

#include <algorithm>
#include <span>

#include "math/Vector.h"

namespace vantrell {
namespace {

constexpr float notEntered = -1.0f;

// The triangle list of space s, or nothing when the level has no such space.
std::span<const std::int32_t> trianglesOfSpace(const SpacePartition& partition, std::int32_t s) {
    if (s < 0 || static_cast<std::size_t>(s) >= partition.spaces.size()) return {};
    return partition.spaces[static_cast<std::size_t>(s)].triangleIndices;
}

bool holdsVertices(const LevelGeometry& geometry, const Triangle& t) {
    return std::all_of(t.vertexIndex.begin(), t.vertexIndex.end(), [&](std::int32_t v) {
        return v >= 0 && static_cast<std::size_t>(v) < geometry.vertices.size();
    });
}

}  // namespace

Plane ContactQuery::find(const LevelGeometry& geometry, const SpacePartition& partition, const Vector3& from,
                         const Vector3& to) {
    if (partition.nodes.empty()) return {};
    if (planesMet.size() != geometry.planes.size()) {
        planesMet.reset(geometry.planes.size());
        fractionOfPlane.assign(geometry.planes.size(), notEntered);
    }

    const std::int32_t spaceFrom = locateSpace(geometry, partition, 0, from);
    const std::int32_t spaceTo = locateSpace(geometry, partition, 0, to);
    // The candidates are read in place: the start space's triangles, then the end space's.
    const std::span<const std::int32_t> first = trianglesOfSpace(partition, spaceFrom);
    const std::span<const std::int32_t> second =
        spaceTo != spaceFrom ? trianglesOfSpace(partition, spaceTo) : std::span<const std::int32_t>{};
    const std::size_t candidateCount = first.size() + second.size();

    planesMet.clear();
    Vector3 a = from;
    int restarts = 0;
    std::size_t i = 0;
    while (i < candidateCount) {
        const std::int32_t triangleIndex = i < first.size() ? first[i] : second[i - first.size()];
        ++i;
        if (triangleIndex < 0 || static_cast<std::size_t>(triangleIndex) >= geometry.triangles.size()) continue;
        const Triangle& t = geometry.triangles[static_cast<std::size_t>(triangleIndex)];
        if (t.planeIndex < 0 || static_cast<std::size_t>(t.planeIndex) >= geometry.planes.size()) continue;
        const auto planeIndex = static_cast<std::size_t>(t.planeIndex);
        const Plane& plane = geometry.planes[planeIndex];
        const Vector3 n{plane.a, plane.b, plane.c};

        float f = notEntered;
        if (!planesMet.marked(planeIndex)) {
            // First meeting of this plane since the last restart: its distances and fraction
            // are worked out once and shared by every later triangle on it.
            planesMet.mark(planeIndex);
            fractionOfPlane[planeIndex] = notEntered;
            const float distanceTo = dot(n, to) + plane.d;
            if (distanceTo >= contactSkin) continue;
            const float distanceA = dot(n, a) + plane.d;
            if (distanceA < contactSkin) {
                // The working point is inside the skin or behind the plane: move it out along
                // the normal and scan again from the first candidate with no planes met.
                a = a + n * (pushOutDistance - distanceA);
                if (restarts == maxRestarts) return plane;
                ++restarts;
                planesMet.clear();
                i = 0;
                continue;
            }
            f = distanceA / (distanceA - distanceTo);
            fractionOfPlane[planeIndex] = f;
        } else {
            f = fractionOfPlane[planeIndex];
            if (f == notEntered) continue;
        }

        if (!holdsVertices(geometry, t)) continue;
        const Vector3 crossing{a.x * (1.0f - f) + to.x * f, a.y * (1.0f - f) + to.y * f, a.z * (1.0f - f) + to.z * f};
        bool inside = true;
        for (std::size_t k = 0; k < 3 && inside; ++k) {
            const Vector3& v = geometry.vertices[static_cast<std::size_t>(t.vertexIndex[k])];
            const Vector3& w = geometry.vertices[static_cast<std::size_t>(t.vertexIndex[(k + 1) % 3])];
            // Exactly 0 means the crossing lies on the edge's line, which counts as inside.
            if (dot(n, cross(w - v, crossing - v)) < 0.0f) inside = false;
        }
        if (inside) return plane;
    }
    return {};
}

}  // namespace vantrell
