#pragma once
// Leaf portals of an imported BSP tree: which open leaves touch each other through open space.
//
// The tree is the game file's own, in the file's coordinates and in double precision; no
// conversion to our level's axes happens here, so the result is a list of leaf index pairs.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vantrell {

struct PortalTree {
    struct Plane { double normal[3]; double dist; };  // normal·p = dist; a point with normal·p − dist ≥ 0 is in front
    struct Node { std::int32_t plane; std::int32_t children[2]; };  // [0] front, [1] back; child < 0: leaf −(c+1)
    std::vector<Plane> planes; std::vector<Node> nodes;  // node 0 is the root
    std::vector<std::int32_t> leafCluster;  // per leaf; < 0 opaque
    double mins[3], maxs[3];                // a box around the world
};

// portalCount: portals of non-zero area between two open leaves (a pair may share several).
struct PortalResult { std::vector<std::pair<std::int32_t, std::int32_t>> links; std::size_t portalCount = 0; };

// Computes the portals of the tree and links two open leaves (cluster ≥ 0) when a portal of
// non-zero area joins them. links are unique, first < second, sorted. False with a clear
// error for a malformed tree (index out of range, a loop, a node reached twice, a plane with no
// usable normal, a world box that is empty or not finite) or one too complex to finish in bounded
// time and memory. The tree is checked without recursion; nodes not reached from node 0 are ignored.
[[nodiscard]] bool computeLeafPortals(const PortalTree& tree, PortalResult& result, std::string& error);

}  // namespace vantrell
