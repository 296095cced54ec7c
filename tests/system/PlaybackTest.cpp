// Playback through the real program under Wine. The program plays to the
// null sink; the test records the sink's monitor (the default capture source
// of the Playback* environment) with the wave API in its own process. The
// sounds loaded give every fragment a tone of its own, so what is heard tells
// which fragments were played and in which order.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
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
    return WriteWav(path, wav) && app.OpenFile(path) && app.Settle();
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

// Wine plays again, after a resume, what its output buffer held at the pause
// (up to two fragments here): the order without that step back.
std::vector<int> WithoutReplay(std::vector<int> order) {
    for (size_t i = 1; i < order.size(); ++i) {
        const size_t back = size_t((order[i - 1] - order[i] + 12) % 12);
        if (back == 0 || back > 2 || i < back + 1) continue;
        if (std::equal(order.begin() + long(i - back - 1), order.begin() + long(i), order.begin() + long(i)))
            order.erase(order.begin() + long(i), order.begin() + long(i + back + 1));
        break;
    }
    return order;
}

// Every fragment but the last heard once, in order. The device is reset as
// soon as the last fragment is queued, so that one is cut off (a trace of it
// may still come through).
void ExpectPlayedThrough(std::vector<int> order, int fragments) {
    if (order.size() == size_t(fragments)) order.pop_back();
    EXPECT_EQ(Show(order), Show(Expected(0, fragments - 2)));
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

    std::vector<int> heardSoFar;  // what the monitor heard so far, window by window

    // The monitor's first capture of a run begins late; what is played
    // before it delivers would not be heard, so wait for its first buffers.
    void StartListening() {
        heardSoFar.clear();
        ASSERT_TRUE(monitor.Start()) << "capture of the monitor: " << monitor.Result();
        ASSERT_TRUE(WaitUntil([&] { return monitor.Bytes() >= 3 * FragmentFrames * 2; }, "the monitor capture"));
    }
    // Waits until what the monitor heard so far satisfies `enough` (the
    // windows captured since the last call are added to `heardSoFar`).
    bool WaitHeard(const std::function<bool()>& enough, const std::string& what) {
        return WaitUntil(
            [&] {
                const std::vector<uint8_t> bytes = monitor.Captured();
                const size_t from = heardSoFar.size() * Hop * 2;
                if (bytes.size() >= from + Window * 2) {
                    const std::vector<int> more = Heard(std::vector<uint8_t>(bytes.begin() + long(from), bytes.end()));
                    heardSoFar.insert(heardSoFar.end(), more.begin(), more.end());
                }
                return enough();
            },
            what);
    }
    bool WaitFragments(size_t n) {
        return WaitHeard([&] { return FragmentOrder(heardSoFar).size() >= n; }, std::to_string(n) + " fragments heard");
    }
    // A sound heard, then at least `windows` quiet windows after it.
    bool WaitQuietAfterSound(size_t windows) {
        return WaitHeard(
            [&] {
                size_t quiet = 0;
                while (quiet < heardSoFar.size() && heardSoFar[heardSoFar.size() - 1 - quiet] < 0) ++quiet;
                return quiet >= windows && quiet < heardSoFar.size();
            },
            "quiet after the sound");
    }
    // Waits until the sound heard has ended, then stops the capture and
    // returns all that was heard.
    std::vector<int> StopListening(size_t quietWindows = 30) {
        EXPECT_TRUE(WaitQuietAfterSound(quietWindows)) << "heard " << Show(FragmentOrder(heardSoFar));
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
    ExpectPlayedThrough(FragmentOrder(StopListening()), Fragments);

    const std::vector<std::wstring> log = app.Log();
    const auto ending = std::find(log.begin(), log.end(), Ending);
    const auto stopped = std::find(log.begin(), log.end(), Stopped);
    EXPECT_TRUE(ending != log.end() && ending < stopped) << app.LogDump();
    EXPECT_EQ(CountLines(app, RefillFailed), 0) << app.LogDump();
    ExpectStoppedButtons(app);

    // The program stays usable: the same sound plays again the same way.
    StartListening();
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
    ASSERT_TRUE(app.WaitLog(Stopped)) << app.LogDump();
    ExpectPlayedThrough(FragmentOrder(StopListening()), Fragments);
}

TEST_F(PlaybackTest, PauseSilencesAndContinueResumesWithoutLoss) {
    constexpr int Fragments = 40;
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, ToneSound(Fragments), L"tones.wav"));
    StartListening();
    ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
    ASSERT_TRUE(WaitFragments(4));
    ASSERT_TRUE(app.Command(ID_PAUSE_BUTTON));
    EXPECT_EQ(Narrow(app.Text(ID_PAUSE_BUTTON)), "Продолжить");
    ExpectPlayingButtons(app);
    ASSERT_TRUE(WaitQuietAfterSound(80)) << "no pause heard";
    EXPECT_FALSE(app.LogContains(Ending)) << "playback ran on while paused";
    ASSERT_TRUE(app.Command(ID_PAUSE_BUTTON));
    EXPECT_EQ(Narrow(app.Text(ID_PAUSE_BUTTON)), "Пауза");
    ASSERT_TRUE(WaitHeard([&] { return !heardSoFar.empty() && heardSoFar.back() >= 0; }, "the sound to resume"));
    ASSERT_TRUE(app.WaitLog(Stopped)) << app.LogDump();
    // Nothing lost around the pause (see WithoutReplay).
    ExpectPlayedThrough(WithoutReplay(FragmentOrder(StopListening())), Fragments);
    ExpectStoppedButtons(app);
}

TEST_F(PlaybackTest, StopInTheMiddleSilencesAndKeepsTheProgramUsable) {
    constexpr int Fragments = 60;
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, ToneSound(Fragments), L"tones.wav"));
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    StartListening();
    ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
    ASSERT_TRUE(WaitFragments(6));
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
    // What was heard is the start of the sound, in order, and it ended.
    const std::vector<int> order = FragmentOrder(StopListening(50));
    EXPECT_LT(order.size(), size_t(Fragments) - 10) << "played on after Stop: " << Show(order);
    EXPECT_EQ(Show(order), Show(Expected(0, int(order.size()) - 1)));

    // Played again, Pause pauses (the paused state did not outlive the stop)
    // and the sound plays from the start to the end.
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    StartListening();
    ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
    ExpectPlayingButtons(app);
    ASSERT_TRUE(WaitFragments(2));
    ASSERT_TRUE(app.Command(ID_PAUSE_BUTTON));
    EXPECT_EQ(Narrow(app.Text(ID_PAUSE_BUTTON)), "Продолжить");
    ASSERT_TRUE(app.Command(ID_PAUSE_BUTTON));
    ASSERT_TRUE(app.WaitLog(Stopped, false, 30000)) << app.LogDump();
    EXPECT_TRUE(app.LogContains(Ending));
    ExpectPlayedThrough(WithoutReplay(FragmentOrder(StopListening())), Fragments);
}

TEST_F(PlaybackTest, TwoFragmentSoundPlaysTheFirstAndWaitsForStop) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, ToneSound(2), L"two.wav"));
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    StartListening();
    ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
    // Drained: the first fragment was heard, then quiet while it waits.
    const std::vector<int> order = FragmentOrder(StopListening(50));
    ASSERT_FALSE(order.empty()) << "nothing heard";
    EXPECT_EQ(order[0], 0);
    ASSERT_TRUE(app.Settle());
    EXPECT_FALSE(app.LogContains(Ending)) << app.LogDump();
    EXPECT_FALSE(app.LogContains(Stopped)) << app.LogDump();
    ExpectPlayingButtons(app);

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
    // Only the first buffer was with the device: the reset gives back one,
    // which alone fails to be refilled.
    EXPECT_TRUE(WaitUntil([&] { return CountLines(app, RefillFailed) >= 1; }, "the returned buffer")) << app.LogDump();
    ASSERT_TRUE(app.Settle());
    EXPECT_EQ(CountLines(app, RefillFailed), 1) << app.LogDump();

    // Left alone, one buffer is refilled to the end of the sound. With one
    // buffer Wine's device runs dry after every fragment and starts again on
    // the refill: on a busy machine each 50 ms fragment then takes up to
    // about half a second (17.5 s for these 40 with both processors busy).
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
    ASSERT_TRUE(app.WaitLog(Stopped, false, Fragments * 1500)) << app.LogDump();
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
