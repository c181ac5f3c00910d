// Leaf portals by splitting the world box down the tree.
//
//   1. checkTree: the input is a tree (indices in range, every node reached once), iteratively.
//   2. PortalBuilder::run: the six faces of the padded world box bound the root's region. At each
//      node, a large square on the node's plane is clipped by the planes of the portals bounding
//      the node's region: that is the portal between its two children. Every portal of the region
//      is then cut by the node's plane and handed to the child (or children) it touches.
//   3. When every node is done, each surviving portal joins two leaves (or a leaf and the outside).
//
// Regions are numbered: internal node n is region n; each leaf reference in the tree gets its own
// region after the nodes. Each portal sits in the portal lists of its two regions (one per side);
// a portal that is split dies and stays behind, skipped, in the list of its other side, which
// avoids searching lists for removal.
#include "compile/Portals.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vantrell {
namespace {

struct Vec {
    double x[3];
};
using Winding = std::vector<Vec>;
struct WorkPlane {
    double normal[3];
    double dist;
};

constexpr std::int32_t outsideRegion = -1;
constexpr std::int32_t noPortal = -1;
// A hostile tree can make the number of portals or the clipping work grow with the square of its
// size (PortalOptions holds the limits). The game package's levels make at most 10 portals and
// (on the large ones) a few hundred point tests per node, so past the default limits we give up
// with an error rather than run for minutes or exhaust memory. The caps fit the largest trees
// the game format allows (about 128k nodes) and keep a hostile tree to a few seconds and a few
// hundred megabytes.

[[nodiscard]] double planeDistance(const WorkPlane& plane, const Vec& p) {
    return plane.normal[0] * p.x[0] + plane.normal[1] * p.x[1] + plane.normal[2] * p.x[2] - plane.dist;
}

[[nodiscard]] double windingArea(const Winding& w) {
    if (w.size() < 3) return 0.0;
    double sum[3] = {0.0, 0.0, 0.0};
    const Vec& o = w[0];
    for (std::size_t i = 1; i + 1 < w.size(); ++i) {
        double a[3], b[3];
        for (int k = 0; k < 3; ++k) {
            a[k] = w[i].x[k] - o.x[k];
            b[k] = w[i + 1].x[k] - o.x[k];
        }
        sum[0] += a[1] * b[2] - a[2] * b[1];
        sum[1] += a[2] * b[0] - a[0] * b[2];
        sum[2] += a[0] * b[1] - a[1] * b[0];
    }
    return 0.5 * std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
}

enum class Side : std::int8_t { front, back, on };
enum class SplitResult { allOn, front, back, both };

struct Portal {
    WorkPlane plane;
    std::int32_t node;  // whose plane it lies on; -1 for the world box

    std::int32_t side[2];  // region in front of the plane, region behind it (or outsideRegion)
    std::int32_t next[2];  // next portal in the list of side[k]
    std::uint32_t winding;
    bool alive;
};

// Validates the tree without recursion and numbers the regions; the error names the first fault.
struct TreeShape {
    std::vector<std::int32_t> childRegion;   // per node, two entries: region of children[0], [1]
    std::vector<std::int32_t> leafOfRegion;  // per leaf region (index − node count): the leaf
    std::vector<WorkPlane> nodePlane;        // per node, its plane with a unit normal
};

[[nodiscard]] bool checkTree(const PortalTree& tree, TreeShape& shape, std::string& error) {
    const std::size_t nodeCount = tree.nodes.size();
    if (nodeCount == 0) {
        error = "the tree has no nodes";
        return false;
    }
    if (nodeCount >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) / 2) {
        error = "the tree has too many nodes";
        return false;
    }
    for (int k = 0; k < 3; ++k) {
        if (!std::isfinite(tree.mins[k]) || !std::isfinite(tree.maxs[k]) || tree.mins[k] > tree.maxs[k]) {
            error = "the world box is empty or not finite";
            return false;
        }
    }
    shape.childRegion.assign(nodeCount * 2, 0);
    shape.leafOfRegion.clear();
    shape.nodePlane.assign(nodeCount, WorkPlane{});
    std::vector<std::uint8_t> reached(nodeCount, 0);
    std::vector<std::int32_t> stack{0};
    reached[0] = 1;
    while (!stack.empty()) {
        const std::int32_t n = stack.back();
        stack.pop_back();
        const PortalTree::Node& node = tree.nodes[static_cast<std::size_t>(n)];
        if (node.plane < 0 || static_cast<std::size_t>(node.plane) >= tree.planes.size()) {
            error = "node " + std::to_string(n) + " uses plane " + std::to_string(node.plane) + " of " +
                    std::to_string(tree.planes.size());
            return false;
        }
        const PortalTree::Plane& p = tree.planes[static_cast<std::size_t>(node.plane)];
        const double length =
            std::sqrt(p.normal[0] * p.normal[0] + p.normal[1] * p.normal[1] + p.normal[2] * p.normal[2]);
        if (!std::isfinite(length) || !std::isfinite(p.dist) || length < 1e-6) {
            error = "plane " + std::to_string(node.plane) + " has no usable normal";
            return false;
        }
        WorkPlane& wp = shape.nodePlane[static_cast<std::size_t>(n)];
        for (int k = 0; k < 3; ++k) wp.normal[k] = p.normal[k] / length;
        wp.dist = p.dist / length;
        for (int k = 0; k < 2; ++k) {
            const std::int32_t c = node.children[k];
            if (c >= 0) {
                if (static_cast<std::size_t>(c) >= nodeCount) {
                    error = "node " + std::to_string(n) + " has child node " + std::to_string(c) + " of " +
                            std::to_string(nodeCount);
                    return false;
                }
                if (reached[static_cast<std::size_t>(c)] != 0) {
                    error = "node " + std::to_string(c) + " is reached twice: the tree loops or shares a branch";
                    return false;
                }
                reached[static_cast<std::size_t>(c)] = 1;
                stack.push_back(c);
                shape.childRegion[static_cast<std::size_t>(n) * 2 + static_cast<std::size_t>(k)] = c;
            } else {
                const std::int64_t leaf = -static_cast<std::int64_t>(c) - 1;
                if (static_cast<std::uint64_t>(leaf) >= tree.leafCluster.size()) {
                    error = "node " + std::to_string(n) + " has child leaf " + std::to_string(leaf) + " of " +
                            std::to_string(tree.leafCluster.size());
                    return false;
                }
                // Every node contributes at most two leaf references, so this stays in range.
                shape.childRegion[static_cast<std::size_t>(n) * 2 + static_cast<std::size_t>(k)] =
                    static_cast<std::int32_t>(nodeCount + shape.leafOfRegion.size());
                shape.leafOfRegion.push_back(static_cast<std::int32_t>(leaf));
            }
        }
    }
    return true;
}

class PortalBuilder {
public:
    PortalBuilder(const PortalTree& tree, const TreeShape& shape, const PortalOptions& options)
        : tree_(tree), shape_(shape), options_(options) {}

    [[nodiscard]] bool run(std::vector<LeafPortal>& result, std::string& error);

private:
    [[nodiscard]] std::int32_t regionCount() const {
        return static_cast<std::int32_t>(tree_.nodes.size() + shape_.leafOfRegion.size());
    }
    [[nodiscard]] std::uint32_t takeWinding();
    void addPortal(const WorkPlane& plane, std::int32_t node, std::int32_t front, std::int32_t back,
                   std::uint32_t winding);
    void link(std::int32_t portal, int k);
    void baseWinding(const WorkPlane& plane, Winding& out) const;
    SplitResult split(const Winding& in, const WorkPlane& plane, Winding* front, Winding* back);
    [[nodiscard]] bool overBudget(std::string& error) const;
    void processNode(std::int32_t n);

    const PortalTree& tree_;
    const TreeShape& shape_;
    const PortalOptions& options_;
    std::vector<Portal> portals_;
    std::vector<Winding> windings_;
    std::vector<std::uint32_t> freeWindings_;
    std::vector<std::int32_t> head_;  // per region: first portal of its list
    // Scratch buffers reused for every split, so the hot loop does not allocate.
    std::vector<double> dists_;
    std::vector<Side> sides_;
    Winding scratchA_, scratchB_, scratchFront_, scratchBack_;
    std::uint64_t pointTests_ = 0;
    double halfSize_ = 0.0;
    Vec centre_{};
};

std::uint32_t PortalBuilder::takeWinding() {
    if (!freeWindings_.empty()) {
        const std::uint32_t w = freeWindings_.back();
        freeWindings_.pop_back();
        windings_[w].clear();
        return w;
    }
    windings_.emplace_back();
    return static_cast<std::uint32_t>(windings_.size() - 1);
}

void PortalBuilder::link(std::int32_t portal, int k) {
    Portal& p = portals_[static_cast<std::size_t>(portal)];
    const std::int32_t region = p.side[k];
    if (region == outsideRegion) {
        p.next[k] = noPortal;
        return;
    }
    p.next[k] = head_[static_cast<std::size_t>(region)];
    head_[static_cast<std::size_t>(region)] = portal;
}

void PortalBuilder::addPortal(const WorkPlane& plane, std::int32_t node, std::int32_t front, std::int32_t back,
                              std::uint32_t winding) {
    portals_.push_back(Portal{plane, node, {front, back}, {noPortal, noPortal}, winding, true});
    const auto id = static_cast<std::int32_t>(portals_.size() - 1);
    link(id, 0);
    link(id, 1);
}

// A square on the plane, centred on the point nearest the world box's centre and large enough to
// cover the padded box whatever the plane's direction.
void PortalBuilder::baseWinding(const WorkPlane& plane, Winding& out) const {
    const double* n = plane.normal;
    int major = 0;
    for (int k = 1; k < 3; ++k) {
        if (std::fabs(n[k]) > std::fabs(n[major])) major = k;
    }
    double up[3] = {0.0, 0.0, 0.0};
    up[major == 2 ? 0 : 2] = 1.0;
    const double upDot = up[0] * n[0] + up[1] * n[1] + up[2] * n[2];
    for (int k = 0; k < 3; ++k) up[k] -= upDot * n[k];
    const double upLength = std::sqrt(up[0] * up[0] + up[1] * up[1] + up[2] * up[2]);
    for (double& u : up) u /= upLength;
    const double right[3] = {up[1] * n[2] - up[2] * n[1], up[2] * n[0] - up[0] * n[2], up[0] * n[1] - up[1] * n[0]};
    const double offset = planeDistance(plane, centre_);
    Vec origin{};
    for (int k = 0; k < 3; ++k) origin.x[k] = centre_.x[k] - offset * n[k];
    out.clear();
    const double corners[4][2] = {{-1.0, 1.0}, {1.0, 1.0}, {1.0, -1.0}, {-1.0, -1.0}};
    for (const auto& c : corners) {
        Vec p{};
        for (int k = 0; k < 3; ++k) p.x[k] = origin.x[k] + c[0] * halfSize_ * right[k] + c[1] * halfSize_ * up[k];
        out.push_back(p);
    }
}

// Cuts a convex polygon by a plane. Points within the on-plane epsilon count as on it and go to both
// parts; a null output is not built. front/back must not alias in.
SplitResult PortalBuilder::split(const Winding& in, const WorkPlane& plane, Winding* front, Winding* back) {
    const std::size_t count = in.size();
    pointTests_ += count;
    dists_.resize(count);
    sides_.resize(count);
    bool anyFront = false;
    bool anyBack = false;
    for (std::size_t i = 0; i < count; ++i) {
        const double d = planeDistance(plane, in[i]);
        dists_[i] = d;
        if (d > options_.onPlaneEpsilon) {
            sides_[i] = Side::front;
            anyFront = true;
        } else if (d < -options_.onPlaneEpsilon) {
            sides_[i] = Side::back;
            anyBack = true;
        } else {
            sides_[i] = Side::on;
        }
    }
    if (!anyFront && !anyBack) return SplitResult::allOn;
    if (!anyBack) return SplitResult::front;
    if (!anyFront) return SplitResult::back;
    if (front != nullptr) front->clear();
    if (back != nullptr) back->clear();
    for (std::size_t i = 0; i < count; ++i) {
        const Vec& p = in[i];
        const Side s = sides_[i];
        if (s != Side::back && front != nullptr) front->push_back(p);
        if (s != Side::front && back != nullptr) back->push_back(p);
        const std::size_t j = (i + 1 == count) ? 0 : i + 1;
        const Side t = sides_[j];
        if (s == Side::on || t == Side::on || s == t) continue;
        // The edge crosses the plane strictly: add the crossing point to both parts.
        const Vec& q = in[j];
        const double f = dists_[i] / (dists_[i] - dists_[j]);
        Vec mid{};
        for (int k = 0; k < 3; ++k) {
            // On an axis-aligned plane the crossing coordinate is exact; keep it so, so that
            // neighbouring portals meet without gaps.
            if (plane.normal[k] == 1.0) {
                mid.x[k] = plane.dist;
            } else if (plane.normal[k] == -1.0) {
                mid.x[k] = -plane.dist;
            } else {
                mid.x[k] = p.x[k] + f * (q.x[k] - p.x[k]);
            }
        }
        if (front != nullptr) front->push_back(mid);
        if (back != nullptr) back->push_back(mid);
    }
    return SplitResult::both;
}

bool PortalBuilder::overBudget(std::string& error) const {
    const std::size_t nodeCount = tree_.nodes.size();
    const std::size_t portalLimit = std::min(options_.maxPortals, 1024 + options_.portalsPerNode * nodeCount);
    const std::uint64_t testLimit =
        std::min(options_.maxPointTests, 1'000'000 + options_.pointTestsPerNode * nodeCount);
    if (portals_.size() > portalLimit || pointTests_ > testLimit) {
        error = "the tree is too complex for portals (" + std::to_string(portals_.size()) + " portals)";
        return true;
    }
    return false;
}

void PortalBuilder::processNode(std::int32_t n) {
    const WorkPlane& plane = shape_.nodePlane[static_cast<std::size_t>(n)];
    const std::int32_t children[2] = {shape_.childRegion[static_cast<std::size_t>(n) * 2],
                                      shape_.childRegion[static_cast<std::size_t>(n) * 2 + 1]};

    // The portal between the two children: the node's plane inside the region.
    Winding& nodeWinding = scratchA_;
    baseWinding(plane, nodeWinding);
    for (std::int32_t id = head_[static_cast<std::size_t>(n)]; id != noPortal && !nodeWinding.empty();) {
        const Portal& bound = portals_[static_cast<std::size_t>(id)];
        const int k = bound.side[0] == n ? 0 : 1;
        id = bound.next[k];
        if (!bound.alive) continue;
        // The region lies in front of a portal's plane when it is the portal's side 0.
        const SplitResult r =
            split(nodeWinding, bound.plane, k == 0 ? &scratchB_ : nullptr, k == 0 ? nullptr : &scratchB_);
        if (r == SplitResult::both) {
            nodeWinding.swap(scratchB_);
        } else if (r == SplitResult::allOn || r == (k == 0 ? SplitResult::back : SplitResult::front)) {
            // The node's plane is a face of its region (or misses it): one child is empty.
            nodeWinding.clear();
        }
    }

    // Hand every portal of the region to the child (or both children) it touches.
    for (std::int32_t id = head_[static_cast<std::size_t>(n)]; id != noPortal;) {
        const int k = portals_[static_cast<std::size_t>(id)].side[0] == n ? 0 : 1;
        const std::int32_t current = id;
        id = portals_[static_cast<std::size_t>(current)].next[k];
        if (!portals_[static_cast<std::size_t>(current)].alive) continue;
        const std::uint32_t w = portals_[static_cast<std::size_t>(current)].winding;
        const SplitResult r = split(windings_[w], plane, &scratchFront_, &scratchBack_);
        std::int32_t child = -1;
        if (r == SplitResult::front) {
            child = children[0];
        } else if (r == SplitResult::back) {
            child = children[1];
        } else if (r == SplitResult::allOn) {
            // The portal lies on the node's plane: it goes to the child on the region's side.
            const Portal& p = portals_[static_cast<std::size_t>(current)];
            const double facing = p.plane.normal[0] * plane.normal[0] + p.plane.normal[1] * plane.normal[1] +
                                  p.plane.normal[2] * plane.normal[2];
            const bool regionInFront = (k == 0) == (facing > 0.0);
            child = children[regionInFront ? 0 : 1];
        }
        if (child >= 0) {
            portals_[static_cast<std::size_t>(current)].side[k] = child;
            link(current, k);
            continue;
        }
        // Split: the old portal dies (and stays, skipped, in its other side's list).
        Portal old = portals_[static_cast<std::size_t>(current)];
        portals_[static_cast<std::size_t>(current)].alive = false;
        freeWindings_.push_back(w);
        for (int part = 0; part < 2; ++part) {
            const std::uint32_t pw = takeWinding();
            windings_[pw] = part == 0 ? scratchFront_ : scratchBack_;
            std::int32_t sides[2] = {old.side[0], old.side[1]};
            sides[k] = children[part];
            addPortal(old.plane, old.node, sides[0], sides[1], pw);
        }
    }
    head_[static_cast<std::size_t>(n)] = noPortal;

    if (nodeWinding.size() >= 3) {
        const std::uint32_t w = takeWinding();
        windings_[w] = nodeWinding;
        addPortal(plane, n, children[0], children[1], w);
    }
}

bool PortalBuilder::run(std::vector<LeafPortal>& result, std::string& error) {
    const std::int32_t regions = regionCount();
    head_.assign(static_cast<std::size_t>(regions), noPortal);
    double lo[3], hi[3];
    double diagonal = 0.0;
    for (int k = 0; k < 3; ++k) {
        lo[k] = tree_.mins[k] - options_.worldBoxPadding;
        hi[k] = tree_.maxs[k] + options_.worldBoxPadding;
        centre_.x[k] = 0.5 * (lo[k] + hi[k]);
        diagonal += (hi[k] - lo[k]) * (hi[k] - lo[k]);
    }
    halfSize_ = std::sqrt(diagonal);

    // The box faces: normals along the axes, the root's region behind the high faces and in
    // front of the low ones.
    for (int axis = 0; axis < 3; ++axis) {
        const int u = (axis + 1) % 3;
        const int v = (axis + 2) % 3;
        for (int high = 0; high < 2; ++high) {
            WorkPlane plane{};
            plane.normal[axis] = 1.0;
            plane.dist = high != 0 ? hi[axis] : lo[axis];
            const std::uint32_t w = takeWinding();
            const double us[4] = {lo[u], hi[u], hi[u], lo[u]};
            const double vs[4] = {lo[v], lo[v], hi[v], hi[v]};
            for (int c = 0; c < 4; ++c) {
                Vec p{};
                p.x[axis] = plane.dist;
                p.x[u] = us[c];
                p.x[v] = vs[c];
                windings_[w].push_back(p);
            }
            if (high != 0) {
                addPortal(plane, -1, outsideRegion, 0, w);
            } else {
                addPortal(plane, -1, 0, outsideRegion, w);
            }
        }
    }

    // Parents before children, so a node's region is complete when it is processed.
    std::vector<std::int32_t> stack{0};
    const auto nodeCount = static_cast<std::int32_t>(tree_.nodes.size());
    while (!stack.empty()) {
        const std::int32_t n = stack.back();
        stack.pop_back();
        processNode(n);
        if (overBudget(error)) return false;
        for (int k = 0; k < 2; ++k) {
            const std::int32_t c = shape_.childRegion[static_cast<std::size_t>(n) * 2 + static_cast<std::size_t>(k)];
            if (c < nodeCount) stack.push_back(c);
        }
    }

    result.clear();
    // A region is a leaf's when it is numbered after the nodes; the outside stays -1. A portal
    // whose side is still a node's region cut nothing out of it (the node's other child is
    // empty) and joins nothing.
    const auto leafOf = [&](std::int32_t region) {
        return region == outsideRegion ? outsideRegion
                                       : shape_.leafOfRegion[static_cast<std::size_t>(region - nodeCount)];
    };
    for (const Portal& p : portals_) {
        if (!p.alive) continue;
        if ((p.side[0] != outsideRegion && p.side[0] < nodeCount) ||
            (p.side[1] != outsideRegion && p.side[1] < nodeCount)) {
            continue;
        }
        if (p.side[0] == outsideRegion && p.side[1] == outsideRegion) continue;
        const std::int32_t a = leafOf(p.side[0]);
        const std::int32_t b = leafOf(p.side[1]);
        const bool opaqueA = a >= 0 && tree_.leafCluster[static_cast<std::size_t>(a)] < 0;
        const bool opaqueB = b >= 0 && tree_.leafCluster[static_cast<std::size_t>(b)] < 0;
        if (opaqueA && opaqueB) continue;
        if ((opaqueA || opaqueB) && (!options_.withOpaque || a < 0 || b < 0)) continue;
        const Winding& w = windings_[p.winding];
        const double area = windingArea(w);
        if (area <= options_.minPortalArea) continue;
        LeafPortal out;
        out.front = a;
        out.back = b;
        out.node = p.node;
        out.plane = {{p.plane.normal[0], p.plane.normal[1], p.plane.normal[2]}, p.plane.dist};
        out.winding.reserve(w.size());
        for (const Vec& v : w) out.winding.push_back({v.x[0], v.x[1], v.x[2]});
        out.area = area;
        result.push_back(std::move(out));
    }
    return true;
}

}  // namespace

bool computePortals(const PortalTree& tree, const PortalOptions& options, std::vector<LeafPortal>& portals,
                    std::string& error) {
    portals.clear();
    TreeShape shape;
    if (!checkTree(tree, shape, error)) return false;
    PortalBuilder builder(tree, shape, options);
    return builder.run(portals, error);
}

bool computeLeafPortals(const PortalTree& tree, PortalResult& result, std::string& error) {
    result = PortalResult{};
    std::vector<LeafPortal> portals;
    if (!computePortals(tree, PortalOptions{}, portals, error)) return false;
    for (const LeafPortal& p : portals) {
        if (p.front < 0 || p.back < 0) continue;  // facing the outside
        ++result.portalCount;
        if (p.front != p.back) result.links.emplace_back(std::min(p.front, p.back), std::max(p.front, p.back));
    }
    std::sort(result.links.begin(), result.links.end());
    result.links.erase(std::unique(result.links.begin(), result.links.end()), result.links.end());
    return true;
}

}  // namespace vantrell
