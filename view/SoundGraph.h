// The whole-sound envelope: the sound cut into ColumnCount columns, with the
// smallest and largest sample value of each column per channel. Fast graph
// drawing draws only this. Platform-free.
#pragma once
#include <cstdint>

#include "app/InterfaceFlags.h"
#include "sound/SoundChain.h"

struct GraphColumn {
    double min;
    double max;
};

constexpr uint32_t ColumnCount = 40000;

extern GraphColumn* ColumnsLeft;   // mono, or the left channel
extern GraphColumn* ColumnsRight;  // right channel of a stereo sound

// 300 s of 44100 Hz 16-bit stereo: beyond this both the envelope and the
// detailed graph take long enough to show the waiting popup.
constexpr double BusyPopupBytes = 52920000.0;

// Allocates both column arrays once, at start-up.
void InitSoundGraph();

// Rebuilds the envelope of the chain from head (Sound's format), showing the
// busy popup above 52,920,000 bytes. Sounds under 640,000 bytes get none.
void PrepareSoundGraph(SoundFragment* head, uint32_t fragmentSize, double totalBytes);
