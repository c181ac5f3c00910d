// Marks on a fixed number of items that all clear at once, in constant time: an item is
// marked while its stamp equals the current generation, so clearing is one increment. The
// stamps are rewritten only when the generation wraps around.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrell {

class StampMarks {
public:
    // n items; call clear() before the first use, as every item reads as marked until then.
    void reset(std::size_t n) {
        stamps.assign(n, 0);
        generation = 0;
    }
    [[nodiscard]] std::size_t size() const { return stamps.size(); }

    void clear() {
        if (++generation == 0) {  // wrapped: old stamps could match again
            std::fill(stamps.begin(), stamps.end(), 0u);
            generation = 1;
        }
    }
    [[nodiscard]] bool marked(std::size_t i) const { return stamps[i] == generation; }
    void mark(std::size_t i) { stamps[i] = generation; }

private:
    std::vector<std::uint32_t> stamps;
    std::uint32_t generation = 0;
};

}  // namespace vantrell
