#include "play/PngWriter.h"

#include <png.h>

#include <cstring>
#include <ostream>

namespace vantrell {

bool encodePng(int width, int height, const std::vector<std::uint8_t>& rgba, std::vector<std::uint8_t>& png,
               std::string& error) {
    png.clear();
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
    // The first call only measures; the encoded size is bounded by libpng for any picture size.
    png_alloc_size_t size = 0;
    if (png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr) == 0) {
        error = std::string("cannot encode the picture: ") + image.message;
        png_image_free(&image);
        return false;
    }
    png.resize(size);
    if (png_image_write_to_memory(&image, png.data(), &size, 0, rgba.data(), 0, nullptr) == 0) {
        error = std::string("cannot encode the picture: ") + image.message;
        png_image_free(&image);
        png.clear();
        return false;
    }
    png.resize(size);
    return true;
}

bool writePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba, std::string& error,
              ExistingFile existing) {
    std::vector<std::uint8_t> png;
    if (!encodePng(width, height, rgba, png, error)) return false;
    return writeFileAtomically(
        path,
        [&png](std::ostream& out) {
            return static_cast<bool>(
                out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size())));
        },
        error, existing);
}

}  // namespace vantrell
