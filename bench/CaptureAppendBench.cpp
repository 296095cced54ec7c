// What the capture callback does per filled buffer (new fragment, one copy,
// linking and totals under the two mutexes) against the bare copy of the
// same bytes into memory that already exists: the cost of a fragment beyond
// the copy that cannot be avoided. The default format's fragment (4410
// bytes) and the largest one (192000 Hz 24-bit stereo, 57600 bytes).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "audio/CaptureAppend.h"
#include "sound/SoundChain.h"

namespace {

void UseFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
    FreeChain(Sound.Head);
    Sound = SoundChain{};
    Sound.Channels = channels;
    Sound.SamplesPerSec = rate;
    Sound.BitsPerSample = bits;
    Sound.FragmentSize = ComputeFragmentSize(channels, rate, bits);
}

void Append(benchmark::State& state, uint16_t channels, uint32_t rate, uint16_t bits, int chainLimit) {
    UseFormat(channels, rate, bits);
    const std::vector<uint8_t> buffer(Sound.FragmentSize, 0x5A);
    int inChain = 0;
    for (auto _ : state) {
        AppendCapturedFragment(buffer.data(), Sound.FragmentSize);
        if (++inChain == chainLimit) {
            state.PauseTiming();
            UseFormat(channels, rate, bits);
            inChain = 0;
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * Sound.FragmentSize);
    UseFormat(1, 44100, 16);
}

void Copy(benchmark::State& state, uint32_t size) {
    const std::vector<uint8_t> buffer(size, 0x5A);
    std::vector<uint8_t> target(size);
    for (auto _ : state) {
        std::memcpy(target.data(), buffer.data(), size);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

void BM_AppendCapturedFragment(benchmark::State& state) { Append(state, 1, 44100, 16, 4096); }
void BM_Baseline_AppendCapturedFragment(benchmark::State& state) { Copy(state, 4410); }
void BM_AppendCapturedFragmentLargest(benchmark::State& state) { Append(state, 2, 192000, 24, 512); }
void BM_Baseline_AppendCapturedFragmentLargest(benchmark::State& state) { Copy(state, 57600); }

BENCHMARK(BM_AppendCapturedFragment);
BENCHMARK(BM_Baseline_AppendCapturedFragment);
BENCHMARK(BM_AppendCapturedFragmentLargest);
BENCHMARK(BM_Baseline_AppendCapturedFragmentLargest);

}  // namespace
