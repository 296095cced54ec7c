#include "audio/InjectedFault.h"

#include <atomic>
#include <cstdint>
#include <cwchar>
#include <cstdlib>

#include "audio/CaptureAppend.h"
#include "sound/SoundChain.h"

namespace {

#ifdef DUDORORI_MEASUREMENTS
InjectedFault FaultFromEnvironment() {
    const wchar_t* name = _wgetenv(L"DUDORORI_INJECT_FAULT");
    if (!name) return InjectedFault::None;
    if (!std::wcscmp(name, L"second-playback-write")) return InjectedFault::SecondPlaybackWrite;
    if (!std::wcscmp(name, L"capture-buffers-and-start")) return InjectedFault::CaptureBuffersAndStart;
    if (!std::wcscmp(name, L"capture-alloc")) return InjectedFault::CaptureAllocation;
    if (!std::wcscmp(name, L"recovery-disk-full")) return InjectedFault::RecoveryDiskFull;
    if (!std::wcscmp(name, L"recovery-slow-flush")) return InjectedFault::RecoverySlowFlush;
    return InjectedFault::None;
}
#endif

// Fragments the current recording may still allocate: set by the recording
// thread, counted down by the capture callback.
std::atomic<int> FragmentsLeft{0};

SoundFragment* AllocateUntilExhausted(uint32_t size) {
    if (FragmentsLeft.fetch_sub(1) <= 0) return nullptr;
    return AllocateFragment(size);
}

}  // namespace

bool FaultInjected(InjectedFault fault) {
#ifdef DUDORORI_MEASUREMENTS
    static const InjectedFault injected = FaultFromEnvironment();
    return fault == injected;
#else
    (void)fault;
    return false;
#endif
}

void InjectCaptureAllocationFault() {
    if (!FaultInjected(InjectedFault::CaptureAllocation)) return;
    FragmentsLeft = InjectedCaptureFragments;
    AllocateCaptureFragment = AllocateUntilExhausted;
}
