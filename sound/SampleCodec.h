// Decoding and encoding of stored samples. 8-bit: unsigned, 128 = silence;
// 16-bit: little-endian two's complement; 24-bit: packed three-byte
// little-endian two's complement.
#pragma once
#include <cstdint>

inline int DecodeSample8(const uint8_t* p) { return int(p[0]) - 128; }
inline void EncodeSample8(uint8_t* p, int value) { p[0] = uint8_t(value + 128); }

inline int DecodeSample16(const uint8_t* p) { return int16_t(uint16_t(p[0] | (p[1] << 8))); }
inline void EncodeSample16(uint8_t* p, int value) {
    p[0] = uint8_t(value & 0xFF);
    p[1] = uint8_t((value >> 8) & 0xFF);
}

inline int32_t DecodeSample24(const uint8_t* p) {
    int32_t v = int32_t(p[0]) | (int32_t(p[1]) << 8) | (int32_t(p[2]) << 16);
    if (v & 0x800000) v -= 0x1000000;
    return v;
}
inline void EncodeSample24(uint8_t* p, int32_t value) {
    p[0] = uint8_t(value & 0xFF);
    p[1] = uint8_t((value >> 8) & 0xFF);
    p[2] = uint8_t((value >> 16) & 0xFF);
}

// A 24-bit sample scaled to [-1, 1): 00 00 80 -> -1.0, FF FF 7F -> 8388607/8388608.
inline double Sample24ToDouble(const uint8_t* p) { return DecodeSample24(p) / 8388608.0; }
