// The detailed graph drawn from its reduced vertices against the same graph
// drawn through one vertex per frame, pixel by pixel, with Mesa's off-screen
// renderer (the llvmpipe rasterizer the program gets under Wine). The plot
// rectangle, projection and layout come from the program's own code for a
// window of the case's size; colours, line width and the order of drawing
// (strips as they are handed on, then what is left of each trace, then the
// marks) are the program's.
#include <GL/osmesa.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "sound/DepthScale.h"
#include "sound/FrameWalk.h"
#include "sound/SampleCodec.h"
#include "sound/SoundChain.h"
#include "view/DetailedLayout.h"
#include "view/PlotCoordinates.h"
#include "view/detailed/DetailedGraph.h"

namespace {

// Below this many frames per pixel every frame keeps its vertex.
constexpr double MergingFramesPerPixel = 8;
// What a reduction may keep for each plot column of each trace once it
// merges: vertices, and clipping marks. Set from what the table needs today
// (the most vertices: an 8-bit stereo clipped square with dither, whose
// levels lie a row apart); the largest figures of a run are printed at its
// end.
constexpr double VerticesPerColumn = 4000;
constexpr double MarksPerColumn = 500;

enum class Signal {
    Silence, Sine, NoiseWithGaps, Spikes, Square,
    QuietNoise, QuietRaised, Dither, SparseClips, Speech, ClippedDither,
};
const char* Name(Signal s) {
    static const char* names[] = {"silence",     "sine",         "noise-with-gaps", "spikes",       "square",
                                  "quiet-noise", "quiet-raised", "dither",          "sparse-clips", "speech",
                                  "clipped-dither"};
    return names[int(s)];
}

struct Case {
    uint16_t bits, channels;
    Signal signal;
    double framesPerPixel;   // the sound's length, in frames per plot pixel
    int clientWidth;         // the window's client area; the plot is 10 pixels narrower
    int clientHeight = 565;  // a plot 235 pixels high
    // Whether the pictures must be equal; otherwise at most 0.05 % of the
    // lit pixels may differ. Either way every differing pixel has one of
    // the same colour next to it in the other picture.
    bool exact = true;
};

std::string Describe(const Case& c) {
    char text[120];
    std::snprintf(text, sizeof text, "%2u-bit %s %-15s %9.1f frames/px, window %dx%d", c.bits,
                  c.channels == 1 ? "mono  " : "stereo", Name(c.signal), c.framesPerPixel, c.clientWidth,
                  c.clientHeight);
    return text;
}
// Names the case in gtest's messages.
void PrintTo(const Case& c, std::ostream* os) { *os << Describe(c); }

// Full scale of a depth in integer samples.
int32_t FullScale(uint16_t bits) { return bits == 8 ? 127 : bits == 16 ? 32767 : 8388607; }

void Encode(uint8_t* p, uint16_t bits, int32_t v) {
    if (bits == 8) EncodeSample8(p, v);
    else if (bits == 16) EncodeSample16(p, v);
    else EncodeSample24(p, v);
}

// The sound of a case as one flat byte stream, values as fractions of full
// scale. Channels differ (the right one is the left one reversed in sign
// and halved, unless a signal says otherwise), so a mix-up shows.
//
// The quiet signals are a few tens of 16-bit steps, well inside one row of
// a 235-pixel plot (about 280 steps mono, 560 stereo): around zero, a mono
// trace lies at the height of a row's centre and each stereo trace across a
// row's edge; raised by 100 steps, every trace lies inside one row. Dither
// is a step either way at the sound's own depth.
std::vector<uint8_t> MakeSound(const Case& c, uint64_t frames) {
    const unsigned sampleBytes = c.bits / 8, frameBytes = sampleBytes * c.channels;
    std::vector<uint8_t> bytes(frames * frameBytes);
    std::mt19937 rng(uint32_t(frames * 31 + c.bits * 7 + c.channels));
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    const double full = FullScale(c.bits), step16 = 1.0 / 32768;
    const double period = double(frames) / 3.3;  // a few periods over the plot
    // Speech: bursts of 0.1 to 0.7 s between pauses, every other burst at
    // full level. In the pauses a mono recording hears the room; in stereo
    // the left microphone is gated to silence and the right one hears the
    // room inside one row. So the right trace keeps far more vertices than
    // the left, and at full level both reach the middle row, where the
    // order the traces are drawn in shows.
    uint64_t segmentEnd = 0;
    double level = 0;
    for (uint64_t i = 0; i < frames; ++i) {
        double v = 0, right = NAN;  // right: unless set, from v
        switch (c.signal) {
        case Signal::Silence: v = 0; break;
        case Signal::Sine: v = 0.8 * std::sin(2 * M_PI * double(i) / period) + 0.02 * uniform(rng); break;
        case Signal::NoiseWithGaps: v = (i / 5000) % 3 == 1 ? 0.0 : 0.6 * uniform(rng); break;
        case Signal::Spikes: v = i % 7919 == 0 ? 0.9 : i % 6151 == 0 ? -0.95 : 0.001 * uniform(rng); break;
        case Signal::Square: v = right = (i / 40) % 2 ? 1.0 : -1.0; break;  // both channels clip
        case Signal::QuietNoise: v = 20 * step16 * uniform(rng); break;
        case Signal::QuietRaised: v = (100 + 20 * uniform(rng)) * step16; break;
        case Signal::Dither: v = double(int(rng() % 3) - 1) / full; break;
        case Signal::ClippedDither:
            // A square flattened at full scale, dithered a step inwards now
            // and then, as a generator's gain and dither leave it: the lower
            // level lies at the height of a row's centre.
            v = right = (i / 400) % 2 ? 1.0 - (rng() % 3 == 0 ? 1.0 / full : 0.0)
                                      : -1.0 + (rng() % 3 == 0 ? 0.5 / full : 0.0);
            break;
        case Signal::SparseClips:
            v = i % 99991 == 5000 ? 1.0 : i % 77773 == 3000 ? -1.0 : 30 * step16 * uniform(rng);
            right = -v;  // both signs on both channels
            break;
        case Signal::Speech:
            if (i >= segmentEnd) {
                segmentEnd = i + 4000 + rng() % 27000;
                level = level > 0 ? 0 : rng() % 2 ? 1.0 : 0.3 + 0.3 * (uniform(rng) + 1);
            }
            if (level > 0) {
                v = level * uniform(rng);
                right = -v;
            } else {
                v = c.channels == 1 ? 20 * step16 * uniform(rng) : 0;
                right = (-100 + 20 * uniform(rng)) * step16;
            }
            break;
        }
        if (std::isnan(right)) right = -0.5 * v;
        for (unsigned ch = 0; ch < c.channels; ++ch) {
            const double w = ch == 0 ? v : right;
            int32_t s = int32_t(std::lround(w * full));
            if (w <= -1.0) s = -int32_t(full) - 1;  // the negative full scale
            Encode(&bytes[i * frameBytes + ch * sampleBytes], c.bits, s);
        }
    }
    return bytes;
}

// An off-screen RGBA surface the size of the program's client area.
class Surface {
public:
    Surface() : pixels_(size_t(ClientWidth) * ClientHeight * 4) {
        context_ = OSMesaCreateContextExt(OSMESA_RGBA, 0, 0, 0, nullptr);
        ok_ = context_ && OSMesaMakeCurrent(context_, pixels_.data(), GL_UNSIGNED_BYTE, ClientWidth, ClientHeight);
    }
    ~Surface() {
        if (context_) OSMesaDestroyContext(context_);
    }
    bool ok() const { return ok_; }

    // The plot as the program sets it up: the viewport on PlotRect, the
    // projection of PlotBounds, the light background.
    void BeginPlot() {
        glViewport(PlotRect.x, PlotRect.y, PlotRect.width, PlotRect.height);
        const PlotExtents view = ProjectedExtents(PlotBounds);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluOrtho2D(view.xMin, view.xMax, view.yMin, view.yMax);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0.97f, 0.99f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glLineWidth(1);
    }
    std::vector<uint32_t> Read() {
        glFinish();
        const int width = PlotRect.width;
        std::vector<uint32_t> plot(size_t(width) * PlotRect.height);
        for (int y = 0; y < PlotRect.height; ++y)
            std::memcpy(&plot[size_t(y) * width], &pixels_[((size_t(PlotRect.y + y) * ClientWidth) + PlotRect.x) * 4],
                        size_t(width) * 4);
        return plot;
    }

private:
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
void TraceColor(int channel) { glColor3d(TraceColors[channel][0], TraceColors[channel][1], TraceColors[channel][2]); }

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
        TraceColor(int(ch));
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

// The reduced graph drawn as the program draws it: each piece of a strip as
// it is handed on, then what is left of each trace, then the marks. Returns
// the trace vertices drawn, counting once the vertex a piece shares with
// the next.
size_t DrawReduced(const DetailedGraphLayout& layout, DetailedGraphVertices& v) {
    size_t kept = 0;
    int drawing = -1;  // the trace whose colour is set
    auto strip = [&](int channel, const std::vector<double>& xy) {
        if (channel != drawing) TraceColor(drawing = channel);
        DrawArray(GL_LINE_STRIP, xy);
    };
    BuildDetailedGraph(layout, true, v, [&](int channel, std::vector<double>& piece) {
        strip(channel, piece);
        kept += piece.size() / 2 - 1;
    });
    for (int channel = 0; channel < layout.channels; ++channel) {
        strip(channel, v.traces[channel]);
        kept += v.traces[channel].size() / 2;
    }
    glColor3d(1, 0.2, 0.2);
    DrawArray(GL_LINES, v.marks);
    return kept;
}

struct Comparison {
    size_t lit = 0, differing = 0, unexplained = 0;
};

// Differing pixels, and those of them without a pixel of the same colour
// within one pixel in the other picture.
Comparison Compare(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int width, int height) {
    Comparison r;
    auto at = [&](const std::vector<uint32_t>& p, int x, int y) -> uint32_t {
        return x < 0 || y < 0 || x >= width || y >= height ? 0 : p[size_t(y) * width + x];
    };
    auto near = [&](const std::vector<uint32_t>& p, int x, int y, uint32_t color) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (at(p, x + dx, y + dy) == color) return true;
        return false;
    };
    const uint32_t bg = 0xFFFFFCF7;  // the plot background (247, 252, 255) as RGBA bytes
    for (int y = 0; y < height; ++y) {
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

// The fragments of a sound, freed however the test ends.
struct Chain {
    SoundFragment* head = nullptr;
    ~Chain() { FreeChain(head); }
};

// The most a merging case kept per column and trace, and where.
struct Largest {
    double perColumn = 0;
    std::string where;
    void Note(double figure, const std::string& name) {
        if (figure > perColumn) perColumn = figure, where = name;
    }
};

class DetailedGraphPixels : public ::testing::TestWithParam<Case> {
protected:
    static Largest vertices, marks;
    static void TearDownTestSuite() {
        std::printf("largest per column and trace: %.1f vertices (%s), %.1f marks (%s)\n", vertices.perColumn,
                    vertices.where.c_str(), marks.perColumn, marks.where.c_str());
    }
};
Largest DetailedGraphPixels::vertices, DetailedGraphPixels::marks;

TEST_P(DetailedGraphPixels, MatchEveryFrameStrip) {
    const Case c = GetParam();
    SetClientSize(c.clientWidth, c.clientHeight);
    const int width = PlotRect.width, height = PlotRect.height;
    Surface surface;
    ASSERT_TRUE(surface.ok()) << "no off-screen OpenGL context";

    const unsigned frameBytes = c.bits / 8 * c.channels;
    const uint64_t frames = uint64_t(std::llround(c.framesPerPixel * width));
    // A fragment of 50 ms at 44100 Hz, as recorded.
    const uint32_t fragmentSize = 2205 * frameBytes;
    std::vector<uint8_t> bytes = MakeSound(c, frames);
    bytes.resize((bytes.size() + fragmentSize - 1) / fragmentSize * fragmentSize,
                 c.bits == 8 ? uint8_t(128) : uint8_t(0));
    Chain chain;
    SoundFragment* last = nullptr;
    for (size_t at = 0; at < bytes.size(); at += fragmentSize) {
        SoundFragment* f = AllocateFragment(fragmentSize);
        ASSERT_NE(f, nullptr);
        std::memcpy(f->Data, bytes.data() + at, fragmentSize);
        (last ? last->Next : chain.head) = f;
        last = f;
    }
    Sound.Channels = c.channels;
    Sound.BitsPerSample = c.bits;
    Sound.FragmentSize = fragmentSize;
    Sound.TotalBytes = double(bytes.size());
    ASSERT_TRUE(ComputePlotBounds(chain.head));
    const double framesPerTrace = PlotBounds.xMax;

    surface.BeginPlot();
    DrawEveryFrame(chain.head, fragmentSize, c, framesPerTrace);
    const std::vector<uint32_t> every = surface.Read();

    const DetailedGraphLayout layout =
        DetailedLayoutFor(PlotRect, PlotBounds, chain.head, fragmentSize, c.channels, c.bits);
    DetailedGraphVertices v;
    surface.BeginPlot();
    const size_t kept = DrawReduced(layout, v);
    const size_t markCount = v.marks.size() / 4;
    const std::vector<uint32_t> reduced = surface.Read();

    const Comparison r = Compare(every, reduced, width, height);
    // Where frames merge, a small number per column and trace; below that,
    // every frame of the trace (and marks at most one per frame).
    const bool merging = layout.framesPerPixel >= MergingFramesPerPixel;
    const double columns = double(width) * c.channels;
    const double vertexBound = merging ? VerticesPerColumn * columns : (framesPerTrace + 1) * c.channels;
    const double markBound = merging ? MarksPerColumn * columns : framesPerTrace * c.channels;
    const std::string name = Describe(c);
    if (merging) {
        vertices.Note(kept / columns, name);
        marks.Note(markCount / columns, name);
    }
    std::printf("%s, plot %dx%d: %zu lit, %zu differ (%zu unexplained), %zu of %.0f vertices (bound %.0f), "
                "%zu marks (bound %.0f)\n",
                name.c_str(), width, height, r.lit, r.differing, r.unexplained, kept, framesPerTrace * c.channels,
                vertexBound, markCount, markBound);
    EXPECT_GT(r.lit, 0u);
    if (c.exact)
        EXPECT_EQ(r.differing, 0u);
    else
        EXPECT_LE(double(r.differing), 0.0005 * double(r.lit));
    EXPECT_EQ(r.unexplained, 0u);
    EXPECT_LE(double(kept), vertexBound);
    EXPECT_LE(double(markCount), markBound);
}

// Every depth, layout and signal from fewer frames than pixels to a long
// sound; the longest lengths on narrower, odd plots so the table stays
// quick. Client widths are the plot's plus 10: 780 is the program's own
// window, 1911 a maximised one, 11 a plot one pixel wide.
std::vector<Case> Table() {
    using S = Signal;
    // Quiet signals stay within a row or two for long stretches, between
    // loud moments if they have any.
    const Signal loud[] = {S::Silence, S::Sine, S::NoiseWithGaps, S::Spikes, S::Square};
    const Signal quiet[] = {S::QuietNoise, S::QuietRaised, S::Dither, S::SparseClips, S::Speech};
    std::vector<Signal> all(std::begin(loud), std::end(loud));
    all.insert(all.end(), std::begin(quiet), std::end(quiet));
    std::vector<Case> cases;
    for (uint16_t bits : {8, 16, 24})
        for (uint16_t channels : {1, 2})
            for (Signal s : all) {
                for (double fpp : {0.5, 3.0, 12.5, 40.0, 1700.0}) cases.push_back({bits, channels, s, fpp, 780});
                cases.push_back({bits, channels, s, 300.0, 343});
            }
    for (uint16_t channels : {1, 2}) {
        for (Signal s : all)
            for (double fpp : {8.0, 20.0}) cases.push_back({16, channels, s, fpp, 780});
        for (Signal s : loud) cases.push_back({16, channels, s, 17000.0, 780});
        for (Signal s : quiet) cases.push_back({16, channels, s, 17000.0, 343});
        for (uint16_t bits : {8, 24})
            for (Signal s : {S::Sine, S::NoiseWithGaps, S::SparseClips})
                cases.push_back({bits, channels, s, 17000.0, 343});
        for (Signal s : {S::QuietNoise, S::QuietRaised}) cases.push_back({16, channels, s, 200000.0, 71});
    }
    for (Signal s : loud) cases.push_back({16, 2, s, 200000.0, 71});
    for (uint16_t bits : {8, 16, 24})
        for (uint16_t channels : {1, 2}) cases.push_back({bits, channels, S::ClippedDither, 17000.0, 343});
    cases.push_back({16, 2, S::ClippedDither, 1700.0, 780});
    cases.push_back({16, 2, S::ClippedDither, 200000.0, 71});
    // Beyond 2^24 frames single precision no longer tells neighbouring
    // frames apart.
    for (Signal s : {S::NoiseWithGaps, S::SparseClips}) cases.push_back({16, 1, s, (16777216 + 300000) / 61.0, 71});
    // A maximised window: single precision strays further on a wider plot.
    cases.push_back({16, 2, S::NoiseWithGaps, 300.0, 1911});
    cases.push_back({8, 1, S::Sine, 1700.0, 1911});
    // Plots of other heights: a taller window puts the middle of a mono
    // trace on a row's edge; a short one makes rows of many values.
    cases.push_back({16, 2, S::NoiseWithGaps, 1700.0, 780, 1000});
    cases.push_back({16, 1, S::QuietNoise, 17000.0, 343, 1000});
    cases.push_back({24, 2, S::Square, 300.0, 343, 1000});
    cases.push_back({8, 2, S::Sine, 1700.0, 780, 430});
    // A plot one pixel wide: the whole sound in one column.
    for (Signal s : {S::Sine, S::Square, S::Speech}) cases.push_back({16, 2, s, 200000.0, 11});
    cases.push_back({16, 1, S::NoiseWithGaps, 300.0, 11});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Sounds, DetailedGraphPixels, ::testing::ValuesIn(Table()));

}  // namespace
