#include "play/PngWriter.h"

#include <png.h>

#include <cstring>

namespace vantrell {

bool writePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba,
              std::string& error) {
    if (width <= 0 || height <= 0) {
        error = "picture size " + std::to_string(width) + "x" + std::to_string(height) + " is empty";
        return false;
    }
    const auto expected = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 4u;
    if (expected != rgba.size()) {
        error = "picture of " + std::to_string(width) + "x" + std::to_string(height) + " needs " +
                std::to_string(expected) + " bytes, got " + std::to_string(rgba.size());
        return false;
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    if (png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr) == 0) {
        error = "cannot write " + path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

}  // namespace vantrell
