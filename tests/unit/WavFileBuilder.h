// Builds WAV files byte by byte for the reader and writer tests and the fuzz
// corpus: canonical files, and files with whatever a real-world or broken
// writer may put in them.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace wavbuild {

// Distinct, non-repeating-looking bytes, so a fragment in the wrong place or
// a byte from outside the data shows.
inline uint8_t PatternByte(size_t i) { return uint8_t((i * 131u + i / 253u + 7u) & 0xFFu); }

struct Bytes {
    std::vector<uint8_t> data;

    Bytes& Id(const char* id) {
        data.insert(data.end(), id, id + 4);
        return *this;
    }
    Bytes& U16(uint16_t v) {
        data.push_back(uint8_t(v));
        data.push_back(uint8_t(v >> 8));
        return *this;
    }
    Bytes& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) data.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    Bytes& Raw(const std::vector<uint8_t>& more) {
        data.insert(data.end(), more.begin(), more.end());
        return *this;
    }
    Bytes& Fill(size_t count, uint8_t value) {
        data.insert(data.end(), count, value);
        return *this;
    }
    // `count` bytes of the pattern, numbered from `first`.
    Bytes& Pattern(size_t count, size_t first = 0) {
        for (size_t i = 0; i < count; ++i) data.push_back(PatternByte(first + i));
        return *this;
    }
    // A whole chunk: identifier, size, body.
    Bytes& Chunk(const char* id, const std::vector<uint8_t>& body) {
        Id(id).U32(uint32_t(body.size()));
        return Raw(body);
    }
    size_t size() const { return data.size(); }
};

struct Format {
    uint16_t tag = 1;
    uint16_t channels = 1;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    // 0 means "as a PCM writer computes it".
    uint32_t avgBytes = 0;
    uint16_t blockAlign = 0;

    uint16_t Align() const { return blockAlign ? blockAlign : uint16_t((bits / 8) * channels); }
    uint32_t Avg() const { return avgBytes ? avgBytes : uint32_t(Align()) * rate; }
    std::vector<uint8_t> Body() const {
        Bytes b;
        b.U16(tag).U16(channels).U32(rate).U32(Avg()).U16(Align()).U16(bits);
        return b.data;
    }
};

// RIFF, WAVE and the fmt chunk with the given declared size; the body is the
// 16-byte record followed by `extra` (cbSize and the like).
inline Bytes Start(const Format& f, uint32_t fmtSize = 16, const std::vector<uint8_t>& extra = {}) {
    Bytes b;
    b.Id("RIFF").U32(0).Id("WAVE").Id("fmt ").U32(fmtSize).Raw(f.Body()).Raw(extra);
    return b;
}

// The RIFF size as a writer computes it, once the file is complete.
inline void FixRiffSize(Bytes& b) {
    const uint32_t size = uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i) b.data[4 + i] = uint8_t(size >> (8 * i));
}

// A canonical 44-byte-header file declaring `declared` data bytes and holding
// `present` of them (the pattern from 0 on).
inline Bytes Canonical(const Format& f, uint32_t declared, size_t present) {
    Bytes b = Start(f);
    b.Id("data").U32(declared).Pattern(present);
    FixRiffSize(b);
    return b;
}
inline Bytes Canonical(const Format& f, uint32_t dataBytes) { return Canonical(f, dataBytes, dataBytes); }

}  // namespace wavbuild
