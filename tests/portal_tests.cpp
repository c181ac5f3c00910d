// Leaf portals: small trees built in code, malformed trees, and the levels of an installed game
// package when it is there.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "compile/Portals.h"
#include "import/IbspFile.h"
#include "import/IbspImport.h"
#include "import/PakArchive.h"

namespace vantrell {
namespace {

using Links = std::vector<std::pair<std::int32_t, std::int32_t>>;

constexpr std::int32_t leafChild(std::int32_t leaf) {
    return -leaf - 1;
}

// A tree over the box (0,0,0)–(16,16,16) unless a test changes it.
struct TreeMaker {
    PortalTree tree;

    TreeMaker() {
        for (int k = 0; k < 3; ++k) {
            tree.mins[k] = 0.0;
            tree.maxs[k] = 16.0;
        }
    }
    std::int32_t plane(double x, double y, double z, double dist) {
        tree.planes.push_back(PortalTree::Plane{{x, y, z}, dist});
        return static_cast<std::int32_t>(tree.planes.size() - 1);
    }
    std::int32_t node(std::int32_t planeIndex, std::int32_t front, std::int32_t back) {
        tree.nodes.push_back(PortalTree::Node{planeIndex, {front, back}});
        return static_cast<std::int32_t>(tree.nodes.size() - 1);
    }
    void clusters(std::vector<std::int32_t> c) { tree.leafCluster = std::move(c); }
};

PortalResult portalsOf(const PortalTree& tree) {
    PortalResult result;
    std::string error;
    EXPECT_TRUE(computeLeafPortals(tree, result, error)) << error;
    EXPECT_TRUE(std::is_sorted(result.links.begin(), result.links.end()));
    EXPECT_EQ(std::adjacent_find(result.links.begin(), result.links.end()), result.links.end());
    for (const auto& [a, b] : result.links) EXPECT_LT(a, b);
    return result;
}

std::string errorOf(const PortalTree& tree) {
    PortalResult result;
    std::string error;
    EXPECT_FALSE(computeLeafPortals(tree, result, error));
    EXPECT_TRUE(result.links.empty());
    return error;
}

TEST(LeafPortals, OneSplitLinksBothHalves) {
    TreeMaker m;
    m.node(m.plane(1, 0, 0, 8), leafChild(0), leafChild(1));
    m.clusters({0, 1});
    const PortalResult r = portalsOf(m.tree);
    EXPECT_EQ(r.links, (Links{{0, 1}}));
    EXPECT_EQ(r.portalCount, 1u);
}

TEST(LeafPortals, LeavesInALineLinkOnlyToTheirNeighbours) {
    TreeMaker m;
    // Leaf 1 between leaves 0 and 2, listed so that the back-most leaf gets the lowest index.
    m.node(m.plane(1, 0, 0, 4), 1, leafChild(0));
    m.node(m.plane(1, 0, 0, 12), leafChild(2), leafChild(1));
    m.clusters({0, 1, 2});
    EXPECT_EQ(portalsOf(m.tree).links, (Links{{0, 1}, {1, 2}}));

    // The same slabs with the middle one opaque: nothing sees through it.
    m.clusters({0, -1, 2});
    const PortalResult closed = portalsOf(m.tree);
    EXPECT_TRUE(closed.links.empty());
    EXPECT_EQ(closed.portalCount, 0u);
}

TEST(LeafPortals, QuartersTouchingAlongAnEdgeAreNotLinked) {
    for (const double backSplit : {8.0, 8.005, 9.0}) {
        TreeMaker m;
        m.node(m.plane(1, 0, 0, 8), 1, 2);
        m.node(m.plane(0, 1, 0, 8), leafChild(0), leafChild(1));          // x ≥ 8
        m.node(m.plane(0, 1, 0, backSplit), leafChild(2), leafChild(3));  // x < 8
        m.clusters({0, 1, 2, 3});
        const PortalResult r = portalsOf(m.tree);
        if (backSplit == 9.0) {
            // The strip 8 ≤ y < 9 of the plane x = 8 is a real opening between leaves 0 and 3.
            EXPECT_EQ(r.links, (Links{{0, 1}, {0, 2}, {0, 3}, {1, 3}, {2, 3}})) << backSplit;
        } else {
            EXPECT_EQ(r.links, (Links{{0, 1}, {0, 2}, {1, 3}, {2, 3}})) << backSplit;
        }
    }
}

TEST(LeafPortals, CornerContactOfNearlyZeroAreaIsNoLink) {
    TreeMaker m;
    // Above z = 8, a plane shaves a thin wedge off the padded box's vertical edge at x = y = −8;
    // on the floor z = 8 the wedge touches leaf 0 in a triangle of about 2e-4 square units.
    const double root2 = std::sqrt(2.0);
    m.node(m.plane(0, 0, 1, 8), 1, leafChild(0));
    m.node(m.plane(1, 1, 0, -16.0 + 0.015 * root2), leafChild(1), leafChild(2));
    m.clusters({0, 1, 2});
    EXPECT_EQ(portalsOf(m.tree).links, (Links{{0, 1}, {1, 2}}));
}

TEST(LeafPortals, SplitOnAFaceOfItsRegionLeavesAnEmptyLeafUnlinked) {
    // The second node splits again on the root's plane (as written, or turned round), so one of
    // its leaves has no volume: the root's portal belongs to the other one.
    for (const bool turned : {false, true}) {
        TreeMaker m;
        m.node(m.plane(1, 0, 0, 8), 1, leafChild(0));
        if (turned) {
            m.node(m.plane(-1, 0, 0, -8), leafChild(2), leafChild(1));
        } else {
            m.node(m.plane(1, 0, 0, 8), leafChild(1), leafChild(2));
        }
        m.clusters({0, 1, 2});
        const PortalResult r = portalsOf(m.tree);
        EXPECT_EQ(r.links, (Links{{0, 1}})) << turned;
        EXPECT_EQ(r.portalCount, 1u) << turned;
    }
}

// Random trees of axis-aligned splits at whole-unit positions, some written flipped and with
// normals of any length: the leaves are boxes, and two open leaves must be linked exactly when
// their boxes share a face of non-zero area.
TEST(LeafPortals, RandomBoxTreesLinkExactlyTheBoxesSharingAFace) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 40; ++round) {
        TreeMaker m;
        for (int k = 0; k < 3; ++k) m.tree.maxs[k] = 64.0;
        struct Box {
            int lo[3];
            int hi[3];
        };
        std::vector<Box> leafBoxes;
        std::vector<std::int32_t> clusters;
        auto build = [&](auto&& self, Box box, int depth) -> std::int32_t {
            std::vector<int> axes;
            for (int k = 0; k < 3; ++k) {
                if (box.hi[k] - box.lo[k] >= 2) axes.push_back(k);
            }
            if (depth == 0 || axes.empty() || random() % 8 == 0) {
                leafBoxes.push_back(box);
                clusters.push_back(random() % 4 == 0 ? -1 : static_cast<std::int32_t>(clusters.size()));
                return leafChild(static_cast<std::int32_t>(leafBoxes.size() - 1));
            }
            const int axis = axes[random() % axes.size()];
            const int at =
                box.lo[axis] + 1 + static_cast<int>(random() % static_cast<unsigned>(box.hi[axis] - box.lo[axis] - 1));
            const bool flipped = random() % 2 == 0;
            const double scale = std::array<double, 3>{1.0, 3.5, 0.25}[random() % 3] * (flipped ? -1.0 : 1.0);
            double normal[3] = {0, 0, 0};
            normal[axis] = scale;
            const std::int32_t p = m.plane(normal[0], normal[1], normal[2], scale * at);
            const std::int32_t nodeIndex = m.node(p, 0, 0);
            Box upper = box;
            Box lower = box;
            upper.lo[axis] = at;
            lower.hi[axis] = at;
            const std::int32_t up = self(self, upper, depth - 1);
            const std::int32_t down = self(self, lower, depth - 1);
            m.tree.nodes[static_cast<std::size_t>(nodeIndex)].children[0] = flipped ? down : up;
            m.tree.nodes[static_cast<std::size_t>(nodeIndex)].children[1] = flipped ? up : down;
            return nodeIndex;
        };
        // The root must be a node; the leaves start at the padded world box's faces.
        const Box world{{-8, -8, -8}, {72, 72, 72}};
        if (build(build, world, 9) < 0) continue;
        m.clusters(clusters);

        Links expected;
        for (std::size_t a = 0; a < leafBoxes.size(); ++a) {
            for (std::size_t b = a + 1; b < leafBoxes.size(); ++b) {
                if (clusters[a] < 0 || clusters[b] < 0) continue;
                int touching = 0;
                int overlapping = 0;
                for (int k = 0; k < 3; ++k) {
                    const Box& x = leafBoxes[a];
                    const Box& y = leafBoxes[b];
                    if (x.hi[k] == y.lo[k] || y.hi[k] == x.lo[k]) ++touching;
                    if (std::min(x.hi[k], y.hi[k]) > std::max(x.lo[k], y.lo[k])) ++overlapping;
                }
                if (touching == 1 && overlapping == 2) expected.emplace_back(a, b);
            }
        }
        const PortalResult r = portalsOf(m.tree);
        EXPECT_EQ(r.links, expected) << "round " << round << ", " << leafBoxes.size() << " leaves";
    }
}

TEST(LeafPortals, RejectsMalformedTrees) {
    auto twoLeaves = [] {
        TreeMaker m;
        m.node(m.plane(1, 0, 0, 8), leafChild(0), leafChild(1));
        m.clusters({0, 1});
        return m;
    };
    {
        TreeMaker m = twoLeaves();
        m.tree.nodes[0].children[0] = 5;
        EXPECT_NE(errorOf(m.tree).find("child node 5"), std::string::npos);
    }
    {
        TreeMaker m = twoLeaves();
        m.tree.nodes[0].children[1] = leafChild(2);
        EXPECT_NE(errorOf(m.tree).find("child leaf 2"), std::string::npos);
    }
    {
        TreeMaker m = twoLeaves();
        m.tree.nodes[0].children[1] = std::numeric_limits<std::int32_t>::min();
        EXPECT_NE(errorOf(m.tree).find("child leaf 2147483647"), std::string::npos);
    }
    {
        TreeMaker m = twoLeaves();
        m.tree.nodes[0].children[1] = 1;
        m.node(0, leafChild(1), 0);  // back to the root
        EXPECT_NE(errorOf(m.tree).find("reached twice"), std::string::npos);
    }
    {
        TreeMaker m = twoLeaves();
        m.tree.nodes[0].children[0] = 1;
        m.tree.nodes[0].children[1] = 1;  // both sides share one branch
        m.node(0, leafChild(0), leafChild(1));
        EXPECT_NE(errorOf(m.tree).find("reached twice"), std::string::npos);
    }
    {
        TreeMaker m = twoLeaves();
        m.tree.nodes[0].plane = 1;
        EXPECT_NE(errorOf(m.tree).find("plane 1"), std::string::npos);
    }
    {
        TreeMaker m = twoLeaves();
        m.tree.planes[0] = PortalTree::Plane{{0, 0, 0}, 8};
        EXPECT_NE(errorOf(m.tree).find("normal"), std::string::npos);
        m.tree.planes[0] = PortalTree::Plane{{std::nan(""), 0, 0}, 8};
        EXPECT_NE(errorOf(m.tree).find("normal"), std::string::npos);
    }
    {
        TreeMaker m = twoLeaves();
        m.tree.maxs[1] = std::numeric_limits<double>::infinity();
        EXPECT_NE(errorOf(m.tree).find("world box"), std::string::npos);
        m.tree.maxs[1] = -1.0;
        EXPECT_NE(errorOf(m.tree).find("world box"), std::string::npos);
    }
    {
        TreeMaker m;
        m.clusters({0});
        EXPECT_NE(errorOf(m.tree).find("no nodes"), std::string::npos);
    }
}

TEST(LeafPortals, DeepChainNeedsNoRecursion) {
    // A degenerate tree as deep as it is large: slab after slab along x.
    constexpr int depth = 100'000;
    TreeMaker m;
    m.tree.maxs[0] = depth;
    std::vector<std::int32_t> clusters;
    for (int i = 0; i < depth; ++i) {
        const std::int32_t front = i + 1 < depth ? i + 1 : leafChild(depth);
        m.node(m.plane(1, 0, 0, i), front, leafChild(i));
        clusters.push_back(i);
    }
    clusters.push_back(depth);
    m.clusters(clusters);
    const PortalResult r = portalsOf(m.tree);
    ASSERT_EQ(r.links.size(), static_cast<std::size_t>(depth));
    for (int i = 0; i < depth; ++i) {
        EXPECT_EQ(r.links[static_cast<std::size_t>(i)], std::make_pair(i, i + 1));
    }
}

// The levels of the Debian package openarena-088-data, when it is installed.
const char* const gamePackage = "/usr/share/games/openarena/baseoa/pak6-patch088.pk3";

// The visibility lump of an IBSP file: cluster rows of bits.
struct FileVisibility {
    std::int32_t clusters = 0;
    std::int32_t rowBytes = 0;
    const std::uint8_t* rows = nullptr;

    [[nodiscard]] bool sees(std::int32_t from, std::int32_t to) const {
        return ((rows[static_cast<std::size_t>(from) * static_cast<std::size_t>(rowBytes) +
                      static_cast<std::size_t>(to >> 3)] >>
                 (to & 7)) &
                1) != 0;
    }
};

std::int32_t readInt(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
        static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

// Empty when the lump is missing or does not hold its rows.
FileVisibility visibilityOf(const std::vector<std::uint8_t>& bytes) {
    constexpr std::size_t entry = 8 + 16 * 8;  // lump 16 in the header's table
    FileVisibility vis;
    if (bytes.size() < entry + 8) return vis;
    const std::int32_t offset = readInt(bytes, entry);
    const std::int32_t length = readInt(bytes, entry + 4);
    if (offset < 0 || length < 8 || static_cast<std::size_t>(offset) + static_cast<std::size_t>(length) > bytes.size())
        return vis;
    const std::int32_t clusters = readInt(bytes, static_cast<std::size_t>(offset));
    const std::int32_t rowBytes = readInt(bytes, static_cast<std::size_t>(offset) + 4);
    if (clusters <= 0 || rowBytes * 8 < clusters ||
        static_cast<std::int64_t>(clusters) * rowBytes > static_cast<std::int64_t>(length) - 8) {
        return vis;
    }
    vis.clusters = clusters;
    vis.rowBytes = rowBytes;
    vis.rows = bytes.data() + offset + 8;
    return vis;
}

TEST(LeafPortals, GameLevelsAreConnected) {
    if (!std::filesystem::exists(gamePackage)) GTEST_SKIP() << "openarena-088-data is not installed";
    std::vector<std::string> maps;
    std::string error;
    ASSERT_TRUE(vantrell::listArchiveEntries(gamePackage, maps, error)) << error;
    ASSERT_FALSE(maps.empty());
    for (const std::string& name : maps) {
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(vantrell::readArchiveEntry(gamePackage, name, bytes, error)) << error;
        vantrell::ibsp::File file;
        ASSERT_TRUE(vantrell::ibsp::readFile(bytes.data(), bytes.size(), file, error)) << name << ": " << error;
        PortalResult r;
        ASSERT_TRUE(computeLeafPortals(portalTreeOf(file), r, error)) << name << ": " << error;

        // Union-find over leaves joined by links.
        const std::size_t leafCount = file.leaves.size();
        std::vector<std::size_t> parent(leafCount);
        std::iota(parent.begin(), parent.end(), std::size_t{0});
        auto find = [&parent](std::size_t a) {
            while (parent[a] != a) a = parent[a] = parent[parent[a]];
            return a;
        };
        std::vector<int> degree(leafCount, 0);
        for (const auto& [a, b] : r.links) {
            ASSERT_LT(static_cast<std::size_t>(b), leafCount);
            EXPECT_GE(file.leaves[static_cast<std::size_t>(a)].cluster, 0);
            EXPECT_GE(file.leaves[static_cast<std::size_t>(b)].cluster, 0);
            // Linked leaves touch: their boxes (whole units, grown outward) meet.
            const auto& la = file.leaves[static_cast<std::size_t>(a)];
            const auto& lb = file.leaves[static_cast<std::size_t>(b)];
            for (std::size_t k = 0; k < 3; ++k) {
                EXPECT_LE(la.mins[k], lb.maxs[k] + 1) << name << " link " << a << "-" << b;
                EXPECT_LE(lb.mins[k], la.maxs[k] + 1) << name << " link " << a << "-" << b;
            }
            ++degree[static_cast<std::size_t>(a)];
            ++degree[static_cast<std::size_t>(b)];
            parent[find(static_cast<std::size_t>(a))] = find(static_cast<std::size_t>(b));
        }
        // Leaves beyond the world tree (those of the movable models) have no place in it.
        std::vector<bool> inTree(leafCount, false);
        for (const auto& n : file.nodes) {
            for (const std::int32_t c : n.children) {
                if (c < 0) inTree[static_cast<std::size_t>(-(c + 1))] = true;
            }
        }
        std::size_t withSurfaces = 0;
        std::size_t isolated = 0;
        for (std::size_t i = 0; i < leafCount; ++i) {
            const auto& leaf = file.leaves[i];
            if (!inTree[i] || leaf.cluster < 0 || leaf.numLeafSurfaces == 0) continue;
            ++withSurfaces;
            if (degree[i] == 0) ++isolated;
        }
        // A few open leaves are sealed on purpose (a closed room behind the sky in pul1ctf): at
        // most one in a hundred may have no open neighbour.
        EXPECT_LE(isolated * 100, withSurfaces) << name << ": " << isolated << " isolated";

        // Against the file's own visibility data: neighbours see each other, and clusters that
        // see each other are connected through open space (some levels are several separate
        // arenas joined by teleporters, so the graph need not be connected).
        const FileVisibility vis = visibilityOf(bytes);
        if (vis.clusters == 0) continue;
        // The level compiler leaves out a few openings that are slivers (a slab an eighth of a
        // unit thick, a corner a tenth of a unit across): allow one link in a hundred.
        std::size_t unseenLinks = 0;
        for (const auto& [a, b] : r.links) {
            if (!vis.sees(file.leaves[static_cast<std::size_t>(a)].cluster,
                          file.leaves[static_cast<std::size_t>(b)].cluster)) {
                ++unseenLinks;
            }
        }
        EXPECT_LE(unseenLinks * 100, r.links.size()) << name << ": " << unseenLinks << " links between unseen clusters";
        std::vector<std::size_t> clusterComponent(static_cast<std::size_t>(vis.clusters), leafCount);
        for (std::size_t i = 0; i < leafCount; ++i) {
            const std::int32_t c = file.leaves[i].cluster;
            if (!inTree[i] || c < 0 || c >= vis.clusters) continue;
            std::size_t& component = clusterComponent[static_cast<std::size_t>(c)];
            if (component == leafCount) component = find(i);
            EXPECT_EQ(component, find(i)) << name << ": leaves of cluster " << c << " are not connected";
        }
        std::size_t unconnectedPairs = 0;
        for (std::int32_t c = 0; c < vis.clusters; ++c) {
            for (std::int32_t k = 0; k < vis.clusters; ++k) {
                const std::size_t cc = clusterComponent[static_cast<std::size_t>(c)];
                const std::size_t kc = clusterComponent[static_cast<std::size_t>(k)];
                if (cc != leafCount && kc != leafCount && cc != kc && vis.sees(c, k)) ++unconnectedPairs;
            }
        }
        EXPECT_EQ(unconnectedPairs, 0u) << name;
        EXPECT_GT(r.portalCount, 0u) << name;
    }
}

}  // namespace
}  // namespace vantrell
