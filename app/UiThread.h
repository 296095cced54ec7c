// Everything another thread (recording thread, capture callback) does to the
// window goes through the window thread's message queue, posted, never sent:
// the window thread may be blocked joining that thread, and a sent message
// would then wait forever. Posting keeps the order of lines and changes.
#pragma once
#include <windows.h>

#include <string>

// Private messages of the main window. They carry nothing: each one wakes the
// window thread to carry out the requests other threads queued.
constexpr UINT WM_APP_LOG_LINE = WM_APP + 1;  // a line for the event log
constexpr UINT WM_APP_ENABLE = WM_APP + 2;    // a control enabled or disabled
constexpr UINT WM_APP_ALERT = WM_APP + 3;     // a message box

// For the recording thread and the capture callback only: each request is
// queued and carried out later by the window thread, in the order made. The
// window thread itself logs, enables and shows boxes directly (LogLine,
// EnableWindow, MessageBoxW).
void PostLogLine(const std::wstring& line);
void PostEnable(HWND control, bool enable);
// The caller goes on at once; the box is shown by the window thread.
void PostAlert(const std::wstring& text, const std::wstring& caption, UINT flags);

// Handles the private messages; true when msg was one of them. A box asked
// for is shown only when the one before it has been closed.
bool HandleUiThreadMessage(UINT msg, WPARAM wParam, LPARAM lParam);

// Carries out at once, in order, every request still queued, boxes included
// (inside an open one, should a command run in its modal loop): for Stop,
// whose own report must come after everything that happened before it.
void CarryOutQueuedUiRequests();
