#include "app/AppState.h"

#include "audio/RecordingFlags.h"

HINSTANCE AppInstance = nullptr;
HWND MainWindow = nullptr;

HWND RecordButton, StopRecordButton, PlayButton, PauseButton, StopPlayButton;
HWND CutButton, ClearLogButton;
HWND DeviceCombo, BitsCombo, RateCombo, ChannelsCombo;
HWND CaptureGroupBox, PlaybackGroupBox;
HWND StartTrackbar, EndTrackbar, TimeDisplay, EventLog;

HFONT ButtonFont, ComboFont, LogFont;
HBRUSH BackgroundBrush;
HCURSOR HandCursor, ArrowCursor;

// From the moment Record starts the recording thread, not only once the
// device reported open: in between the capture callback may already link
// fragments onto the chain.
bool RecordingInProgress() { return RecordingActive || (StopRecordButton && IsWindowEnabled(StopRecordButton)); }

void RequestRepaint() {
    // InvalidateRect only marks the region; it sends nothing, so it is safe
    // from the capture callback while the window thread is busy.
    if (MainWindow) InvalidateRect(MainWindow, nullptr, FALSE);
}
