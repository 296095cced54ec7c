#include "view/GraphDrawing.h"

#include <windows.h>

#include <GL/gl.h>

#include <limits>
#include <vector>

#include "sound/DepthScale.h"
#include "sound/FrameWalk.h"
#include "sound/Narration.h"
#include "sound/SampleCodec.h"
#include "sound/SoundChain.h"
#include "view/DetailedLayout.h"
#include "view/PlotCoordinates.h"
#include "view/SoundGraph.h"
#include "view/detailed/DetailedGraph.h"

namespace {

struct Color {
    double r, g, b;
};
constexpr Color DetailedMain = {0, 0.55, 0};
constexpr Color DetailedRight = {0, 0, 0.65};
constexpr Color FastMain = {0, 0.5, 0};
constexpr Color FastRight = {0, 0, 0.6};
constexpr Color ClipMark = {1, 0.2, 0.2};

inline void UseColor(const Color& c) { glColor3d(c.r, c.g, c.b); }

unsigned long long VerticesDrawn = 0;

// Vertices of one primitive batch, handed to OpenGL in large arrays rather
// than one call per vertex: the graph has hundreds of thousands of vertices
// (the detailed one millions), and a call per vertex costs more than the
// drawing itself, most of all where every call crosses into another layer
// (Wine). Same primitives, same order, same pixels as glBegin/glVertex.
class VertexBatch {
public:
    explicit VertexBatch(GLenum mode) : mode_(mode) {
        xy_.reserve(2 * ChunkVertices);
        glEnableClientState(GL_VERTEX_ARRAY);
    }
    ~VertexBatch() {
        Draw();
        glDisableClientState(GL_VERTEX_ARRAY);
    }
    VertexBatch(const VertexBatch&) = delete;
    VertexBatch& operator=(const VertexBatch&) = delete;

    void Add(double x, double y) {
        xy_.push_back(x);
        xy_.push_back(y);
        if (xy_.size() >= 2 * ChunkVertices) {
            Draw();
            if (mode_ == GL_LINE_STRIP) {
                // The next piece of the strip starts where this one ended.
                xy_.push_back(x);
                xy_.push_back(y);
            }
        }
    }

private:
    // Even, so that a piece of a GL_LINES batch never splits a segment.
    static constexpr size_t ChunkVertices = StripPieceVertices;
    static_assert(ChunkVertices % 2 == 0, "a piece of a GL_LINES batch holds whole segments");

    void Draw() {
        if (xy_.size() >= 2) {
            glVertexPointer(2, GL_DOUBLE, 0, xy_.data());
            glDrawArrays(mode_, 0, GLsizei(xy_.size() / 2));
            VerticesDrawn += xy_.size() / 2;
        }
        xy_.clear();
    }

    GLenum mode_;
    std::vector<GLdouble> xy_;
};

bool DrawableFormat() {
    return (Sound.Channels == 1 || Sound.Channels == 2) && ScaleFor(Sound.BitsPerSample);
}

constexpr double Everything = std::numeric_limits<double>::infinity();

#ifdef DUDORORI_MEASUREMENTS
// The detailed graph through one vertex per frame, as it was drawn before
// the reduction: in builds made for measurements only, when the environment
// holds DUDORORI_EVERY_FRAME_STRIP=1 at start-up, so that tests and
// benchmarks can compare both pictures and times in the real program.
bool EveryFrameStripRequested() {
    static const bool requested = [] {
        wchar_t value[4];
        const DWORD length = GetEnvironmentVariableW(L"DUDORORI_EVERY_FRAME_STRIP", value, 4);
        return length == 1 && value[0] == L'1';
    }();
    return requested;
}

// One trace of the detailed graph: a vertex per frame. channel selects the
// sample inside the frame; y = value x scale + offset.
void EveryFrameTrace(int channel, double scale, double offset, const Color& color) {
    const uint16_t bits = Sound.BitsPerSample;
    const unsigned sampleBytes = bits / 8;
    const unsigned frameBytes = sampleBytes * Sound.Channels;
    UseColor(color);
    VertexBatch strip(GL_LINE_STRIP);
    ForEachFrame(Sound.Head, Sound.FragmentSize, frameBytes, PlotBounds.xMax,
                 [&](const uint8_t* frame, uint64_t number) {
                     const double v = SampleValue(frame + channel * sampleBytes, bits);
                     strip.Add(double(number), v * scale + offset);
                 });
}

void EveryFrameClipMarks(const DepthScale& s) {
    const uint16_t bits = Sound.BitsPerSample;
    const unsigned sampleBytes = bits / 8;
    const bool stereo = Sound.Channels == 2;
    UseColor(ClipMark);
    VertexBatch marks(GL_LINES);
    ForEachFrame(Sound.Head, Sound.FragmentSize, sampleBytes * Sound.Channels, Everything,
                 [&](const uint8_t* frame, uint64_t number) {
                     const double x = double(number);
                     if (!stereo) {
                         if (Clipped(SampleValue(frame, bits), s)) {
                             marks.Add(x, s.markBottom);
                             marks.Add(x, s.markTop);
                         }
                         return;
                     }
                     // Left marks in the upper half, right marks in the lower.
                     if (Clipped(SampleValue(frame, bits), s)) {
                         marks.Add(x, 0);
                         marks.Add(x, s.markTop);
                     }
                     if (Clipped(SampleValue(frame + sampleBytes, bits), s)) {
                         marks.Add(x, s.markBottom);
                         marks.Add(x, 0);
                     }
                 });
}

void DrawEveryFrame(int showClipping, const DepthScale& s) {
    if (Sound.Channels == 1) {
        EveryFrameTrace(0, 1.0, 0.0, DetailedMain);
    } else {
        EveryFrameTrace(0, 0.5, s.stereoOffset, DetailedMain);
        EveryFrameTrace(1, 0.5, -s.stereoOffset, DetailedRight);
    }
    if (showClipping == 1) EveryFrameClipMarks(s);
}
#endif

void DrawVertices(GLenum mode, const std::vector<double>& xy) {
    if (xy.size() < 4) return;
    glVertexPointer(2, GL_DOUBLE, 0, xy.data());
    glDrawArrays(mode, 0, GLsizei(xy.size() / 2));
    VerticesDrawn += xy.size() / 2;
}

// The detailed graph from the vertices its picture depends on (see
// DetailedGraph.h): the same pixels as a strip through every frame.
void DrawReduced(int showClipping) {
    // A plot squeezed to nothing shows nothing.
    if (PlotRect.width <= 0 || PlotRect.height <= 0) return;
    const DetailedGraphLayout layout = DetailedLayoutFor(PlotRect, PlotBounds, Sound.Head, Sound.FragmentSize,
                                                         Sound.Channels, Sound.BitsPerSample);
    const Color* colors[2] = {&DetailedMain, &DetailedRight};
    int drawing = -1;  // the trace whose colour is set
    glEnableClientState(GL_VERTEX_ARRAY);
    // Each trace reaches OpenGL in pieces as it is built, the left one whole
    // before the right one, as the strip through every frame was drawn.
    DetailedGraphVertices v;
    BuildDetailedGraph(layout, showClipping == 1, v, [&](int channel, std::vector<double>& piece) {
        if (channel != drawing) UseColor(*colors[drawing = channel]);
        DrawVertices(GL_LINE_STRIP, piece);
    });
    if (showClipping == 1) {
        UseColor(ClipMark);
        DrawVertices(GL_LINES, v.marks);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
}

// One trace of the fast graph from a column array: a vertical bar per
// column, joined to the next column where their ranges do not overlap, and
// the ends of every bar as points so that zero-length bars show.
void FastTrace(const GraphColumn* columns, double scale, double offset, const Color& color) {
    const uint32_t n = ColumnCount;
    const double step = PlotBounds.xMax / n;
    auto y = [&](double v) { return v * scale + offset; };
    UseColor(color);
    {
        VertexBatch lines(GL_LINES);
        for (uint32_t c = 0; c + 1 < n; ++c) {
            const double x = step * c;
            const double xNext = step * (c + 1);
            const GraphColumn& here = columns[c];
            const GraphColumn& next = columns[c + 1];
            lines.Add(x, y(here.min));
            lines.Add(x, y(here.max));
            if (next.min > here.max) {
                lines.Add(x, y(here.max));
                lines.Add(xNext, y(next.min));
            } else if (here.min > next.max) {
                lines.Add(x, y(here.min));
                lines.Add(xNext, y(next.max));
            }
        }
        const double xLast = step * (n - 1);
        lines.Add(xLast, y(columns[n - 1].min));
        lines.Add(xLast, y(columns[n - 1].max));
    }
    VertexBatch points(GL_POINTS);
    for (uint32_t c = 0; c < n; ++c) {
        const double x = step * c;
        points.Add(x, y(columns[c].min));
        points.Add(x, y(columns[c].max));
    }
}

// Clipping marks of the fast graph: a column is marked when its range goes
// beyond a threshold. from/to are the mark's extent.
void FastClipMarks(VertexBatch& marks, const GraphColumn* columns, const DepthScale& s, double from, double to) {
    const double step = PlotBounds.xMax / ColumnCount;
    for (uint32_t c = 0; c < ColumnCount; ++c) {
        if (columns[c].min < s.clipBelow || columns[c].max > s.clipAbove) {
            marks.Add(step * c, from);
            marks.Add(step * c, to);
        }
    }
}

}  // namespace

unsigned long long GraphVerticesDrawn() { return VerticesDrawn; }

void DrawGraphDetailed(int showClipping) {
    if (!Sound.Head || !DrawableFormat()) return;

    void* popup = nullptr;
    const bool busy = Sound.TotalBytes > BusyPopupBytes;
    if (busy) popup = BusyBegin(L"Визуализация графика звука...");

#ifdef DUDORORI_MEASUREMENTS
    if (EveryFrameStripRequested()) {
        DrawEveryFrame(showClipping, *ScaleFor(Sound.BitsPerSample));
        if (busy) BusyEnd(popup);
        return;
    }
#endif
    DrawReduced(showClipping);

    if (busy) BusyEnd(popup);
}

void DrawGraphFast(int showClipping) {
    if (!FastGraphReady || !ColumnsLeft || !ColumnsRight || !DrawableFormat()) return;
    const DepthScale& s = *ScaleFor(Sound.BitsPerSample);

    if (Sound.Channels == 1) {
        FastTrace(ColumnsLeft, 1.0, 0.0, FastMain);
    } else {
        FastTrace(ColumnsLeft, 0.5, s.stereoOffset, FastMain);
        FastTrace(ColumnsRight, 0.5, -s.stereoOffset, FastRight);
    }
    if (showClipping == 1) {
        UseColor(ClipMark);
        VertexBatch marks(GL_LINES);
        if (Sound.Channels == 1) {
            FastClipMarks(marks, ColumnsLeft, s, s.markBottom, s.markTop);
        } else {
            FastClipMarks(marks, ColumnsLeft, s, 0, s.markTop);
            FastClipMarks(marks, ColumnsRight, s, s.markBottom, 0);
        }
    }
}
