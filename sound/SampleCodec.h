// Decoding and encoding of stored samples. 8-bit: unsigned, 128 = silence;
// 16-bit: little-endian two's complement; 24-bit: packed three-byte
// little-endian two's complement.
#pragma once
#include <cstdint>
#include <cstring>

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

// A 24-bit sample read with one 4-byte load, for hot loops. The byte after
// the sample must be readable and belong to the same buffer (it is the next
// sample's first byte); the last sample of a buffer takes DecodeSample24.
inline int32_t DecodeSample24Wide(const uint8_t* p) {
    uint32_t u;
    std::memcpy(&u, p, 4);
    return int32_t(u << 8) >> 8;
}

// A sample of a depth known at compile time, as an integer: 8-bit byte - 128,
// 16-bit as stored, 24-bit before scaling. Keeps hot loops free of floating
// point and of a branch on the depth.
template <int Bits>
inline int32_t DecodeSample(const uint8_t* p) {
    static_assert(Bits == 8 || Bits == 16 || Bits == 24, "8, 16 or 24 bits");
    if constexpr (Bits == 8) return DecodeSample8(p);
    else if constexpr (Bits == 16) return DecodeSample16(p);
    else return DecodeSample24(p);
}

// A 24-bit sample scaled to [-1, 1): 00 00 80 -> -1.0, FF FF 7F -> 8388607/8388608.
inline double Sample24ToDouble(const uint8_t* p) { return DecodeSample24(p) / 8388608.0; }

// A sample in the drawing's units, as the graph, the live waveform and the
// meters all see it: 8-bit byte - 128, 16-bit as stored, 24-bit scaled to
// [-1, 1). Any depth other than 8 and 16 is read as 24-bit; callers check
// the depth first.
inline double SampleValue(const uint8_t* p, uint16_t bitsPerSample) {
    if (bitsPerSample == 8) return DecodeSample8(p);
    if (bitsPerSample == 16) return DecodeSample16(p);
    return Sample24ToDouble(p);
}
