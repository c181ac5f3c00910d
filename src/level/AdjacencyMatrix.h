// Which spaces neighbour which: one row of bits per space, all rows rowBytes long.
// Bit j (value 1 << j) of byte i of row s set means that space 8i + j neighbours space s.
// The relation is stored as it is given: a row may name a space whose row does not name it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

namespace vantrell {

class AdjacencyMatrix {
public:
    AdjacencyMatrix() = default;
    // rows rows of rowBytes clear bytes.
    AdjacencyMatrix(std::size_t rows, std::size_t rowBytes)
        : rows(rows), bytesPerRow(rowBytes), bits(rows * rowBytes) {}
    // rows rows of rowBytes bytes taken from bytes, row 0 first. Precondition: bytes holds
    // exactly rows * rowBytes bytes.
    AdjacencyMatrix(std::size_t rows, std::size_t rowBytes, std::vector<std::uint8_t> bytes)
        : rows(rows), bytesPerRow(rowBytes), bits(std::move(bytes)) {}
    // Rows written out byte by byte (tests, tools); shorter rows are padded with zero bytes.
    AdjacencyMatrix(std::initializer_list<std::initializer_list<std::uint8_t>> rowList);

    // One row per space, just long enough to name every space.
    [[nodiscard]] static AdjacencyMatrix forSpaces(std::size_t spaceCount) {
        return AdjacencyMatrix(spaceCount, (spaceCount + 7) / 8);
    }

    [[nodiscard]] std::size_t rowCount() const { return rows; }
    [[nodiscard]] std::size_t rowBytes() const { return bytesPerRow; }
    [[nodiscard]] bool empty() const { return rows == 0; }

    [[nodiscard]] std::span<const std::uint8_t> row(std::size_t s) const {
        return std::span<const std::uint8_t>(bits).subspan(s * bytesPerRow, bytesPerRow);
    }
    [[nodiscard]] std::span<std::uint8_t> row(std::size_t s) {
        return std::span<std::uint8_t>(bits).subspan(s * bytesPerRow, bytesPerRow);
    }

    // Whether row s names space t; false for a row or bit the matrix does not have.
    [[nodiscard]] bool test(std::size_t s, std::size_t t) const {
        return s < rows && t / 8 < bytesPerRow && (bits[s * bytesPerRow + t / 8] >> (t % 8) & 1u) != 0;
    }
    // Names t in row s. Precondition: s < rowCount() and t < 8 * rowBytes().
    void set(std::size_t s, std::size_t t) {
        bits[s * bytesPerRow + t / 8] |= static_cast<std::uint8_t>(1u << (t % 8));
    }
    // Names each space in the other's row.
    void link(std::size_t s, std::size_t t) { set(s, t), set(t, s); }

    // Calls visit(t) for every space t that row s names, in increasing order; the bits of
    // the row's bytes at or past limitBytes are not read.
    template <typename Visit>
    void forEachNeighbour(std::size_t s, Visit&& visit, std::size_t limitBytes = SIZE_MAX) const {
        const std::span<const std::uint8_t> r = row(s);
        const std::size_t end = r.size() < limitBytes ? r.size() : limitBytes;
        for (std::size_t i = 0; i < end; ++i) {
            const unsigned byte = r[i];
            if (byte == 0) continue;
            for (unsigned j = 0; j < 8; ++j)
                if (byte & (1u << j)) visit(8 * i + j);
        }
    }

    // The number of set bits in all rows.
    [[nodiscard]] std::uint64_t setBitCount() const;

    friend bool operator==(const AdjacencyMatrix&, const AdjacencyMatrix&) = default;

private:
    std::size_t rows = 0;
    std::size_t bytesPerRow = 0;
    std::vector<std::uint8_t> bits;  // row s is bits[s * bytesPerRow, (s + 1) * bytesPerRow)
};

}  // namespace vantrell
