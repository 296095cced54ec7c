// The live block (newest recorded or played fragment) with its meters.
#pragma once
#include "sound/SoundChain.h"

void DrawLiveWaveform(const SoundFragment* fragment, int detailed);
void DrawLiveWaveformWithOverload(const SoundFragment* fragment);
void DrawVuMeter(const SoundFragment* fragment);
