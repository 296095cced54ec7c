// The smallest and largest sample of each channel in a run of whole frames,
// gathered with packed min and max. Shared by the envelope and the detailed
// graph, which both read every frame of a long sound. Platform-free.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "sound/SampleCodec.h"

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "16-bit samples are read with the host's byte order, which must be little-endian like the data"
#endif

// Running extremes of one column, per channel, in the integer sample values
// (8-bit: byte - 128; 24-bit before scaling). Integers keep the hot loop free
// of floating point; the conversion at the column's end is exact.
struct Extremes {
    int32_t min[2];
    int32_t max[2];
};

// 8- and 16-bit samples are plain integers in memory (8-bit with an offset
// of 128), so a span of frames is a flat array of them. The extremes are
// gathered in 16-byte vectors of samples (the compiler's vector extension,
// which becomes packed min/max instructions); a vector holds whole frames,
// so lane i always belongs to channel i mod channels and the lanes are
// folded into the channels at the end.
template <typename Sample, int Channels>
inline void ScanFlat(const uint8_t* bytes, size_t frames, Extremes& x) {
    typedef Sample Vector __attribute__((vector_size(16)));
    constexpr size_t PerVector = sizeof(Vector) / sizeof(Sample);
    static_assert(PerVector % Channels == 0, "a vector must hold whole frames");
    constexpr int32_t Offset = sizeof(Sample) == 1 ? 128 : 0;

    Vector lo0, hi0;
    for (size_t i = 0; i < PerVector; ++i) {
        lo0[i] = std::numeric_limits<Sample>::max();
        hi0[i] = std::numeric_limits<Sample>::min();
    }
    // Two pairs of accumulators keep two loads in flight.
    Vector lo1 = lo0, hi1 = hi0;
    const size_t count = frames * Channels;
    size_t n = 0;
    for (; n + 2 * PerVector <= count; n += 2 * PerVector) {
        Vector a, b;
        std::memcpy(&a, bytes + n * sizeof(Sample), sizeof a);
        std::memcpy(&b, bytes + (n + PerVector) * sizeof(Sample), sizeof b);
        lo0 = a < lo0 ? a : lo0;
        hi0 = a > hi0 ? a : hi0;
        lo1 = b < lo1 ? b : lo1;
        hi1 = b > hi1 ? b : hi1;
    }
    lo0 = lo1 < lo0 ? lo1 : lo0;
    hi0 = hi1 > hi0 ? hi1 : hi0;
    // Lanes that saw no sample still hold the type's extremes, which never
    // win over a real one.
    for (size_t i = 0; i < PerVector; ++i) {
        const int c = int(i % Channels);
        x.min[c] = std::min(x.min[c], int32_t(lo0[i]) - Offset);
        x.max[c] = std::max(x.max[c], int32_t(hi0[i]) - Offset);
    }
    // The few samples after the last pair of vectors.
    for (; n < count; ++n) {
        Sample v;
        std::memcpy(&v, bytes + n * sizeof(Sample), sizeof v);
        const int c = int(n % Channels);
        x.min[c] = std::min(x.min[c], int32_t(v) - Offset);
        x.max[c] = std::max(x.max[c], int32_t(v) - Offset);
    }
}

template <int Channels>
inline void Scan24(const uint8_t* bytes, size_t frames, Extremes& x) {
    int32_t lo[2] = {x.min[0], x.min[1]}, hi[2] = {x.max[0], x.max[1]};
    auto take = [&](int c, int32_t v) {
        lo[c] = v < lo[c] ? v : lo[c];
        hi[c] = v > hi[c] ? v : hi[c];
    };
    if (frames > 0) {
        // Every frame but the last is followed by another inside the span,
        // so its samples can be read with wide loads.
        const uint8_t* p = bytes;
        for (size_t f = 0; f + 1 < frames; ++f, p += 3 * Channels) {
            for (int c = 0; c < Channels; ++c) take(c, DecodeSample24Wide(p + 3 * c));
        }
        for (int c = 0; c < Channels; ++c) take(c, DecodeSample24(p + 3 * c));
    }
    for (int c = 0; c < Channels; ++c) {
        x.min[c] = lo[c];
        x.max[c] = hi[c];
    }
}

// Extremes of `frames` frames of a format (8, 16 or 24 bits; 1 or 2 channels).
template <int Bits, int Channels>
inline void ScanFrameExtremes(const uint8_t* bytes, size_t frames, Extremes& x) {
    if constexpr (Bits == 8) ScanFlat<uint8_t, Channels>(bytes, frames, x);
    else if constexpr (Bits == 16) ScanFlat<int16_t, Channels>(bytes, frames, x);
    else Scan24<Channels>(bytes, frames, x);
}
