#include "audio/FormatTables.h"

#include "sound/SoundChain.h"

uint16_t BitsForIndex(int64_t index) {
    switch (index) {
        case 0: return 8;
        case 2: return 24;
        default: return 16;  // index 1, and no selection
    }
}

uint32_t RateForIndex(int64_t index) {
    static const uint32_t rates[] = {8000, 11025, 22050, 44100, 48000, 96000, 192000};
    if (index < 0 || index >= int64_t(sizeof rates / sizeof rates[0])) return 8000;
    return rates[index];
}

uint16_t ChannelsForIndex(int64_t index) { return index == 1 ? 2 : 1; }

uint32_t DeviceIdForIndex(int64_t index) {
    return index > 0 ? uint32_t(index - 1) : DefaultCaptureDevice;
}

RecordingFormat RecordingFormatFor(int64_t bitsIndex, int64_t rateIndex, int64_t channelsIndex) {
    RecordingFormat f;
    f.BitsPerSample = BitsForIndex(bitsIndex);
    f.SamplesPerSec = RateForIndex(rateIndex);
    f.Channels = ChannelsForIndex(channelsIndex);
    f.Format = MakePcmFormat(f.Channels, f.SamplesPerSec, f.BitsPerSample);
    f.FragmentSize = ComputeFragmentSize(f.Channels, f.SamplesPerSec, f.BitsPerSample);
    return f;
}
