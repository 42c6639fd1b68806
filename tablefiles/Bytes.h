#pragma once

// Little-endian fields in byte buffers. Every multi-byte value in the MapInfo files is
// little-endian whatever the machine, so the values are assembled byte by byte.

#include <cstdint>
#include <cstring>

namespace vantero::tablefiles::detail {

inline std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::int16_t getS16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(get16(p));
}
inline std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int32_t getS32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(get32(p));
}

inline void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

} // namespace vantero::tablefiles::detail
