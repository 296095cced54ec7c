// Handles of the main window and its controls, written once in WM_CREATE and
// only read afterwards.
#pragma once
#include <windows.h>

extern HINSTANCE AppInstance;
extern HWND MainWindow;

extern HWND RecordButton, StopRecordButton, PlayButton, PauseButton, StopPlayButton;
extern HWND CutButton, ClearLogButton;
extern HWND DeviceCombo, BitsCombo, RateCombo, ChannelsCombo;
extern HWND CaptureGroupBox, PlaybackGroupBox;
extern HWND StartTrackbar, EndTrackbar, TimeDisplay, EventLog;

extern HFONT ButtonFont, ComboFont, LogFont;
extern HBRUSH BackgroundBrush;
extern HCURSOR HandCursor, ArrowCursor;

constexpr unsigned LogLineCap = 25;

// True while a recording runs: its thread started, or StopRecordButton
// enabled. Whether a playback runs, audio/Player.h says.
bool RecordingInProgress();

// Repaint the whole main window without erasing; safe from any thread.
void RequestRepaint();
