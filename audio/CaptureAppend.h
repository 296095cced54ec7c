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
// memory for the fragment cannot be obtained.
bool AppendCapturedFragment(const uint8_t* bytes, uint32_t length);

// The two halves of AppendCapturedFragment, for the callback that times them
// apart. CopyCapturedBuffer takes no lock and returns null when memory
// cannot be obtained; LinkCapturedFragment takes the fragment over.
struct SoundFragment;
SoundFragment* CopyCapturedBuffer(const uint8_t* bytes, uint32_t length);
void LinkCapturedFragment(SoundFragment* fragment);
