#include "sound/SoundChain.h"

#include <cstring>
#include <new>

SoundChain Sound;
std::mutex ChainMutex;
std::mutex TotalsMutex;

WaveFormatRecord MakePcmFormat(uint16_t channels, uint32_t samplesPerSec, uint16_t bitsPerSample) {
    WaveFormatRecord f{};
    f.wFormatTag = WaveFormatPcm;
    f.nChannels = channels;
    f.nSamplesPerSec = samplesPerSec;
    f.wBitsPerSample = bitsPerSample;
    f.nBlockAlign = uint16_t((bitsPerSample / 8) * channels);
    f.nAvgBytesPerSec = uint32_t(f.nBlockAlign) * samplesPerSec;
    f.cbSize = 0;
    return f;
}

uint32_t ComputeFragmentSize(uint16_t channels, uint32_t samplesPerSec, uint16_t bitsPerSample) {
    uint32_t rate = samplesPerSec;
    if (rate == 11025) rate = 11040;
    else if (rate == 22050) rate = 22060;
    return uint32_t(channels) * rate * bitsPerSample / 160u;
}

double BytesToMsFor(double bytes, uint32_t samplesPerSec, uint16_t bitsPerSample, uint16_t channels) {
    const int bytesPerSample = bitsPerSample / 8;
    return bytes / samplesPerSec / bytesPerSample / channels * 1000;
}

double BytesToMs(double bytes) {
    return BytesToMsFor(bytes, Sound.SamplesPerSec, Sound.BitsPerSample, Sound.Channels);
}

void FreeChain(SoundFragment* head) {
    while (head) {
        SoundFragment* next = head->Next;
        delete[] head->Data;
        delete head;
        head = next;
    }
}

SoundFragment* NewFragment(uint32_t fragmentSize, bool zeroFill) {
    uint8_t* data = zeroFill ? new uint8_t[fragmentSize]() : new uint8_t[fragmentSize];
    try {
        return new SoundFragment{data, nullptr};
    } catch (...) {
        delete[] data;
        throw;
    }
}

SoundFragment* FindFragmentAt(SoundFragment* head, uint32_t fragmentSize, double totalBytes,
                              double fraction, double* offset) {
    if (!head || totalBytes <= 0 || fragmentSize == 0 || fraction > 1.0 || fraction < 0.0) return nullptr;
    const double target = totalBytes * fraction - fragmentSize;
    double position = 0.0;
    SoundFragment* node = head;
    while (target > position) {
        node = node->Next;
        // A chain shorter than the total claims: nothing to land on.
        if (!node) return nullptr;
        position += fragmentSize;
    }
    if (offset) *offset = position;
    return node;
}
