// Playback through the real program under Wine. The program plays to the
// null sink; the test records the sink's monitor (the default capture source
// of the Playback* environment) with the wave API in its own process. The
// sounds loaded give every fragment a tone of its own, so what is heard tells
// which fragments were played and in which order.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "AudioAnalysis.h"
#include "DirectCapture.h"
#include "SystemTest.h"

using namespace st;
using namespace audio_check;

namespace {

constexpr uint32_t Rate = 44100;
constexpr uint32_t FragmentFrames = 2205;  // 50 ms at 44100 Hz, 16-bit mono
constexpr size_t Window = 882;             // 20 ms
constexpr size_t Hop = 441;                // 10 ms

const wchar_t* const Ending = L"Завершаем воспроизведение...";
const wchar_t* const Stopped = L"Воспроизведение успешно остановлено!";
const wchar_t* const RefillFailed = L"Не удалось добавить фрагмент воспр.";

std::vector<double> Tones() {
    std::vector<double> tones;
    for (int k = 0; k < 12; ++k) tones.push_back(400.0 + 150.0 * k);
    return tones;
}

// A sound of `fragments` fragments, fragment k carrying tone k mod 12.
Wav ToneSound(int fragments) {
    const std::vector<double> tones = Tones();
    Wav wav;
    for (int k = 0; k < fragments; ++k) {
        const double hz = tones[size_t(k) % tones.size()];
        for (uint32_t n = 0; n < FragmentFrames; ++n) {
            const int s = int(std::lround(16000 * std::sin(2 * Pi * hz * n / Rate)));
            wav.data.push_back(uint8_t(s & 0xFF));
            wav.data.push_back(uint8_t((s >> 8) & 0xFF));
        }
    }
    return wav;
}

bool Load(App& app, const Wav& wav, const std::wstring& name) {
    const std::wstring path = TestFile(name);
    if (!WriteWav(path, wav)) return false;
    if (!app.PostCommand(IDM_OPEN)) return false;
    Dialog files = app.WaitFileDialog();
    if (!files || !files.Accept(path)) return false;
    return app.ExpectBox(L" Файл успешно открыт!", L"Success") && app.Settle();
}

// What was heard: the tone index of every 10 ms window, -1 for quiet.
std::vector<int> Heard(const std::vector<uint8_t>& captured) {
    Pcm pcm{1, Rate, 16, captured};
    return DominantTones(Channel(pcm, 0), Rate, Tones(), Window, Hop, 0.02);
}

// The fragments heard, in order: runs of one tone (at least two windows,
// so that the mixed windows at a change do not count), quiet left out.
std::vector<int> FragmentOrder(const std::vector<int>& heard) {
    std::vector<int> order;
    for (const Run& r : Runs(heard, 2)) {
        if (r.tone < 0) continue;
        if (order.empty() || order.back() != r.tone) order.push_back(r.tone);
    }
    return order;
}

// Tone indices of fragments first .. last.
std::vector<int> Expected(int first, int last) {
    std::vector<int> v;
    for (int k = first; k <= last; ++k) v.push_back(k % 12);
    return v;
}

std::string Show(const std::vector<int>& v) {
    std::string s;
    for (int x : v) s += std::to_string(x) + " ";
    return s;
}

// The longest stretch of quiet windows.
size_t LongestQuiet(const std::vector<int>& heard) {
    size_t best = 0, run = 0;
    for (int t : heard) {
        run = t < 0 ? run + 1 : 0;
        best = std::max(best, run);
    }
    return best;
}

int CountLines(const App& app, const std::wstring& line) {
    const std::vector<std::wstring> log = app.Log();
    return int(std::count(log.begin(), log.end(), line));
}

void ExpectPlayingButtons(const App& app) {
    EXPECT_FALSE(app.Enabled(ID_RECORD_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_STOP_RECORD_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_PLAY_BUTTON));
    EXPECT_TRUE(app.Enabled(ID_PAUSE_BUTTON));
    EXPECT_TRUE(app.Enabled(ID_STOP_PLAY_BUTTON));
}

void ExpectStoppedButtons(const App& app) {
    EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_STOP_RECORD_BUTTON));
    EXPECT_TRUE(app.Enabled(ID_PLAY_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_PAUSE_BUTTON));
    EXPECT_EQ(Narrow(app.Text(ID_PAUSE_BUTTON)), "Пауза");
    EXPECT_FALSE(app.Enabled(ID_STOP_PLAY_BUTTON));
}

class PlaybackTest : public ::testing::Test {
protected:
    direct_capture::Recorder monitor{1, Rate, 16, FragmentFrames * 2, 8};

    // The monitor's first capture of a run begins late; what is played
    // before it delivers would not be heard, so wait for its first buffers.
    void StartListening() {
        ASSERT_TRUE(monitor.Start()) << "capture of the monitor: " << monitor.Result();
        ASSERT_TRUE(WaitUntil([&] { return monitor.Bytes() >= 3 * FragmentFrames * 2; }, "the monitor capture"));
    }
    // Waits for ms more of capture, then stops it and returns what was heard.
    std::vector<int> StopListening(DWORD ms = 400) {
        Sleep(ms);
        return Heard(monitor.Stop());
    }
};

}  // namespace

TEST_F(PlaybackTest, EveryFragmentButTheLastIsHeardInOrder) {
    constexpr int Fragments = 12;
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, ToneSound(Fragments), L"tones.wav"));
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    StartListening();
    ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
    ExpectPlayingButtons(app);
    ASSERT_TRUE(app.WaitLog(Stopped)) << app.LogDump();
    ASSERT_TRUE(app.Settle());
    const std::vector<int> heard = StopListening();

    const std::vector<std::wstring> log = app.Log();
    const auto ending = std::find(log.begin(), log.end(), Ending);
    const auto stopped = std::find(log.begin(), log.end(), Stopped);
    EXPECT_TRUE(ending != log.end() && ending < stopped) << app.LogDump();
    EXPECT_EQ(CountLines(app, RefillFailed), 0) << app.LogDump();
    ExpectStoppedButtons(app);

    // The device is reset as soon as the last fragment is queued, so it is
    // cut off (a trace of it may still come through).
    std::vector<int> order = FragmentOrder(heard);
    if (order.size() == size_t(Fragments)) order.pop_back();
    EXPECT_EQ(Show(order), Show(Expected(0, Fragments - 2)));

    // The program stays usable: the same sound plays again the same way.
    StartListening();
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
    ASSERT_TRUE(app.WaitLog(Stopped)) << app.LogDump();
    order = FragmentOrder(StopListening());
    if (order.size() == size_t(Fragments)) order.pop_back();
    EXPECT_EQ(Show(order), Show(Expected(0, Fragments - 2)));
}

TEST_F(PlaybackTest, PauseSilencesAndContinueResumesWithoutLoss) {
    constexpr int Fragments = 40;
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, ToneSound(Fragments), L"tones.wav"));
    StartListening();
    ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
    Sleep(600);
    ASSERT_TRUE(app.Command(ID_PAUSE_BUTTON));
    EXPECT_EQ(Narrow(app.Text(ID_PAUSE_BUTTON)), "Продолжить");
    ExpectPlayingButtons(app);
    Sleep(1000);
    EXPECT_FALSE(app.LogContains(Ending)) << "playback ran on while paused";
    ASSERT_TRUE(app.Command(ID_PAUSE_BUTTON));
    EXPECT_EQ(Narrow(app.Text(ID_PAUSE_BUTTON)), "Пауза");
    ASSERT_TRUE(app.WaitLog(Stopped)) << app.LogDump();
    const std::vector<int> heard = StopListening();
    ExpectStoppedButtons(app);

    // A second of quiet inside the sound, and nothing lost around it. Wine
    // plays again, after a resume, what its output buffer held at the pause
    // (up to two fragments here), so the sound may step back that far.
    std::vector<int> inside(std::find_if(heard.begin(), heard.end(), [](int t) { return t >= 0; }), heard.end());
    while (!inside.empty() && inside.back() < 0) inside.pop_back();
    ASSERT_GE(LongestQuiet(inside), size_t(70)) << "no pause heard";
    size_t gapEnd = 0, run = 0;
    for (size_t i = 0; i < inside.size(); ++i) {
        run = inside[i] < 0 ? run + 1 : 0;
        if (run == LongestQuiet(inside)) gapEnd = i + 1;
    }
    const size_t gapStart = gapEnd - LongestQuiet(inside);
    const std::vector<int> before = FragmentOrder(std::vector<int>(inside.begin(), inside.begin() + long(gapStart)));
    std::vector<int> after = FragmentOrder(std::vector<int>(inside.begin() + long(gapEnd), inside.end()));
    const int heardBefore = int(before.size());
    ASSERT_GE(heardBefore, 3) << Show(before);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(Show(before), Show(Expected(0, heardBefore - 1)));
    int resumedAt = -1;
    for (int k = heardBefore - 2; k <= heardBefore; ++k) {
        if (k % 12 == after[0]) resumedAt = k;
    }
    ASSERT_GE(resumedAt, 0) << "resumed with fragment tone " << after[0] << " after " << Show(before);
    if (after.size() == size_t(Fragments - resumedAt)) after.pop_back();
    EXPECT_EQ(Show(after), Show(Expected(resumedAt, Fragments - 2)));
}

TEST_F(PlaybackTest, StopInTheMiddleSilencesAndKeepsTheProgramUsable) {
    constexpr int Fragments = 60;
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, ToneSound(Fragments), L"tones.wav"));
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    StartListening();
    ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
    Sleep(800);
    // Pause first: the stop must also bring the label back.
    ASSERT_TRUE(app.Command(ID_PAUSE_BUTTON));
    ASSERT_TRUE(app.Command(ID_STOP_PLAY_BUTTON));
    ASSERT_TRUE(app.WaitLog(Stopped)) << app.LogDump();
    ExpectStoppedButtons(app);
    EXPECT_FALSE(app.LogContains(Ending));
    // Both buffers the reset gives back arrive after the device is closed,
    // and each can only fail to be refilled, once.
    EXPECT_TRUE(WaitUntil([&] { return CountLines(app, RefillFailed) == 2; }, "both returned buffers"))
        << app.LogDump();
    ASSERT_TRUE(app.Settle());
    EXPECT_EQ(CountLines(app, RefillFailed), 2) << app.LogDump();
    const std::vector<int> heard = StopListening(600);

    // What was heard is the start of the sound, in order, and it ended.
    const std::vector<int> order = FragmentOrder(heard);
    ASSERT_GE(order.size(), 5u) << Show(order);
    EXPECT_LT(order.size(), size_t(Fragments) - 10) << "played on after Stop: " << Show(order);
    EXPECT_EQ(Show(order), Show(Expected(0, int(order.size()) - 1)));
    EXPECT_GE(LongestQuiet(heard), size_t(50));
    EXPECT_LT(heard.back(), 0) << "still sounding after Stop";

    // Played again, Pause pauses (the paused state did not outlive the stop)
    // and the sound plays from the start to the end.
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    StartListening();
    ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
    ExpectPlayingButtons(app);
    Sleep(300);
    ASSERT_TRUE(app.Command(ID_PAUSE_BUTTON));
    EXPECT_EQ(Narrow(app.Text(ID_PAUSE_BUTTON)), "Продолжить");
    ASSERT_TRUE(app.Command(ID_PAUSE_BUTTON));
    ASSERT_TRUE(app.WaitLog(Stopped, false, 30000)) << app.LogDump();
    EXPECT_TRUE(app.LogContains(Ending));
    std::vector<int> again = FragmentOrder(StopListening());
    if (again.size() == size_t(Fragments)) again.pop_back();
    EXPECT_EQ(Show(again), Show(Expected(0, Fragments - 2)));
}

TEST_F(PlaybackTest, TwoFragmentSoundPlaysTheFirstAndWaitsForStop) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, ToneSound(2), L"two.wav"));
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    StartListening();
    ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
    Sleep(1000);
    ASSERT_TRUE(app.Settle());
    EXPECT_FALSE(app.LogContains(Ending)) << app.LogDump();
    EXPECT_FALSE(app.LogContains(Stopped)) << app.LogDump();
    ExpectPlayingButtons(app);
    const std::vector<int> heard = StopListening(0);
    const std::vector<int> order = FragmentOrder(heard);
    ASSERT_FALSE(order.empty()) << "nothing heard";
    EXPECT_EQ(order[0], 0);
    EXPECT_LT(heard.back(), 0) << "still sounding while drained";

    ASSERT_TRUE(app.Command(ID_STOP_PLAY_BUTTON));
    ASSERT_TRUE(app.WaitLog(Stopped)) << app.LogDump();
    ExpectStoppedButtons(app);
}

// The device refuses the second buffer (an injected fault): the playback goes
// on with the first, and it is a playback like any other. Stop and Pause work,
// and nothing that would free or rewrite the fragments the device reads is
// accepted meanwhile.
TEST_F(PlaybackTest, ARefusedSecondBufferStillMakesAPlaybackThatCanBeStopped) {
    ScopedEnv fault(L"DUDORORI_INJECT_FAULT", L"second-playback-write");
    constexpr int Fragments = 40;
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, ToneSound(Fragments), L"tones.wav"));
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
    ExpectPlayingButtons(app);
    ASSERT_TRUE(app.Click(ID_PAUSE_BUTTON));
    EXPECT_EQ(Narrow(app.Text(ID_PAUSE_BUTTON)), "Продолжить");

    ASSERT_TRUE(app.PostCommand(IDM_OPEN));
    EXPECT_TRUE(app.ExpectBox(L"Сначала остановите воспроизведение!", L"Ошибка"));
    for (int command : {IDM_VOLUME, IDM_CLIPPING, ID_CUT_BUTTON}) {
        SCOPED_TRACE(command);
        ASSERT_TRUE(app.PostCommand(command));
        EXPECT_TRUE(app.ExpectBox(L" Сначала остановите воспроизведение! ", L"Внимание!"));
    }
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.NoDialog());

    ASSERT_TRUE(app.Click(ID_STOP_PLAY_BUTTON));
    ASSERT_TRUE(app.WaitLog(Stopped)) << app.LogDump();
    ExpectStoppedButtons(app);

    // Left alone, one buffer is refilled to the end of the sound.
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
    ASSERT_TRUE(app.WaitLog(Stopped)) << app.LogDump();
    EXPECT_TRUE(app.LogContains(Ending)) << app.LogDump();
    EXPECT_EQ(CountLines(app, RefillFailed), 0) << app.LogDump();
    ExpectStoppedButtons(app);
}

TEST_F(PlaybackTest, OneFragmentSoundIsRefused) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, ToneSound(1), L"one.wav"));
    ASSERT_TRUE(app.PostCommand(ID_PLAY_BUTTON));
    EXPECT_TRUE(app.ExpectBox(L" Сначала запишите звук! ", L"Внимание!"));
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));
    EXPECT_TRUE(app.Enabled(ID_PLAY_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_PAUSE_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_STOP_PLAY_BUTTON));
}

// Without an output device the open fails: the failure is logged and shown,
// and Record and Play are usable again (nothing else would bring them back
// short of a new load).
TEST(NoSoundPlayback, OpenFailureIsReportedAndLeavesTheProgramUsable) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, ToneSound(4), L"tones.wav"));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(app.PostCommand(ID_PLAY_BUTTON));
        Dialog box = app.WaitMessageBox();
        ASSERT_TRUE(box);
        const std::string text = Narrow(box.MessageText());
        EXPECT_EQ(text.rfind("Не откр. устр. воспр., ошибка - ", 0), 0u) << text;
        EXPECT_EQ(Narrow(box.Caption()), "Ошибка");
        EXPECT_TRUE(app.LogContains(box.MessageText())) << app.LogDump();
        ASSERT_TRUE(box.PressAndWaitGone(IDOK));
        ASSERT_TRUE(app.Settle());
        EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));
        EXPECT_TRUE(app.Enabled(ID_PLAY_BUTTON));
        EXPECT_FALSE(app.Enabled(ID_STOP_RECORD_BUTTON));
        EXPECT_FALSE(app.Enabled(ID_PAUSE_BUTTON));
        EXPECT_FALSE(app.Enabled(ID_STOP_PLAY_BUTTON));
    }
}
