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
// Puts the last presented frame on the window again, unchanged (a repaint
// while nothing it shows has changed), without drawing it.
void PresentHeldFrame(HDC paintDc);
// False while the client area is empty (minimised window): nothing to draw.
bool GlSurfaceHasPixels();
// True when frames go to an offscreen framebuffer object, false when they
// fall back to the hidden helper window's back buffer.
bool GlSurfaceUsesFramebuffer();
// Changes whenever the surface storage may have been replaced, that is its
// pixels lost.
unsigned GlSurfaceGeneration();

// The helper window's device context and the rendering context, current on
// the window thread for the life of the process.
extern HDC GlDeviceContext;
extern HGLRC GlRenderContext;
