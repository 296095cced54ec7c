// Cutting the sound down to a range of whole fragments. Platform-free.
#pragma once
#include <cstdint>

#include "sound/SoundChain.h"

struct CutPlan {
    uint32_t n;      // fragments in the sound
    uint32_t start;  // first kept fragment
    uint32_t end;    // one past the last kept fragment
};

// Maps the trackbar positions top/bottom (of range max) onto fragments.
CutPlan MapCutRange(double totalBytes, uint32_t fragmentSize, uint32_t top, uint32_t bottom, double max);

// Frees `skip` fragments at the front and everything after `keep` more;
// updates Sound.Head, TotalBytes, TotalMs. 0 (with a box) for a null head.
int CutSound(SoundFragment* head, uint32_t skip, uint32_t keep);
