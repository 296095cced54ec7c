// The plot rectangle and the world extents mapped onto it. Platform-free
// arithmetic; the OpenGL side applies the projection.
#pragma once
#include "sound/SoundChain.h"

struct PlotRectangle {
    int x, y, width, height;  // window pixels, origin bottom-left
};
struct PlotExtents {
    double xMin, xMax, yMin, yMax;  // x in frames, y in sample values
};

extern PlotRectangle PlotRect;
extern PlotExtents PlotBounds;
extern int ClientWidth;   // last client size from WM_SIZE
extern int ClientHeight;

// Stores the client size and derives PlotRect (5 px margins, 325 px for the
// controls below).
void SetClientSize(int width, int height);

// New PlotBounds for the whole sound (head non-null, logs the
// "OpenGL: X(..), Y(..)" line) or for one fragment (head null). False, and
// nothing changed, for a depth other than 8, 16 or 24.
bool ComputePlotBounds(const SoundFragment* head);

// What the projection shows for extents b: b with a five-hundredth of each
// extent as margin on every side.
PlotExtents ProjectedExtents(const PlotExtents& b);

// Whether a client point (origin top-left) lies in the seek band: the lowest
// 19 pixel rows of the plot, strict bounds.
bool InSeekBand(int x, int y);
// The fraction of the plot width at client x.
double PlotFractionAt(int x);
