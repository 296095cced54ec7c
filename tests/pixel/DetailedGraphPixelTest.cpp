// The detailed graph drawn from its reduced vertices against the same graph
// drawn through one vertex per frame, pixel by pixel, with Mesa's off-screen
// renderer (the llvmpipe rasterizer the program gets under Wine). The
// projection, viewport, colours and line width are the program's.
#include <GL/osmesa.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "sound/SampleCodec.h"
#include "sound/SoundChain.h"
#include "view/DepthScale.h"
#include "view/DetailedGraph.h"
#include "view/FrameWalk.h"

namespace {

// The window's surface and plot rectangle (5 px margins, 325 px of controls
// below), as wide as the plot needs.
constexpr int SurfaceHeight = 565;
constexpr int PlotX = 5, PlotY = 325, PlotHeight = 235;

enum class Signal { Silence, Sine, NoiseWithGaps, Spikes, Square };
const char* Name(Signal s) {
    static const char* names[] = {"silence", "sine", "noise-with-gaps", "spikes", "square"};
    return names[int(s)];
}

struct Case {
    uint16_t bits, channels;
    Signal signal;
    double framesPerPixel;  // the sound's length, in frames per plot pixel
    int plotWidth;
};

// Full scale of a depth in integer samples.
int32_t FullScale(uint16_t bits) { return bits == 8 ? 127 : bits == 16 ? 32767 : 8388607; }

void Encode(uint8_t* p, uint16_t bits, int32_t v) {
    if (bits == 8) EncodeSample8(p, v);
    else if (bits == 16) EncodeSample16(p, v);
    else EncodeSample24(p, v);
}

// The sound of a case as one flat byte stream; channels differ (the right
// one is the left one reversed in sign and scaled), so a mix-up shows.
std::vector<uint8_t> MakeSound(const Case& c, uint64_t frames) {
    const unsigned sampleBytes = c.bits / 8, frameBytes = sampleBytes * c.channels;
    std::vector<uint8_t> bytes(frames * frameBytes);
    std::mt19937 rng(uint32_t(frames * 31 + c.bits * 7 + c.channels));
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    const double full = FullScale(c.bits);
    const double period = double(frames) / 3.3;  // a few periods over the plot
    for (uint64_t i = 0; i < frames; ++i) {
        double v = 0;
        switch (c.signal) {
        case Signal::Silence: v = 0; break;
        case Signal::Sine: v = 0.8 * std::sin(2 * M_PI * double(i) / period) + 0.02 * uniform(rng); break;
        case Signal::NoiseWithGaps: v = (i / 5000) % 3 == 1 ? 0.0 : 0.6 * uniform(rng); break;
        case Signal::Spikes: v = i % 7919 == 0 ? 0.9 : i % 6151 == 0 ? -0.95 : 0.001 * uniform(rng); break;
        case Signal::Square: v = (i / 40) % 2 ? 1.0 : -1.0; break;
        }
        for (unsigned ch = 0; ch < c.channels; ++ch) {
            double w = ch == 0 ? v : -0.5 * v;
            if (c.signal == Signal::Square && ch == 1) w = v;  // both channels clip
            int32_t s = int32_t(std::lround(w * full));
            if (w <= -1.0) s = -int32_t(full) - 1;  // the negative full scale
            Encode(&bytes[i * frameBytes + ch * sampleBytes], c.bits, s);
        }
    }
    return bytes;
}

// An off-screen RGBA surface the size of the program's window.
class Surface {
public:
    explicit Surface(int plotWidth) : width_(plotWidth + 2 * PlotX), pixels_(size_t(width_) * SurfaceHeight * 4) {
        context_ = OSMesaCreateContextExt(OSMESA_RGBA, 0, 0, 0, nullptr);
        ok_ = context_ && OSMesaMakeCurrent(context_, pixels_.data(), GL_UNSIGNED_BYTE, width_, SurfaceHeight);
    }
    ~Surface() {
        if (context_) OSMesaDestroyContext(context_);
    }
    bool ok() const { return ok_; }

    // The plot as the program sets it up: its viewport, the projection with
    // a five-hundredth of each extent as margin, the light background.
    void BeginPlot(int width, double xMax, double yMin, double yMax) {
        glViewport(PlotX, PlotY, width, PlotHeight);
        const double dx = xMax / 500, dy = (yMax - yMin) / 500;
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluOrtho2D(-dx, xMax + dx, yMin - dy, yMax + dy);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0.97f, 0.99f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glLineWidth(1);
    }
    std::vector<uint32_t> Read(int width) {
        glFinish();
        std::vector<uint32_t> plot(size_t(width) * PlotHeight);
        for (int y = 0; y < PlotHeight; ++y)
            std::memcpy(&plot[size_t(y) * width], &pixels_[((size_t(PlotY + y) * width_) + PlotX) * 4],
                        size_t(width) * 4);
        return plot;
    }

private:
    int width_;
    std::vector<uint8_t> pixels_;
    OSMesaContext context_ = nullptr;
    bool ok_ = false;
};

void DrawArray(GLenum mode, const std::vector<double>& xy) {
    if (xy.size() < 2) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_DOUBLE, 0, xy.data());
    glDrawArrays(mode, 0, GLsizei(xy.size() / 2));
    glDisableClientState(GL_VERTEX_ARRAY);
}

const double TraceColors[2][3] = {{0, 0.55, 0}, {0, 0, 0.65}};

// The graph through one vertex per frame, as the program drew it before:
// a strip per trace in pieces of 65536 vertices, then a mark per clipped
// frame.
void DrawEveryFrame(const SoundFragment* head, uint32_t fragmentSize, const Case& c, double xMax) {
    const DepthScale& s = *ScaleFor(c.bits);
    const unsigned sampleBytes = c.bits / 8, frameBytes = sampleBytes * c.channels;
    auto value = [&](const uint8_t* p) { return SampleValue(p, c.bits); };
    std::vector<double> xy;
    for (unsigned ch = 0; ch < c.channels; ++ch) {
        const double scale = c.channels == 1 ? 1.0 : 0.5;
        const double offset = c.channels == 1 ? 0.0 : ch == 0 ? s.stereoOffset : -s.stereoOffset;
        glColor3d(TraceColors[ch][0], TraceColors[ch][1], TraceColors[ch][2]);
        xy.clear();
        ForEachFrame(head, fragmentSize, frameBytes, xMax, [&](const uint8_t* frame, uint64_t n) {
            xy.push_back(double(n));
            xy.push_back(value(frame + ch * sampleBytes) * scale + offset);
            if (xy.size() >= 2 * 65536) {
                DrawArray(GL_LINE_STRIP, xy);
                xy.erase(xy.begin(), xy.end() - 2);
            }
        });
        DrawArray(GL_LINE_STRIP, xy);
    }
    glColor3d(1, 0.2, 0.2);
    xy.clear();
    ForEachFrame(head, fragmentSize, frameBytes, 1e300, [&](const uint8_t* frame, uint64_t n) {
        const double x = double(n);
        if (c.channels == 1) {
            if (Clipped(value(frame), s)) xy.insert(xy.end(), {x, s.markBottom, x, s.markTop});
            return;
        }
        if (Clipped(value(frame), s)) xy.insert(xy.end(), {x, 0.0, x, s.markTop});
        if (Clipped(value(frame + sampleBytes), s)) xy.insert(xy.end(), {x, s.markBottom, x, 0.0});
    });
    DrawArray(GL_LINES, xy);
}

void DrawReduced(const DetailedGraphVertices& v, const Case& c) {
    for (unsigned ch = 0; ch < c.channels; ++ch) {
        glColor3d(TraceColors[ch][0], TraceColors[ch][1], TraceColors[ch][2]);
        DrawArray(GL_LINE_STRIP, v.traces[ch]);
    }
    glColor3d(1, 0.2, 0.2);
    DrawArray(GL_LINES, v.marks);
}

struct Comparison {
    size_t lit = 0, differing = 0, unexplained = 0;
};

// Differing pixels, and those of them without a pixel of the same colour
// within one pixel in the other picture.
Comparison Compare(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int width) {
    Comparison r;
    auto at = [&](const std::vector<uint32_t>& p, int x, int y) -> uint32_t {
        return x < 0 || y < 0 || x >= width || y >= PlotHeight ? 0 : p[size_t(y) * width + x];
    };
    auto near = [&](const std::vector<uint32_t>& p, int x, int y, uint32_t color) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (at(p, x + dx, y + dy) == color) return true;
        return false;
    };
    const uint32_t bg = 0xFFFFFCF7;  // the plot background (247, 252, 255) as RGBA bytes
    for (int y = 0; y < PlotHeight; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t pa = at(a, x, y), pb = at(b, x, y);
            if (pa != bg) ++r.lit;
            if (pa == pb) continue;
            ++r.differing;
            if ((pa != bg && !near(b, x, y, pa)) || (pb != bg && !near(a, x, y, pb))) ++r.unexplained;
        }
    }
    return r;
}

class DetailedGraphPixels : public ::testing::TestWithParam<Case> {};

TEST_P(DetailedGraphPixels, MatchEveryFrameStrip) {
    const Case c = GetParam();
    Surface surface(c.plotWidth);
    ASSERT_TRUE(surface.ok()) << "no off-screen OpenGL context";

    const unsigned frameBytes = c.bits / 8 * c.channels;
    const uint64_t frames = uint64_t(std::llround(c.framesPerPixel * c.plotWidth));
    // A fragment of 50 ms at 44100 Hz, as recorded.
    const uint32_t fragmentSize = 2205 * frameBytes;
    std::vector<uint8_t> bytes = MakeSound(c, frames);
    bytes.resize((bytes.size() + fragmentSize - 1) / fragmentSize * fragmentSize,
                 c.bits == 8 ? uint8_t(128) : uint8_t(0));
    SoundFragment* head = nullptr;
    SoundFragment* last = nullptr;
    for (size_t at = 0; at < bytes.size(); at += fragmentSize) {
        SoundFragment* f = AllocateFragment(fragmentSize);
        std::memcpy(f->Data, bytes.data() + at, fragmentSize);
        (last ? last->Next : head) = f;
        last = f;
    }
    const double xMax = double(bytes.size() / frameBytes);
    const double yMin = c.bits == 8 ? -128 : c.bits == 16 ? -32768 : -1;
    const double yMax = c.bits == 8 ? 127 : c.bits == 16 ? 32767 : 1;

    surface.BeginPlot(c.plotWidth, xMax, yMin, yMax);
    DrawEveryFrame(head, fragmentSize, c, xMax);
    const std::vector<uint32_t> every = surface.Read(c.plotWidth);

    const double margin = xMax / 500;
    DetailedGraphLayout layout{head, fragmentSize, c.channels, c.bits, xMax, -margin,
                               (xMax + 2 * margin) / c.plotWidth, c.plotWidth, yMin - (yMax - yMin) / 500,
                               (yMax - yMin) * 1.004 / PlotHeight};
    DetailedGraphVertices vertices;
    BuildDetailedGraph(layout, true, vertices);
    surface.BeginPlot(c.plotWidth, xMax, yMin, yMax);
    DrawReduced(vertices, c);
    const std::vector<uint32_t> reduced = surface.Read(c.plotWidth);
    FreeChain(head);

    const Comparison r = Compare(every, reduced, c.plotWidth);
    const size_t kept = (vertices.traces[0].size() + vertices.traces[1].size()) / 2;
    std::printf("%2u-bit %s %-16s %9.1f frames/px width %d: %zu lit, %zu differ (%zu unexplained), %zu of %llu vertices\n",
                c.bits, c.channels == 1 ? "mono  " : "stereo", Name(c.signal), c.framesPerPixel, c.plotWidth, r.lit,
                r.differing, r.unexplained, kept, (unsigned long long)(xMax * c.channels));
    EXPECT_GT(r.lit, 0u);
    EXPECT_EQ(r.differing, 0u);
}

// Every depth, layout and signal from fewer frames than pixels to a long
// sound; the longest lengths (and the square wave's clipping marks at 200,000
// frames per pixel) on narrower, odd plots so the table stays quick, and two
// sounds on the plot of a maximised window.
std::vector<Case> Table() {
    const Signal all[] = {Signal::Silence, Signal::Sine, Signal::NoiseWithGaps, Signal::Spikes, Signal::Square};
    std::vector<Case> cases;
    for (uint16_t bits : {8, 16, 24})
        for (uint16_t channels : {1, 2})
            for (Signal s : all) {
                for (double fpp : {0.5, 3.0, 40.0, 1700.0}) cases.push_back({bits, channels, s, fpp, 770});
                cases.push_back({bits, channels, s, 300.0, 333});
            }
    for (uint16_t channels : {1, 2})
        for (Signal s : all) cases.push_back({16, channels, s, 17000.0, 770});
    for (Signal s : all) cases.push_back({16, 2, s, 200000.0, 61});
    // A maximised window: single precision strays further on a wider plot.
    cases.push_back({16, 2, Signal::NoiseWithGaps, 300.0, 1901});
    cases.push_back({8, 1, Signal::Sine, 1700.0, 1901});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Sounds, DetailedGraphPixels, ::testing::ValuesIn(Table()));

}  // namespace
