#include "level/WalkableCheck.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

#include "level/LevelGeometry.h"
#include "level/SpacePartition.h"
#include "level/StampMarks.h"
#include "math/ConvexPolyhedron.h"

namespace vantrell {
namespace {

// A tree has one path to each node; one that shares subtrees can have more, and a hostile one
// exponentially many. The check gives up past a few paths per node, or when cutting regions
// would touch more polygon corners than this in all.
constexpr std::uint64_t pathsPerNode = 4;
constexpr std::uint64_t maxRegionWork = 500'000'000;

std::string formatDistance(double d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", d);
    return text;
}

struct Bounds {
    Vector3d lo{1, 1, 1}, hi{0, 0, 0};
    bool any = false;
    void add(const Vector3d& p) {
        if (!isFinite(p)) return;
        if (!any) lo = hi = p, any = true;
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
};

// The level's extent: its vertices and the boxes of its spaces. An axis without extent (a
// level that is one flat floor) is widened, so that the regions still have volume.
Bounds levelBounds(const LevelGeometry& g, const SpacePartition& p) {
    Bounds b;
    for (const Vector3& v : g.vertices) b.add(toDouble(v));
    for (const Space& s : p.spaces) {
        if (isEmpty(s.bounds)) continue;
        b.add({s.bounds.minX, s.bounds.minY, s.bounds.minZ});
        b.add({s.bounds.maxX, s.bounds.maxY, s.bounds.maxZ});
    }
    if (b.any) {
        if (!(b.hi.x > b.lo.x)) b.lo.x -= 1, b.hi.x += 1;
        if (!(b.hi.y > b.lo.y)) b.lo.y -= 1, b.hi.y += 1;
        if (!(b.hi.z > b.lo.z)) b.lo.z -= 1, b.hi.z += 1;
    }
    return b;
}

// The plane scaled to a unit normal; false when it has no direction or is not finite.
bool unitPlane(const Plane& p, PlaneD& out) {
    const Vector3d n{p.a, p.b, p.c};
    const double l = length(n);
    if (!(l > 0.0) || !std::isfinite(l) || !std::isfinite(p.d)) return false;
    out = {(1.0 / l) * n, p.d / l};
    return true;
}

}  // namespace

WalkableReport checkWalkable(const LevelGeometry& g, const SpacePartition& p) {
    WalkableReport report;
    std::vector<std::uint8_t> listsTriangles(p.spaces.size(), 0);
    bool anyListed = false;
    for (std::size_t s = 0; s < p.spaces.size(); ++s) {
        listsTriangles[s] = p.spaces[s].triangleIndices.empty() ? 0 : 1;
        anyListed = anyListed || listsTriangles[s] != 0;
    }
    report.checked = true;
    if (!anyListed || p.nodes.empty()) return report;

    const Bounds bounds = levelBounds(g, p);
    const double largest = std::max({std::fabs(bounds.lo.x), std::fabs(bounds.lo.y), std::fabs(bounds.lo.z),
                                     std::fabs(bounds.hi.x), std::fabs(bounds.hi.y), std::fabs(bounds.hi.z)});
    // A tenth of the contact skin: the push-out moves the working point by at least the skin,
    // so a corner this little behind a plane cannot send it the wrong way; and it leaves room
    // for the corners of thin regions, which cutting places less exactly than their planes.
    const double epsilon = std::max(5e-3, 1e-6 * largest);
    // On the boundary: within the contact query's skin.
    const double reach = 0.05 + epsilon;
    // Corners: a quarter of a unit, so that a wall may run on past the space's side into the
    // next space, where a clip query sliding along it looks.
    const double cornerReach = 0.25 + epsilon;
    // Cutting regions uses a finer tolerance, so that their corners stay true to the planes.
    const double cutEpsilon = 1e-9 * std::max(1.0, largest);

    // The corners of every region that names a space (only spaces that list triangles), and
    // each such region as the planes that cut it on the path down to its leaf: whether a point
    // lies in a region is asked of those planes, since a thin region's corners are poorly
    // placed along its length while the planes' distances are not.
    std::vector<std::vector<Vector3d>> cornersOf(p.spaces.size());
    struct LeafRegion {
        std::size_t first, count;  // in regionPlanes
    };
    std::vector<std::vector<LeafRegion>> regionsOf(p.spaces.size());
    std::vector<PlaneD> regionPlanes;
    struct Frame {
        std::int32_t child;
        ConvexPolyhedron region;
        std::vector<PlaneD> path;  // the planes that cut the region, facing into it
    };
    std::vector<Frame> stack;
    stack.push_back({0, ConvexPolyhedron::box(bounds.lo, bounds.hi), {}});
    std::uint64_t work = 0;
    std::uint64_t visits = 0;
    const std::uint64_t maxVisits = pathsPerNode * p.nodes.size() + 1024;
    while (!stack.empty()) {
        Frame frame = std::move(stack.back());
        stack.pop_back();
        if (frame.child < 0) {
            const auto s = static_cast<std::size_t>(spaceOfChild(frame.child));
            if (listsTriangles[s] != 0 && !frame.region.empty()) {
                const std::vector<Vector3d> c = frame.region.corners();
                cornersOf[s].insert(cornersOf[s].end(), c.begin(), c.end());
                LeafRegion leaf{};
                leaf.first = regionPlanes.size();
                leaf.count = frame.path.size();
                regionPlanes.insert(regionPlanes.end(), frame.path.begin(), frame.path.end());
                regionsOf[s].push_back(leaf);
                work += frame.path.size();
            }
            continue;
        }
        const BspNode& node = p.node(frame.child);
        work += frame.region.size();
        if (++visits > maxVisits || work > maxRegionWork) {
            report.checked = false;
            report.why = "the tree has too many paths to check";
            return report;
        }
        PlaneD plane;
        ConvexPolyhedron front, back;
        const Plane& raw = g.plane(node.planeIndex);
        std::vector<PlaneD> frontPath, backPath;
        if (unitPlane(raw, plane)) {
            frame.region.split(plane, cutEpsilon, &front, &back);
            const bool cut = !front.empty() && !back.empty();
            frontPath = frame.path;
            backPath = std::move(frame.path);
            if (cut) frontPath.push_back(plane), backPath.push_back(flipped(plane));
        } else {
            // No usable direction: every point has the same distance (or none that is a
            // number, which goes to the front), so the whole region goes one way.
            const Vector3d c = frame.region.centre();
            const double d = static_cast<double>(raw.a) * c.x + static_cast<double>(raw.b) * c.y +
                             static_cast<double>(raw.c) * c.z + static_cast<double>(raw.d);
            (d < 0.0 ? back : front) = std::move(frame.region);
        }
        stack.push_back({node.back, std::move(back), std::move(backPath)});
        stack.push_back({node.front, std::move(front), std::move(frontPath)});
    }

    // Per plane, the nearest corner of the space being checked (stamped by space).
    StampMarks measured;
    measured.reset(g.planes.size());
    std::vector<double> nearest(g.planes.size(), 0.0);
    const auto offend = [&](std::size_t s, std::int32_t t, std::string problem) {
        ++report.offences;
        if (report.examples.size() < walkableExamples)
            report.examples.push_back({static_cast<std::int32_t>(s), t, std::move(problem)});
    };
    for (std::size_t s = 0; s < p.spaces.size(); ++s) {
        if (listsTriangles[s] == 0) continue;
        std::vector<Vector3d>& corners = cornersOf[s];
        std::sort(corners.begin(), corners.end(), [](const Vector3d& a, const Vector3d& b) {
            return std::tie(a.x, a.y, a.z) < std::tie(b.x, b.y, b.z);
        });
        corners.erase(std::unique(corners.begin(), corners.end()), corners.end());
        measured.clear();
        for (const std::int32_t t : p.spaces[s].triangleIndices) {
            if (corners.empty()) {
                offend(s, t, "no leaf of the tree gives the space any volume");
                continue;
            }
            const Triangle& triangle = g.triangle(t);
            PlaneD plane;
            if (!unitPlane(g.plane(triangle.planeIndex), plane)) {
                offend(s, t, "the triangle's plane has no direction");
                continue;
            }
            const auto k = static_cast<std::size_t>(triangle.planeIndex);
            if (!measured.marked(k)) {
                measured.mark(k);
                double d = distanceTo(plane, corners[0]);
                for (const Vector3d& c : corners) d = std::min(d, distanceTo(plane, c));
                nearest[k] = d;
            }
            const double d = nearest[k];
            if (!(d >= -epsilon)) {
                offend(s, t, "part of the space lies " + formatDistance(-d) + " behind the triangle's plane");
                continue;
            }
            // Whether a point lies within margin of one of the space's regions, asked of their
            // planes (a thin region's corners fall short of its length; its planes do not).
            const auto inRegions = [&](const Vector3d& c, double margin) {
                if (!(c.x >= bounds.lo.x - margin && c.x <= bounds.hi.x + margin && c.y >= bounds.lo.y - margin &&
                      c.y <= bounds.hi.y + margin && c.z >= bounds.lo.z - margin && c.z <= bounds.hi.z + margin)) {
                    return false;
                }
                for (const LeafRegion& leaf : regionsOf[s]) {
                    bool inside = true;
                    for (std::size_t k = 0; k < leaf.count && inside; ++k)
                        inside = distanceTo(regionPlanes[leaf.first + k], c) >= -margin;
                    if (inside) return true;
                }
                return false;
            };
            work += 6 * regionsOf[s].size();
            if (work > 2 * maxRegionWork) {
                report.checked = false;
                report.why = "the spaces have too many leaves and triangles to check";
                return report;
            }
            bool touches = false;  // a corner within the skin: the plane passes that near too
            bool outside = false;
            for (const std::int32_t v : triangle.vertexIndex) {
                const Vector3d c = toDouble(g.vertex(v));
                touches = touches || inRegions(c, reach);
                outside = outside || !inRegions(c, cornerReach);
            }
            if (d > reach && !touches) {
                offend(s, t,
                       "the triangle's plane passes " + formatDistance(d) + " from the space, not along its boundary");
            } else if (outside) {
                offend(s, t, "the triangle lies outside the space");
            }
        }
    }
    return report;
}

}  // namespace vantrell
