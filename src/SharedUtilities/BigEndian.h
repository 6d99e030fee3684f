// Every multi-byte field stored for the host, in presets or in scripting blobs is big-endian.
#pragma once

#include <bit>
#include <cstdint>

namespace BigEndian {
inline uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t Read32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
inline void Write16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void Write32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
inline int16_t ReadI16(const uint8_t* p) { return static_cast<int16_t>(Read16(p)); }
inline int32_t ReadI32(const uint8_t* p) { return static_cast<int32_t>(Read32(p)); }
inline float ReadFloat(const uint8_t* p) { return std::bit_cast<float>(Read32(p)); }
inline void WriteI16(uint8_t* p, int16_t v) { Write16(p, static_cast<uint16_t>(v)); }
inline void WriteI32(uint8_t* p, int32_t v) { Write32(p, static_cast<uint32_t>(v)); }
inline void WriteFloat(uint8_t* p, float v) { Write32(p, std::bit_cast<uint32_t>(v)); }
}  // namespace BigEndian
