#include "app/AppState.h"

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

bool RecordingInProgress() { return StopRecordButton && IsWindowEnabled(StopRecordButton); }
bool PlaybackInProgress() { return StopPlayButton && IsWindowEnabled(StopPlayButton); }

void RequestRepaint() {
    // InvalidateRect only marks the region; it sends nothing, so it is safe
    // from the capture callback while the window thread is busy.
    if (MainWindow) InvalidateRect(MainWindow, nullptr, FALSE);
}
