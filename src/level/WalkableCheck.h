// Whether a level can be walked safely: every triangle a space lists bounds that space.
//
// The contact query pushes its working point out of the plane of every candidate triangle
// that the end of a movement comes near, wherever the triangle lies. That push is harmless
// only when the whole space lies in front of the plane and the triangle lies on the space's
// boundary: then the push only ever moves the point further into its own space. A level
// breaking this still loads and plays (older files do), so the check is a report of its own
// and no validity problem.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrell {

struct LevelGeometry;
struct SpacePartition;

struct WalkableOffence {
    std::int32_t space = 0;
    std::int32_t triangle = 0;
    std::string problem;  // one sentence
};

struct WalkableReport {
    bool checked = false;  // false: the level was too complex to check within bounded work (see why)
    std::string why;
    std::uint64_t offences = 0;             // offending (space, triangle) pairs
    std::vector<WalkableOffence> examples;  // the first few, in space and list order

    [[nodiscard]] bool walkable() const { return checked && offences == 0; }
};

// How many offences the report spells out.
inline constexpr std::size_t walkableExamples = 5;

// Checks every (space S, triangle T listed in S) pair of a valid level (validateLevel returned
// no problem). A space's region is not stored in the file: it is what the tree gives, the
// box around the level's vertices and space boxes cut by the planes on the path down to each
// leaf that names S (several leaves may name one space). The pair passes when no corner of
// those regions lies more than epsilon behind T's plane, and T lies on the boundary of the
// regions: its plane passes within the contact skin (0.05) of them, and its corners within a
// quarter of a unit. That is on the boundary for the contact query, which meets a face that
// near the end of a movement: a floor a hair below a space's bottom, listed in the space, keeps
// the body from sinking through a thin slab beneath it, and a wall running on a little past
// the space's side keeps a body sliding along it clipped where it crosses into the next space. Epsilon is 0.005 units
// (a tenth of the skin), or a millionth of the level's largest coordinate when that is more. Work is bounded: a tree
// whose regions would take too long gives checked false.
[[nodiscard]] WalkableReport checkWalkable(const LevelGeometry& levelGeometry, const SpacePartition& spacePartition);

}  // namespace vantrell
