#include "view/PlotCoordinates.h"

#include <cstdio>
#include <string>

#include "sound/Narration.h"

PlotRectangle PlotRect = {0, 0, 0, 0};
// Before any sound or live view the plot shows the unit square.
PlotExtents PlotBounds = {0.0, 1.0, 0.0, 1.0};
int ClientWidth = 780;
int ClientHeight = 570;

namespace {

// The plot keeps 5 pixels to the window's top, left and right edges and
// leaves the bottom 325 pixels of the client area to the controls.
constexpr int PlotMargin = 5;
constexpr int ControlsHeight = 325;
// Height in pixels of the band at the bottom of the plot that takes seek
// clicks (exclusive bounds leave 19 rows inside).
constexpr int SeekBandHeight = 20;

bool ValueRangeFor(uint16_t bitsPerSample, double& yMin, double& yMax) {
    switch (bitsPerSample) {
    case 8: yMin = -128.0; yMax = 127.0; return true;
    case 16: yMin = -32768.0; yMax = 32767.0; return true;
    // 24-bit values are drawn scaled to [-1, 1).
    case 24: yMin = -1.0; yMax = 1.0; return true;
    default: return false;
    }
}

void LogExtents(const PlotExtents& b) {
    char text[160];
    std::snprintf(text, sizeof text, "OpenGL: X(%.0f, %.0f), Y(%.0f, %.0f)", b.xMin, b.xMax, b.yMin, b.yMax);
    // The line is plain ASCII, so widening byte by byte is exact.
    std::wstring line;
    for (const char* p = text; *p; ++p) line += wchar_t(static_cast<unsigned char>(*p));
    LogLine(line);
}

}  // namespace

void SetClientSize(int width, int height) {
    ClientWidth = width;
    ClientHeight = height;
    PlotRect.x = PlotMargin;
    PlotRect.y = ControlsHeight;
    PlotRect.width = width - 2 * PlotMargin;
    PlotRect.height = height - ControlsHeight - PlotMargin;
}

bool ComputePlotBounds(const SoundFragment* head) {
    double yMin, yMax;
    if (!ValueRangeFor(Sound.BitsPerSample, yMin, yMax)) return false;
    PlotBounds.yMin = yMin;
    PlotBounds.yMax = yMax;

    const unsigned frameBytes = (unsigned(Sound.Channels) * Sound.BitsPerSample) / 8;
    if (!head) {
        // Live view: one fragment fills the width. A channel count the
        // program cannot record keeps the previous width.
        if (Sound.Channels == 1 || Sound.Channels == 2) PlotBounds.xMax = double(Sound.FragmentSize / frameBytes);
        PlotBounds.xMin = 0.0;
        return true;
    }
    // Whole sound: one unit per frame (a record without channels has no
    // frames to count and keeps the previous width).
    if (frameBytes != 0) PlotBounds.xMax = Sound.TotalBytes / frameBytes;
    PlotBounds.xMin = 0.0;
    LogExtents(PlotBounds);
    return true;
}

PlotExtents ProjectedExtents(const PlotExtents& b) {
    const double dx = (b.xMax - b.xMin) / 500;
    const double dy = (b.yMax - b.yMin) / 500;
    return {b.xMin - dx, b.xMax + dx, b.yMin - dy, b.yMax + dy};
}

bool InSeekBand(int x, int y) {
    const int bottom = ClientHeight - PlotRect.y;  // bottom edge of the plot, top-left origin
    return PlotRect.x < x && x < PlotRect.x + PlotRect.width && bottom - SeekBandHeight < y && y < bottom;
}

double PlotFractionAt(int x) {
    // A collapsed plot (minimised window) has no width to divide by.
    if (PlotRect.width <= 0) return 0.0;
    return double(x - PlotRect.x) / PlotRect.width;
}
