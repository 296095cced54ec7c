// The recording engine's signals, shared by the Record and Stop commands, the
// recording thread, the capture callback and the drawing. Platform-free so
// the capture append and its tests can use them.
#pragma once
#include <atomic>

// Read and written with sequentially consistent atomics: the recording
// thread, the capture callback and the window thread all touch them.
extern std::atomic<bool> StopRequested;    // initially true
extern std::atomic<bool> RecordingActive;  // initially false: true from Record until Stop has joined
extern std::atomic<int> RecordingOk;       // initially 0

// Set by the capture callback with the first fragment of a recording,
// cleared by Stop: while 1 the renderer draws the newest fragment.
extern std::atomic<int> LiveView;
// 1 when the whole-sound graph can be drawn. Window thread only.
extern int GraphReady;
