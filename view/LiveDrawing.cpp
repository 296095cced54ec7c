// The live block: the newest recorded or played fragment as a waveform in the
// one-fragment view, with the overload lamps and the VU meter over it.
//
// Every walk reads whole frames only: the frame count is the fragment size
// divided by the frame size, so a fragment whose size is not a whole number
// of frames (a WAV file with an unusual rate) leaves its last partial frame
// unread instead of reading past the fragment.
#include "view/LiveDrawing.h"

#include <GL/gl.h>

#include "sound/DepthScale.h"
#include "sound/SampleCodec.h"
#include "sound/SoundChain.h"
#include "view/LiveMeters.h"
#include "view/PlotCoordinates.h"

namespace {

// How the current format is laid out and drawn; valid only for 1 or 2
// channels of 8, 16 or 24 bits.
struct BlockLayout {
    bool valid = false;
    unsigned sampleBytes = 0;
    unsigned frameBytes = 0;
    unsigned frames = 0;
    double halfOffset = 0;  // a stereo trace is raised (left) or lowered (right) by this
};

BlockLayout LayoutOf(const SoundFragment* fragment) {
    BlockLayout layout;
    if (!fragment || !fragment->Data) return layout;
    const uint16_t bits = Sound.BitsPerSample;
    const uint16_t channels = Sound.Channels;
    if ((bits != 8 && bits != 16 && bits != 24) || (channels != 1 && channels != 2)) return layout;
    layout.sampleBytes = bits / 8u;
    layout.frameBytes = layout.sampleBytes * channels;
    layout.frames = Sound.FragmentSize / layout.frameBytes;
    layout.halfOffset = ScaleFor(bits)->stereoOffset;
    layout.valid = true;
    return layout;
}

// Plot y of a sample: full height for mono, half height raised or lowered by
// the stereo offset for the left (channel 0) or right (channel 1) trace.
double TraceY(double v, unsigned channel, const BlockLayout& layout) {
    if (Sound.Channels == 1) return v;
    return channel == 0 ? v / 2 + layout.halfOffset : v / 2 - layout.halfOffset;
}

void TraceColour(unsigned channel) {
    if (channel == 0)
        glColor3d(0, 0.6, 0);
    else
        glColor3d(0, 0, 0.7);
}

// One strip per channel; with `overload` every sample is also tested against
// the thresholds of its channel and sets the hold counters it exceeds.
void DrawStrips(const SoundFragment* fragment, const BlockLayout& layout, unsigned step, bool overload) {
    const uint16_t bits = Sound.BitsPerSample;
    for (unsigned channel = 0; channel < Sound.Channels; ++channel) {
        TraceColour(channel);
        const uint8_t* data = fragment->Data + channel * layout.sampleBytes;
        glBegin(GL_LINE_STRIP);
        for (unsigned i = 0; i < layout.frames; i += step) {
            const double v = SampleValue(data + size_t(i) * layout.frameBytes, bits);
            if (overload) NoteOverload(int(channel), v, bits);
            glVertex2d(i, TraceY(v, channel, layout));
        }
        glEnd();
    }
}

// World y of a lamp row: mono/left 15 pixels below the top of the plot,
// right 15 pixels below its middle.
double LampRowY(unsigned channel) {
    const PlotExtents& b = PlotBounds;
    const double h = PlotRect.height;
    const double below = channel == 0 ? h - 15 : h / 2 - 15;
    return (b.yMax - b.yMin) * (below / h) + b.yMin;
}

// World x of a point `pixels` from the plot's left edge.
double PixelX(double pixels) { return pixels / PlotRect.width * PlotBounds.xMax; }

// A lamp: dark rim, then a face in its colour or grey.
void DrawLamp(double x, double y, bool lit, double r, double g, double b) {
    glPointSize(14);
    glColor3d(0.1, 0.1, 0.1);
    glBegin(GL_POINTS);
    glVertex2d(x, y);
    glEnd();
    glPointSize(10);
    if (lit)
        glColor3d(r, g, b);
    else
        glColor3d(0.3, 0.3, 0.3);
    glBegin(GL_POINTS);
    glVertex2d(x, y);
    glEnd();
}

bool PlotHasArea() { return PlotRect.width > 0 && PlotRect.height > 0; }

}  // namespace

void DrawLiveWaveform(const SoundFragment* fragment, int detailed) {
    const BlockLayout layout = LayoutOf(fragment);
    if (!layout.valid) return;
    DrawStrips(fragment, layout, detailed ? 1 : 2, false);
}

void DrawLiveWaveformWithOverload(const SoundFragment* fragment) {
    const BlockLayout layout = LayoutOf(fragment);
    if (!layout.valid) return;
    DrawStrips(fragment, layout, 1, true);
    if (PlotHasArea()) {
        for (unsigned channel = 0; channel < Sound.Channels; ++channel) {
            const double y = LampRowY(channel);
            DrawLamp(PixelX(12), y, OverloadLit(int(channel), LampYellow), 1, 1, 0.1);
            DrawLamp(PixelX(25), y, OverloadLit(int(channel), LampOrange), 1, 0.7, 0.1);
            DrawLamp(PixelX(38), y, OverloadLit(int(channel), LampRed), 1, 0.1, 0.1);
        }
        glPointSize(1);
    }
    // The lamps stay lit for the frame that set them and the four after it.
    DecayOverloadHolds(Sound.Channels);
}

void DrawVuMeter(const SoundFragment* fragment) {
    const BlockLayout layout = LayoutOf(fragment);
    if (!layout.valid) return;
    const uint16_t bits = Sound.BitsPerSample;
    for (unsigned channel = 0; channel < Sound.Channels; ++channel) {
        const double rms = BlockRms(fragment->Data, Sound.FragmentSize, Sound.Channels, bits, int(channel));
        int& level = VuLevel[Sound.Channels == 1 ? 0 : 1 + channel];
        level = VuFall(level, VuTargetLevel(rms, bits));
        if (!PlotHasArea()) continue;
        const double y = LampRowY(channel);
        for (int i = 0; i < 15; ++i) {
            const double x = (PlotRect.width - (15 - i) * 12.0) / PlotRect.width * PlotBounds.xMax;
            const bool lit = i < level;
            if (i <= 8)
                DrawLamp(x, y, lit, 0.1, 0.95, 0.1);
            else if (i <= 11)
                DrawLamp(x, y, lit, 1, 1, 0.2);
            else
                DrawLamp(x, y, lit, 1, 0.5, 0.2);
        }
    }
    glPointSize(1);
}
