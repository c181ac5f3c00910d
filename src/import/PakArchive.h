// Reading entries of .pk3 (zip) archives through libzip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrell {

// Entries larger than this are refused before anything is allocated for them.
inline constexpr std::uint64_t maxImportBytes = 256u << 20;

// The names of the archive's entries that match maps/*.bsp (any case), sorted.
[[nodiscard]] bool listArchiveEntries(const std::string& archive, std::vector<std::string>& maps, std::string& error);

// Reads the entry named name (exact, else ignoring case) into data.
[[nodiscard]] bool readArchiveEntry(const std::string& archive, const std::string& name,
                                    std::vector<std::uint8_t>& data, std::string& error);

}  // namespace vantrell
