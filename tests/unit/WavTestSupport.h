// What the reader and writer tests share: the log captured into a vector, and
// a "previous sound" put into Sound before each test so that a refusal can be
// checked to leave it exactly as it was.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sound/Narration.h"
#include "sound/SoundChain.h"

namespace wavtest {

inline const std::wstring Separator(34, L'-');

struct LogCapture {
    std::vector<std::wstring> lines;
    LogCapture() {
        SetLogSink([this](const std::wstring& line) { lines.push_back(line); });
    }
    ~LogCapture() { SetLogSink(nullptr); }
};

// Copies of everything a load may change, to compare with afterwards.
struct SoundSnapshot {
    const SoundFragment* head;
    const SoundFragment* current;
    uint32_t fragmentSize;
    uint16_t channels;
    uint32_t rate;
    uint16_t bits;
    double totalBytes, totalMs, playedBytes, playedMs;
    WaveFormatRecord capture, playback;
    std::vector<std::vector<uint8_t>> fragments;

    static SoundSnapshot Take() {
        SoundSnapshot s{Sound.Head, Sound.Current, Sound.FragmentSize, Sound.Channels, Sound.SamplesPerSec,
                        Sound.BitsPerSample, Sound.TotalBytes, Sound.TotalMs, Sound.PlayedBytes, Sound.PlayedMs,
                        Sound.CaptureFormat, Sound.PlaybackFormat, {}};
        for (const SoundFragment* f = Sound.Head; f; f = f->Next)
            s.fragments.emplace_back(f->Data, f->Data + Sound.FragmentSize);
        return s;
    }
    void ExpectUnchanged() const {
        const SoundSnapshot now = Take();
        EXPECT_EQ(now.head, head);
        EXPECT_EQ(now.current, current);
        EXPECT_EQ(now.fragmentSize, fragmentSize);
        EXPECT_EQ(now.channels, channels);
        EXPECT_EQ(now.rate, rate);
        EXPECT_EQ(now.bits, bits);
        EXPECT_EQ(now.totalBytes, totalBytes);
        EXPECT_EQ(now.totalMs, totalMs);
        EXPECT_EQ(now.playedBytes, playedBytes);
        EXPECT_EQ(now.playedMs, playedMs);
        EXPECT_EQ(std::memcmp(&now.capture, &capture, sizeof capture), 0);
        EXPECT_EQ(std::memcmp(&now.playback, &playback, sizeof playback), 0);
        EXPECT_TRUE(now.fragments == fragments);
    }
};

// Puts a small 8000 Hz 8-bit stereo sound of `count` fragments into Sound,
// mid-playback, each fragment filled with its own byte value.
inline void InstallPreviousSound(int count = 3) {
    FreeChain(Sound.Head);
    Sound.Head = nullptr;
    const uint16_t channels = 2, bits = 8;
    const uint32_t rate = 8000;
    Sound.FragmentSize = ComputeFragmentSize(channels, rate, bits);
    SoundFragment* prev = nullptr;
    for (int i = 0; i < count; ++i) {
        SoundFragment* f = AllocateFragment(Sound.FragmentSize);
        std::memset(f->Data, 0x30 + i, Sound.FragmentSize);
        if (prev) prev->Next = f;
        else Sound.Head = f;
        prev = f;
    }
    Sound.Current = Sound.Head ? Sound.Head->Next : nullptr;
    Sound.Channels = channels;
    Sound.SamplesPerSec = rate;
    Sound.BitsPerSample = bits;
    Sound.CaptureFormat = Sound.PlaybackFormat = MakePcmFormat(channels, rate, bits);
    Sound.TotalBytes = double(count) * Sound.FragmentSize;
    Sound.TotalMs = BytesToMs(Sound.TotalBytes);
    Sound.PlayedBytes = Sound.FragmentSize;
    Sound.PlayedMs = BytesToMs(Sound.PlayedBytes);
}

inline void ClearSound() {
    FreeChain(Sound.Head);
    Sound = SoundChain{};
}

inline int CountFragments(const SoundFragment* f) {
    int n = 0;
    for (; f; f = f->Next) ++n;
    return n;
}

// The sound's bytes, fragment after fragment.
inline std::vector<uint8_t> SoundBytes() {
    std::vector<uint8_t> out;
    for (const SoundFragment* f = Sound.Head; f; f = f->Next)
        out.insert(out.end(), f->Data, f->Data + Sound.FragmentSize);
    return out;
}

}  // namespace wavtest
