// The PCM format record, laid out byte for byte like the platform's
// WAVEFORMATEX (18 bytes, packed), so it can be written into a WAV header and
// handed to the wave API without conversion. Kept free of platform headers.
#pragma once
#include <cstdint>

#pragma pack(push, 1)
struct WaveFormatRecord {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormatRecord) == 18, "must match WAVEFORMATEX");

constexpr uint16_t WaveFormatPcm = 1;

// PCM record for a channel count, rate and depth: block align is whole bytes
// per sample times channels, cbSize 0.
WaveFormatRecord MakePcmFormat(uint16_t channels, uint32_t samplesPerSec, uint16_t bitsPerSample);
