// Whole-sound edits on one hour of 44100 Hz 16-bit stereo (72000 fragments of
// 8820 bytes, 635 MB), each against a plain pass over the same bytes that
// reads and writes every 16-bit sample once.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>

#include "edit/Clipping.h"
#include "edit/VolumeChange.h"
#include "edit/VolumeKernels.h"
#include "sound/Narration.h"
#include "sound/SoundChain.h"

namespace {

constexpr uint32_t HourFragments = 72000;
constexpr uint32_t StereoFragmentSize = 8820;

// Built once and shared by all benchmarks: allocating 635 MB per benchmark
// would dominate the run.
SoundFragment* HourOfSound() {
    static SoundFragment* head = [] {
        std::mt19937 random(1);
        SoundFragment* first = nullptr;
        SoundFragment* prev = nullptr;
        for (uint32_t i = 0; i < HourFragments; ++i) {
            SoundFragment* f = AllocateFragment(StereoFragmentSize);
            // A quiet sine-like pattern with noise: most samples survive a
            // volume change both ways and clipping at half scale touches some.
            for (uint32_t b = 0; b < StereoFragmentSize; b += 2) {
                const int16_t s = int16_t(int(random() % 40001) - 20000);
                std::memcpy(f->Data + b, &s, 2);
            }
            if (prev) prev->Next = f;
            else first = f;
            prev = f;
        }
        return first;
    }();
    return head;
}

void UseHourFormat() {
    Sound.Channels = 2;
    Sound.SamplesPerSec = 44100;
    Sound.BitsPerSample = 16;
    Sound.FragmentSize = StereoFragmentSize;
    SetLogSink(nullptr);
    SetAlertSink(nullptr);
}

// One read-modify-write of every 16-bit sample, adding a value the compiler
// cannot know (zero at run time), so the pass cannot be removed.
void PlainPass(SoundFragment* head, uint32_t fragmentSize, int16_t delta) {
    const uint32_t count = fragmentSize / 2;
    for (SoundFragment* f = head; f; f = f->Next) {
        uint8_t* p = f->Data;
        for (uint32_t i = 0; i < count; ++i) {
            int16_t s;
            std::memcpy(&s, p + 2 * i, 2);
            s = int16_t(s + delta);
            std::memcpy(p + 2 * i, &s, 2);
        }
    }
}

void SetHourBytes(benchmark::State& state) {
    state.SetBytesProcessed(int64_t(state.iterations()) * HourFragments * StereoFragmentSize);
}

void BM_Baseline_ChangeVolume(benchmark::State& state) {
    UseHourFormat();
    SoundFragment* head = HourOfSound();
    volatile int16_t zero = 0;
    for (auto _ : state) {
        PlainPass(head, StereoFragmentSize, zero);
        benchmark::ClobberMemory();
    }
    SetHourBytes(state);
}

void BM_ChangeVolume(benchmark::State& state) {
    UseHourFormat();
    SoundFragment* head = HourOfSound();
    // Alternating louder and softer keeps the sound in range between runs.
    bool up = true;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ChangeVolume(head, StereoFragmentSize, up ? 1.25 : 0.8));
        benchmark::ClobberMemory();
        up = !up;
    }
    SetHourBytes(state);
}

// The Windows program runs the SSE2 loop (no AVX there): the same chain walk
// with that loop forced.
void BM_Baseline_ChangeVolumeSse2(benchmark::State& state) { BM_Baseline_ChangeVolume(state); }

void BM_ChangeVolumeSse2(benchmark::State& state) {
    UseHourFormat();
    SoundFragment* head = HourOfSound();
    bool up = true;
    for (auto _ : state) {
        for (SoundFragment* f = head; f; f = f->Next) Scale16Sse2(f->Data, StereoFragmentSize / 2, up ? 1.25 : 0.8);
        benchmark::ClobberMemory();
        up = !up;
    }
    SetHourBytes(state);
}

// Clipping is measured against the same plain pass as the volume change.
void BM_Baseline_ClipSound(benchmark::State& state) { BM_Baseline_ChangeVolume(state); }

void BM_ClipSound(benchmark::State& state) {
    UseHourFormat();
    SoundFragment* head = HourOfSound();
    for (auto _ : state) {
        ClipSound(head, StereoFragmentSize, 0.5);
        benchmark::ClobberMemory();
    }
    SetHourBytes(state);
}

}  // namespace

BENCHMARK(BM_Baseline_ChangeVolume)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ChangeVolume)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Baseline_ChangeVolumeSse2)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ChangeVolumeSse2)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Baseline_ClipSound)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ClipSound)->Unit(benchmark::kMillisecond)->MinTime(2.0);
