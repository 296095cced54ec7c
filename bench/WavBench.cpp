// Loading and saving an hour-long sound against plain stdio reads and writes
// of the same bytes in the same fragment-sized pieces: the reader and writer
// should cost little more than moving the bytes. The files live in the page
// cache and in memory-backed /dev/shm, so nothing waits for a disk and the
// rates are taken from CPU time, which other work on a shared machine
// disturbs far less than wall time.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "WavBenchFiles.h"
#include "sound/Narration.h"
#include "sound/SoundChain.h"
#include "sound/WavReader.h"
#include "sound/WavWriter.h"

namespace {

using namespace benchfiles;

void FreeSound() {
    FreeChain(Sound.Head);
    Sound = SoundChain{};
}

void BM_LoadWav(benchmark::State& state) {
    EnsureHourFile();
    SetLogSink(nullptr);
    const std::wstring path = Wide(HourFile());
    // One load first, so the heap is as the timed loads find it.
    LoadWav(path);
    FreeSound();
    for (auto _ : state) {
        if (LoadWav(path) != 1) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(Sound.Head);
        // Letting the sound go belongs to the next load, not to this one.
        state.PauseTiming();
        FreeSound();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * DataBytes);
}
BENCHMARK(BM_LoadWav)->Unit(benchmark::kMillisecond)->MinTime(3);

// The same bytes read in the same pieces into one block of memory as large
// as the sound, kept from iteration to iteration just as the load finds its
// freed heap again: the plain way of getting the data into memory.
void BM_Baseline_LoadWav(benchmark::State& state) {
    EnsureHourFile();
    std::unique_ptr<uint8_t[]> data(new uint8_t[DataBytes]);
    std::memset(data.get(), 0, DataBytes);
    for (auto _ : state) {
        FILE* f = std::fopen(HourFile(), "rb");
        uint8_t header[44];
        if (!f || std::fread(header, 1, 44, f) != 44) state.SkipWithError("read failed");
        for (uint32_t at = 0; at + FragmentSize <= DataBytes; at += FragmentSize)
            if (std::fread(data.get() + at, 1, FragmentSize, f) != FragmentSize) state.SkipWithError("short read");
        std::fclose(f);
        benchmark::DoNotOptimize(data.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * DataBytes);
}
BENCHMARK(BM_Baseline_LoadWav)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_SaveWav(benchmark::State& state) {
    EnsureHourFile();
    SetLogSink(nullptr);
    if (LoadWav(Wide(HourFile())) != 1) state.SkipWithError("load failed");
    const std::wstring out = Wide(OutputFolder() + "/dudorori-bench-save.wav");
    for (auto _ : state) {
        if (SaveWav(out, Sound.Head, uint32_t(Sound.TotalBytes), Sound.FragmentSize, Sound.PlaybackFormat) != 1)
            state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * DataBytes);
    std::remove((OutputFolder() + "/dudorori-bench-save.wav").c_str());
    FreeSound();
}
BENCHMARK(BM_SaveWav)->Unit(benchmark::kMillisecond)->MinTime(3);

// The same bytes from memory into a file that already exists, in the same
// pieces.
void BM_Baseline_SaveWav(benchmark::State& state) {
    std::unique_ptr<uint8_t[]> data(new uint8_t[DataBytes]);
    for (uint32_t i = 0; i < DataBytes; ++i) data[i] = uint8_t(i * 13);
    const std::string out = OutputFolder() + "/dudorori-bench-plain.wav";
    uint8_t header[44] = {};
    for (auto _ : state) {
        FILE* f = std::fopen(out.c_str(), "wb");
        if (!f || std::fwrite(header, 1, 44, f) != 44) state.SkipWithError("write failed");
        for (uint32_t at = 0; at + FragmentSize <= DataBytes; at += FragmentSize)
            if (std::fwrite(data.get() + at, 1, FragmentSize, f) != FragmentSize) state.SkipWithError("short write");
        if (std::fclose(f) != 0) state.SkipWithError("close failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * DataBytes);
    std::remove(out.c_str());
}
BENCHMARK(BM_Baseline_SaveWav)->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace
