// Timing of the real program under Wine, driven from outside like a user:
// File / Open of each sound (dialog OK to the success box and the first
// graph frame), the fast and the detailed whole-sound graph, a minimise and
// restore, a resize of the window holding the detailed graph, File / Save as
// beside a plain WriteFile of the same bytes, and the memory the loaded
// sound takes. The sounds of the graph table get the graph frames alone.
//
// Set by scripts/bench:
//   DUDORORI_BENCH_SOUNDS   "label=path;label=path" (Windows paths)
//   DUDORORI_BENCH_RESULTS  file that receives "label_figure value" lines
//   DUDORORI_BENCH_FIRST    a short sound opened before each measured one, so
//                           that a second idle figure holds what the file
//                           dialog loads into the program once (optional)
//   DUDORORI_BENCH_FRAMES   how many fast and detailed frames to draw, taking
//                           turns (the medians are reported; default 1)
//   DUDORORI_BENCH_SAVES    how many saves, each after a plain write of the
//                           sound's file (medians; default 1)
//   DUDORORI_BENCH_GRAPH_ONLY  labels ("5min-quiet-mono 1h-quiet") whose
//                           sound is only opened and drawn: the fast and the
//                           detailed frames and the plot's size, nothing else
//                           (optional)
//   DUDORORI_BENCH_EVERY_FRAME_STRIP  labels ("5min 1h") whose detailed frame
//                           is also drawn by a program started with
//                           DUDORORI_EVERY_FRAME_STRIP=1: the strip through
//                           every frame, the drawing's old way (optional)
// The program writes its frame times to DUDORORI_FRAME_TIMES, which this
// program points at a file of its own work folder.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "PlainWrite.h"
#include "SystemTest.h"
#include "app/ControlIds.h"

namespace {

using st::App;

constexpr DWORD LongWait = 300000;  // a detailed hour takes tens of seconds

double NowMs() {
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

struct Frame {
    std::string content;
    double drawMs = 0, presentMs = 0;
    double TotalMs() const { return drawMs + presentMs; }
};

std::vector<Frame> ReadFrames(const std::wstring& path) {
    std::vector<Frame> frames;
    std::ifstream in(st::Narrow(path));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Frame f;
        if (fields >> f.content >> f.drawMs >> f.presentMs) frames.push_back(f);
    }
    return frames;
}

// Waits for the first frame after the first `seen` ones whose content is
// `content` (any but "empty" when null); its time of arrival (as this
// program saw it) goes to *atMs.
bool NextShownFrame(const std::wstring& log, size_t seen, Frame* frame, double* atMs, const char* content = nullptr) {
    return st::WaitUntil(
        [&] {
            const std::vector<Frame> frames = ReadFrames(log);
            for (size_t i = seen; i < frames.size(); ++i)
                if (content ? frames[i].content == content : frames[i].content != "empty") {
                    *frame = frames[i];
                    *atMs = NowMs();
                    return true;
                }
            return false;
        },
        std::string("a frame of the graph ") + (content ? content : ""), LongWait);
}

size_t FrameCount(const std::wstring& log) { return ReadFrames(log).size(); }

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int EnvCount(const wchar_t* name) {
    const int n = _wtoi(st::EnvOrEmpty(name).c_str());
    return n > 0 ? n : 1;
}

// Whether `label` is one of the blank-separated words of the variable.
bool Listed(const wchar_t* name, const std::string& label) {
    std::istringstream words(st::Narrow(st::EnvOrEmpty(name)));
    std::string word;
    while (words >> word)
        if (word == label) return true;
    return false;
}

struct Memory {
    double nowMB = 0, peakMB = 0;
};
Memory MemoryOf(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    Memory m;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
        m.nowMB = double(counters.PagefileUsage) / 1048576.0;
        m.peakMB = double(counters.PeakPagefileUsage) / 1048576.0;
    }
    return m;
}

std::vector<std::pair<std::string, std::wstring>> Sounds() {
    std::vector<std::pair<std::string, std::wstring>> sounds;
    std::wstringstream all(st::EnvOrEmpty(L"DUDORORI_BENCH_SOUNDS"));
    std::wstring item;
    while (std::getline(all, item, L';')) {
        const size_t eq = item.find(L'=');
        if (eq != std::wstring::npos) sounds.emplace_back(st::Narrow(item.substr(0, eq)), item.substr(eq + 1));
    }
    return sounds;
}

class Results {
public:
    explicit Results(const std::string& label) : label_(label) {}
    // Each value as figure_1, figure_2, ... and their median as figure.
    void PutRuns(const std::string& figure, const std::vector<double>& values) {
        for (size_t i = 0; i < values.size(); ++i) Put(figure + "_" + std::to_string(i + 1), values[i]);
        Put(figure, Median(values));
    }
    void Put(const std::string& figure, double value) {
        std::FILE* out = _wfopen(st::EnvOrEmpty(L"DUDORORI_BENCH_RESULTS").c_str(), L"a");
        if (!out) return;
        std::fprintf(out, "%s_%s %.2f\n", label_.c_str(), figure.c_str(), value);
        std::fclose(out);
        std::printf("%s_%s %.2f\n", label_.c_str(), figure.c_str(), value);
    }

private:
    std::string label_;
};

// Every sound's frames are drawn in a plot of one size, the one the pixel
// table and the native benchmark draw: the quiet sounds' levels are chosen
// so that each trace stays inside one of its rows. The plot keeps 5 pixels
// to the client area's top, left and right edges and leaves the bottom 325
// to the controls.
constexpr int PlotWidth = 770, PlotHeight = 235;
constexpr int PlotMarginsX = 10, PlotMarginsY = 330;

// A fresh file of the work folder for the frame times of the next program
// started (DUDORORI_FRAME_TIMES).
std::wstring NewFrameLog(const std::string& label, const wchar_t* suffix) {
    const std::wstring log = st::TestFile(std::wstring(label.begin(), label.end()) + suffix);
    st::RemoveFile(log);
    SetEnvironmentVariableW(L"DUDORORI_FRAME_TIMES", log.c_str());
    return log;
}

// Where the envelope is ready (`first`, the first frame after the load, is a
// fast one), the window is sized for the table's plot and the fast and the
// detailed drawing take turns, the fast frame drawn for the new size counted
// first; otherwise only the first frame's time. And the plot's size.
void MeasureFrames(App& app, const std::wstring& frameLog, const Frame& first, Results& results) {
    if (first.content != "fast") {
        results.Put(first.content + "_frame_ms", first.TotalMs());
        return;
    }
    Frame firstFast = first;
    const RECT window = app.WindowRect(), client = app.ClientRect();
    const int growX = PlotWidth + PlotMarginsX - (client.right - client.left);
    const int growY = PlotHeight + PlotMarginsY - (client.bottom - client.top);
    if (growX || growY) {
        const size_t seen = FrameCount(frameLog);
        ASSERT_TRUE(SetWindowPos(app.Main(), nullptr, 0, 0, window.right - window.left + growX,
                                 window.bottom - window.top + growY, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
        double frameAt = 0;
        ASSERT_TRUE(NextShownFrame(frameLog, seen, &firstFast, &frameAt, "fast"));
        ASSERT_TRUE(app.Settle(LongWait));
    }
    const RECT plotClient = app.ClientRect();
    results.Put("plot_width", double(plotClient.right - plotClient.left - PlotMarginsX));
    results.Put("plot_height", double(plotClient.bottom - plotClient.top - PlotMarginsY));
    std::vector<double> fastMs{firstFast.TotalMs()}, detailedMs;
    const auto draw = [&](int command, const char* content, std::vector<double>& times) {
        const size_t seen = FrameCount(frameLog);
        ASSERT_TRUE(app.PostCommand(command));
        Frame frame;
        double frameAt = 0;
        ASSERT_TRUE(NextShownFrame(frameLog, seen, &frame, &frameAt, content));
        times.push_back(frame.TotalMs());
        ASSERT_TRUE(app.Settle(LongWait));
    };
    for (int turn = EnvCount(L"DUDORORI_BENCH_FRAMES"); turn > 0 && !::testing::Test::HasFatalFailure(); --turn) {
        if (detailedMs.size()) draw(IDM_GRAPH_FAST, "fast", fastMs);
        draw(IDM_GRAPH_DETAILED, "detailed", detailedMs);
    }
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    results.PutRuns("fast_frame_ms", fastMs);
    results.PutRuns("detailed_frame_ms", detailedMs);
}

void CloseAndWait(App& app) {
    app.Close();
    DWORD code = 0;
    app.WaitExit(LongWait, &code);
}

// A sound of the graph table (graphOnly) is opened and its frames drawn,
// nothing more.
void MeasureSound(const std::string& label, const std::wstring& path, bool graphOnly) {
    SCOPED_TRACE(label);
    Results results(label);
    const std::wstring frameLog = NewFrameLog(label, L"-frames.txt");
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.Settle());
    const Memory idle = MemoryOf(app.Process());
    Memory afterDialog = idle;
    const std::wstring first = graphOnly ? L"" : st::EnvOrEmpty(L"DUDORORI_BENCH_FIRST");
    if (!first.empty()) {
        ASSERT_TRUE(app.OpenFile(first));
        ASSERT_TRUE(app.Settle());
        afterDialog = MemoryOf(app.Process());
    }

    // Open: from the dialog's OK to the success box with the graph drawn.
    ASSERT_TRUE(app.PostCommand(IDM_OPEN));
    st::Dialog dialog = app.WaitFileDialog();
    ASSERT_TRUE(dialog);
    size_t seen = FrameCount(frameLog);
    const double openStart = NowMs();
    ASSERT_TRUE(dialog.Accept(path, LongWait));
    const double dialogGone = NowMs();
    st::Dialog box = app.WaitMessageBox(LongWait);
    ASSERT_TRUE(box);
    const double boxAt = NowMs();
    ASSERT_EQ(st::Narrow(box.MessageText()), st::Narrow(L" Файл успешно открыт!"));
    Frame frame;
    double frameAt = 0;
    ASSERT_TRUE(NextShownFrame(frameLog, seen, &frame, &frameAt));
    // The time from the dialog's OK until it is gone is the dialog's, not the
    // program's (0.2 to 0.3 s under a window manager, 2 s without one).
    const double openEnd = boxAt > frameAt ? boxAt : frameAt;
    results.Put("open_from_ok_ms", openEnd - openStart);
    results.Put("open_ms", openEnd - dialogGone);
    ASSERT_TRUE(box.PressAndWaitGone(IDOK));
    ASSERT_TRUE(app.Settle());
    const Memory loaded = MemoryOf(app.Process());
    results.Put("idle_MB", idle.nowMB);
    results.Put("peak_over_idle_MB", loaded.peakMB - idle.nowMB);
    results.Put("held_over_idle_MB", loaded.nowMB - idle.nowMB);
    results.Put("peak_over_dialog_idle_MB", loaded.peakMB - afterDialog.nowMB);

    MeasureFrames(app, frameLog, frame, results);
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    if (graphOnly) {
        CloseAndWait(app);
        return;
    }

    // A minimise and restore at the same size.
    ASSERT_TRUE(app.Minimise());
    seen = FrameCount(frameLog);
    const double restoreStart = NowMs();
    ShowWindow(app.Main(), SW_RESTORE);
    ASSERT_TRUE(NextShownFrame(frameLog, seen, &frame, &frameAt));
    results.Put("restore_ms", frameAt - restoreStart);
    results.Put("restore_drew_again", frame.content == "held" ? 0 : 1);
    results.Put("held_frame_ms", frame.TotalMs());
    ASSERT_TRUE(app.Settle(LongWait));

    // A resize of the window holding the detailed graph: from the call that
    // resizes it to the first detailed frame the program presents after it,
    // at the new size (as this program sees it arrive). A held frame of a
    // paint asked for before the resize may still come first.
    const RECT before = app.WindowRect();
    seen = FrameCount(frameLog);
    const double resizeStart = NowMs();
    ASSERT_TRUE(SetWindowPos(app.Main(), nullptr, 0, 0, before.right - before.left - 50,
                             before.bottom - before.top - 40, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    ASSERT_TRUE(NextShownFrame(frameLog, seen, &frame, &frameAt, "detailed"));
    results.Put("resize_ms", frameAt - resizeStart);
    ASSERT_TRUE(app.Settle(LongWait));

    // Save as: from the dialog's OK to the success box, each save after a
    // plain write of the sound's own file from this program's memory, so
    // that both meet the same state of the machine.
    std::vector<char> bytes;
    ASSERT_TRUE(plain::ReadWhole(path.c_str(), bytes));
    const std::wstring saved = st::TestFile(std::wstring(label.begin(), label.end()) + L"-saved.wav");
    std::vector<double> plainMs, fromOkMs, afterDialogMs;
    for (int run = EnvCount(L"DUDORORI_BENCH_SAVES"); run > 0; --run) {
        plainMs.push_back(plain::WriteMs(bytes, saved.c_str()));
        ASSERT_GE(plainMs.back(), 0) << "the plain write failed";
        ASSERT_TRUE(app.PostCommand(IDM_SAVE_AS));
        dialog = app.WaitFileDialog();
        ASSERT_TRUE(dialog);
        const double saveStart = NowMs();
        ASSERT_TRUE(dialog.Accept(saved, LongWait));
        const double saveDialogGone = NowMs();
        box = app.WaitMessageBox(LongWait);
        ASSERT_TRUE(box);
        fromOkMs.push_back(NowMs() - saveStart);
        afterDialogMs.push_back(NowMs() - saveDialogGone);
        EXPECT_EQ(st::Narrow(box.Caption()), st::Narrow(L"Файл успешно сохранён"));
        ASSERT_TRUE(box.PressAndWaitGone(IDOK));
        ASSERT_TRUE(app.Settle());
        st::RemoveFile(saved);
    }
    results.PutRuns("plain_write_beside_ms", plainMs);
    results.PutRuns("save_from_ok_ms", fromOkMs);
    results.PutRuns("save_ms", afterDialogMs);
    CloseAndWait(app);
}

// The detailed frame as the program draws it when started with
// DUDORORI_EVERY_FRAME_STRIP=1: a line strip through every frame.
void MeasureEveryFrameStrip(const std::string& label, const std::wstring& path) {
    SCOPED_TRACE(label + " through every frame");
    const std::wstring frameLog = NewFrameLog(label, L"-every-frame.txt");
    App app;
    {
        const st::ScopedEnv strip(L"DUDORORI_EVERY_FRAME_STRIP", L"1");
        ASSERT_TRUE(app.Start());
    }
    ASSERT_TRUE(app.OpenFile(path));
    ASSERT_TRUE(app.Settle(LongWait));
    const size_t seen = FrameCount(frameLog);
    ASSERT_TRUE(app.PostCommand(IDM_GRAPH_DETAILED));
    Frame frame;
    double frameAt = 0;
    ASSERT_TRUE(NextShownFrame(frameLog, seen, &frame, &frameAt, "detailed"));
    Results(label).Put("every_frame_detailed_frame_ms", frame.TotalMs());
    ASSERT_TRUE(app.Settle(LongWait));
    CloseAndWait(app);
}

}  // namespace

TEST(WineBench, OpenGraphRestoreSave) {
    const auto sounds = Sounds();
    ASSERT_FALSE(sounds.empty()) << "DUDORORI_BENCH_SOUNDS names no sound";
    for (const auto& [label, path] : sounds) {
        MeasureSound(label, path, Listed(L"DUDORORI_BENCH_GRAPH_ONLY", label));
        if (Listed(L"DUDORORI_BENCH_EVERY_FRAME_STRIP", label)) MeasureEveryFrameStrip(label, path);
    }
}
