#include "math/ConvexPolyhedron.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace vantrell {
namespace {

bool lexicalLess(const Vector3d& a, const Vector3d& b) {
    return std::tie(a.x, a.y, a.z) < std::tie(b.x, b.y, b.z);
}

// The crossing of the edge between a point in front (distance da > 0) and one behind
// (db < 0). Always taken from the front point, so the two faces that share an edge, which
// walk it in opposite directions, make bit-identical points.
Vector3d crossing(const Vector3d& front, double da, const Vector3d& back, double db) {
    const double t = da / (da - db);
    return front + t * (back - front);
}

}  // namespace

PolygonSide splitConvexPolygon(std::span<const Vector3d> polygon, const PlaneD& plane, double epsilon,
                               std::vector<Vector3d>* front, std::vector<Vector3d>* back) {
    const std::size_t n = polygon.size();
    bool anyFront = false, anyBack = false;
    for (const Vector3d& p : polygon) {
        const double d = distanceTo(plane, p);
        anyFront = anyFront || d > epsilon;
        anyBack = anyBack || d < -epsilon;
    }
    if (!anyFront && !anyBack) return PolygonSide::on;
    if (!anyBack) return PolygonSide::front;
    if (!anyFront) return PolygonSide::back;
    if (front != nullptr) front->clear();
    if (back != nullptr) back->clear();
    double dp = distanceTo(plane, polygon[0]);
    for (std::size_t i = 0; i < n; ++i) {
        const Vector3d& p = polygon[i];
        const std::size_t j = i + 1 == n ? 0 : i + 1;
        const double dq = distanceTo(plane, polygon[j]);
        if (dp >= -epsilon && front != nullptr) front->push_back(p);
        if (dp <= epsilon && back != nullptr) back->push_back(p);
        if ((dp > epsilon && dq < -epsilon) || (dp < -epsilon && dq > epsilon)) {
            const Vector3d x = dp > 0 ? crossing(p, dp, polygon[j], dq) : crossing(polygon[j], dq, p, dp);
            if (front != nullptr) front->push_back(x);
            if (back != nullptr) back->push_back(x);
        }
        dp = dq;
    }
    return PolygonSide::both;
}

void orderConvexPolygon(std::vector<Vector3d>& points, const Vector3d& normal) {
    std::sort(points.begin(), points.end(), lexicalLess);
    points.erase(std::unique(points.begin(), points.end()), points.end());
    if (points.size() < 3) return;
    Vector3d centre;
    for (const Vector3d& p : points) centre = centre + p;
    centre = (1.0 / static_cast<double>(points.size())) * centre;
    // Any direction across the normal, then the one across both.
    const Vector3d helper = std::fabs(normal.x) < 0.6 ? Vector3d{1, 0, 0} : Vector3d{0, 1, 0};
    const Vector3d u = unitOrZero(cross(normal, helper));
    const Vector3d v = cross(normal, u);
    std::vector<std::pair<double, Vector3d>> keyed;
    keyed.reserve(points.size());
    for (const Vector3d& p : points) keyed.emplace_back(std::atan2(dot(p - centre, v), dot(p - centre, u)), p);
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        return a.first < b.first || (a.first == b.first && lexicalLess(a.second, b.second));
    });
    for (std::size_t i = 0; i < keyed.size(); ++i) points[i] = keyed[i].second;
}

double polygonArea(std::span<const Vector3d> polygon) {
    if (polygon.size() < 3) return 0.0;
    Vector3d sum;
    for (std::size_t i = 1; i + 1 < polygon.size(); ++i)
        sum = sum + cross(polygon[i] - polygon[0], polygon[i + 1] - polygon[0]);
    return 0.5 * length(sum);
}

ConvexPolyhedron ConvexPolyhedron::box(const Vector3d& lo, const Vector3d& hi) {
    ConvexPolyhedron out;
    if (!(lo.x < hi.x && lo.y < hi.y && lo.z < hi.z)) return out;
    const auto corner = [&](int i) {
        return Vector3d{(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z};
    };
    // Per face: its inward plane and its four corners (by corner number) in order round it.
    struct BoxFace {
        PlaneD plane;
        int c[4];
    };
    const BoxFace faces[6] = {
        {{{1, 0, 0}, -lo.x}, {0, 2, 6, 4}}, {{{-1, 0, 0}, hi.x}, {1, 5, 7, 3}}, {{{0, 1, 0}, -lo.y}, {0, 4, 5, 1}},
        {{{0, -1, 0}, hi.y}, {2, 3, 7, 6}}, {{{0, 0, 1}, -lo.z}, {0, 1, 3, 2}}, {{{0, 0, -1}, hi.z}, {4, 6, 7, 5}},
    };
    for (const BoxFace& f : faces) {
        const Vector3d polygon[4] = {corner(f.c[0]), corner(f.c[1]), corner(f.c[2]), corner(f.c[3])};
        out.addFace(f.plane, polygon);
    }
    return out;
}

void ConvexPolyhedron::addFace(const PlaneD& plane, std::span<const Vector3d> polygon) {
    Face face;
    face.plane = plane;
    face.first = static_cast<std::uint32_t>(points_.size());
    face.count = static_cast<std::uint32_t>(polygon.size());
    points_.insert(points_.end(), polygon.begin(), polygon.end());
    faces_.push_back(face);
}

std::vector<Vector3d> ConvexPolyhedron::corners() const {
    std::vector<Vector3d> out(points_);
    std::sort(out.begin(), out.end(), lexicalLess);
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::pair<double, double> ConvexPolyhedron::distanceRange(const PlaneD& plane) const {
    if (points_.empty()) return {0.0, 0.0};
    double lo = distanceTo(plane, points_[0]);
    double hi = lo;
    for (const Vector3d& p : points_) {
        const double d = distanceTo(plane, p);
        lo = std::min(lo, d);
        hi = std::max(hi, d);
    }
    return {lo, hi};
}

bool ConvexPolyhedron::bounds(Vector3d& lo, Vector3d& hi) const {
    if (points_.empty()) return false;
    lo = hi = points_[0];
    for (const Vector3d& p : points_) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    return true;
}

Vector3d ConvexPolyhedron::centre() const {
    const std::vector<Vector3d> c = corners();
    Vector3d sum;
    for (const Vector3d& p : c) sum = sum + p;
    return c.empty() ? sum : (1.0 / static_cast<double>(c.size())) * sum;
}

double ConvexPolyhedron::volume() const {
    if (points_.empty()) return 0.0;
    // Pyramids from a point inside to every face.
    Vector3d inside;
    for (const Vector3d& p : points_) inside = inside + p;
    inside = (1.0 / static_cast<double>(points_.size())) * inside;
    double sum = 0.0;
    for (const Face& face : faces_) sum += polygonArea(polygon(face)) * distanceTo(face.plane, inside) / 3.0;
    return sum;
}

void ConvexPolyhedron::split(const PlaneD& plane, double epsilon, ConvexPolyhedron* front,
                             ConvexPolyhedron* back) const {
    if (front != nullptr) *front = ConvexPolyhedron{};
    if (back != nullptr) *back = ConvexPolyhedron{};
    if (empty()) return;
    const auto [lo, hi] = distanceRange(plane);
    if (!(lo < -epsilon)) {  // nothing behind (a distance that is not a number counts as in front)
        if (front != nullptr) *front = *this;
        return;
    }
    if (!(hi > epsilon)) {
        if (back != nullptr) *back = *this;
        return;
    }

    std::vector<Vector3d> frontPolygon, backPolygon, cap;
    std::vector<double> dist;
    for (const Face& face : faces_) {
        const std::span<const Vector3d> polygon = this->polygon(face);
        const std::size_t n = polygon.size();
        dist.resize(n);
        bool anyFront = false, anyBack = false;
        for (std::size_t i = 0; i < n; ++i) {
            dist[i] = distanceTo(plane, polygon[i]);
            anyFront = anyFront || dist[i] > epsilon;
            anyBack = anyBack || dist[i] < -epsilon;
        }
        frontPolygon.clear();
        backPolygon.clear();
        for (std::size_t i = 0; i < n; ++i) {
            const Vector3d& p = polygon[i];
            const double dp = dist[i];
            const bool onPlane = dp >= -epsilon && dp <= epsilon;
            if (dp >= -epsilon) frontPolygon.push_back(p);
            if (dp <= epsilon) backPolygon.push_back(p);
            if (onPlane) cap.push_back(p);
            const std::size_t j = i + 1 == n ? 0 : i + 1;
            const double dq = dist[j];
            if ((dp > epsilon && dq < -epsilon) || (dp < -epsilon && dq > epsilon)) {
                const Vector3d x = dp > 0 ? crossing(p, dp, polygon[j], dq) : crossing(polygon[j], dq, p, dp);
                frontPolygon.push_back(x);
                backPolygon.push_back(x);
                cap.push_back(x);
            }
        }
        // A face that lies on the cutting plane is replaced by the cap.
        if (!anyFront && !anyBack) continue;
        if (front != nullptr && anyFront && frontPolygon.size() >= 3) front->addFace(face.plane, frontPolygon);
        if (back != nullptr && anyBack && backPolygon.size() >= 3) back->addFace(face.plane, backPolygon);
    }
    orderConvexPolygon(cap, plane.normal);
    if (cap.size() < 3) return;  // degenerate: leave the parts without a cap rather than invent one
    if (front != nullptr) front->addFace(plane, cap);
    if (back != nullptr) {
        std::reverse(cap.begin(), cap.end());
        back->addFace(flipped(plane), cap);
    }
}

}  // namespace vantrell
