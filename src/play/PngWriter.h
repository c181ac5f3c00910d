// Writing RGBA pictures as PNG files (screenshots and headless renders).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrell {

// Writes width x height RGBA pixels, rows top to bottom, as an 8-bit RGBA PNG at path.
// Returns false with the reason in error when the size does not match rgba, the file
// cannot be written, or the encoder fails.
[[nodiscard]] bool writePng(const std::string& path, int width, int height,
                            const std::vector<std::uint8_t>& rgba, std::string& error);

}  // namespace vantrell
