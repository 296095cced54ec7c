// The interface's switches, shared by the commands, the engines and the
// drawing. Window thread only. Platform-free so the portable code and its
// tests can read them.
#pragma once
#include <cstdint>

// View switches (View menu).
extern int LiveDetailed;     // plain live waveform: every frame (1) or every second (0)
extern int ShowOverload;     // live view with overload lamps
extern int ShowVuMeter;      // VU meter over the live view
extern int ShowClipping;     // clipping marks in the sound graph
extern uint8_t PlaybackPaused;

// The whole-sound graph: whether the envelope describes the current sound
// (set by its preparation, cleared by every change of the sound) and whether
// the user prefers the fast graph drawn from it over the detailed one.
extern bool FastGraphReady;
extern bool FastGraphMode;
