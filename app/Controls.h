// The seventeen child controls of the main window: creation and placement.
#pragma once
#include <windows.h>

// Fonts, controls in table order with their fonts, the log's client edge,
// trackbar ranges, initial enabled states and the format lists.
void CreateMainControls(HWND window);
// Places every control for a client area of w x h (bottom-anchored rows,
// stretching trackbars, the cut button on the right edge).
void LayoutControls(int w, int h);
// Fills a window's client area with a brush; nothing for null arguments.
void FillWithBrush(HWND window, HBRUSH brush);
