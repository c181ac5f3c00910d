#pragma once
// Leaf portals of a BSP tree: which open leaves touch each other through open space, and where.
//
// The tree is given in its own coordinates and in double precision (an imported game file's, or
// the compiler's); no conversion of axes happens here, so the results name leaves by index.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "math/Vector.h"

namespace vantrell {

struct PortalTree {
    struct Plane {
        double normal[3];
        double dist;
    };  // normal·p = dist; a point with normal·p − dist ≥ 0 is in front
    struct Node {
        std::int32_t plane;
        std::int32_t children[2];
    };  // [0] front, [1] back; child < 0: leaf −(c+1)
    std::vector<Plane> planes;
    std::vector<Node> nodes;                // node 0 is the root
    std::vector<std::int32_t> leafCluster;  // per leaf; < 0 opaque
    double mins[3], maxs[3];                // a box around the world
};

// portalCount: portals of non-zero area between two open leaves (a pair may share several).
struct PortalResult {
    std::vector<std::pair<std::int32_t, std::int32_t>> links;
    std::size_t portalCount = 0;
};

// Computes the portals of the tree and links two open leaves (cluster ≥ 0) when a portal of
// non-zero area joins them. links are unique, first < second, sorted. False with a clear
// error for a malformed tree (index out of range, a loop, a node reached twice, a plane with no
// usable normal, a world box that is empty or not finite) or one too complex to finish in bounded
// time and memory. The tree is checked without recursion; nodes not reached from node 0 are ignored.
[[nodiscard]] bool computeLeafPortals(const PortalTree& tree, PortalResult& result, std::string& error);

// Tolerances in the tree's units, and the limits that keep a hostile tree bounded. The defaults
// suit the game files (units of about an inch).
struct PortalOptions {
    double onPlaneEpsilon = 0.01;  // points closer to a plane are on it
    double minPortalArea = 1e-3;   // smaller portals are contact along an edge, not an opening
    double worldBoxPadding = 8.0;  // the root's region is the world box grown by this much
    std::size_t portalsPerNode = 64;
    std::size_t maxPortals = 2'000'000;
    std::uint64_t pointTestsPerNode = 4096;
    std::uint64_t maxPointTests = 100'000'000;
    bool withOpaque = false;  // also the portals between an open leaf and an opaque one
};

struct LeafPortal {
    std::int32_t front = -1;        // the leaf in front of the plane, or -1: outside the world box
    std::int32_t back = -1;         // the leaf behind it, or -1
    std::int32_t node = -1;         // the node whose plane the portal lies on; -1 for a face of the world box
    PortalTree::Plane plane{};      // unit normal
    std::vector<Vector3d> winding;  // a convex polygon on the plane, in order round it
    double area = 0.0;
};

// Every portal of more than minPortalArea between two open leaves, or between an open leaf and
// the outside of the (padded) world box (and with withOpaque, an opaque leaf), in no particular
// order; a pair of leaves may share several. False with a clear error like computeLeafPortals.
[[nodiscard]] bool computePortals(const PortalTree& tree, const PortalOptions& options,
                                  std::vector<LeafPortal>& portals, std::string& error);

}  // namespace vantrell
