#include "level/LevelValidation.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "level/LevelGeometry.h"
#include "level/SpacePartition.h"
#include "level/TreeCheck.h"

namespace vantrell {
namespace {

// Long lists of problems are cut: the first ones say what is wrong, the rest adds nothing.
constexpr std::size_t maxProblems = 50;

class ProblemList {
public:
    explicit ProblemList(std::vector<std::string>& problems) : problems(problems) {}
    ~ProblemList() {
        if (dropped > 0) problems.push_back("... and " + std::to_string(dropped) + " more problems");
    }
    void add(std::string problem) {
        if (problems.size() < maxProblems)
            problems.push_back(std::move(problem));
        else
            ++dropped;
    }

private:
    std::vector<std::string>& problems;
    std::size_t dropped = 0;
};

bool inRange(std::int64_t index, std::size_t size) {
    return index >= 0 && static_cast<std::uint64_t>(index) < size;
}

std::string count(std::size_t n, const char* singular, const char* plural) {
    return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

// Every child reference names a node or a space, and following children from node 0 always
// ends in a leaf (a shared subtree is allowed: every walk still ends).
void checkTree(const SpacePartition& p, std::size_t planeCount, ProblemList& out) {
    if (p.nodes.empty()) {
        out.add("the level has no nodes (node 0, the root, is missing)");
        return;
    }
    for (std::size_t i = 0; i < p.nodes.size(); ++i) {
        const BspNode& node = p.nodes[i];
        if (!inRange(node.planeIndex, planeCount))
            out.add("node " + std::to_string(i) + " splits at plane " + std::to_string(node.planeIndex) +
                    ", but the level has " + count(planeCount, "plane", "planes"));
        for (const std::int32_t child : {node.front, node.back}) {
            if (child >= 0 && !inRange(child, p.nodes.size()))
                out.add("node " + std::to_string(i) + " names child node " + std::to_string(child) +
                        ", but the level has " + count(p.nodes.size(), "node", "nodes"));
            if (child < 0 && !inRange(spaceOfChild(child), p.spaces.size()))
                out.add("node " + std::to_string(i) + " names space " + std::to_string(spaceOfChild(child)) +
                        ", but the level has " + count(p.spaces.size(), "space", "spaces"));
        }
    }

    // Walks only go down, so two parents sharing a subtree is fine; a loop never ends.
    const TreeFault fault = firstTreeFault(
        p.nodes.size(),
        [&p](std::size_t n) {
            return std::array<std::int32_t, 2>{p.nodes[n].front, p.nodes[n].back};
        },
        SharedSubtrees::allowed);
    if (fault.found()) out.add("the node tree loops back to node " + std::to_string(fault.child));
}

void checkTriangles(const LevelGeometry& g, ProblemList& out) {
    for (std::size_t i = 0; i < g.triangles.size(); ++i) {
        const Triangle& t = g.triangles[i];
        for (int k = 0; k < 3; ++k) {
            const std::int32_t v = t.vertexIndex[static_cast<std::size_t>(k)];
            if (!inRange(v, g.vertices.size()))
                out.add("triangle " + std::to_string(i) + " uses vertex " + std::to_string(v) + ", but the level has " +
                        count(g.vertices.size(), "vertex", "vertices"));
            const std::int32_t n = t.normalIndex[static_cast<std::size_t>(k)];
            if (!inRange(n, g.normals.size()))
                out.add("triangle " + std::to_string(i) + " uses normal " + std::to_string(n) + ", but the level has " +
                        count(g.normals.size(), "normal", "normals"));
        }
        if (!inRange(t.planeIndex, g.planes.size()))
            out.add("triangle " + std::to_string(i) + " lies on plane " + std::to_string(t.planeIndex) +
                    ", but the level has " + count(g.planes.size(), "plane", "planes"));
    }
}

void checkSpaces(const LevelGeometry& g, const SpacePartition& p, ProblemList& out) {
    std::uint64_t entries = 0;
    for (std::size_t s = 0; s < p.spaces.size(); ++s) {
        for (const std::int32_t t : p.spaces[s].triangleIndices) {
            if (!inRange(t, g.triangles.size()))
                out.add("space " + std::to_string(s) + " lists triangle " + std::to_string(t) + ", but the level has " +
                        count(g.triangles.size(), "triangle", "triangles"));
        }
        entries += p.spaces[s].triangleIndices.size();
    }
    if (entries > g.triangles.size())
        out.add("the spaces list " + std::to_string(entries) + " triangle entries in all, but the level has " +
                count(g.triangles.size(), "triangle", "triangles"));
}

void checkAdjacency(const SpacePartition& p, ProblemList& out) {
    if (p.adjacency.rowCount() != p.spaces.size())
        out.add("the adjacency has " + count(p.adjacency.rowCount(), "row", "rows") + ", but the level has " +
                count(p.spaces.size(), "space", "spaces"));
    for (std::size_t s = 0; s < p.adjacency.rowCount(); ++s) {
        const std::span<const std::uint8_t> row = p.adjacency.row(s);
        // Only the bytes at or past the last space can hold a bit that names no space.
        for (std::size_t i = p.spaces.size() / 8; i < row.size(); ++i) {
            for (unsigned j = 0; j < 8; ++j) {
                const std::uint64_t named = 8 * std::uint64_t{i} + j;
                if ((row[i] & (1u << j)) && named >= p.spaces.size()) {
                    out.add("adjacency row " + std::to_string(s) + " names space " + std::to_string(named) +
                            ", but the level has " + count(p.spaces.size(), "space", "spaces"));
                    i = row.size();  // one report per row is enough
                    break;
                }
            }
        }
    }
}

}  // namespace

std::vector<std::string> validateLevel(const LevelGeometry& levelGeometry, const SpacePartition& spacePartition) {
    std::vector<std::string> problems;
    {
        ProblemList out(problems);
        checkTree(spacePartition, levelGeometry.planes.size(), out);
        checkTriangles(levelGeometry, out);
        checkSpaces(levelGeometry, spacePartition, out);
        checkAdjacency(spacePartition, out);
    }
    return problems;
}

}  // namespace vantrell
