#include "audio/CaptureAppend.h"

#include <atomic>
#include <cstring>
#include <new>

#include "app/InterfaceFlags.h"
#include "sound/SoundChain.h"

namespace {

SoundFragment* NewCaptureFragment(uint32_t size) { return NewFragment(size); }

std::atomic<bool> OutOfMemory{false};

}  // namespace

SoundFragment* (*AllocateCaptureFragment)(uint32_t size) = NewCaptureFragment;

void ResetCaptureMemory() { OutOfMemory = false; }

bool CaptureOutOfMemory() { return OutOfMemory; }

SoundFragment* CopyCapturedBuffer(const uint8_t* bytes, uint32_t length) {
    if (OutOfMemory) return nullptr;
    const uint32_t size = Sound.FragmentSize;
    SoundFragment* fragment;
    try {
        fragment = AllocateCaptureFragment(size);
    } catch (const std::bad_alloc&) {
        // Runs on the driver's thread: an exception must not leave it.
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
