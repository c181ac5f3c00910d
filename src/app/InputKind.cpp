#include "app/InputKind.h"

#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace vantrell {

namespace {

bool hasSceneExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* known : {".gltf", ".glb", ".obj", ".fbx", ".dae", ".ply", ".stl", ".3ds", ".blend"}) {
        if (extension == known) return true;
    }
    return false;
}

}  // namespace

InputKind inputKindOf(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return InputKind::level;
    std::ifstream in(path, std::ios::binary);
    std::array<char, 4> head{};
    if (!in.read(head.data(), head.size())) return hasSceneExtension(path) ? InputKind::scene : InputKind::level;
    if (std::memcmp(head.data(), "IBSP", 4) == 0) return InputKind::gameLevel;
    if (std::memcmp(head.data(), "glTF", 4) == 0) return InputKind::scene;
    // Our own levels begin with their magic whatever their name says.
    if (std::memcmp(head.data(), "BSP", 3) != 0 && hasSceneExtension(path)) return InputKind::scene;
    if (std::memcmp(head.data(), "PK\x03\x04", 4) == 0 || std::memcmp(head.data(), "PK\x05\x06", 4) == 0)
        return InputKind::gameArchive;
    return InputKind::level;
}

}  // namespace vantrell
