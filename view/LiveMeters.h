// Arithmetic of the live meters, kept apart from their drawing so it can be
// tested: overload thresholds with their 5-frame hold and the VU level with
// its ballistics.
#pragma once
#include <cstdint>

enum OverloadLamp { LampYellow = 0, LampOrange = 1, LampRed = 2 };

constexpr float OverloadHoldFrames = 5.0f;
// [channel][lamp]: channel 0 mono or left, 1 right.
extern float OverloadHold[2][3];
// [0] mono, [1] left, [2] right.
extern int VuLevel[3];

// Which thresholds a sample value exceeds, as a bit per OverloadLamp.
// 24-bit values are scaled to [-1, 1).
unsigned OverloadBits(double value, uint16_t bitsPerSample);

// Target VU level 0..15 of a block from its RMS.
int VuTargetLevel(double rms, uint16_t bitsPerSample);
// One frame of the meter's ballistics: rise at once, fall by a tenth of the
// difference (at least one lamp).
int VuFall(int current, int target);

// Sets the hold counters of channel (0 mono or left, 1 right) for every
// threshold the sample value exceeds. Called for each plotted sample.
void NoteOverload(int channel, double value, uint16_t bitsPerSample);
// After the lamps of a frame are drawn: every counter above 0 of the drawn
// channels (1: channel 0; 2: channels 0 and 1) goes down by one.
void DecayOverloadHolds(int channels);
// Whether a lamp is lit (its counter above 0).
bool OverloadLit(int channel, OverloadLamp lamp);

// Root mean square of one channel (0 mono or left, 1 right) of a block of
// fragmentSize bytes, in sample values (8-bit: byte - 128; 24-bit scaled to
// [-1, 1)). A trailing part of a frame is ignored. 0 for an unsupported
// format or an empty block.
double BlockRms(const uint8_t* data, uint32_t fragmentSize, uint16_t channels, uint16_t bitsPerSample,
                int channel);
