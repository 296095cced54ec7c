// The OpenGL surface of the main window and the plot projection.
#pragma once
#include <windows.h>

#include "sound/SoundChain.h"

// Creates the rendering context (and the start-up sound/graph state) during
// WM_CREATE, before any child control exists.
void CreateGlSurface(HWND window);
// Viewport and projection for a new plot rectangle (WM_SIZE).
void SetPlotViewport(int x, int y, int width, int height);
// Resizes the drawing surface to the client area (WM_SIZE).
void ResizeGlSurface(int width, int height);
// Whole-sound view (head) or one-fragment view (null); logs the extents for a
// whole sound. False for an unsupported depth.
bool SetupPlotCoordinates(const SoundFragment* head);
// Puts the finished frame on the window (takes the place of the buffer swap).
void PresentFrame(HDC paintDc);
