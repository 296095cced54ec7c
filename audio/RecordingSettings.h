// The capture device list and the turning of the four combo selections into
// the next recording's format.
#pragma once
#include <windows.h>

#include <cstdint>

extern UINT CaptureDeviceId;  // device index or WAVE_MAPPER

// Index tables of the combo boxes, with their fallbacks for no selection.
uint16_t BitsForIndex(LRESULT index);
uint32_t RateForIndex(LRESULT index);
uint16_t ChannelsForIndex(LRESULT index);
UINT DeviceIdForIndex(LRESULT index);

// Fills DeviceCombo with the default entry and every capture device (only
// when 0 < count < 50), logs the count. Window creation only.
void EnumerateCaptureDevices();

// Frees the capture buffers, reads the combos into Sound's format, both
// format records and FragmentSize, logs three lines.
void ApplyRecordingSettings();
