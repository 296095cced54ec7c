#include "audio/CaptureTiming.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// Written only by the recording thread before the device opens and after it
// closes, and by the capture callback (one call at a time) in between.
struct TimingState {
    bool Enabled = false;
    std::wstring Path;
    double TicksPerUs = 0;
    uint32_t FragmentSize = 0;
    double FragmentMs = 0;
    uint64_t Stored = 0;
    uint64_t Empty = 0;
    uint64_t Short = 0;
    int64_t TotalTicks = 0;
    int64_t MaxTicks = 0;
    int64_t MaxCopyTicks = 0;
    int64_t TotalLinkTicks = 0;
    int64_t MaxLinkTicks = 0;
    int64_t MaxRequeueTicks = 0;
    int64_t FirstStored = 0;
    int64_t LastStored = 0;
    int64_t MaxGapTicks = 0;
    uint64_t ProcessCpuAtBegin = 0;  // 100 ns units, user and kernel
};
TimingState Timing;

// The released program reads no environment: only a build made for
// measurements (tests and benchmarks) looks for the file name.
const wchar_t* TimingPath() {
#ifdef DUDORORI_MEASUREMENTS
    return _wgetenv(L"DUDORORI_CAPTURE_TIMING");
#else
    return nullptr;
#endif
}

// The CPU time the whole process has used so far, every thread of it.
uint64_t ProcessCpuTime() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    const auto value = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return value(kernel) + value(user);
}

}  // namespace

void CaptureTimingBegin(uint32_t fragmentSize, double fragmentMs) {
    const wchar_t* path = TimingPath();
    Timing = TimingState{};
    if (!path || !*path) return;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    Timing.Enabled = true;
    Timing.Path = path;
    Timing.TicksPerUs = double(frequency.QuadPart) / 1e6;
    Timing.FragmentSize = fragmentSize;
    Timing.FragmentMs = fragmentMs;
    Timing.ProcessCpuAtBegin = ProcessCpuTime();
}

int64_t CaptureTimingNow() {
    if (!Timing.Enabled) return 0;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

void CaptureTimingStored(int64_t entryTicks, int64_t copiedTicks, int64_t linkedTicks) {
    if (!Timing.Enabled) return;
    const int64_t end = CaptureTimingNow();
    const int64_t spent = end - entryTicks;
    Timing.TotalTicks += spent;
    if (spent > Timing.MaxTicks) Timing.MaxTicks = spent;
    if (copiedTicks - entryTicks > Timing.MaxCopyTicks) Timing.MaxCopyTicks = copiedTicks - entryTicks;
    const int64_t linking = linkedTicks - copiedTicks;
    Timing.TotalLinkTicks += linking;
    if (linking > Timing.MaxLinkTicks) Timing.MaxLinkTicks = linking;
    if (end - linkedTicks > Timing.MaxRequeueTicks) Timing.MaxRequeueTicks = end - linkedTicks;
    if (Timing.Stored == 0) {
        Timing.FirstStored = entryTicks;
    } else if (entryTicks - Timing.LastStored > Timing.MaxGapTicks) {
        Timing.MaxGapTicks = entryTicks - Timing.LastStored;
    }
    Timing.LastStored = entryTicks;
    ++Timing.Stored;
}

void CaptureTimingEmpty() {
    if (Timing.Enabled) ++Timing.Empty;
}

void CaptureTimingShort() {
    if (Timing.Enabled) ++Timing.Short;
}

void CaptureTimingEnd() {
    if (!Timing.Enabled) return;
    FILE* file = _wfopen(Timing.Path.c_str(), L"a");
    if (!file) return;
    const double us = Timing.TicksPerUs;
    const double meanUs = Timing.Stored ? Timing.TotalTicks / us / double(Timing.Stored) : 0;
    const double maxUs = Timing.MaxTicks / us;
    const double fragmentUs = Timing.FragmentMs * 1000;
    const double spanMs = Timing.Stored > 1 ? (Timing.LastStored - Timing.FirstStored) / us / 1000 : 0;
    std::fprintf(file,
                 "fragments=%llu fragment_bytes=%u fragment_ms=%.3f callback_mean_us=%.2f "
                 "callback_max_us=%.2f mean_share=%.6f max_share=%.6f copy_max_us=%.2f link_mean_us=%.2f link_max_us=%.2f "
                 "requeue_max_us=%.2f max_gap_ms=%.2f span_ms=%.1f empty=%llu short=%llu process_cpu_ms=%.1f\n",
                 (unsigned long long)Timing.Stored, Timing.FragmentSize, Timing.FragmentMs, meanUs, maxUs,
                 fragmentUs > 0 ? meanUs / fragmentUs : 0, fragmentUs > 0 ? maxUs / fragmentUs : 0,
                 Timing.MaxCopyTicks / us, Timing.Stored ? Timing.TotalLinkTicks / us / double(Timing.Stored) : 0, Timing.MaxLinkTicks / us,
                 Timing.MaxRequeueTicks / us, Timing.MaxGapTicks / us / 1000, spanMs, (unsigned long long)Timing.Empty,
                 (unsigned long long)Timing.Short, (ProcessCpuTime() - Timing.ProcessCpuAtBegin) / 1e4);
    std::fclose(file);
}
