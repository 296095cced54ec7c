#include "audio/CaptureAppend.h"

#include <atomic>
#include <cstring>

#include "audio/RecordingFlags.h"
#include "sound/SoundChain.h"

namespace {

std::atomic<bool> OutOfMemory{false};

}  // namespace

SoundFragment* (*AllocateCaptureFragment)(uint32_t size) = [](uint32_t size) { return AllocateFragment(size); };

void ResetCaptureMemory() { OutOfMemory = false; }

bool CaptureOutOfMemory() { return OutOfMemory; }

SoundFragment* CopyCapturedBuffer(const uint8_t* bytes, uint32_t length) {
    if (OutOfMemory) return nullptr;
    const uint32_t size = Sound.FragmentSize;
    // Runs on the driver's thread: the allocation never throws.
    SoundFragment* fragment = AllocateCaptureFragment(size);
    if (!fragment) {
        OutOfMemory = true;
        return nullptr;
    }
    if (length > size) length = size;
    std::memcpy(fragment->Data, bytes, length);
    if (length < size) {
        // Every fragment holds exactly FragmentSize bytes; never leave the
        // tail uninitialised.
        std::memset(fragment->Data + length, Sound.BitsPerSample == 8 ? 0x80 : 0, size - length);
    }
    return fragment;
}

void LinkCapturedFragment(SoundFragment* fragment) {
    std::lock_guard<std::mutex> chainLock(ChainMutex);
    const bool first = Sound.Head == nullptr;
    if (first) {
        Sound.Head = fragment;
    } else {
        Sound.Current->Next = fragment;
    }
    Sound.Current = fragment;
    {
        std::lock_guard<std::mutex> totalsLock(TotalsMutex);
        Sound.TotalBytes += Sound.FragmentSize;
        Sound.TotalMs = BytesToMs(Sound.TotalBytes);
    }
    if (first) LiveView = 1;
}

bool AppendCapturedFragment(const uint8_t* bytes, uint32_t length) {
    SoundFragment* fragment = CopyCapturedBuffer(bytes, length);
    if (!fragment) return false;
    LinkCapturedFragment(fragment);
    return true;
}
