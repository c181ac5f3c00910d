// The shape check of a binary node tree given as an array: following children from node 0
// must always end, and, where the caller asks for it, no node may be reached along two
// paths. Used on loaded levels and on imported files, whose trees are both untrusted.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrell {

// Whether a node reached from two parents (or twice from one) is allowed. A level's walks
// only go down, so a shared subtree is harmless there; code that gives every node one
// parent (one place in the tree) needs it refused.
enum class SharedSubtrees : std::uint8_t { allowed, refused };

struct TreeFault {
    enum class Kind : std::uint8_t {
        none,
        loop,    // child is on the path from the root to parent: the walk would never end
        shared,  // child was reached before along another path (only with SharedSubtrees::refused)
    };
    Kind kind = Kind::none;
    std::int32_t parent = -1;  // the node that names child
    std::int32_t child = -1;

    [[nodiscard]] bool found() const { return kind != Kind::none; }
};

// The first fault met walking the tree from node 0, depth first, front child before back
// child; Kind::none for a sound tree and for nodeCount 0. childrenOf(i) gives node i's
// {front, back} as std::array<std::int32_t, 2>. A negative child is a leaf; a child at or
// past nodeCount is not followed (listing index faults is the caller's part), so the walk
// never reads outside the array. Iterative: a chain as deep as the array needs no call
// stack. Each node is expanded at most once: O(nodeCount) time and at most one frame per node.
template <typename ChildrenOf>
[[nodiscard]] TreeFault firstTreeFault(std::size_t nodeCount, const ChildrenOf& childrenOf, SharedSubtrees shared) {
    if (nodeCount == 0) return {};
    enum class Mark : std::uint8_t { unseen, onPath, done };
    std::vector<Mark> mark(nodeCount, Mark::unseen);
    struct Frame {
        std::int32_t node;
        int nextChild;  // 0 front, 1 back, 2 finished
    };
    std::vector<Frame> stack{{0, 0}};
    mark[0] = Mark::onPath;
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.nextChild == 2) {
            mark[static_cast<std::size_t>(top.node)] = Mark::done;
            stack.pop_back();
            continue;
        }
        const std::array<std::int32_t, 2> children = childrenOf(static_cast<std::size_t>(top.node));
        const std::int32_t parent = top.node;
        const std::int32_t child = children[static_cast<std::size_t>(top.nextChild)];
        ++top.nextChild;
        if (child < 0 || static_cast<std::size_t>(child) >= nodeCount) continue;
        Mark& m = mark[static_cast<std::size_t>(child)];
        if (m == Mark::onPath) return {TreeFault::Kind::loop, parent, child};
        if (m == Mark::done) {
            if (shared == SharedSubtrees::refused) return {TreeFault::Kind::shared, parent, child};
            continue;
        }
        m = Mark::onPath;
        stack.push_back({child, 0});  // top is not used after this: the push may move it
    }
    return {};
}

}  // namespace vantrell
