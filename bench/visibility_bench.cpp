// The visible-space search on generated maze levels of 1,000, 10,000 and 100,000 spaces:
// the walk-through's search against a plain search kept here as the reference, which
// does every step the simple way (a fresh visited bit vector per search, a fresh
// neighbour list read out of the adjacency bits for every expanded space, and the five view
// planes derived anew for every box). Both must produce the identical list; the benchmark
// refuses to time them otherwise. Compare the two times per size for the speed-up.
//
// Also times the search that records every space's outcome (the frozen view, why), and one
// contact query on the same levels (floors and the maze's walls).
//
// Each cell of the maze is a space with a 1 x 2 x 1 box; open walls of a random spanning
// tree (plus openings for a third as many cells again, making loops) link neighbouring
// cells both ways; a balanced k-d tree of axis planes locates points. Adjacency rows end at their last set
// byte: a file would store every row at the full width, which only makes the reference's
// row scans longer. Even so the matrix is quadratic: about 625 MB at 100,000 spaces.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "camera/MovementClock.h"
#include "level/LevelGeometry.h"
#include "level/SpacePartition.h"
#include "math/Vector.h"
#include "visibility/ViewFrustum.h"
#include "walk/Walkthrough.h"

namespace vantrell {
namespace {

struct Maze {
    int width = 0;
    int depth = 0;
    LevelGeometry geometry;
    SpacePartition partition;
};

std::int32_t cellOf(const Maze& m, int x, int z) {
    return z * m.width + x;
}

// Appends a node over cells [x0, x1) x [z0, z1), split in the middle of its longer side;
// returns the child reference for the parent.
std::int32_t buildTree(Maze& m, int x0, int x1, int z0, int z1) {
    if (x1 - x0 == 1 && z1 - z0 == 1) return childOfSpace(cellOf(m, x0, z0));
    const bool alongX = x1 - x0 >= z1 - z0;
    const int middle = alongX ? (x0 + x1) / 2 : (z0 + z1) / 2;
    const Plane plane = alongX ? Plane{1.0f, 0.0f, 0.0f, -static_cast<float>(middle)}
                               : Plane{0.0f, 0.0f, 1.0f, -static_cast<float>(middle)};
    BspNode node;
    node.planeIndex = m.geometry.addPlane(plane);
    const std::int32_t index = m.partition.addNode(node);
    const std::int32_t back = alongX ? buildTree(m, x0, middle, z0, z1) : buildTree(m, x0, x1, z0, middle);
    const std::int32_t front = alongX ? buildTree(m, middle, x1, z0, z1) : buildTree(m, x0, x1, middle, z1);
    m.partition.nodes[static_cast<std::size_t>(index)].back = back;
    m.partition.nodes[static_cast<std::size_t>(index)].front = front;
    return index;
}

void addQuad(Maze& m, std::int32_t space, std::int32_t plane, const Vector3& a, const Vector3& b, const Vector3& c,
             const Vector3& d) {
    // Corners a, b, c, d wind with the plane's normal.
    for (const auto& [p, q, r] : {std::tuple{a, b, c}, std::tuple{a, c, d}}) {
        Triangle t;
        t.vertexIndex = {m.geometry.addVertex(p), m.geometry.addVertex(q), m.geometry.addVertex(r)};
        t.normalIndex = {0, 0, 0};
        t.planeIndex = plane;
        m.partition.spaces[static_cast<std::size_t>(space)].triangleIndices.push_back(m.geometry.addTriangle(t));
    }
}

std::unique_ptr<Maze> makeMaze(int width, int depth) {
    auto m = std::make_unique<Maze>();
    m->width = width;
    m->depth = depth;
    const int count = width * depth;
    m->geometry.addNormal({0.0f, 1.0f, 0.0f});
    for (int z = 0; z < depth; ++z) {
        for (int x = 0; x < width; ++x) {
            Space s;
            s.bounds = {static_cast<float>(x),     0.0f, static_cast<float>(z),
                        static_cast<float>(x + 1), 2.0f, static_cast<float>(z + 1)};
            m->partition.addSpace(s);
        }
    }
    buildTree(*m, 0, width, 0, depth);

    // Random spanning tree by depth-first carving, then openings for a third as many cells
    // again, which make loops.
    std::mt19937 random(20240601u);
    std::vector<std::vector<int>> open(static_cast<std::size_t>(count));
    std::vector<bool> carved(static_cast<std::size_t>(count));
    std::vector<int> stack{0};
    carved[0] = true;
    auto link = [&](int a, int b) {
        open[static_cast<std::size_t>(a)].push_back(b);
        open[static_cast<std::size_t>(b)].push_back(a);
    };
    while (!stack.empty()) {
        const int c = stack.back();
        const int x = c % width;
        const int z = c / width;
        int options[4];
        int n = 0;
        if (x > 0 && !carved[static_cast<std::size_t>(c - 1)]) options[n++] = c - 1;
        if (x + 1 < width && !carved[static_cast<std::size_t>(c + 1)]) options[n++] = c + 1;
        if (z > 0 && !carved[static_cast<std::size_t>(c - width)]) options[n++] = c - width;
        if (z + 1 < depth && !carved[static_cast<std::size_t>(c + width)]) options[n++] = c + width;
        if (n == 0) {
            stack.pop_back();
            continue;
        }
        const int next = options[random() % static_cast<unsigned>(n)];
        carved[static_cast<std::size_t>(next)] = true;
        link(c, next);
        stack.push_back(next);
    }
    for (int k = 0; k < count / 3; ++k) {
        const int c = static_cast<int>(random() % static_cast<unsigned>(count));
        const int x = c % width;
        const int z = c / width;
        if (random() % 2 == 0 && x + 1 < width) {
            if (std::find(open[c].begin(), open[c].end(), c + 1) == open[c].end()) link(c, c + 1);
        } else if (z + 1 < depth) {
            if (std::find(open[c].begin(), open[c].end(), c + width) == open[c].end()) link(c, c + width);
        }
    }

    AdjacencyMatrix rows = AdjacencyMatrix::forSpaces(static_cast<std::size_t>(count));
    for (int c = 0; c < count; ++c) {
        for (const int n : open[static_cast<std::size_t>(c)])
            rows.set(static_cast<std::size_t>(c), static_cast<std::size_t>(n));
    }
    m->partition.setAdjacency(std::move(rows));

    // One floor plane shared by every cell; the closed walls on planes per grid line,
    // facing into their cell.
    const std::int32_t floor = m->geometry.addPlane({0.0f, 1.0f, 0.0f, 0.0f});
    std::map<std::pair<int, int>, std::int32_t> wallPlanes;  // (axis * 2 + facing, line) -> plane
    auto wallPlane = [&](int kind, int line, const Plane& p) {
        const auto [it, inserted] = wallPlanes.try_emplace({kind, line}, 0);
        if (inserted) it->second = m->geometry.addPlane(p);
        return it->second;
    };
    for (int z = 0; z < depth; ++z) {
        for (int x = 0; x < width; ++x) {
            const int c = cellOf(*m, x, z);
            const auto fx = static_cast<float>(x);
            const auto fz = static_cast<float>(z);
            addQuad(*m, c, floor, {fx, 0, fz}, {fx, 0, fz + 1}, {fx + 1, 0, fz + 1}, {fx + 1, 0, fz});
            const std::vector<int>& o = open[static_cast<std::size_t>(c)];
            auto closed = [&](int other) { return std::find(o.begin(), o.end(), other) == o.end(); };
            if (x == 0 || closed(c - 1))  // west wall facing +x
                addQuad(*m, c, wallPlane(0, x, {1, 0, 0, -fx}), {fx, 0, fz}, {fx, 2, fz}, {fx, 2, fz + 1},
                        {fx, 0, fz + 1});
            if (x + 1 == width || closed(c + 1))  // east wall facing -x
                addQuad(*m, c, wallPlane(1, x + 1, {-1, 0, 0, fx + 1}), {fx + 1, 0, fz}, {fx + 1, 0, fz + 1},
                        {fx + 1, 2, fz + 1}, {fx + 1, 2, fz});
            if (z == 0 || closed(c - width))  // south wall facing +z
                addQuad(*m, c, wallPlane(2, z, {0, 0, 1, -fz}), {fx, 0, fz}, {fx + 1, 0, fz}, {fx + 1, 2, fz},
                        {fx, 2, fz});
            if (z + 1 == depth || closed(c + width))  // north wall facing -z
                addQuad(*m, c, wallPlane(3, z + 1, {0, 0, -1, fz + 1}), {fx, 0, fz + 1}, {fx, 2, fz + 1},
                        {fx + 1, 2, fz + 1}, {fx + 1, 0, fz + 1});
        }
    }
    return m;
}

Maze& mazeOf(int spaces) {
    static std::map<int, std::unique_ptr<Maze>> built;
    auto& slot = built[spaces];
    if (!slot) {
        const int width = spaces == 1000 ? 40 : spaces == 10000 ? 100 : 400;
        slot = makeMaze(width, spaces / width);
    }
    return *slot;
}

// The camera of every search: standing in a cell a quarter of the way across, looking along
// +x with a wide window (aspect 4, which culls nothing sideways), so that most of the maze
// lies in view and the search has to thread the maze's corridors to reach it.
constexpr float benchAspect = 4.0f;
Vector3 startPosition(const Maze& m) {
    return {static_cast<float>(m.width / 4) + 0.5f, 0.0f, static_cast<float>(m.depth / 2) + 0.5f};
}
constexpr Vector3 startForward{1.0f, 0.0f, 0.0f};

// The search exactly as first designed, kept only as the yardstick.
class ReferenceSearch {
public:
    ReferenceSearch(const Maze& m, const Camera& camera, float fieldOfView, float aspectRatio)
        : m(m), camera(camera), fieldOfView(fieldOfView), aspectRatio(aspectRatio) {}

    void collect(std::vector<std::uint32_t>& list) const {
        const Vector3 eye = camera.eyePoint(false);
        const std::int32_t s0 = locateSpace(m.geometry, m.partition, 0, eye);
        if (boxInViewFrustum(m.partition.space(s0).bounds)) list.push_back(static_cast<std::uint32_t>(s0));
        std::vector<bool> visited(static_cast<std::size_t>(m.partition.spaceCount()));
        visited[static_cast<std::size_t>(s0)] = true;
        // Depth-first with one neighbour list per expanded space, in the recursion's order;
        // kept off the call stack only because the 100,000-cell maze nests too deep.
        struct Step {
            std::vector<std::int32_t> neighbours;
            std::size_t next = 0;
        };
        std::vector<Step> steps;
        auto expand = [&](std::int32_t s) {
            Step step;
            m.partition.neighbours(s, step.neighbours);
            steps.push_back(std::move(step));
        };
        expand(s0);
        while (!steps.empty()) {
            Step& top = steps.back();
            if (top.next == top.neighbours.size()) {
                steps.pop_back();
                continue;
            }
            const std::int32_t n = top.neighbours[top.next++];
            if (visited[static_cast<std::size_t>(n)]) continue;
            visited[static_cast<std::size_t>(n)] = true;
            if (boxInViewFrustum(m.partition.space(n).bounds)) {
                list.push_back(static_cast<std::uint32_t>(n));
                expand(n);
            }
        }
    }

private:
    [[nodiscard]] bool boxInViewFrustum(const BoundingBox& bounds) const {
        const ViewFrustum f = makeViewFrustum(camera.eyePoint(false), camera.forward(), camera.up(), camera.right(),
                                              fieldOfView, aspectRatio);
        return boxInFrustum(f, bounds);
    }

    const Maze& m;
    const Camera& camera;
    float fieldOfView;
    float aspectRatio;
};

struct Viewer {
    explicit Viewer(Maze& m) : walkthrough(m.geometry, m.partition, counter, startPosition(m), startForward) {
        walkthrough.setAspectRatio(benchAspect);
    }
    ManualCounter counter;
    Walkthrough walkthrough;
};

bool listsAgree(Maze& m, benchmark::State& state) {
    Viewer viewer(m);
    std::vector<std::uint32_t> fast;
    std::vector<std::uint32_t> reference;
    viewer.walkthrough.collectVisibleSpaces(fast);
    ReferenceSearch(m, viewer.walkthrough.camera(), viewer.walkthrough.fieldOfView(), viewer.walkthrough.aspectRatio())
        .collect(reference);
    if (fast != reference) {
        state.SkipWithError("the two searches disagree");
        return false;
    }
    if (fast.size() < static_cast<std::size_t>(m.partition.spaceCount()) / 10) {
        state.SkipWithError("too few spaces in view to measure the search");
        return false;
    }
    return true;
}

void fastSearch(benchmark::State& state) {
    Maze& m = mazeOf(static_cast<int>(state.range(0)));
    if (!listsAgree(m, state)) return;
    Viewer viewer(m);
    std::vector<std::uint32_t> list;
    for (auto _ : state) {
        list.clear();
        viewer.walkthrough.collectVisibleSpaces(list);
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["listed"] = static_cast<double>(list.size());
}

// The same search recording every space's outcome, as the frozen view and why use it; its
// extra cost is the price of asking, while fastSearch shows that the plain search pays none.
void recordedSearch(benchmark::State& state) {
    Maze& m = mazeOf(static_cast<int>(state.range(0)));
    if (!listsAgree(m, state)) return;
    Viewer viewer(m);
    SearchRecord record;
    for (auto _ : state) {
        viewer.walkthrough.collectVisibleSpaces(record);
        benchmark::DoNotOptimize(record.list.data());
    }
    state.counters["listed"] = static_cast<double>(record.list.size());
}

void referenceSearch(benchmark::State& state) {
    Maze& m = mazeOf(static_cast<int>(state.range(0)));
    if (!listsAgree(m, state)) return;
    Viewer viewer(m);
    const ReferenceSearch reference(m, viewer.walkthrough.camera(), viewer.walkthrough.fieldOfView(),
                                    viewer.walkthrough.aspectRatio());
    std::vector<std::uint32_t> list;
    for (auto _ : state) {
        list.clear();
        reference.collect(list);
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["listed"] = static_cast<double>(list.size());
}

// Per call, over a cycle of the movement step's typical questions in cells across the maze:
// a fall onto the floor, a walk into the cell's first wall, and a free move.
void contactQuery(benchmark::State& state) {
    Maze& m = mazeOf(static_cast<int>(state.range(0)));
    Viewer viewer(m);
    SpaceVisibility& visibility = viewer.walkthrough.visibility();
    struct Move {
        Vector3 from;
        Vector3 to;
    };
    std::vector<Move> moves;
    std::mt19937 random(7u);
    for (int k = 0; k < 64; ++k) {
        const auto x = static_cast<float>(random() % static_cast<unsigned>(m.width)) + 0.5f;
        const auto z = static_cast<float>(random() % static_cast<unsigned>(m.depth)) + 0.5f;
        moves.push_back({{x, 0.3f, z}, {x, 0.02f, z}});
        moves.push_back({{x, 0.5f, z}, {x - 0.48f, 0.5f, z}});
        moves.push_back({{x, 0.5f, z}, {x + 0.1f, 0.5f, z + 0.1f}});
    }
    std::size_t i = 0;
    std::size_t contacts = 0;
    for (auto _ : state) {
        const Move& move = moves[i];
        const Plane p = visibility.findContactPlane(move.from, move.to);
        contacts += (p.a != 0.0f || p.b != 0.0f || p.c != 0.0f) ? 1 : 0;
        benchmark::DoNotOptimize(p);
        i = i + 1 == moves.size() ? 0 : i + 1;
    }
    state.counters["contactShare"] = static_cast<double>(contacts) / static_cast<double>(state.iterations());
}

BENCHMARK(fastSearch)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(recordedSearch)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(referenceSearch)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(contactQuery)->Arg(1000)->Arg(100000)->Unit(benchmark::kNanosecond);

}  // namespace
}  // namespace vantrell

BENCHMARK_MAIN();
