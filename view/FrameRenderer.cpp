// Composition of one frame per WM_PAINT: the white surface, the light plot
// background, the live block (recording, playback) or the whole-sound graph,
// the dark outline, then the frame is put on the window.
#include "view/FrameRenderer.h"

#include <GL/gl.h>

#include <cstdio>
#include <mutex>

#include "app/AppState.h"
#include "app/EventLog.h"
#include "app/InterfaceFlags.h"
#include "audio/Player.h"
#include "audio/RecordingFlags.h"
#include "sound/SoundChain.h"
#include "view/GraphDrawing.h"
#include "view/LiveDrawing.h"
#include "view/PlotCoordinates.h"
#include "view/PlotSurface.h"
#include "view/SoundChanged.h"
#include "view/SoundGraph.h"

namespace {

// Frame timing for measurements, in builds made with the
// DUDORORI_MEASUREMENTS option only (the released program reads no
// environment): when the environment names a file in DUDORORI_FRAME_TIMES,
// every frame appends "<content> <ms drawing> <ms presenting> <bytes of
// sound> <graph vertices>" to it. Nothing is read or written otherwise.
class FrameTimer {
public:
    FrameTimer() {
        static FILE* file = OpenLog();
        file_ = file;
        if (!file_) return;
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
        vertices_ = GraphVerticesDrawn();
    }
    void Presenting() {
        if (file_) QueryPerformanceCounter(&present_);
    }
    void Finish(const char* content) {
        if (!file_) return;
        LARGE_INTEGER end;
        QueryPerformanceCounter(&end);
        const double scale = 1000.0 / double(frequency_.QuadPart);
        std::fprintf(file_, "%s %.3f %.3f %.0f %llu\n", content, double(present_.QuadPart - start_.QuadPart) * scale,
                     double(end.QuadPart - present_.QuadPart) * scale, Sound.TotalBytes,
                     GraphVerticesDrawn() - vertices_);
        std::fflush(file_);
    }

private:
    static FILE* OpenLog() {
#ifdef DUDORORI_MEASUREMENTS
        wchar_t path[MAX_PATH];
        const DWORD length = GetEnvironmentVariableW(L"DUDORORI_FRAME_TIMES", path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return nullptr;
        return _wfopen(path, L"a");
#else
        return nullptr;
#endif
    }
    FILE* file_ = nullptr;
    LARGE_INTEGER frequency_{}, start_{}, present_{};
    unsigned long long vertices_ = 0;
};

// The newest fragment with its meters. A null fragment (a mode flag set
// before its first fragment arrived) draws nothing.
void DrawLiveBlock(const SoundFragment* fragment) {
    if (!fragment) return;
    if (ShowOverload == 1)
        DrawLiveWaveformWithOverload(fragment);
    else
        DrawLiveWaveform(fragment, LiveDetailed);
    if (ShowVuMeter == 1) DrawVuMeter(fragment);
}

// Playback position as a translucent bar 4 pixels above the bottom of the
// plot, shading from light to dark violet.
void DrawProgressBar() {
    if (Sound.TotalBytes <= 0 || PlotRect.height <= 0) return;
    const PlotExtents& b = PlotBounds;
    const double x1 = (b.xMax - b.xMin) * (Sound.PlayedBytes / Sound.TotalBytes) + b.xMin;
    const double y = (b.yMax - b.yMin) * (4.0 / PlotRect.height) + b.yMin;
    glLineWidth(8);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBegin(GL_LINES);
    glColor4d(0.6, 0.3, 0.7, 0.5);
    glVertex2d(b.xMin, y);
    glColor4d(0.4, 0.1, 0.5, 0.5);
    glVertex2d(x1, y);
    glEnd();
    glDisable(GL_BLEND);
    glLineWidth(1);
}

// What a drawing of the whole-sound graph depends on. A detailed hour takes
// tens of seconds under a software renderer and every repaint asks for it
// again (a box closed over the window, the window uncovered); while none of
// this has changed the framebuffer still holds that frame, which is then
// presented again as it is. The sound's own contents are covered by
// SoundGeneration: every change of the whole sound takes ShowChangedSound,
// which counts it.
struct GraphFrameKey {
    bool fast;
    int showClipping;
    int clientWidth, clientHeight;
    PlotRectangle rect;
    PlotExtents bounds;
    const SoundFragment* head;
    double totalBytes;
    uint32_t fragmentSize;
    uint16_t channels, bits;
    uint32_t generation;
    unsigned surface;

    bool operator==(const GraphFrameKey& o) const {
        return fast == o.fast && showClipping == o.showClipping && clientWidth == o.clientWidth &&
               clientHeight == o.clientHeight && rect.x == o.rect.x && rect.y == o.rect.y &&
               rect.width == o.rect.width && rect.height == o.rect.height && bounds.xMin == o.bounds.xMin &&
               bounds.xMax == o.bounds.xMax && bounds.yMin == o.bounds.yMin && bounds.yMax == o.bounds.yMax &&
               head == o.head && totalBytes == o.totalBytes && fragmentSize == o.fragmentSize &&
               channels == o.channels && bits == o.bits && generation == o.generation && surface == o.surface;
    }
};

bool graphFrameHeld = false;
GraphFrameKey heldGraphFrame{};

bool PlaybackShown() { return Sound.PlayedBytes != 0 || PlaybackInProgress(); }
bool GraphShown() { return !PlaybackShown() && LiveView == 0 && GraphReady != 0; }

GraphFrameKey CurrentGraphFrame() {
    return {FastGraphMode && FastGraphReady, ShowClipping, ClientWidth, ClientHeight, PlotRect, PlotBounds,
            Sound.Head, Sound.TotalBytes, Sound.FragmentSize, Sound.Channels, Sound.BitsPerSample,
            SoundGeneration, GlSurfaceGeneration()};
}

// A framebuffer object keeps its pixels between frames; without one the
// frame is presented again from the pixels read back for it. Either way an
// uncovered window is not drawn again, which matters most for a detailed
// long graph: its own busy popup uncovers the window when it closes.
bool HeldFrameStillCurrent() {
    return graphFrameHeld && GraphShown() && heldGraphFrame == CurrentGraphFrame();
}

void DrawOutline() {
    const PlotExtents& b = PlotBounds;
    glLineWidth(1);
    glColor3d(0.1, 0.1, 0.1);
    glBegin(GL_LINE_LOOP);
    glVertex2d(b.xMin, b.yMin);
    glVertex2d(b.xMin, b.yMax);
    glVertex2d(b.xMax, b.yMax);
    glVertex2d(b.xMax, b.yMin);
    glEnd();
}

}  // namespace

void PaintMainWindow(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    // A minimised window has no pixels to draw: clearing then would only
    // throw away the held frame that its restore can present again.
    if (GlSurfaceHasPixels() && !HeldFrameStillCurrent()) {
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    double totalMs;
    {
        std::lock_guard<std::mutex> lock(TotalsMutex);
        totalMs = Sound.TotalMs;
    }
    UpdateTimeDisplay(TimeDisplay, totalMs, Sound.PlayedMs);
    RenderFrame(dc);
    EndPaint(window, &ps);
}

void RenderFrame(HDC paintDc) {
    FrameTimer timer;
    const char* content = "empty";
    const bool held = HeldFrameStillCurrent();
    if (held) {
        content = "held";
    } else if (GlSurfaceHasPixels()) {
        const PlotRectangle r = PlotRect;
        glClearColor(0.97f, 0.99f, 1.0f, 1.0f);
        glScissor(r.x, r.y, r.width > 0 ? r.width : 0, r.height > 0 ? r.height : 0);
        glEnable(GL_SCISSOR_TEST);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);

        // A playback shows its live block from the moment it starts: before the
        // first buffer comes back PlayedBytes is still 0 while the coordinates
        // are already those of one fragment, and drawing the whole-sound graph
        // squeezed into them would both look wrong and hold up the refills.
        if (PlaybackShown()) {
            content = "playback";
            DrawLiveBlock(Sound.Current);
            DrawProgressBar();
        } else if (LiveView != 0) {
            content = "recording";
            std::lock_guard<std::mutex> lock(ChainMutex);
            DrawLiveBlock(Sound.Current);
        } else if (GraphReady != 0) {
            if (FastGraphMode && FastGraphReady) {
                content = "fast";
                DrawGraphFast(ShowClipping);
            } else {
                content = "detailed";
                DrawGraphDetailed(ShowClipping);
            }
        }
        DrawOutline();
        graphFrameHeld = GraphShown();
        if (graphFrameHeld) heldGraphFrame = CurrentGraphFrame();
    }
    timer.Presenting();
    if (held)
        PresentHeldFrame(paintDc);
    else
        PresentFrame(paintDc);
    glFlush();
    timer.Finish(content);
}
