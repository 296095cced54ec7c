// Timing of the real program under Wine, driven from outside like a user:
// File / Open of each sound (dialog OK to the success box and the first
// graph frame), the fast and the detailed whole-sound graph, a minimise and
// restore, File / Save as, and the memory the loaded sound takes.
//
// Set by scripts/bench:
//   DUDORORI_BENCH_SOUNDS   "label=path;label=path" (Windows paths)
//   DUDORORI_BENCH_RESULTS  file that receives "label_figure value" lines
//   DUDORORI_BENCH_FIRST    a short sound opened before each measured one, so
//                           that a second idle figure holds what the file
//                           dialog loads into the program once (optional)
// The program writes its frame times to DUDORORI_FRAME_TIMES, which this
// program points at a file of its own work folder.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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
// not "empty"; its time of arrival (as this program saw it) goes to *atMs.
bool NextShownFrame(const std::wstring& log, size_t seen, Frame* frame, double* atMs, DWORD timeoutMs = LongWait) {
    return st::WaitUntil(
        [&] {
            const std::vector<Frame> frames = ReadFrames(log);
            for (size_t i = seen; i < frames.size(); ++i)
                if (frames[i].content != "empty") {
                    *frame = frames[i];
                    *atMs = NowMs();
                    return true;
                }
            return false;
        },
        "a frame of the graph", timeoutMs);
}

size_t FrameCount(const std::wstring& log) { return ReadFrames(log).size(); }

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

void MeasureSound(const std::string& label, const std::wstring& path) {
    SCOPED_TRACE(label);
    Results results(label);
    const std::wstring frameLog = st::TestFile(std::wstring(label.begin(), label.end()) + L"-frames.txt");
    st::RemoveFile(frameLog);
    SetEnvironmentVariableW(L"DUDORORI_FRAME_TIMES", frameLog.c_str());
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.Settle());
    const Memory idle = MemoryOf(app.Process());
    Memory afterDialog = idle;
    const std::wstring first = st::EnvOrEmpty(L"DUDORORI_BENCH_FIRST");
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
    // Wine closes a file dialog slowly where no window manager answers it;
    // the time from its OK until it is gone is the dialog's, not the program's.
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
    results.Put(frame.content + "_frame_ms", frame.TotalMs());

    // The detailed drawing, then a minimise and restore at the same size.
    seen = FrameCount(frameLog);
    ASSERT_TRUE(app.PostCommand(IDM_GRAPH_DETAILED));
    ASSERT_TRUE(NextShownFrame(frameLog, seen, &frame, &frameAt));
    results.Put(frame.content + "_frame_ms", frame.TotalMs());
    ASSERT_TRUE(app.Settle(LongWait));
    ShowWindow(app.Main(), SW_MINIMIZE);
    ASSERT_TRUE(st::WaitUntil([&] { return IsIconic(app.Main()) != FALSE; }, "the window to be minimised"));
    ASSERT_TRUE(app.Settle());
    seen = FrameCount(frameLog);
    const double restoreStart = NowMs();
    ShowWindow(app.Main(), SW_RESTORE);
    ASSERT_TRUE(NextShownFrame(frameLog, seen, &frame, &frameAt));
    results.Put("restore_ms", frameAt - restoreStart);
    results.Put("restore_drew_again", frame.content == "held" ? 0 : 1);
    results.Put("held_frame_ms", frame.TotalMs());
    ASSERT_TRUE(app.Settle(LongWait));

    // Save as: from the dialog's OK to the success box.
    const std::wstring saved = st::TestFile(std::wstring(label.begin(), label.end()) + L"-saved.wav");
    ASSERT_TRUE(app.PostCommand(IDM_SAVE_AS));
    dialog = app.WaitFileDialog();
    ASSERT_TRUE(dialog);
    const double saveStart = NowMs();
    ASSERT_TRUE(dialog.Accept(saved, LongWait));
    const double saveDialogGone = NowMs();
    box = app.WaitMessageBox(LongWait);
    ASSERT_TRUE(box);
    results.Put("save_from_ok_ms", NowMs() - saveStart);
    results.Put("save_ms", NowMs() - saveDialogGone);
    EXPECT_EQ(st::Narrow(box.Caption()), st::Narrow(L"Файл успешно сохранён"));
    ASSERT_TRUE(box.PressAndWaitGone(IDOK));
    st::RemoveFile(saved);
    app.Close();
    DWORD code = 0;
    app.WaitExit(LongWait, &code);
}

}  // namespace

TEST(WineBench, OpenGraphRestoreSave) {
    const auto sounds = Sounds();
    ASSERT_FALSE(sounds.empty()) << "DUDORORI_BENCH_SOUNDS names no sound";
    for (const auto& [label, path] : sounds) MeasureSound(label, path);
}
