// Writing RGBA pictures as PNG files (screenshots and headless renders).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/OutputFile.h"

namespace vantrell {

// Encodes width x height RGBA pixels, rows top to bottom, as an 8-bit RGBA PNG into png.
// Returns false with the reason in error when the size does not match rgba or the encoder fails.
[[nodiscard]] bool encodePng(int width, int height, const std::vector<std::uint8_t>& rgba,
                             std::vector<std::uint8_t>& png, std::string& error);

// Encodes the pixels and writes them at path, complete or not at all (io/OutputFile.h); an
// existing file is replaced or kept as existing says. False with the reason in error.
[[nodiscard]] bool writePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba,
                            std::string& error, ExistingFile existing = ExistingFile::replace);

}  // namespace vantrell
