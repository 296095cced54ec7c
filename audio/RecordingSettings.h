// The capture device list and the turning of the four combo selections into
// the next recording's format.
#pragma once
#include <windows.h>

#include <cstdint>

// The index tables of the combo boxes (BitsForIndex, RateForIndex,
// ChannelsForIndex, DeviceIdForIndex) with their fallbacks for no selection.
#include "audio/FormatTables.h"

extern UINT CaptureDeviceId;  // device index or WAVE_MAPPER

// Fills DeviceCombo with the default entry and every capture device (only
// when 0 < count < 50), logs the count. Window creation only.
void EnumerateCaptureDevices();

// Reads the combos into Sound's format, both
// format records and FragmentSize, logs three lines.
void ApplyRecordingSettings();
