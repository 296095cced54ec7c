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
