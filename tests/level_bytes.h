// Level files built byte by byte, for tests of the loader and the commands.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

namespace vantrell {

// Little-endian file bytes, written field by field.
class Bytes {
public:
    Bytes& text(const char* s) {
        data.append(s);
        return *this;
    }
    Bytes& u8(std::uint8_t v) {
        data.push_back(static_cast<char>(v));
        return *this;
    }
    Bytes& u32(std::uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8) data.push_back(static_cast<char>(v >> shift));
        return *this;
    }
    Bytes& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    Bytes& f32(float v) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        return u32(bits);
    }
    Bytes& floats(std::initializer_list<float> values) {
        for (const float v : values) f32(v);
        return *this;
    }
    Bytes& header() { return text("BSP").u8(5); }

    std::string data;
};

// The two-space level of one triangle on y = 0, 226 bytes.
inline std::string oneTriangleLevel() {
    Bytes b;
    b.header();
    b.u32(3).floats({0, 0, 0}).floats({1, 0, 0}).floats({0, 0, 1});
    b.u32(1).floats({0, 1, 0});
    b.u32(1).floats({0, 1, 0, 0});
    b.u32(1).i32(0).i32(1).i32(2).i32(0).i32(0).i32(0).i32(0);
    b.u32(1).i32(0).i32(-1).i32(-2).floats({0, -1, 0, 1, 1, 1});
    b.u32(2);
    b.floats({0, 0, 0, 1, 1, 1}).u32(1).i32(0);
    b.floats({0, -1, 0, 1, 0, 1}).u32(0);
    b.u32(2).u32(1).u8(0x02).u8(0x01);
    return b.data;
}

}  // namespace vantrell
