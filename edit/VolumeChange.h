// Scaling every sample of the sound by a factor, rounded half away from zero
// and saturated at the format's limits. Platform-free.
#pragma once
#include <cstdint>

#include "sound/SoundChain.h"

// True when samples were changed. Null head or factor exactly 1.0: false,
// nothing logged. Uses Sound.BitsPerSample; other depths than 8/16/24 are
// refused with a log line and a box.
bool ChangeVolume(SoundFragment* head, uint32_t fragmentSize, double factor);
