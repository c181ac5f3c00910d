#include "level/AdjacencyMatrix.h"

#include <algorithm>
#include <bit>

namespace vantrell {

AdjacencyMatrix::AdjacencyMatrix(std::initializer_list<std::initializer_list<std::uint8_t>> rowList)
    : rows(rowList.size()) {
    for (const auto& r : rowList) bytesPerRow = std::max(bytesPerRow, r.size());
    bits.assign(rows * bytesPerRow, 0);
    std::size_t s = 0;
    for (const auto& r : rowList)
        std::copy(r.begin(), r.end(), bits.begin() + static_cast<std::ptrdiff_t>(s++ * bytesPerRow));
}

std::uint64_t AdjacencyMatrix::setBitCount() const {
    std::uint64_t n = 0;
    for (const std::uint8_t byte : bits) n += static_cast<std::uint64_t>(std::popcount(byte));
    return n;
}

}  // namespace vantrell
