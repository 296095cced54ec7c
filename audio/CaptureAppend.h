// The part of the capture callback that touches the sound: a filled capture
// buffer becomes a new fragment at the tail of the chain. Platform-free, so
// it can be exercised (and timed) natively against a concurrent reader.
#pragma once
#include <cstdint>

// Copies `length` bytes (at most FragmentSize of them; a shorter buffer is
// padded with silence) into a new fragment, links it after Current (or makes
// it Head) under ChainMutex, adds FragmentSize to the totals under
// TotalsMutex and sets LiveView with the first fragment. The allocation and
// the copy happen before any lock is taken. False, with nothing changed, when
// memory for the fragment cannot be obtained, or could not be earlier in this
// recording (see CaptureOutOfMemory).
bool AppendCapturedFragment(const uint8_t* bytes, uint32_t length);

// The two halves of AppendCapturedFragment, for the callback that times them
// apart. CopyCapturedBuffer takes no lock and returns null when memory
// cannot be obtained; LinkCapturedFragment takes the fragment over.
struct SoundFragment;
SoundFragment* CopyCapturedBuffer(const uint8_t* bytes, uint32_t length);
void LinkCapturedFragment(SoundFragment* fragment);

// Running out of memory ends the storing for the rest of the recording: from
// the first fragment that cannot be allocated on, every buffer is refused,
// even when memory would be found again, so the sound is never stored with a
// hole in it. ResetCaptureMemory at the start of each recording.
void ResetCaptureMemory();
bool CaptureOutOfMemory();

// Where the fragments' memory comes from (AllocateFragment); tests put in
// one that fails. Null when there is none.
extern SoundFragment* (*AllocateCaptureFragment)(uint32_t size);
