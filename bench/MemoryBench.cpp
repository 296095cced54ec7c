// Peak memory of loading the hour-long sound, against the sound's own size.
// Each measurement runs in a forked child whose peak resident size is reset
// first, so nothing the benchmark process did before is counted.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "WavBenchFiles.h"
#include "sound/Narration.h"
#include "sound/SoundChain.h"
#include "sound/WavReader.h"

namespace {

using namespace benchfiles;

// A field of /proc/self/status in bytes (VmRSS, VmHWM), -1 when unknown.
long long StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
            return std::stoll(line.substr(n + 1)) * 1024;
    return -1;
}

// Runs `prepare` and then `measure` in a child and returns how far the
// child's resident size rose, at its highest during `measure`, above where
// it stood before `prepare`; -1 when that cannot be known.
template <typename Prepare, typename Measure>
long long PeakGrowthInChild(Prepare prepare, Measure measure) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const long long start = StatusBytes("VmRSS");
        prepare();
        // Writing 5 resets the peak resident size to the current one.
        { std::ofstream("/proc/self/clear_refs") << "5"; }
        const long long prepared = StatusBytes("VmRSS");
        long long growth = -1;
        if (start >= 0 && prepared >= 0 && StatusBytes("VmHWM") <= prepared + (1 << 20)) {
            measure();
            growth = StatusBytes("VmHWM") - start;
        }
        if (write(fds[1], &growth, sizeof growth) != sizeof growth) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    long long result = -1;
    if (read(fds[0], &result, sizeof result) != sizeof result) result = -1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return result;
}

void Report(benchmark::State& state, long long peak) {
    if (peak < 0) {
        state.SkipWithError("peak memory could not be measured");
        return;
    }
    state.counters["peak_MB"] = double(peak) / 1e6;
    state.counters["sound_MB"] = double(DataBytes) / 1e6;
    state.counters["peak_ratio"] = double(peak) / double(DataBytes);
    state.counters["peak_over_MB"] = (double(peak) - double(DataBytes)) / 1e6;
}

void Load() {
    SetLogSink(nullptr);
    if (LoadWav(Wide(HourFile())) != 1) _exit(1);
}

// A load into an empty program: the sound plus what the chain costs.
void BM_LoadWavPeakMemory(benchmark::State& state) {
    EnsureHourFile();
    long long peak = -1;
    for (auto _ : state) peak = PeakGrowthInChild([] {}, Load);
    Report(state, peak);
}
BENCHMARK(BM_LoadWavPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A load over a sound of the same size: the new chain is built beside the
// old one, which is let go only when the new one is complete.
void BM_ReloadWavPeakMemory(benchmark::State& state) {
    EnsureHourFile();
    long long peak = -1;
    for (auto _ : state) peak = PeakGrowthInChild(Load, Load);
    Report(state, peak);
}
BENCHMARK(BM_ReloadWavPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
