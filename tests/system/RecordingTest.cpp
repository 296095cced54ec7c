// Recording through the real program under Wine. Capture*: the 441 Hz sine
// source is recorded at several formats, saved through File / Save as, and
// the file is checked for the tone, its level and its continuity across every
// fragment boundary; the command guards, a stop right after Record and
// closing while recording. NoSound*: the refusals without a capture device.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "AudioAnalysis.h"
#include "RecordingSupport.h"
#include "SystemTest.h"
#include "audio/InjectedFault.h"

using namespace st;
using namespace recording_support;

namespace {

const wchar_t* const Started = L"Запись успешно стартовала...";
const wchar_t* const Finished = L"Запись успешно завершена!";
const wchar_t* const NoDeviceText = L"Устройства с данным ID не существует.\nПопробуйте выбрать другое устройство.";
const wchar_t* const BadFormatText =
    L"Устройство не поддерживает выбранные настройки записи.\nПопробуйте изменить настройки.";
const wchar_t* const NoSoundText = L" Сначала запишите звук! ";

void RecordSaveAndCheck(const Format& format, double ms) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(SelectFormat(app, format));
    Take take;
    ASSERT_TRUE(RecordFor(app, ms, take)) << app.LogDump();
    EXPECT_TRUE(app.NoDialog());
    EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_STOP_RECORD_BUTTON));
    EXPECT_TRUE(app.Enabled(ID_PLAY_BUTTON));
    Wav wav;
    ASSERT_TRUE(SaveThroughProgram(app, TestFile(L"take.wav"), wav));
    CheckRecordedSine(wav, format, take);
}

// Buttons as they are while a recording runs.
void ExpectRecordingButtons(const App& app) {
    EXPECT_FALSE(app.Enabled(ID_RECORD_BUTTON));
    EXPECT_TRUE(app.Enabled(ID_STOP_RECORD_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_PLAY_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_PAUSE_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_STOP_PLAY_BUTTON));
}

struct DialogTally {
    DWORD pid;
    int n;
};

BOOL CALLBACK CountDialog(HWND hwnd, LPARAM lp) {
    DialogTally* tally = reinterpret_cast<DialogTally*>(lp);
    DWORD pid = 0;
    wchar_t cls[16] = {};
    GetWindowThreadProcessId(hwnd, &pid);
    GetClassNameW(hwnd, cls, 16);
    if (pid == tally->pid && IsWindowVisible(hwnd) && std::wstring(cls) == L"#32770") ++tally->n;
    return TRUE;
}

// Visible dialogs of the program's process, however many.
int DialogCount(const App& app) {
    DialogTally tally{app.Pid(), 0};
    EnumWindows(CountDialog, LPARAM(&tally));
    return tally.n;
}

size_t IndexOf(const std::vector<std::wstring>& log, const std::wstring& line) {
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i] == line) return i;
    }
    return size_t(-1);
}

}  // namespace

TEST(CaptureRecording, DefaultFormatNarratesAndRecordsAContinuousSine) {
    App app;
    ASSERT_TRUE(app.Start());
    EXPECT_TRUE(app.LogHasPrefix(L"Количество устройств записи - "));
    EXPECT_FALSE(app.LogContains(L"Количество устройств записи - 0")) << app.LogDump();
    ASSERT_GE(app.ComboCount(ID_DEVICE_COMBO), 2);
    EXPECT_EQ(Narrow(app.ComboItem(ID_DEVICE_COMBO, 0)), "Устройство записи по умолчанию");
    EXPECT_EQ(app.ComboSel(ID_DEVICE_COMBO), 0);

    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    const double start = NowMs();
    ASSERT_TRUE(app.Command(ID_RECORD_BUTTON));
    ASSERT_TRUE(app.WaitLog(Started));
    ExpectRecordingButtons(app);
    // The time display follows the growing recording.
    EXPECT_TRUE(WaitUntil([&] { return app.Text(ID_TIME_DISPLAY) == L" 0:01"; }, "one second on the time display"));
    Take take;
    ASSERT_TRUE(StopAt(app, start, 2000, take));
    ASSERT_TRUE(app.WaitLog(Finished)) << app.LogDump();

    const std::vector<std::wstring> log = app.Log();
    const std::vector<std::wstring> expected = {L"Используем устр. записи:", L"Устройство записи по умолчанию",
                                                L"Форматы записи и воспроизв. изменены!",
                                                L"Устройство записи успешно открыто", Started, Finished};
    size_t previous = 0;
    for (const std::wstring& line : expected) {
        const size_t at = IndexOf(log, line);
        ASSERT_NE(at, size_t(-1)) << Narrow(line) << " missing:\n" << app.LogDump();
        EXPECT_GE(at, previous) << Narrow(line) << " out of order:\n" << app.LogDump();
        previous = at;
    }
    EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_STOP_RECORD_BUTTON));
    EXPECT_TRUE(app.Enabled(ID_PLAY_BUTTON));

    Wav wav;
    ASSERT_TRUE(SaveThroughProgram(app, TestFile(L"take.wav"), wav));
    CheckRecordedSine(wav, DefaultFormat, take);
}

// 11025 and 22050 Hz are left out: Wine converts them from the device's rate
// with a step at every buffer (a capture made by the test itself shows the
// same), which is not the program's doing.
TEST(CaptureRecording, EightBitAt44100Hz) { RecordSaveAndCheck(Format{0, 3, 0}, 2000); }

TEST(CaptureRecording, TwentyFourBitAt48000Hz) { RecordSaveAndCheck(Format{2, 4, 0}, 2000); }

TEST(CaptureRecording, StereoAt44100Hz) { RecordSaveAndCheck(Format{1, 3, 1}, 2000); }

TEST(CaptureRecording, EightBitStereoAt8000Hz) { RecordSaveAndCheck(Format{0, 0, 1}, 2000); }

// The largest format offered: either the device refuses it with the format
// message and no sound is left, or it records it correctly.
TEST(CaptureRecording, HighestFormatIsRecordedOrRefusedCleanly) {
    const Format format{2, 6, 1};
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(SelectFormat(app, format));
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    const double start = NowMs();
    ASSERT_TRUE(app.PostCommand(ID_RECORD_BUTTON));
    ASSERT_TRUE(WaitUntil([&] { return app.LogContains(Started) || !app.NoDialog(); }, "start or refusal"));
    if (Dialog box = app.FindDialog()) {
        std::printf("[ figures  ] %s refused: %s\n", format.Name().c_str(), Narrow(box.MessageText()).c_str());
        EXPECT_EQ(Narrow(box.MessageText()), Narrow(BadFormatText));
        EXPECT_EQ(Narrow(box.Caption()), "Ошибка");
        ASSERT_TRUE(box.PressAndWaitGone(IDOK));
        ASSERT_TRUE(app.Command(ID_PLAY_BUTTON));
        EXPECT_TRUE(app.ExpectBox(NoSoundText, L"Внимание!"));
        return;
    }
    Take take;
    ASSERT_TRUE(StopAt(app, start, 2000, take));
    ASSERT_TRUE(app.WaitLog(Finished, false, 60000)) << app.LogDump();
    Wav wav;
    ASSERT_TRUE(SaveThroughProgram(app, TestFile(L"take.wav"), wav));
    CheckRecordedSine(wav, format, take);
}

// Stop arrives while the device is still being opened: the stop must not
// hang, the lines and button changes of the opening must not outlast it, and
// the program must record normally afterwards.
TEST(CaptureRecording, StopRightAfterRecordEndsCleanly) {
    App app;
    ASSERT_TRUE(app.Start());
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
        ASSERT_TRUE(app.PostCommand(ID_RECORD_BUTTON));
        ASSERT_TRUE(app.PostCommand(ID_STOP_RECORD_BUTTON));
        ASSERT_TRUE(app.WaitLog(Finished)) << app.LogDump();
        ASSERT_TRUE(app.Settle());
        EXPECT_TRUE(app.NoDialog());
        EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));
        EXPECT_FALSE(app.Enabled(ID_STOP_RECORD_BUTTON));
        EXPECT_TRUE(app.Enabled(ID_PLAY_BUTTON));
        // The opening's own lines come before the result, never after it.
        const std::vector<std::wstring> log = app.Log();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(Narrow(log.back()), Narrow(Finished)) << app.LogDump();
    }
    Take take;
    ASSERT_TRUE(RecordFor(app, 1500, take)) << app.LogDump();
    Wav wav;
    ASSERT_TRUE(SaveThroughProgram(app, TestFile(L"after.wav"), wav));
    CheckRecordedSine(wav, DefaultFormat, take);
}

TEST(CaptureRecording, RecordWhileRecordingIsRefused) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.PostCommand(ID_RECORD_BUTTON));
    ASSERT_TRUE(app.PostCommand(ID_RECORD_BUTTON));
    EXPECT_TRUE(app.ExpectBox(L"Запись уже запущена!", L"Ошибка"));
    ASSERT_TRUE(app.WaitLog(Started));
    ExpectRecordingButtons(app);
    ASSERT_TRUE(app.Command(ID_RECORD_BUTTON));
    EXPECT_TRUE(app.ExpectBox(L"Запись уже запущена!", L"Ошибка"));
    ExpectRecordingButtons(app);
    ASSERT_TRUE(app.Command(ID_STOP_RECORD_BUTTON));
    EXPECT_TRUE(app.WaitLog(Finished)) << app.LogDump();
}

TEST(CaptureRecording, StopWithoutRecordingIsRefused) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.PostCommand(ID_STOP_RECORD_BUTTON));
    EXPECT_TRUE(app.ExpectBox(L"Запись ещё не запущена", L"Внимание"));
    ASSERT_TRUE(app.Settle());
    EXPECT_FALSE(app.Enabled(ID_STOP_RECORD_BUTTON));
    EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_PLAY_BUTTON));
    EXPECT_FALSE(app.LogContains(Finished));

    // Also after a finished recording: the second Stop changes nothing.
    Take take;
    ASSERT_TRUE(RecordFor(app, 500, take));
    ASSERT_TRUE(app.PostCommand(ID_STOP_RECORD_BUTTON));
    EXPECT_TRUE(app.ExpectBox(L"Запись ещё не запущена", L"Внимание"));
    ASSERT_TRUE(app.Settle());
    EXPECT_FALSE(app.Enabled(ID_STOP_RECORD_BUTTON));
    EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));
    EXPECT_TRUE(app.Enabled(ID_PLAY_BUTTON));
}

TEST(CaptureRecording, ClosingTheWindowWhileRecordingExitsWithStatus1) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.Command(ID_RECORD_BUTTON));
    ASSERT_TRUE(app.WaitLog(Started));
    Sleep(300);
    ASSERT_TRUE(app.Close());
    DWORD code = 0;
    ASSERT_TRUE(app.WaitExit(20000, &code)) << "the program did not end";
    EXPECT_EQ(code, 1u);
}

TEST(CaptureRecording, ExitMenuRightAfterRecordExitsWithStatus1) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.PostCommand(ID_RECORD_BUTTON));
    ASSERT_TRUE(app.PostCommand(IDM_EXIT));
    DWORD code = 0;
    ASSERT_TRUE(app.WaitExit(20000, &code)) << "the program did not end";
    EXPECT_EQ(code, 1u);
}

// The device takes neither buffer and does not start (an injected fault):
// the recording thread's three boxes are read one at a time, in the order
// the failures happened, and Stop then reports the recording as failed.
TEST(CaptureRecording, TheRecordingThreadsBoxesComeOneAtATimeOldestFirst) {
    ScopedEnv fault(L"DUDORORI_INJECT_FAULT", L"capture-buffers-and-start");
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.Command(ID_RECORD_BUTTON));
    for (const wchar_t* text :
         {L"Функция waveInAddBuffer[1] завершилась с ошибкой", L"Функция waveInAddBuffer[2] завершилась с ошибкой",
          L"Не удалось начать запись!\nФункция waveInStart() завершилась с ошибкой \nКод ошибки - 1"}) {
        Dialog box = app.WaitMessageBox();
        ASSERT_TRUE(box);
        // Whatever the thread posted so far has been taken up, yet no later
        // box is open over this one.
        ASSERT_TRUE(app.Settle());
        EXPECT_EQ(DialogCount(app), 1);
        EXPECT_EQ(Narrow(box.MessageText()), Narrow(text));
        EXPECT_EQ(Narrow(box.Caption()), "Внимание");
        ASSERT_TRUE(box.PressAndWaitGone(IDOK));
    }
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.NoDialog());
    ExpectRecordingButtons(app);
    EXPECT_FALSE(app.LogContains(Started)) << app.LogDump();

    ASSERT_TRUE(app.Click(ID_STOP_RECORD_BUTTON));
    EXPECT_TRUE(app.ExpectBox(L"Во время записи возникли ошибки:", L"Внимание"));
    EXPECT_TRUE(app.LogContains(L"Запись завершена c ошибками!")) << app.LogDump();
}

// Memory runs out during a recording (an injected allocation failure after a
// number of fragments): the program says so once, Stop reports it, and what
// was recorded before is kept and saved whole.
TEST(CaptureRecording, RunningOutOfMemoryKeepsWhatWasRecordedBefore) {
    ScopedEnv fault(L"DUDORORI_INJECT_FAULT", L"capture-alloc");
    const std::wstring outOfMemory = L"Ошибка, не хватает памяти для записи!";
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
    ASSERT_TRUE(app.Command(ID_RECORD_BUTTON));
    ASSERT_TRUE(app.WaitLog(outOfMemory)) << app.LogDump();
    ASSERT_TRUE(app.Click(ID_STOP_RECORD_BUTTON));
    EXPECT_TRUE(app.ExpectBox(L"Во время записи возникли ошибки:\nНе хватает памяти для записи, записанное до этого сохранено",
                              L"Внимание"));
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.LogContains(L"Запись завершена c ошибками!")) << app.LogDump();
    const std::vector<std::wstring> log = app.Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), outOfMemory), 1) << app.LogDump();
    EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_STOP_RECORD_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_PLAY_BUTTON));

    Wav wav;
    ASSERT_TRUE(SaveThroughProgram(app, TestFile(L"kept.wav"), wav));
    const Format f = DefaultFormat;
    ASSERT_EQ(wav.data.size(), size_t(InjectedCaptureFragments) * f.FragmentBytes());
    const std::vector<double> x = audio_check::Channel(audio_check::Pcm{1, f.Rate(), 16, wav.data}, 0);
    EXPECT_NEAR(audio_check::ZeroCrossingFrequency(x, f.Rate()), 441.0, 1.0);
    EXPECT_TRUE(audio_check::PhaseJumps(audio_check::Blocks(x, f.Rate(), 441, f.FragmentFrames()), 6).empty());
}

TEST(NoSoundRecording, RecordIsRefusedAndLeavesNoSound) {
    App app;
    ASSERT_TRUE(app.Start());
    EXPECT_TRUE(app.LogContains(L"Количество устройств записи - 0")) << app.LogDump();
    EXPECT_EQ(app.ComboCount(ID_DEVICE_COMBO), 1);

    // A loaded sound is discarded by Record before the device is tried.
    Wav wav;
    wav.data = Sine16(44100, 44100, 1000);
    const std::wstring path = TestFile(L"loaded.wav");
    ASSERT_TRUE(WriteWav(path, wav));
    ASSERT_TRUE(app.PostCommand(IDM_OPEN));
    Dialog files = app.WaitFileDialog();
    ASSERT_TRUE(files);
    ASSERT_TRUE(files.Accept(path));
    ASSERT_TRUE(app.ExpectBox(L" Файл успешно открыт!", L"Success"));
    ASSERT_TRUE(app.Enabled(ID_PLAY_BUTTON));

    ASSERT_TRUE(app.PostCommand(ID_RECORD_BUTTON));
    EXPECT_TRUE(app.ExpectBox(NoDeviceText, L"Ошибка"));
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.LogContains(L"Форматы записи и воспроизв. изменены!"));
    EXPECT_FALSE(app.LogContains(L"Устройство записи успешно открыто"));
    EXPECT_FALSE(app.Enabled(ID_STOP_RECORD_BUTTON));
    EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));

    // Play is still enabled from the load, but there is no sound any more.
    ASSERT_TRUE(app.PostCommand(ID_PLAY_BUTTON));
    EXPECT_TRUE(app.ExpectBox(NoSoundText, L"Внимание!"));
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_PAUSE_BUTTON));
    EXPECT_FALSE(app.Enabled(ID_STOP_PLAY_BUTTON));

    // The refusal left no recording behind: Stop finds none, and the program
    // ends normally.
    ASSERT_TRUE(app.PostCommand(ID_STOP_RECORD_BUTTON));
    EXPECT_TRUE(app.ExpectBox(L"Запись ещё не запущена", L"Внимание"));
    ASSERT_TRUE(app.PostCommand(IDM_EXIT));
    DWORD code = 0;
    ASSERT_TRUE(app.WaitExit(20000, &code));
    EXPECT_EQ(code, 1u);
}

TEST(NoSoundRecording, EveryFormatMeetsTheDeviceRefusal) {
    App app;
    ASSERT_TRUE(app.Start());
    for (const Format& f : {Format{0, 0, 0}, Format{2, 6, 1}, Format{1, 2, 1}}) {
        SCOPED_TRACE(f.Name());
        ASSERT_TRUE(SelectFormat(app, f));
        ASSERT_TRUE(app.PostCommand(ID_RECORD_BUTTON));
        EXPECT_TRUE(app.ExpectBox(NoDeviceText, L"Ошибка"));
        ASSERT_TRUE(app.Settle());
        EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));
        EXPECT_FALSE(app.Enabled(ID_STOP_RECORD_BUTTON));
        EXPECT_FALSE(app.Enabled(ID_PLAY_BUTTON));
    }
}
