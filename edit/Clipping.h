// Limiting every sample to a fraction of full scale. Platform-free.
#pragma once
#include <cstdint>

#include "sound/SoundChain.h"

void ClipSound(SoundFragment* head, uint32_t fragmentSize, double fraction);
