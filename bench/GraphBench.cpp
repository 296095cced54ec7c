// Cost of building the sound-graph envelope of a long sound, against one
// plain pass that reads every byte of the same chain.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "sound/Narration.h"
#include "sound/SoundChain.h"
#include "view/DetailedGraph.h"
#include "view/SoundGraph.h"

namespace {

// One hour of 44100 Hz 16-bit stereo in 50 ms fragments.
constexpr uint32_t HourFragmentSize = 8820;
constexpr uint32_t HourFragments = 72000;
constexpr double HourBytes = double(HourFragmentSize) * HourFragments;  // 635,040,000

// Built once and shared by both benchmarks, so they read the same bytes.
SoundFragment* HourChain() {
    static SoundFragment* head = [] {
        SoundFragment* first = nullptr;
        SoundFragment* last = nullptr;
        uint32_t state = 12345;
        for (uint32_t i = 0; i < HourFragments; ++i) {
            SoundFragment* f = AllocateFragment(HourFragmentSize);
            for (uint32_t b = 0; b < HourFragmentSize; ++b) {
                state = state * 1664525u + 1013904223u;
                f->Data[b] = uint8_t(state >> 24);
            }
            (last ? last->Next : first) = f;
            last = f;
        }
        return first;
    }();
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
    SoundFragment* head = HourChain();
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
void BM_Baseline_PrepareSoundGraph(benchmark::State& state) {
    SoundFragment* head = HourChain();
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
BENCHMARK(BM_Baseline_PrepareSoundGraph)->Unit(benchmark::kMillisecond);

// The detailed graph's scan of the same hour for the default 770 x 235 plot:
// every frame read, the vertices its picture needs kept. Compared with the
// same plain pass ("BM_Baseline_PrepareSoundGraph" reads the same bytes).
void BM_BuildDetailedGraph(benchmark::State& state) {
    SoundFragment* head = HourChain();
    const double frames = HourBytes / 4, dx = frames / 500, dy = 65535.0 / 500;
    const DetailedGraphLayout layout{head, HourFragmentSize, 2, 16, frames, -dx, (frames + 2 * dx) / 770, 770,
                                     -32768 - dy, (65535 + 2 * dy) / 235};
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
BENCHMARK(BM_BuildDetailedGraph)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_PrepareSoundGraph)->Name("BM_Baseline_BuildDetailedGraph")->Unit(benchmark::kMillisecond);

}  // namespace
