#include "visibility/VisibleSpaceSearch.h"

#include <algorithm>

namespace vantrell {
namespace {

// The plain search: every hook does nothing and is inlined away.
struct NoRecord {
    void start(std::uint32_t) {}
    void failed(std::uint32_t, std::uint32_t, const BoundingBox&) {}
    void listed(std::uint32_t, std::uint32_t) {}
};

struct FullRecord {
    SearchRecord& record;
    const ViewFrustum& frustum;

    void start(std::uint32_t space) { record.startSpace = static_cast<std::int32_t>(space); }
    void failed(std::uint32_t space, std::uint32_t from, const BoundingBox& bounds) {
        record.outcome[space] = SpaceOutcome::failedBox;
        record.failedPlane[space] = static_cast<std::int8_t>(failingPlane(frustum, bounds));
        record.reachedFrom[space] = from == space ? -1 : static_cast<std::int32_t>(from);
    }
    void listed(std::uint32_t space, std::uint32_t from) {
        record.outcome[space] = SpaceOutcome::listed;
        record.reachedFrom[space] = from == space ? -1 : static_cast<std::int32_t>(from);
    }
};

}  // namespace

void VisibleSpaceSearch::rebuild(const SpacePartition& partition) {
    const std::size_t spaceCount = partition.spaces.size();
    rowCount = partition.adjacency.rowCount();
    firstNeighbour.assign(spaceCount + 1, 0);
    neighbourList.clear();
    // Only bytes that can name an existing space are read.
    const std::size_t usefulBytes = (spaceCount + 7) / 8;
    for (std::size_t s = 0; s < spaceCount; ++s) {
        firstNeighbour[s] = neighbourList.size();
        if (s >= rowCount) continue;
        partition.adjacency.forEachNeighbour(
            s,
            [&](std::size_t named) {
                if (named < spaceCount) neighbourList.push_back(static_cast<std::uint32_t>(named));
            },
            usefulBytes);
    }
    firstNeighbour[spaceCount] = neighbourList.size();
    neighbourList.shrink_to_fit();
    visited.reset(spaceCount);
    stack.clear();
    stack.reserve(spaceCount);
}

bool VisibleSpaceSearch::builtFor(const SpacePartition& partition) const {
    return firstNeighbour.size() == partition.spaces.size() + 1 && rowCount == partition.adjacency.rowCount();
}

std::span<const std::uint32_t> VisibleSpaceSearch::neighboursOf(std::uint32_t s) const {
    if (std::size_t{s} + 1 >= firstNeighbour.size()) return {};
    return std::span<const std::uint32_t>(neighbourList)
        .subspan(firstNeighbour[s], firstNeighbour[s + 1] - firstNeighbour[s]);
}

void VisibleSpaceSearch::collect(const LevelGeometry& geometry, const SpacePartition& partition, const Vector3& eye,
                                 const ViewFrustum& frustum, std::vector<std::uint32_t>& list) {
    NoRecord none;
    walk(geometry, partition, eye, frustum, list, none);
}

void VisibleSpaceSearch::collectRecorded(const LevelGeometry& geometry, const SpacePartition& partition,
                                         const Vector3& eye, const ViewFrustum& frustum, SearchRecord& record) {
    const std::size_t spaceCount = partition.spaces.size();
    record.startSpace = -1;
    record.list.clear();
    record.outcome.assign(spaceCount, SpaceOutcome::unreached);
    record.failedPlane.assign(spaceCount, -1);
    record.reachedFrom.assign(spaceCount, -1);
    FullRecord full{record, frustum};
    walk(geometry, partition, eye, frustum, record.list, full);
}

template <class Recorder>
void VisibleSpaceSearch::walk(const LevelGeometry& geometry, const SpacePartition& partition, const Vector3& eye,
                              const ViewFrustum& frustum, std::vector<std::uint32_t>& list, Recorder& recorder) {
    if (partition.nodes.empty() || partition.spaces.empty()) return;
    if (!builtFor(partition)) rebuild(partition);

    const std::int32_t located = locateSpace(geometry, partition, 0, eye);
    if (located < 0 || static_cast<std::size_t>(located) >= partition.spaces.size()) return;
    const auto start = static_cast<std::uint32_t>(located);

    visited.clear();
    recorder.start(start);
    if (boxInFrustum(frustum, partition.spaces[start].bounds)) {
        list.push_back(start);
        recorder.listed(start, start);
    } else {
        recorder.failed(start, start, partition.spaces[start].bounds);
    }
    visited.mark(start);

    // The explicit stack walks exactly as a recursive depth-first expansion would: each
    // frame resumes its neighbour list where the deeper walk interrupted it.
    stack.clear();
    stack.push_back({start, firstNeighbour[start]});
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == firstNeighbour[top.space + 1]) {
            stack.pop_back();
            continue;
        }
        const std::uint32_t n = neighbourList[top.next++];
        if (visited.marked(n)) continue;
        visited.mark(n);
        if (!boxInFrustum(frustum, partition.spaces[n].bounds)) {
            recorder.failed(n, top.space, partition.spaces[n].bounds);
            continue;
        }
        list.push_back(n);
        recorder.listed(n, top.space);
        stack.push_back({n, firstNeighbour[n]});  // top is not used past this point
    }
}

}  // namespace vantrell
