// Optional measurement of the capture callback, in builds made with the
// DUDORORI_MEASUREMENTS option only: when the environment variable
// DUDORORI_CAPTURE_TIMING names a file, every stored fragment's
// callback time (entry to re-queue) and the gap between successive stored
// fragments are accumulated, and one summary line per recording is appended
// to that file when the recording thread has closed the device, with the CPU
// time the whole process used from the device's opening to its closing.
#pragma once
#include <cstdint>

// Recording thread, before the device is opened.
void CaptureTimingBegin(uint32_t fragmentSize, double fragmentMs);
// Capture callback: timestamps taken at entry, once the buffer is copied into
// a new fragment, once that is linked (the wait for the chain's lock
// included); the end is taken after the buffer went back to the driver.
int64_t CaptureTimingNow();
void CaptureTimingStored(int64_t entryTicks, int64_t copiedTicks, int64_t linkedTicks);
// Capture callback: a buffer came back without recorded bytes, or with fewer
// than a fragment.
void CaptureTimingEmpty();
void CaptureTimingShort();
// Recording thread, after the device is closed (no callback runs any more).
void CaptureTimingEnd();
