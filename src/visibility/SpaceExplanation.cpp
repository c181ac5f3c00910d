#include "visibility/SpaceExplanation.h"

#include <algorithm>

namespace vantrell {
namespace {

constexpr std::int32_t unknown = -1;

// Steps from start to every space along the rows; -1 where no chain leads. order receives
// the spaces in the order they were reached (nearest first).
std::vector<std::int32_t> stepsFrom(const VisibleSpaceSearch& search, std::size_t spaceCount, std::uint32_t start,
                                    std::vector<std::uint32_t>& order) {
    std::vector<std::int32_t> steps(spaceCount, unknown);
    order.clear();
    order.push_back(start);
    steps[start] = 0;
    for (std::size_t head = 0; head < order.size(); ++head) {
        const std::uint32_t s = order[head];
        for (const std::uint32_t n : search.neighboursOf(s)) {
            if (steps[n] != unknown) continue;
            steps[n] = steps[s] + 1;
            order.push_back(n);
        }
    }
    return steps;
}

// Steps from every space to target along the rows (a walk over the reversed rows).
std::vector<std::int32_t> stepsTo(const VisibleSpaceSearch& search, std::size_t spaceCount, std::uint32_t target) {
    // The reversed rows in one block: first[s] .. first[s + 1] name the spaces whose rows name s.
    std::vector<std::size_t> first(spaceCount + 1, 0);
    for (std::size_t s = 0; s < spaceCount; ++s) {
        for (const std::uint32_t n : search.neighboursOf(static_cast<std::uint32_t>(s))) ++first[n + 1];
    }
    for (std::size_t s = 0; s < spaceCount; ++s) first[s + 1] += first[s];
    std::vector<std::uint32_t> from(first[spaceCount]);
    std::vector<std::size_t> fill(first.begin(), first.end() - 1);
    for (std::size_t s = 0; s < spaceCount; ++s) {
        for (const std::uint32_t n : search.neighboursOf(static_cast<std::uint32_t>(s))) {
            from[fill[n]++] = static_cast<std::uint32_t>(s);
        }
    }

    std::vector<std::int32_t> steps(spaceCount, unknown);
    std::vector<std::uint32_t> queue{target};
    steps[target] = 0;
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::uint32_t s = queue[head];
        for (std::size_t k = first[s]; k < first[s + 1]; ++k) {
            const std::uint32_t p = from[k];
            if (steps[p] != unknown) continue;
            steps[p] = steps[s] + 1;
            queue.push_back(p);
        }
    }
    return steps;
}

}  // namespace

SpaceExplanation explainSpace(const SpacePartition& partition, const VisibleSpaceSearch& search,
                              const ViewFrustum& frustum, const SearchRecord& record, std::uint32_t space) {
    SpaceExplanation answer;
    answer.space = space;
    answer.startSpace = record.startSpace;
    const std::size_t spaceCount = partition.spaces.size();
    if (record.startSpace < 0 || space >= spaceCount || record.outcome.size() != spaceCount) return answer;
    const auto start = static_cast<std::uint32_t>(record.startSpace);
    answer.outcome = record.outcome[space];

    // The search's own chain, for a space it reached.
    if (answer.outcome != SpaceOutcome::unreached) {
        // Each step back names a space reached earlier, so the walk ends within spaceCount steps.
        for (std::int32_t s = static_cast<std::int32_t>(space); s >= 0 && answer.chain.size() <= spaceCount;
             s = record.reachedFrom[static_cast<std::size_t>(s)]) {
            answer.chain.push_back({static_cast<std::uint32_t>(s), record.failedPlane[static_cast<std::size_t>(s)]});
        }
        std::reverse(answer.chain.begin(), answer.chain.end());
    }
    if (answer.outcome == SpaceOutcome::listed) {
        answer.verdict = SpaceExplanation::Verdict::listed;
        answer.place =
            static_cast<std::size_t>(std::find(record.list.begin(), record.list.end(), space) - record.list.begin());
        return answer;
    }

    std::vector<std::uint32_t> order;
    const std::vector<std::int32_t> fromStart = stepsFrom(search, spaceCount, start, order);
    if (fromStart[space] == unknown) {
        answer.verdict = SpaceExplanation::Verdict::notReachable;
        return answer;
    }
    answer.verdict = SpaceExplanation::Verdict::blocked;
    answer.shortestLength = static_cast<std::size_t>(fromStart[space]) + 1;
    if (space == start) {
        // The eye's space is only ever left out for its own box.
        answer.blocked.push_back({start, failingPlane(frustum, partition.spaces[start].bounds), {start}});
        return answer;
    }
    const std::vector<std::int32_t> toTarget = stepsTo(search, spaceCount, space);

    // A space is clear when some shortest chain from the start reaches it with every space
    // strictly between passing its box test; clearFrom keeps the previous space of one.
    std::vector<std::int8_t> passes(spaceCount, -1);  // -1 not tested yet, else 0 or 1
    const auto boxPasses = [&](std::uint32_t s) {
        if (passes[s] < 0) passes[s] = failingPlane(frustum, partition.spaces[s].bounds) < 0 ? 1 : 0;
        return passes[s] == 1;
    };
    std::vector<std::int32_t> clearFrom(spaceCount, unknown);
    std::vector<bool> clear(spaceCount, false);
    clear[start] = true;
    for (const std::uint32_t s : order) {
        if (!clear[s] || (s != start && !boxPasses(s))) continue;
        for (const std::uint32_t n : search.neighboursOf(s)) {
            if (fromStart[n] != fromStart[s] + 1 || clear[n]) continue;
            clear[n] = true;
            clearFrom[n] = static_cast<std::int32_t>(s);
        }
    }

    const std::int32_t length = fromStart[space];
    for (std::uint32_t f = 0; f < spaceCount; ++f) {
        if (f == start || !clear[f] || toTarget[f] == unknown || fromStart[f] + toTarget[f] != length) continue;
        if (boxPasses(f)) continue;
        BlockedChain blocked;
        blocked.firstFailing = f;
        blocked.plane = failingPlane(frustum, partition.spaces[f].bounds);
        for (std::int32_t s = static_cast<std::int32_t>(f); s != unknown; s = clearFrom[static_cast<std::size_t>(s)]) {
            blocked.chain.push_back(static_cast<std::uint32_t>(s));
        }
        std::reverse(blocked.chain.begin(), blocked.chain.end());
        // On to the target along spaces one step nearer to it each time.
        for (std::uint32_t s = f; s != space;) {
            for (const std::uint32_t n : search.neighboursOf(s)) {
                if (toTarget[n] == toTarget[s] - 1) {
                    s = n;
                    break;
                }
            }
            blocked.chain.push_back(s);
        }
        answer.blocked.push_back(std::move(blocked));
    }
    return answer;
}

}  // namespace vantrell
