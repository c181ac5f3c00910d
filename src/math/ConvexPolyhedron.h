// Bounded convex polyhedra in double precision, cut by planes: the regions of a tree's leaves.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "math/Vector.h"

namespace vantrell {

// The plane of the points p with dot(normal, p) + d = 0; the side where that sum is >= 0 is
// its front (the level file's convention, in double precision).
struct PlaneD {
    Vector3d normal;
    double d = 0.0;
};

[[nodiscard]] constexpr double distanceTo(const PlaneD& plane, const Vector3d& p) {
    return dot(plane.normal, p) + plane.d;
}
[[nodiscard]] constexpr PlaneD flipped(const PlaneD& plane) {
    return {-plane.normal, -plane.d};
}

// A convex polyhedron kept as its face polygons, each on a plane that has the inside in front.
// A default-constructed one is empty.
class ConvexPolyhedron {
public:
    struct Face {
        PlaneD plane;             // the inside lies in front
        std::uint32_t first = 0;  // the polygon's corners: points[first, first + count), in order round it
        std::uint32_t count = 0;
    };

    ConvexPolyhedron() = default;
    // The box [lo, hi]; empty unless lo < hi on every axis.
    [[nodiscard]] static ConvexPolyhedron box(const Vector3d& lo, const Vector3d& hi);

    [[nodiscard]] bool empty() const { return faces_.empty(); }
    [[nodiscard]] const std::vector<Face>& faces() const { return faces_; }
    [[nodiscard]] std::span<const Vector3d> polygon(const Face& face) const {
        return std::span<const Vector3d>(points_).subspan(face.first, face.count);
    }
    // Every corner once (faces that meet at a corner hold bit-identical copies of it).
    [[nodiscard]] std::vector<Vector3d> corners() const;
    // The smallest and largest signed distance of a corner to plane; (0, 0) when empty.
    [[nodiscard]] std::pair<double, double> distanceRange(const PlaneD& plane) const;
    // The box around the corners; false when empty.
    bool bounds(Vector3d& lo, Vector3d& hi) const;
    // The mean of the corners: a point inside (the polyhedron is convex).
    [[nodiscard]] Vector3d centre() const;
    // The volume (0 when empty).
    [[nodiscard]] double volume() const;
    // The number of stored polygon corners (a measure of the work a split costs).
    [[nodiscard]] std::size_t size() const { return points_.size(); }

    // Cuts along plane (with a unit normal) into the part in front of it and the part behind
    // it. Corners within epsilon of the plane count as on it. When no corner lies more than
    // epsilon behind the plane, front gets a copy and back comes out empty (and the other way
    // round), so no part thinner than epsilon is ever made. Either output may be null; neither
    // may be this polyhedron.
    void split(const PlaneD& plane, double epsilon, ConvexPolyhedron* front, ConvexPolyhedron* back) const;

private:
    void addFace(const PlaneD& plane, std::span<const Vector3d> polygon);

    std::vector<Face> faces_;
    std::vector<Vector3d> points_;
};

// Where a convex polygon lies against a plane (unit normal), corners within epsilon counting
// as on it.
enum class PolygonSide { on, front, back, both };

// Cuts a convex polygon (corners in order round it) by plane. Corners within epsilon of the plane
// go to both parts, and each edge that crosses from more than epsilon in front to more than
// epsilon behind adds its crossing to both. The crossing is always taken from the edge's front
// end, so polygons that share an edge are cut at bit-identical points and stay without cracks.
// front and back are filled only for PolygonSide::both (either may be null).
PolygonSide splitConvexPolygon(std::span<const Vector3d> polygon, const PlaneD& plane, double epsilon,
                               std::vector<Vector3d>* front, std::vector<Vector3d>* back);

// The corners sorted round their centre as seen along normal (a convex polygon in the plane
// with that normal); exact duplicates are dropped.
void orderConvexPolygon(std::vector<Vector3d>& points, const Vector3d& normal);

// The area of a convex polygon given in order round it.
[[nodiscard]] double polygonArea(std::span<const Vector3d> polygon);

}  // namespace vantrell
