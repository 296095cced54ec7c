// One frame per WM_PAINT: plot background, live block or sound graph, outline.
#pragma once
#include <windows.h>

void PaintMainWindow(HWND window);
void RenderFrame(HDC paintDc);
