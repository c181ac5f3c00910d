#include "app/InputKind.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace vantrell {

InputKind inputKindOf(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return InputKind::level;
    std::ifstream in(path, std::ios::binary);
    std::array<char, 4> head{};
    if (!in.read(head.data(), head.size())) return InputKind::level;
    if (std::memcmp(head.data(), "IBSP", 4) == 0) return InputKind::gameLevel;
    if (std::memcmp(head.data(), "PK\x03\x04", 4) == 0 || std::memcmp(head.data(), "PK\x05\x06", 4) == 0)
        return InputKind::gameArchive;
    return InputKind::level;
}

}  // namespace vantrell
