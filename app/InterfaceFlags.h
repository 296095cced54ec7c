// Process-wide switches shared by the commands, the engines and the drawing.
// Platform-free so the portable code and its tests can read them.
#pragma once
#include <atomic>
#include <cstdint>

// View switches (View menu), window thread only.
extern int LiveDetailed;     // plain live waveform: every frame (1) or every second (0)
extern int ShowOverload;     // live view with overload lamps
extern int ShowVuMeter;      // VU meter over the live view
extern int ShowClipping;     // clipping marks in the sound graph
extern uint8_t PlaybackPaused;

// Recording signals, read and written with sequentially consistent atomics.
extern std::atomic<bool> StopRequested;    // initially true
extern std::atomic<bool> RecordingActive;  // initially false
extern std::atomic<int> RecordingOk;       // initially 0

// Set by the capture callback with the first fragment of a recording,
// cleared by Stop: while 1 the renderer draws the newest fragment.
extern std::atomic<int> LiveView;
// 1 when the whole-sound graph can be drawn.
extern int GraphReady;
