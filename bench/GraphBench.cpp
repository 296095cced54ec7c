// Cost of building the sound-graph envelope of a long sound and of the
// detailed graph's scan, against one plain pass that reads every byte of the
// same chain.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "sound/DepthScale.h"
#include "sound/Narration.h"
#include "sound/SoundChain.h"
#include "view/SoundGraph.h"
#include "view/detailed/DetailedGraph.h"

namespace {

// One hour of 44100 Hz 16-bit stereo in 50 ms fragments.
constexpr uint32_t HourFragmentSize = 8820;
constexpr uint32_t HourFragments = 72000;
constexpr double HourBytes = double(HourFragmentSize) * HourFragments;  // 635,040,000

// Quiet room noise: each sample 280 plus or minus up to 40. 280 is the
// middle of a pixel row of a half-height stereo trace in the 235-pixel plot
// (zero itself lies within 10 values of a row's edge), so each trace stays
// inside one row.
constexpr int QuietLevel = 280;
constexpr int QuietSpread = 40;

enum class HourSound {
    FullScaleNoise,  // every byte random
    QuietRoomNoise,
    RoomNoiseAtZero,  // a recording's room noise: QuietSpread around zero, each trace across a row's edge
    ClippedSquare,    // 50 Hz at full scale, a step of dither now and then: the lower level at a row's centre height
};

// Built on first use and shared by a benchmark and its baseline, so they
// read the same bytes. Only one hour (635 MB) is held at a time: the
// benchmarks of one sound run one after the other.
SoundFragment* HourChain(HourSound sound) {
    static SoundFragment* head = nullptr;
    static HourSound held;
    if (head && held == sound) return head;
    FreeChain(head);
    head = nullptr;
    SoundFragment* last = nullptr;
    uint32_t state = 12345;
    for (uint32_t i = 0; i < HourFragments; ++i) {
        SoundFragment* f = AllocateFragment(HourFragmentSize);
        if (sound == HourSound::FullScaleNoise) {
            for (uint32_t b = 0; b < HourFragmentSize; ++b) {
                state = state * 1664525u + 1013904223u;
                f->Data[b] = uint8_t(state >> 24);
            }
        } else {
            for (uint32_t b = 0; b + 1 < HourFragmentSize; b += 2) {
                state = state * 1664525u + 1013904223u;
                const int noise = int((state >> 16) % (2 * QuietSpread + 1)) - QuietSpread;
                const uint64_t frame = (uint64_t(i) * HourFragmentSize + b) / 4;
                const bool dither = (state >> 8) % 3 == 0;
                const int16_t v = sound == HourSound::QuietRoomNoise  ? int16_t(QuietLevel + noise)
                                  : sound == HourSound::RoomNoiseAtZero ? int16_t(noise * 16 / QuietSpread)
                                  : (frame / 441) % 2                  ? int16_t(32767 - dither)
                                                                       : int16_t(-32768 + dither);
                std::memcpy(f->Data + b, &v, 2);
            }
        }
        (last ? last->Next : head) = f;
        last = f;
    }
    held = sound;
    return head;
}

void UseHourFormat() {
    Sound.Channels = 2;
    Sound.BitsPerSample = 16;
    Sound.SamplesPerSec = 44100;
    Sound.FragmentSize = HourFragmentSize;
    Sound.TotalBytes = HourBytes;
    // The waiting popup has nothing to show here.
    SetBusySinks([](const std::wstring&) -> void* { return nullptr; }, [](void*) {});
}

void BM_PrepareSoundGraph(benchmark::State& state) {
    SoundFragment* head = HourChain(HourSound::FullScaleNoise);
    UseHourFormat();
    InitSoundGraph();
    for (auto _ : state) {
        PrepareSoundGraph(head, HourFragmentSize, HourBytes);
        benchmark::DoNotOptimize(ColumnsLeft[20000]);
        benchmark::DoNotOptimize(ColumnsRight[20000]);
    }
    if (!FastGraphReady) state.SkipWithError("no envelope was built");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(HourBytes));
}
BENCHMARK(BM_PrepareSoundGraph)->Unit(benchmark::kMillisecond);

// The floor: walk the chain once and take the smallest and largest 16-bit
// value of every fragment, with no columns and no channels.
void PlainPass(benchmark::State& state, HourSound sound) {
    SoundFragment* head = HourChain(sound);
    for (auto _ : state) {
        int16_t lo = INT16_MAX, hi = INT16_MIN;
        for (const SoundFragment* f = head; f; f = f->Next) {
            for (uint32_t b = 0; b + 1 < HourFragmentSize; b += 2) {
                int16_t v;
                std::memcpy(&v, f->Data + b, 2);
                lo = v < lo ? v : lo;
                hi = v > hi ? v : hi;
            }
        }
        benchmark::DoNotOptimize(lo);
        benchmark::DoNotOptimize(hi);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(HourBytes));
}
void BM_Baseline_PrepareSoundGraph(benchmark::State& state) { PlainPass(state, HourSound::FullScaleNoise); }
BENCHMARK(BM_Baseline_PrepareSoundGraph)->Unit(benchmark::kMillisecond);

// The default 770 x 235 plot of the hour, with the projection's margins of
// a five-hundredth of each extent.
DetailedGraphLayout HourLayout(const SoundFragment* head) {
    const double frames = HourBytes / 4, dx = frames / 500, dy = 65535.0 / 500;
    return {head, HourFragmentSize, 2, 16, frames, -dx, (frames + 2 * dx) / 770, 770,
            -32768 - dy, (65535 + 2 * dy) / 235};
}

// The detailed graph's scan of an hour: every frame read, the vertices its
// picture needs kept. Compared with the same plain pass over the same bytes.
void ScanHour(benchmark::State& state, HourSound sound) {
    const DetailedGraphLayout layout = HourLayout(HourChain(sound));
    if (sound == HourSound::QuietRoomNoise) {
        // What makes the sound what it is: both traces inside one row.
        const double offset = ScaleFor(16)->stereoOffset;
        const auto row = [&](int value, double traceOffset) {
            return std::floor((value / 2.0 + traceOffset - layout.viewBottom) / layout.valuesPerPixel);
        };
        for (const double traceOffset : {offset, -offset})
            if (row(QuietLevel - QuietSpread, traceOffset) != row(QuietLevel + QuietSpread, traceOffset)) {
                state.SkipWithError("the quiet noise crosses a pixel row");
                return;
            }
    }
    DetailedGraphVertices v;
    size_t vertices = 0;
    for (auto _ : state) {
        vertices = 0;
        BuildDetailedGraph(layout, true, v, [&](int, std::vector<double>& piece) { vertices += piece.size() / 2; });
        vertices += (v.traces[0].size() + v.traces[1].size()) / 2;
        benchmark::DoNotOptimize(v.marks.data());
    }
    state.counters["vertices"] = double(vertices);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(HourBytes));
}

// Each hour's scan beside a plain pass over the same bytes, one hour after
// the other: full-scale noise, then quiet sounds and a clipped one, where
// the scan has the most to decide.
const bool detailedGraphBenchmarks = [] {
    const std::pair<const char*, HourSound> hours[] = {{"", HourSound::FullScaleNoise},
                                                       {"_QuietRoomNoise", HourSound::QuietRoomNoise},
                                                       {"_RoomNoiseAtZero", HourSound::RoomNoiseAtZero},
                                                       {"_ClippedSquare", HourSound::ClippedSquare}};
    for (const auto& [suffix, sound] : hours) {
        benchmark::RegisterBenchmark((std::string("BM_BuildDetailedGraph") + suffix).c_str(), ScanHour, sound)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_Baseline_BuildDetailedGraph") + suffix).c_str(), PlainPass,
                                     sound)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
