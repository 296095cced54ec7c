// The plot as the user sees it: screenshots of the real program's window
// (background, outline, controls left visible, sound graph in both drawings
// with clipping marks, live trace and meters while recording, progress bar
// and click-to-seek while playing).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>

#include "SystemTest.h"

#include <GL/gl.h>

namespace {

using st::App;
using st::Shot;

// Plot colours as the screen shows them (OpenGL's float colours rounded to
// bytes), with a small tolerance for rounding.
bool Near(int value, int target, int tolerance = 4) { return std::abs(value - target) <= tolerance; }
bool IsRgb(uint32_t p, int r, int g, int b, int tolerance = 4) {
    return Near(Shot::R(p), r, tolerance) && Near(Shot::G(p), g, tolerance) && Near(Shot::B(p), b, tolerance);
}
bool IsPlotBackground(uint32_t p) { return IsRgb(p, 247, 252, 255, 1); }
bool IsDark(uint32_t p) { return Shot::R(p) < 70 && Shot::G(p) < 70 && Shot::B(p) < 70; }
bool IsClipMark(uint32_t p) { return IsRgb(p, 255, 51, 51, 6); }
// A green trace of any of the drawings (fast 128, detailed 140, live 153).
bool IsGreenTrace(uint32_t p) { return Shot::R(p) < 30 && Shot::G(p) > 110 && Shot::G(p) < 170 && Shot::B(p) < 30; }
bool IsFastGreen(uint32_t p) { return IsRgb(p, 0, 128, 0); }
bool IsDetailedGreen(uint32_t p) { return IsRgb(p, 0, 140, 0); }
bool IsLiveGreen(uint32_t p) { return IsRgb(p, 0, 153, 0); }
// The translucent progress bar over the plot background.
bool IsProgressViolet(uint32_t p) {
    const int r = Shot::R(p), g = Shot::G(p), b = Shot::B(p);
    return r > 150 && r < 215 && g > 115 && g < 180 && b > 175 && b < 240 && b > g + 25 && r > g + 20;
}

// The plot rectangle in client coordinates (origin top-left): 5 pixels from
// the top, left and right edges, the bottom 325 pixels left to the controls.
struct PlotArea {
    int left, top, right, bottom;  // right and bottom exclusive
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    int MidX() const { return left + Width() / 2; }
    int MidY() const { return (top + bottom) / 2; }
    // Client pixel of a point given as fractions of the plot's extents (x
    // from the left, y from the bottom); the extents fill the plot with a
    // margin of a five-hundredth of each extent on every side.
    int PixelX(double fx) const { return left + int((fx + 0.002) / 1.004 * Width()); }
    int PixelY(double fy) const { return bottom - 1 - int((fy + 0.002) / 1.004 * Height()); }
};
PlotArea PlotOf(const App& app) {
    const RECT c = app.ClientRect();
    return {5, 5, int(c.right) - 5, int(c.bottom) - 325};
}

// A square wave of `period` frames between -peak and +peak (full scale:
// -32768 and 32767).
int Square(uint32_t frame, uint32_t period, int peak) {
    const bool high = (frame / (period / 2)) % 2 == 0;
    if (peak >= 32767) return high ? 32767 : -32768;
    return high ? peak : -peak;
}

constexpr uint32_t Rate = 44100;
// 8 s of 16-bit mono is 705,600 bytes: above the 640,000 bytes the envelope
// (and so the fast drawing) needs.
constexpr uint32_t GraphFrames = Rate * 8;

// Mono: the first half of the sound at full scale (every frame clipped), the
// second half at half scale (nothing clipped).
st::Wav HalfClippedMono() {
    std::vector<int> samples(GraphFrames);
    for (uint32_t i = 0; i < GraphFrames; ++i) samples[i] = Square(i, 200, i < GraphFrames / 2 ? 32767 : 16000);
    st::Wav wav;
    wav.data = st::PcmBytes(samples);
    return wav;
}

// Stereo: the left channel at half scale, the right one at full scale.
st::Wav RightClippedStereo() {
    std::vector<int> samples;
    samples.reserve(GraphFrames * 2);
    for (uint32_t i = 0; i < GraphFrames; ++i) {
        samples.push_back(Square(i, 200, 16000));
        samples.push_back(Square(i, 200, 32767));
    }
    st::Wav wav;
    wav.channels = 2;
    wav.data = st::PcmBytes(samples);
    return wav;
}

// Opens the file through File / Open, its dialog and the success box, and
// checks the whole-sound extents in the log.
bool OpenSound(App& app, const std::wstring& path, uint32_t frames) {
    if (!app.OpenFile(path)) return false;
    const std::wstring extents = L"OpenGL: X(0, " + std::to_wstring(frames) + L")";
    return app.WaitLog(extents, true) && app.Settle();
}

// Mouse input reaches the program asynchronously. To know that an earlier
// click was handled, click the " C " button through the same input queue and
// wait until the event log it clears is empty, then for the paint the click
// may have asked for.
bool ClickedThrough(App& app) {
    EXPECT_GT(app.LogCount(), 0) << "an empty log cannot show that the click was handled";
    return app.LogCount() > 0 && app.PressButton(ID_CLEAR_LOG_BUTTON) &&
           st::WaitUntil([&] { return app.LogCount() == 0; }, "the click on \" C \" to clear the log", 5000) &&
           app.Settle() && app.Repaint();
}

// Names the frame-times file for the programs started while it lives. Each
// frame they present appends a line: what it showed ("fast", "detailed",
// "held", "empty", ...), times, and the vertices of the graph it drew.
class FrameTimesFile {
public:
    explicit FrameTimesFile(const std::wstring& path) : path_(path) {
        st::RemoveFile(path_);
        SetEnvironmentVariableW(L"DUDORORI_FRAME_TIMES", path_.c_str());
    }
    ~FrameTimesFile() { SetEnvironmentVariableW(L"DUDORORI_FRAME_TIMES", nullptr); }
    // The frames' contents in order; `vertices` gets those of the last frame
    // that showed `content`.
    std::vector<std::string> Contents(const std::string& content = "", unsigned long long* vertices = nullptr) const {
        std::vector<uint8_t> bytes;
        st::ReadFileBytes(path_, bytes);
        std::istringstream text(std::string(bytes.begin(), bytes.end()));
        std::vector<std::string> contents;
        std::string shown;
        double drawMs, presentMs, soundBytes;
        unsigned long long drawn;
        while (text >> shown >> drawMs >> presentMs >> soundBytes >> drawn) {
            contents.push_back(shown);
            if (vertices && shown == content) *vertices = drawn;
        }
        return contents;
    }

private:
    std::wstring path_;
};

// The client area once it shows the expected picture (see CaptureWhen).
Shot Screenshot(App& app, const std::function<bool(const Shot&)>& expected, const std::string& what,
                bool still = true) {
    return app.CaptureWhen(expected, what, still);
}

// Seconds of the position (the part before " / ") of the time display, or
// -1 while no position is shown.
double PositionSeconds(const std::wstring& text) {
    return text.find(L" / ") == std::wstring::npos ? -1 : st::FirstTimeSeconds(text);
}

// Rightmost column of the plot that holds progress-bar pixels in the rows of
// the bar (4 pixels above the plot's bottom, 8 pixels wide), or -1.
int ProgressBarEnd(const Shot& shot, const PlotArea& plot) {
    for (int x = plot.right - 1; x >= plot.left; --x)
        if (shot.Count(x, plot.bottom - 9, x + 1, plot.bottom - 1, IsProgressViolet) >= 3) return x;
    return -1;
}

// Only the plot background inside the outline: what a capture waits for.
bool EmptyPlotShown(const Shot& shot, const PlotArea& plot) {
    const int inner = (plot.Width() - 10) * (plot.Height() - 10);
    return shot.Count(plot.left + 5, plot.top + 5, plot.right - 5, plot.bottom - 5, IsPlotBackground) == inner &&
           shot.Count(plot.left, plot.MidY(), plot.left + 4, plot.MidY() + 1, IsDark) > 0;
}

}  // namespace

// The empty plot: only the light background inside a dark outline at the
// plot's edges, white around it.
void ExpectEmptyPlot(const Shot& shot, const PlotArea& plot) {
    // Inside the outline (a few pixels in from each edge) nothing but the
    // plot background.
    const int inner = (plot.Width() - 10) * (plot.Height() - 10);
    EXPECT_EQ(shot.Count(plot.left + 5, plot.top + 5, plot.right - 5, plot.bottom - 5, IsPlotBackground), inner);
    // The outline: a dark pixel near each of the four edges.
    EXPECT_GT(shot.Count(plot.left, plot.MidY(), plot.left + 4, plot.MidY() + 1, IsDark), 0) << "left edge";
    EXPECT_GT(shot.Count(plot.right - 4, plot.MidY(), plot.right, plot.MidY() + 1, IsDark), 0) << "right edge";
    EXPECT_GT(shot.Count(plot.MidX(), plot.top, plot.MidX() + 1, plot.top + 4, IsDark), 0) << "top edge";
    EXPECT_GT(shot.Count(plot.MidX(), plot.bottom - 4, plot.MidX() + 1, plot.bottom, IsDark), 0) << "bottom edge";
    // White margins beside and just below the plot.
    const auto white = [](uint32_t p) { return (p & 0xFFFFFFu) == 0xFFFFFFu; };
    EXPECT_EQ(shot.Count(0, 0, plot.right + 5, 3, white), (plot.right + 5) * 3) << "margin above the plot";
    EXPECT_EQ(shot.Count(0, plot.top, 3, plot.bottom, white), 3 * plot.Height()) << "margin left of the plot";
    EXPECT_EQ(shot.Count(plot.right + 2, plot.top, plot.right + 5, plot.bottom, white), 3 * plot.Height())
        << "margin right of the plot";
}

// No sound yet: only the light plot background inside a dark outline, and
// the controls below stay visible (the frame is not drawn over them).
TEST(NoSoundView, EmptyPlotShowsBackgroundOutlineAndTheControls) {
    App app;
    ASSERT_TRUE(app.Start());
    const PlotArea plot = PlotOf(app);
    const int ids[] = {ID_RECORD_BUTTON, ID_PLAY_BUTTON, ID_CUT_BUTTON, ID_EVENT_LOG};
    const Shot shot = Screenshot(
        app,
        [&](const Shot& s) {
            if (!EmptyPlotShown(s, plot)) return false;
            for (int id : ids) {
                const RECT r = app.ControlRect(id);
                if (s.Count(r.left + 2, r.top + 2, r.right - 2, r.bottom - 2,
                            [](uint32_t p) { return Shot::G(p) < 180; }) == 0)
                    return false;
            }
            return true;
        },
        "the empty plot and the controls");
    ASSERT_FALSE(shot.Empty());
    ExpectEmptyPlot(shot, plot);

    // Buttons, the event log and the time display are drawn by their own
    // windows: their rectangles hold no plot colour and not just white.
    for (int id : ids) {
        const RECT r = app.ControlRect(id);
        ASSERT_GT(r.right - r.left, 4) << id;
        const int x0 = int(r.left) + 2, y0 = int(r.top) + 2, x1 = int(r.right) - 2, y1 = int(r.bottom) - 2;
        const int all = (x1 - x0) * (y1 - y0);
        EXPECT_EQ(shot.Count(x0, y0, x1, y1, IsPlotBackground), 0) << "control " << id;
        EXPECT_LT(shot.Count(x0, y0, x1, y1, [](uint32_t p) { return (p & 0xFFFFFF) == 0xFFFFFF; }), all)
            << "control " << id << " is plain white";
        // Text or edges (grey on a disabled button).
        EXPECT_GT(shot.Count(x0, y0, x1, y1, [](uint32_t p) { return Shot::G(p) < 180; }), 0)
            << "control " << id << " shows no text or edge";
    }
}

// The drawing surface follows the window: after a resize the plot fills the
// new width and height, and after the window was minimised (an empty client
// area) and restored it is drawn again.
TEST(NoSoundView, PlotFollowsResizeAndSurvivesMinimising) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.Resize(900, 650));
    PlotArea plot = PlotOf(app);
    ASSERT_GT(plot.right, 780) << "the client area did not grow";
    Shot shot = Screenshot(app, [&](const Shot& s) { return EmptyPlotShown(s, plot); }, "the grown empty plot");
    ASSERT_FALSE(shot.Empty());
    ExpectEmptyPlot(shot, plot);

    ASSERT_TRUE(app.Minimise());
    ASSERT_TRUE(app.Sync());
    ASSERT_TRUE(app.Restore());
    ASSERT_TRUE(app.Running());
    plot = PlotOf(app);
    shot = Screenshot(app, [&](const Shot& s) { return EmptyPlotShown(s, plot); }, "the restored empty plot");
    ASSERT_FALSE(shot.Empty());
    ExpectEmptyPlot(shot, plot);
}

// A mono square wave, clipped in its first half only: green trace, red marks
// over the first half and none over the second; none at all with the marks
// switched off; the same in the detailed drawing, in its own shade.
TEST(GraphView, MonoClippingMarksInFastAndDetailedDrawing) {
    const std::wstring path = st::TestFile(L"half-clipped.wav");
    ASSERT_TRUE(st::WriteWav(path, HalfClippedMono()));
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(OpenSound(app, path, GraphFrames));
    const PlotArea plot = PlotOf(app);
    // Columns clear of the middle, where the loud half meets the quiet one.
    const int loudEnd = plot.left + plot.Width() * 45 / 100;
    const int quietStart = plot.left + plot.Width() * 55 / 100;

    struct Drawing {
        const char* name;
        int command;
        bool (*green)(uint32_t);
    };
    for (const Drawing& d : {Drawing{"fast", IDM_GRAPH_FAST, IsFastGreen},
                             Drawing{"detailed", IDM_GRAPH_DETAILED, IsDetailedGreen}}) {
        SCOPED_TRACE(d.name);
        auto other = d.green == IsFastGreen ? IsDetailedGreen : IsFastGreen;
        ASSERT_TRUE(app.Command(d.command));
        Shot shot = Screenshot(
            app,
            [&](const Shot& s) {
                return s.Count(plot.left, plot.top, loudEnd, plot.bottom, IsClipMark) > (loudEnd - plot.left) * 20 &&
                       s.Count(quietStart, plot.top, plot.right, plot.bottom, d.green) >
                           (plot.right - quietStart) * 5 &&
                       s.Count(plot.left, plot.top, plot.right, plot.bottom, other) == 0;
            },
            std::string("the marked ") + d.name + " drawing");
        ASSERT_FALSE(shot.Empty());
        EXPECT_GT(shot.Count(plot.left, plot.top, loudEnd, plot.bottom, IsClipMark), (loudEnd - plot.left) * 20);
        EXPECT_EQ(shot.Count(quietStart, plot.top, plot.right, plot.bottom, IsClipMark), 0);
        EXPECT_GT(shot.Count(quietStart, plot.top, plot.right, plot.bottom, d.green), (plot.right - quietStart) * 5);
        // The other drawing's shade must not appear: the chosen one drew.
        EXPECT_EQ(shot.Count(plot.left, plot.top, plot.right, plot.bottom, other), 0);

        ASSERT_TRUE(app.Command(IDM_SHOW_CLIPPING));  // marks off
        shot = Screenshot(
            app,
            [&](const Shot& s) {
                return s.Count(plot.left, plot.top, plot.right, plot.bottom, IsClipMark) == 0 &&
                       s.Count(plot.left, plot.top, loudEnd, plot.bottom, d.green) > (loudEnd - plot.left) * 5;
            },
            std::string("the ") + d.name + " drawing without marks");
        ASSERT_FALSE(shot.Empty());
        EXPECT_EQ(shot.Count(plot.left, plot.top, plot.right, plot.bottom, IsClipMark), 0);
        EXPECT_GT(shot.Count(plot.left, plot.top, loudEnd, plot.bottom, d.green), (loudEnd - plot.left) * 5)
            << "the loud half's trace shows once the marks are gone";
        ASSERT_TRUE(app.Command(IDM_SHOW_CLIPPING));  // marks on again
    }
}

// Stereo with only the right channel clipped: marks only in the lower half,
// where the right channel is drawn; the left trace shows in the upper half.
// Both drawings are drawn once: a minimise and restore at the same size, and
// the repaints after it, present the held frame, which still shows the graph.
TEST(GraphView, StereoRightChannelClippingMarksOnlyTheLowerHalf) {
    const std::wstring path = st::TestFile(L"right-clipped.wav");
    ASSERT_TRUE(st::WriteWav(path, RightClippedStereo()));
    const FrameTimesFile frames(st::TestFile(L"frames.txt"));
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(OpenSound(app, path, GraphFrames));
    const PlotArea plot = PlotOf(app);
    for (int command : {IDM_GRAPH_FAST, IDM_GRAPH_DETAILED}) {
        const char* drawing = command == IDM_GRAPH_FAST ? "fast" : "detailed";
        SCOPED_TRACE(drawing);
        ASSERT_TRUE(app.Command(command));
        for (bool restored : {false, true}) {
            SCOPED_TRACE(restored ? "after a minimise and restore" : "as drawn");
            if (restored) {
                ASSERT_TRUE(app.Minimise());
                ASSERT_TRUE(app.Restore());
            }
            // A restored window is mapped again on Wine's own schedule, and a
            // frame put on it before that is lost: wait for the picture.
            const Shot shot = Screenshot(
                app,
                [&](const Shot& s) {
                    return s.Count(plot.left, plot.top, plot.right, plot.MidY() - 2, IsClipMark) == 0 &&
                           s.Count(plot.left, plot.MidY() + 2, plot.right, plot.bottom, IsClipMark) >
                               plot.Width() * 20 &&
                           s.Count(plot.left, plot.top, plot.right, plot.MidY() - 2, IsGreenTrace) > plot.Width() * 5;
                },
                "the stereo graph marked in its lower half");
            ASSERT_FALSE(shot.Empty());
            EXPECT_EQ(shot.Count(plot.left, plot.top, plot.right, plot.MidY() - 2, IsClipMark), 0);
            EXPECT_GT(shot.Count(plot.left, plot.MidY() + 2, plot.right, plot.bottom, IsClipMark), plot.Width() * 20);
            EXPECT_GT(shot.Count(plot.left, plot.top, plot.right, plot.MidY() - 2, IsGreenTrace), plot.Width() * 5);
        }
        const std::vector<std::string> shown = frames.Contents();
        const auto drawn = std::count(shown.begin(), shown.end(), drawing);
        EXPECT_EQ(drawn, 1) << "frames drawn " << drawing;
        EXPECT_EQ(shown.back(), "held");
    }
}

namespace {

// Sounds whose detailed drawing a strip through fewer vertices than frames
// could get wrong, each with what its picture shows (so that a capture
// cannot be taken of the sound before it).
struct DetailedCase {
    const char* name;
    st::Wav wav;
    std::function<bool(const Shot&, const PlotArea&)> shown;
    bool oddWidth = false;  // drawn after the window was widened to an odd plot width
};

std::vector<DetailedCase> DetailedCases() {
    auto count = [](const Shot& s, const PlotArea& p, bool (*pred)(uint32_t)) {
        return s.Count(p.left, p.top, p.right, p.bottom, pred);
    };
    auto blue = [](uint32_t p) { return IsRgb(p, 0, 0, 166); };
    std::vector<DetailedCase> cases;
    uint32_t seed = 12345;
    auto random = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };

    // 16-bit stereo noise of changing loudness, silent for 0.4 s of every 2 s.
    std::vector<int> noise;
    for (uint32_t i = 0; i < Rate * 12; ++i) {
        const bool silent = i % (2 * Rate) >= Rate * 8 / 5;
        const int peak = 2000 + int(i / Rate) * 2500;
        for (int c = 0; c < 2; ++c) noise.push_back(silent ? 0 : int(random() % uint32_t(2 * peak)) - peak);
    }
    cases.push_back({"16-bit stereo noise with silences", {}, [=](const Shot& s, const PlotArea& p) {
                         return count(s, p, blue) > p.Width();
                     }});
    cases.back().wav.channels = 2;
    cases.back().wav.data = st::PcmBytes(noise);

    // 8-bit mono silence with single-frame spikes of every height, both ways.
    std::vector<int> spikes(Rate * 20, 0);
    for (uint32_t i = 700, n = 0; i < spikes.size(); i += 700 + random() % 9000, ++n)
        spikes[i] = n % 16 == 0 ? (n % 32 ? 127 : -128) : int(random() % 256) - 128;
    cases.push_back({"8-bit mono spikes", {}, [=](const Shot& s, const PlotArea& p) {
                         return count(s, p, IsClipMark) < p.Width() * p.Height() / 20 && count(s, p, blue) == 0 &&
                                count(s, p, IsDetailedGreen) > p.Width() / 2;
                     }});
    cases.back().wav.bitsPerSample = 8;
    cases.back().wav.data = st::PcmBytes(spikes, 8);

    // 24-bit square wave at full scale (clipped, marked) for 0.3 s of every
    // second, at 60 % of it otherwise.
    std::vector<int> square(Rate * 10);
    for (uint32_t i = 0; i < square.size(); ++i) {
        const bool high = (i / 150) % 2 == 0, loud = i % Rate < Rate * 3 / 10;
        square[i] = loud ? (high ? 0x7FFFFF : -0x800000) : (high ? 0x4CCCCC : -0x4CCCCC);
    }
    cases.push_back({"24-bit square with clipping", {}, [=](const Shot& s, const PlotArea& p) {
                         return count(s, p, IsClipMark) > p.Width() * p.Height() / 10;
                     }});
    cases.back().wav.bitsPerSample = 24;
    cases.back().wav.data = st::PcmBytes(square, 24);

    // A slow 16-bit sine: few rows per column, where the strip's order shows.
    cases.push_back({"slow sine at an odd width", {}, [=](const Shot& s, const PlotArea& p) {
                         return count(s, p, IsClipMark) == 0 && count(s, p, blue) == 0 &&
                                count(s, p, IsDetailedGreen) > p.Width();
                     }, true});
    cases.back().wav.data = st::Sine16(Rate * 10, Rate, 2.7, 30000);
    return cases;
}

}  // namespace

// The detailed drawing shows the very pixels of the line strip through every
// frame, which the measurement build draws when DUDORORI_EVERY_FRAME_STRIP
// is 1 at its start: each sound is drawn by a program started that way and
// by one started without it, and the plots are compared. The vertices each
// drew tell that both ways were taken.
TEST(GraphView, DetailedDrawingShowsTheStripThroughEveryFrame) {
    const std::vector<DetailedCase> cases = DetailedCases();
    auto file = [](size_t i, const wchar_t* what) { return st::TestFile(std::to_wstring(i) + what); };
    for (size_t i = 0; i < cases.size(); ++i) ASSERT_TRUE(st::WriteWav(file(i, L".wav"), cases[i].wav));
    const FrameTimesFile frameTimes(st::TestFile(L"frames.txt"));
    std::vector<Shot> everyFrame;
    std::vector<unsigned long long> everyFrameVertices;
    for (const bool reduced : {false, true}) {
        SCOPED_TRACE(reduced ? "drawn as it is" : "drawn through every frame");
        App app;
        {
            const st::ScopedEnv strip(L"DUDORORI_EVERY_FRAME_STRIP", reduced ? L"0" : L"1");
            ASSERT_TRUE(app.Start());
        }
        for (size_t i = 0; i < cases.size(); ++i) {
            const DetailedCase& c = cases[i];
            SCOPED_TRACE(c.name);
            if (c.oddWidth) {
                const RECT w = app.WindowRect();
                const int width = int(w.right - w.left) + 61, height = int(w.bottom - w.top);
                ASSERT_TRUE(app.Resize(width, height));
                if (PlotOf(app).Width() % 2 == 0) {
                    ASSERT_TRUE(app.Resize(width + 1, height));
                }
            }
            const PlotArea plot = PlotOf(app);
            if (c.oddWidth) {
                ASSERT_EQ(1, plot.Width() % 2);
            }
            const uint32_t frames = uint32_t(c.wav.data.size() / (c.wav.channels * c.wav.bitsPerSample / 8));
            ASSERT_TRUE(OpenSound(app, file(i, L".wav"), frames));
            ASSERT_TRUE(app.Command(IDM_GRAPH_DETAILED));
            Shot shot = Screenshot(
                app,
                [&](const Shot& s) {
                    return c.shown(s, plot) && s.Count(plot.left, plot.top, plot.right, plot.bottom, IsFastGreen) == 0;
                },
                std::string("the detailed drawing of ") + c.name);
            ASSERT_FALSE(shot.Empty());
            unsigned long long vertices = 0;
            frameTimes.Contents("detailed", &vertices);
            if (!reduced) {
                EXPECT_GE(vertices, uint64_t(frames) * c.wav.channels) << "no strip through every frame";
                everyFrame.push_back(std::move(shot));
                everyFrameVertices.push_back(vertices);
                continue;
            }
            EXPECT_LT(vertices * 4, everyFrameVertices[i]) << "the reduced drawing kept nearly every frame";
            const st::PictureDifference d = st::ComparePictures(everyFrame[i], shot, plot.left, plot.top,
                                                                plot.right, plot.bottom, IsPlotBackground);
            std::printf("%s: %s; %llu vertices, %llu through every frame\n", c.name, d.Describe().c_str(), vertices,
                        everyFrameVertices[i]);
            EXPECT_GT(d.lit, plot.Width());
            EXPECT_EQ(0, d.differing) << d.Describe();
            if (d.differing) {
                everyFrame[i].SavePpm(file(i, L"-every-frame.ppm"));
                shot.SavePpm(file(i, L"-drawn.ppm"));
            }
        }
    }
}

// While playing: the progress bar grows; a click one row above the seek band
// changes nothing, a click in the middle of the band moves the position to
// about half of the sound; after playback a click in the band does nothing.
TEST(PlaybackView, ProgressBarGrowsAndAClickInTheBandSeeks) {
    const double seconds = 20;
    st::Wav wav;
    wav.data = st::Sine16(uint32_t(Rate * seconds), Rate, 441.0);
    const std::wstring path = st::TestFile(L"sine.wav");
    ASSERT_TRUE(st::WriteWav(path, wav));
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(OpenSound(app, path, uint32_t(Rate * seconds)));
    const PlotArea plot = PlotOf(app);

    ASSERT_TRUE(app.Click(ID_PLAY_BUTTON));
    ASSERT_TRUE(st::WaitUntil([&] { return PositionSeconds(app.Text(ID_TIME_DISPLAY)) >= 1; },
                              "the playback position to reach 1 s"));
    Shot shot = Screenshot(
        app,
        [&](const Shot& s) {
            return ProgressBarEnd(s, plot) > plot.left &&
                   s.Count(plot.left, plot.top, plot.right, plot.bottom, IsLiveGreen) > 50;
        },
        "the progress bar and the live trace", false);
    ASSERT_FALSE(shot.Empty());
    const int firstEnd = ProgressBarEnd(shot, plot);
    ASSERT_GT(firstEnd, plot.left) << "no progress bar";
    EXPECT_GT(shot.Count(plot.left, plot.top, plot.right, plot.bottom, IsLiveGreen), 50) << "no live trace";

    ASSERT_TRUE(st::WaitUntil([&] { return PositionSeconds(app.Text(ID_TIME_DISPLAY)) >= 3; },
                              "the playback position to reach 3 s"));
    // Paused, the position holds still while it is pictured: the bar ends
    // within the second the time display shows.
    ASSERT_TRUE(app.Command(ID_PAUSE_BUTTON));
    double at = -1;
    const auto barAtPosition = [&](const Shot& s) {
        at = PositionSeconds(app.Text(ID_TIME_DISPLAY));
        const int end = ProgressBarEnd(s, plot);
        return at >= 0 && end >= plot.left + int(plot.Width() * at / seconds) - 3 &&
               end <= plot.left + int(plot.Width() * (at + 1) / seconds) + 3;
    };
    shot = Screenshot(app, barAtPosition, "the progress bar at the paused position");
    ASSERT_FALSE(shot.Empty());
    EXPECT_GT(ProgressBarEnd(shot, plot), firstEnd + plot.Width() / 20) << "the bar did not grow";

    // The row just above the band is outside it: a click there at 80 % of
    // the width must not move the position.
    const std::wstring paused = app.Text(ID_TIME_DISPLAY);
    ASSERT_TRUE(app.MouseClick(plot.left + plot.Width() * 8 / 10, plot.bottom - 20));
    ASSERT_TRUE(ClickedThrough(app));
    EXPECT_EQ(st::Narrow(paused), st::Narrow(app.Text(ID_TIME_DISPLAY)));

    ASSERT_TRUE(app.MouseClick(plot.MidX(), plot.bottom - 10));
    EXPECT_TRUE(st::WaitUntil([&] { return PositionSeconds(app.Text(ID_TIME_DISPLAY)) >= 9; },
                              "the position to jump to the middle", 5000))
        << st::Narrow(app.Text(ID_TIME_DISPLAY));
    EXPECT_LE(PositionSeconds(app.Text(ID_TIME_DISPLAY)), 10) << st::Narrow(app.Text(ID_TIME_DISPLAY));
    shot = Screenshot(app, barAtPosition, "the progress bar after the seek");
    ASSERT_FALSE(shot.Empty());

    // Stopped: the band takes no clicks and the graph is back.
    ASSERT_TRUE(app.Click(ID_STOP_PLAY_BUTTON));
    ASSERT_TRUE(st::WaitUntil([&] { return PositionSeconds(app.Text(ID_TIME_DISPLAY)) < 0; },
                              "the position to leave the time display"));
    ASSERT_TRUE(app.MouseClick(plot.MidX(), plot.bottom - 10));
    ASSERT_TRUE(ClickedThrough(app));
    EXPECT_LT(PositionSeconds(app.Text(ID_TIME_DISPLAY)), 0) << st::Narrow(app.Text(ID_TIME_DISPLAY));
    shot = Screenshot(app, [&](const Shot& s) { return ProgressBarEnd(s, plot) == -1; }, "the plot without the bar");
    ASSERT_FALSE(shot.Empty());
    EXPECT_EQ(ProgressBarEnd(shot, plot), -1);
}

// The lamps of one channel's row: three overload lamps 12, 25 and 38 pixels
// from the left (dark rim, grey or lit face) and fifteen VU lamps 12 pixels
// apart ending 12 pixels from the right (lit ones first, in their colours).
// Returns the number of lit VU lamps.
int ExpectLampRow(const Shot& shot, const PlotArea& plot, int row) {
    const double w = plot.Width();
    auto isGrey = [](uint32_t p) { return IsRgb(p, 77, 77, 77); };
    const struct {
        int offset;
        int r, g, b;
    } overload[] = {{12, 255, 255, 26}, {25, 255, 179, 26}, {38, 255, 26, 26}};
    for (const auto& lamp : overload) {
        const int x = plot.PixelX(lamp.offset / w);
        const uint32_t face = shot.At(x, row);
        EXPECT_TRUE(isGrey(face) || IsRgb(face, lamp.r, lamp.g, lamp.b))
            << "overload lamp at " << lamp.offset << " has colour " << std::hex << face;
        EXPECT_TRUE(IsDark(shot.At(x - 6, row))) << "rim of lamp " << lamp.offset;
        EXPECT_TRUE(IsDark(shot.At(x, row - 6))) << "rim of lamp " << lamp.offset;
    }
    bool seenGrey = false;
    int lit = 0;
    for (int i = 0; i < 15; ++i) {
        const int x = plot.PixelX((w - (15 - i) * 12) / w);
        const uint32_t face = shot.At(x, row);
        EXPECT_TRUE(IsDark(shot.At(x + 6, row))) << "rim of VU lamp " << i;
        if (isGrey(face)) {
            seenGrey = true;
            continue;
        }
        EXPECT_FALSE(seenGrey) << "lit VU lamp " << i << " after a grey one";
        const bool colour = i <= 8    ? IsRgb(face, 26, 242, 26)
                            : i <= 11 ? IsRgb(face, 255, 255, 51)
                                      : IsRgb(face, 255, 128, 51);
        EXPECT_TRUE(colour) << "VU lamp " << i << " has colour " << std::hex << face;
        ++lit;
    }
    return lit;
}

// Records about a second from the sine source and returns a screenshot
// taken while recording, once it shows what `expected` asks for.
Shot ShotWhileRecording(App& app, const std::function<bool(const Shot&)>& expected) {
    if (!app.Click(ID_RECORD_BUTTON)) return Shot();
    const bool second = st::WaitUntil(
        [&] { return app.Text(ID_TIME_DISPLAY).find(L"0:01") != std::wstring::npos; }, "one second of recording");
    const Shot shot = second ? Screenshot(app, expected, "the live view", false) : Shot();
    app.Click(ID_STOP_RECORD_BUTTON);
    return shot;
}

bool IsLiveBlue(uint32_t p) { return IsRgb(p, 0, 0, 179); }

// While recording from the sine source (mono): the live trace, the three
// overload lamps and the fifteen VU lamps 15 pixels below the top.
TEST(CaptureView, LiveTraceAndLampsWhileRecordingMono) {
    App app;
    ASSERT_TRUE(app.Start());
    const PlotArea plot = PlotOf(app);
    const Shot shot = ShotWhileRecording(app, [&](const Shot& s) {
        return s.Count(plot.left, plot.top, plot.right, plot.bottom, IsLiveGreen) > plot.Width() / 2;
    });
    ASSERT_FALSE(shot.Empty());
    EXPECT_GT(shot.Count(plot.left, plot.top, plot.right, plot.bottom, IsLiveGreen), plot.Width() / 2)
        << "no live trace";
    EXPECT_EQ(shot.Count(plot.left, plot.top, plot.right, plot.bottom, IsLiveBlue), 0);
    EXPECT_GT(ExpectLampRow(shot, plot, plot.PixelY((plot.Height() - 15.0) / plot.Height())), 0)
        << "the sine source lights no VU lamp";
    // No second row of lamps for a mono sound.
    const int secondRow = plot.PixelY((plot.Height() / 2.0 - 15.0) / plot.Height());
    EXPECT_FALSE(IsDark(shot.At(plot.PixelX(12.0 / plot.Width()) - 6, secondRow)));
}

// Stereo: left trace green in the upper half, right trace blue in the lower
// half, and a row of lamps per channel (the right one 15 pixels below the
// middle).
TEST(CaptureView, LiveTracesAndLampsWhileRecordingStereo) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.SetComboSel(ID_CHANNELS_COMBO, 1));
    const PlotArea plot = PlotOf(app);
    const Shot shot = ShotWhileRecording(app, [&](const Shot& s) {
        return s.Count(plot.left, plot.top, plot.right, plot.MidY(), IsLiveGreen) > plot.Width() / 2 &&
               s.Count(plot.left, plot.MidY(), plot.right, plot.bottom, IsLiveBlue) > plot.Width() / 2;
    });
    ASSERT_FALSE(shot.Empty());
    EXPECT_GT(shot.Count(plot.left, plot.top, plot.right, plot.MidY(), IsLiveGreen), plot.Width() / 2);
    EXPECT_EQ(shot.Count(plot.left, plot.MidY() + 1, plot.right, plot.bottom, IsLiveGreen), 0);
    EXPECT_GT(shot.Count(plot.left, plot.MidY(), plot.right, plot.bottom, IsLiveBlue), plot.Width() / 2);
    EXPECT_EQ(shot.Count(plot.left, plot.top, plot.right, plot.MidY() - 1, IsLiveBlue), 0);
    const int left = ExpectLampRow(shot, plot, plot.PixelY((plot.Height() - 15.0) / plot.Height()));
    const int right = ExpectLampRow(shot, plot, plot.PixelY((plot.Height() / 2.0 - 15.0) / plot.Height()));
    EXPECT_GT(left, 0);
    EXPECT_GT(right, 0);
}

// Version and extensions of an OpenGL context made in this process, whose
// environment (and so renderer) the program shares.
std::string GlVersionAndExtensionsHere() {
    WNDCLASSW wc{};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"st_gl_probe";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 16, 16, nullptr, nullptr, wc.hInstance,
                                  nullptr);
    HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    SetPixelFormat(dc, ChoosePixelFormat(dc, &pfd), &pfd);
    HGLRC rc = wglCreateContext(dc);
    std::string text;
    if (rc && wglMakeCurrent(dc, rc)) {
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        text = std::string(version ? version : "") + "\n" + (extensions ? extensions : "");
        wglMakeCurrent(nullptr, nullptr);
    }
    if (rc) wglDeleteContext(rc);
    ReleaseDC(window, dc);
    DestroyWindow(window);
    return text;
}

// A renderer without framebuffer objects and without GL_BGRA_EXT (as the
// Windows software OpenGL 1.1 renderer or a remote session may be): the test
// group's environment makes Mesa give such a context. The plot, the controls and
// the graph of a loaded sound show in their true colours, and once the
// detailed drawing of a long sound is on the screen the program draws it no
// more: the busy popup of that drawing uncovers the window when it closes,
// and the paint this asks for presents the frame it already has.
TEST(NoFramebufferView, TheDrawingShowsAndIsNotRepeatedWhenUncovered) {
    const std::string gl = GlVersionAndExtensionsHere();
    ASSERT_EQ(0u, gl.find("1.1 ")) << gl;
    ASSERT_EQ(std::string::npos, gl.find("GL_EXT_framebuffer_object")) << gl;
    ASSERT_EQ(std::string::npos, gl.find("GL_EXT_bgra")) << gl;

    const FrameTimesFile frameTimes(st::TestFile(L"frames.txt"));

    // Long enough for the detailed drawing's busy popup: 601 s of 16-bit mono.
    const uint32_t seconds = 601;
    st::Wav wav;
    wav.data.resize(size_t(Rate) * seconds * 2);
    for (size_t i = 0; i < wav.data.size() / 2; ++i) {
        const int v = Square(uint32_t(i), 200, 16000);
        wav.data[2 * i] = uint8_t(v & 0xFF);
        wav.data[2 * i + 1] = uint8_t((v >> 8) & 0xFF);
    }
    const std::wstring path = st::TestFile(L"long.wav");
    ASSERT_TRUE(st::WriteWav(path, wav));

    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.PostCommand(IDM_OPENGL_INFO));
    st::Dialog info = app.WaitMessageBox();
    ASSERT_TRUE(info);
    EXPECT_NE(std::wstring::npos, info.MessageText().find(L"\nVersion: 1.1")) << st::Narrow(info.MessageText());
    ASSERT_TRUE(info.PressAndWaitGone(IDOK));

    const PlotArea plot = PlotOf(app);
    Shot shot = Screenshot(app, [&](const Shot& s) { return EmptyPlotShown(s, plot); }, "the empty plot");
    ASSERT_FALSE(shot.Empty());
    ExpectEmptyPlot(shot, plot);
    for (int id : {ID_RECORD_BUTTON, ID_PLAY_BUTTON, ID_CUT_BUTTON, ID_EVENT_LOG}) {
        const RECT r = app.ControlRect(id);
        EXPECT_GT(shot.Count(r.left + 2, r.top + 2, r.right - 2, r.bottom - 2,
                             [](uint32_t p) { return Shot::G(p) < 180; }),
                  0)
            << "control " << id << " shows no text or edge";
    }

    const DWORD longWait = 180000;
    ASSERT_TRUE(app.PostCommand(IDM_OPEN));
    st::Dialog dialog = app.WaitFileDialog();
    ASSERT_TRUE(dialog && dialog.Accept(path));
    ASSERT_TRUE(app.ExpectBox(L" Файл успешно открыт!", L"Success", IDOK, longWait));
    ASSERT_TRUE(app.Settle());
    ASSERT_TRUE(app.Command(IDM_GRAPH_DETAILED));
    const auto detailedShown = [&](const Shot& s) {
        return s.Count(plot.left, plot.top, plot.right, plot.bottom, IsDetailedGreen) > plot.Width() * 5 &&
               s.Count(plot.left, plot.top, plot.right, plot.bottom, IsFastGreen) == 0;
    };
    shot = app.CaptureWhen(detailedShown, "the detailed graph", true, longWait);
    ASSERT_FALSE(shot.Empty());
    EXPECT_TRUE(detailedShown(shot));

    // The popup is gone and the window painted; one more paint is asked for.
    ASSERT_TRUE(st::WaitUntil(
        [&] { return IsWindowEnabled(app.Main()) && !GetUpdateRect(app.Main(), nullptr, FALSE); },
        "the busy popup to close", longWait));
    ASSERT_TRUE(app.Sync(longWait));
    ASSERT_TRUE(app.Repaint());
    const std::vector<std::string> lines = frameTimes.Contents();
    ASSERT_FALSE(lines.empty()) << "no frame times written";
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), std::string("detailed"))) << "the detailed graph was drawn again";
    EXPECT_EQ("held", lines.back());
}
