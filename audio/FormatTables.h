// What the four combo boxes of the capture group mean: each selection index
// turned into a format value, and the whole format of the next recording.
// Kept free of platform headers so the rules can be checked natively.
#pragma once
#include <cstdint>

#include "sound/WaveFormat.h"

// The wave API's "system default device" ID ((UINT)-1).
constexpr uint32_t DefaultCaptureDevice = 0xFFFFFFFFu;

// Selection index (as the combo box reports it, -1 for no selection) to
// value. Indices outside the lists fall back to 16 bits, 8000 Hz, mono and
// the default device.
uint16_t BitsForIndex(int64_t index);
uint32_t RateForIndex(int64_t index);
uint16_t ChannelsForIndex(int64_t index);
// Entry 0 of the device list is the default device, entry s > 0 is device s - 1.
uint32_t DeviceIdForIndex(int64_t index);

// Everything a recording's format consists of.
struct RecordingFormat {
    uint16_t Channels;
    uint32_t SamplesPerSec;
    uint16_t BitsPerSample;
    WaveFormatRecord Format;  // the same record serves capture and playback
    uint32_t FragmentSize;
};

RecordingFormat RecordingFormatFor(int64_t bitsIndex, int64_t rateIndex, int64_t channelsIndex);

// Bytes the capture callback may take from a returned buffer: a fragment,
// but never more than the buffer holds.
inline uint32_t CaptureCopyLength(uint32_t fragmentSize, uint32_t bufferLength) {
    return fragmentSize < bufferLength ? fragmentSize : bufferLength;
}
