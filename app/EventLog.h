// The event log list box and the time display.
#pragma once
#include <windows.h>

// Appends a line, drops the oldest lines beyond cap and scrolls the newest
// into view. 0 for a null list box or text or an empty list.
int AppendLogLine(HWND listBox, const wchar_t* text, unsigned cap);

// " " + position + " / " (when position > 0) + total.
int UpdateTimeDisplay(HWND staticControl, double totalMs, double positionMs);
