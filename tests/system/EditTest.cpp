// The three edits of the real program: the volume dialog, clipping at half
// scale and cutting to the trackbar range, each checked through what the user
// sees (dialog, boxes, log, trackbars, plot) and through the file the program
// saves afterwards; and the refusals while there is no sound, while recording
// and while playing.
#include <cmath>
#include <string>
#include <vector>

#include "SystemTest.h"

namespace {

using st::App;
using st::Dialog;

constexpr uint32_t Rate = 44100;
constexpr uint32_t MonoFragment = 4410;  // 50 ms of 16-bit mono at 44100 Hz

const std::wstring NoSoundText = L" Сначала запишите или загрузите аудио! ";
const std::wstring RecordingText = L" Сначала остановите запись! ";
const std::wstring PlayingText = L" Сначала остановите воспроизведение! ";
const std::wstring Separator = L"----------------------------";

std::vector<int> Samples16(const std::vector<uint8_t>& bytes) {
    std::vector<int> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) out[i] = int16_t(uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    return out;
}

st::Wav Mono16(const std::vector<int>& samples) {
    st::Wav wav;
    wav.data = st::PcmBytes(samples);
    return wav;
}

// Writes the sound, opens it through File / Open and waits until the program
// has taken it up.
bool Load(App& app, const std::wstring& name, const st::Wav& wav) {
    const std::wstring path = st::TestFile(name);
    return st::WriteWav(path, wav) && app.OpenFile(path) && app.Settle();
}

// Saves the program's sound through File / Save as and reads it back.
bool SaveAndRead(App& app, const std::wstring& name, st::Wav& wav) {
    const std::wstring path = st::TestFile(name);
    st::RemoveFile(path);
    return app.SaveFileAs(path) && st::ReadWav(path, wav);
}

std::wstring TextOf(HWND control) {
    wchar_t buffer[256] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, 256, LPARAM(buffer), SMTO_NORMAL, 5000, &copied)) return L"";
    return buffer;
}

LRESULT Ask(HWND control, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(control, msg, wParam, lParam, SMTO_NORMAL, 5000, &result);
    return LRESULT(result);
}

bool HasLine(const std::vector<std::wstring>& log, const std::wstring& line) {
    for (const std::wstring& l : log)
        if (l == line) return true;
    return false;
}

bool HasLineStartingWith(const std::vector<std::wstring>& log, const std::wstring& prefix) {
    for (const std::wstring& line : log)
        if (line.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

// ---- volume ------------------------------------------------------------------

const std::wstring LabelAt100 = L"Новый уровень громкости: 100%";

// A 16-bit stereo sound of three fragments whose samples cover both signs,
// halves after scaling and values that saturate.
std::vector<int> VolumeSamples() {
    std::vector<int> samples(3 * 2205 * 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = int((i * 7919) % 40001) - 20000;
    return samples;
}

st::Wav Stereo16(const std::vector<int>& samples) {
    st::Wav wav = Mono16(samples);
    wav.channels = 2;
    return wav;
}

Dialog OpenVolumeDialog(App& app) {
    if (!app.PostCommand(IDM_VOLUME)) return Dialog();
    Dialog dialog = app.WaitDialog();
    if (dialog) {
        EXPECT_EQ(st::Narrow(dialog.Caption()), "Изменение громкости");
    }
    return dialog;
}

// Opens over the main window wherever that is, at 100 %, with the slider's
// range and page size as offered; a page step moves the label along.
TEST(NoSoundEditVolume, DialogOpensCentredAt100AndTheLabelFollowsTheSlider) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, L"volume.wav", Stereo16(VolumeSamples())));
    // Away from the middle of the screen, so centring on the screen would not
    // pass for centring over the owner.
    ASSERT_TRUE(SetWindowPos(app.Main(), nullptr, 7, 11, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
    ASSERT_TRUE(app.Settle());

    Dialog dialog = OpenVolumeDialog(app);
    ASSERT_TRUE(dialog);
    const RECT owner = app.WindowRect();
    RECT box{};
    ASSERT_TRUE(GetWindowRect(dialog.hwnd, &box));
    const int width = box.right - box.left, height = box.bottom - box.top;
    EXPECT_EQ(box.left, owner.left + (owner.right - owner.left - width) / 2);
    EXPECT_EQ(box.top, owner.top + (owner.bottom - owner.top - height) / 2);

    HWND slider = dialog.Control(IDC_VOLUME_TRACKBAR);
    HWND label = dialog.Control(IDC_VOLUME_LABEL);
    ASSERT_TRUE(slider && label);
    EXPECT_EQ(st::Narrow(TextOf(label)), st::Narrow(LabelAt100));
    EXPECT_EQ(Ask(slider, TBM_GETPOS), 100);
    EXPECT_EQ(Ask(slider, TBM_GETRANGEMIN), 10);
    EXPECT_EQ(Ask(slider, TBM_GETRANGEMAX), 400);
    EXPECT_EQ(Ask(slider, TBM_GETPAGESIZE), 10);
    EXPECT_TRUE(dialog.Control(IDC_VOLUME_APPLY) && IsWindowEnabled(dialog.Control(IDC_VOLUME_APPLY)));
    // Enter means Cancel.
    EXPECT_EQ(LOWORD(Ask(dialog.hwnd, DM_GETDEFID)), IDC_VOLUME_CANCEL);

    // The slider reports a page step to the dialog as the user's key would.
    ASSERT_TRUE(PostMessageW(slider, WM_KEYDOWN, VK_NEXT, 0));
    EXPECT_TRUE(st::WaitUntil([&] { return TextOf(label) == L"Новый уровень громкости: 110%"; },
                              "the label to show 110%"))
        << st::Narrow(TextOf(label));
    Ask(slider, TBM_SETPOS, TRUE, 249);
    ASSERT_TRUE(PostMessageW(slider, WM_KEYDOWN, VK_RIGHT, 0));
    EXPECT_TRUE(st::WaitUntil([&] { return TextOf(label) == L"Новый уровень громкости: 250%"; },
                              "the label to show 250%"))
        << st::Narrow(TextOf(label));

    EXPECT_TRUE(dialog.PressAndWaitGone(IDC_VOLUME_CANCEL));
}

// Apply at 250 % scales every sample of both channels, rounding halves away
// from zero and saturating, and says so in the log.
TEST(NoSoundEditVolume, ApplyScalesEverySample) {
    const std::vector<int> original = VolumeSamples();
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, L"volume.wav", Stereo16(original)));
    Dialog dialog = OpenVolumeDialog(app);
    ASSERT_TRUE(dialog);
    Ask(dialog.Control(IDC_VOLUME_TRACKBAR), TBM_SETPOS, TRUE, 250);
    ASSERT_TRUE(dialog.PressAndWaitGone(IDC_VOLUME_APPLY));
    ASSERT_TRUE(app.WaitLog(L"Громкость успешно изменена!"));
    EXPECT_TRUE(app.LogContains(L"Новый уровень громкости - 250% ..")) << app.LogDump();

    st::Wav saved;
    ASSERT_TRUE(SaveAndRead(app, L"louder.wav", saved));
    EXPECT_EQ(saved.channels, 2);
    const std::vector<int> got = Samples16(saved.data);
    ASSERT_EQ(got.size(), original.size());
    int saturated = 0;
    for (size_t i = 0; i < original.size(); ++i) {
        const double r = std::round(original[i] * 2.5);
        const int expected = r > 32767 ? 32767 : r < -32768 ? -32768 : int(r);
        saturated += expected != r;
        ASSERT_EQ(got[i], expected) << "sample " << i << " was " << original[i];
    }
    EXPECT_GT(saturated, 0);  // the sound did reach the limits
}

// Cancel, the close box and Apply at 100 % leave the sound as it was and log
// no level.
TEST(NoSoundEditVolume, CancelCloseAndUnchangedLevelKeepTheSound) {
    const std::vector<int> original = VolumeSamples();
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, L"volume.wav", Stereo16(original)));

    {
        SCOPED_TRACE("cancel");
        Dialog dialog = OpenVolumeDialog(app);
        ASSERT_TRUE(dialog);
        Ask(dialog.Control(IDC_VOLUME_TRACKBAR), TBM_SETPOS, TRUE, 300);
        EXPECT_TRUE(dialog.PressAndWaitGone(IDC_VOLUME_CANCEL));
    }
    {
        SCOPED_TRACE("close box");
        Dialog dialog = OpenVolumeDialog(app);
        ASSERT_TRUE(dialog);
        Ask(dialog.Control(IDC_VOLUME_TRACKBAR), TBM_SETPOS, TRUE, 300);
        ASSERT_TRUE(PostMessageW(dialog.hwnd, WM_CLOSE, 0, 0));
        EXPECT_TRUE(dialog.WaitGone());
    }
    {
        SCOPED_TRACE("apply at 100%");
        Dialog dialog = OpenVolumeDialog(app);
        ASSERT_TRUE(dialog);
        EXPECT_EQ(st::Narrow(TextOf(dialog.Control(IDC_VOLUME_LABEL))), st::Narrow(LabelAt100))
            << "every showing starts at 100%";
        EXPECT_TRUE(dialog.PressAndWaitGone(IDC_VOLUME_APPLY));
    }
    ASSERT_TRUE(app.Settle());
    EXPECT_FALSE(HasLineStartingWith(app.Log(), L"Новый уровень громкости")) << app.LogDump();

    st::Wav saved;
    ASSERT_TRUE(SaveAndRead(app, L"unchanged.wav", saved));
    EXPECT_EQ(Samples16(saved.data), original);
}

// ---- clipping ----------------------------------------------------------------

// Plot colours as the screen shows them (see the view tests).
bool IsClipMark(uint32_t p) {
    return std::abs(st::Shot::R(p) - 255) <= 6 && std::abs(st::Shot::G(p) - 51) <= 6 &&
           std::abs(st::Shot::B(p) - 51) <= 6;
}

// 8 s of a full-scale square wave (705,600 bytes: enough for the envelope of
// the fast drawing), every sample an extreme.
std::vector<int> LoudSquare() {
    std::vector<int> samples(Rate * 8);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = (i / 100) % 2 ? -32768 : 32767;
    for (size_t i = 0; i < samples.size(); i += 7) samples[i] = int(i % 20001) - 10000;  // some stay
    return samples;
}

// The clipping marks in the plot, once their number is what `expected` asks
// for (or the wait for it ran out).
int ClipMarksInPlot(App& app, bool (*expected)(int marks)) {
    const RECT c = app.ClientRect();
    const auto marks = [&](const st::Shot& shot) {
        return shot.Count(5, 5, int(c.right) - 5, int(c.bottom) - 325, IsClipMark);
    };
    const st::Shot shot = app.CaptureWhen([&](const st::Shot& s) { return expected(marks(s)); }, "the clipping marks");
    return shot.Empty() ? -1 : marks(shot);
}

// No at the question changes nothing; Yes limits every sample to half scale,
// says so, gives Record and Play back, and the rebuilt graph no longer marks
// clipping.
TEST(NoSoundEditClipping, AsksFirstThenLimitsEverySampleToHalfScale) {
    const std::vector<int> original = LoudSquare();
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, L"square.wav", Mono16(original)));
    ASSERT_TRUE(app.Command(IDM_GRAPH_FAST));
    ASSERT_GT(ClipMarksInPlot(app, [](int marks) { return marks > 1000; }), 1000) << "the loaded square wave is marked as clipped";

    ASSERT_TRUE(app.PostCommand(IDM_CLIPPING));
    Dialog question = app.WaitMessageBox();
    ASSERT_TRUE(question);
    EXPECT_EQ(st::Narrow(question.MessageText()), "Вы уверены что хотите выполнить клиппирование?");
    EXPECT_EQ(st::Narrow(question.Caption()), " ");
    EXPECT_TRUE(question.Control(IDYES) && question.Control(IDNO));
    ASSERT_TRUE(question.PressAndWaitGone(IDNO));
    ASSERT_TRUE(app.Settle());
    EXPECT_FALSE(HasLineStartingWith(app.Log(), L"Граница клиппирования")) << app.LogDump();
    st::Wav saved;
    ASSERT_TRUE(SaveAndRead(app, L"kept.wav", saved));
    EXPECT_EQ(Samples16(saved.data), original);

    ASSERT_TRUE(app.PostCommand(IDM_CLIPPING));
    ASSERT_TRUE(app.ExpectBox(L"Вы уверены что хотите выполнить клиппирование?", L" ", IDYES));
    ASSERT_TRUE(app.WaitLog(L"Клиппирование успешно выполнено!"));
    EXPECT_TRUE(app.LogContains(L"Граница клиппирования - 50% от максимума..")) << app.LogDump();
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));
    EXPECT_TRUE(app.Enabled(ID_PLAY_BUTTON));
    EXPECT_EQ(ClipMarksInPlot(app, [](int marks) { return marks == 0; }), 0) << "the graph still shows the sound before clipping";

    ASSERT_TRUE(SaveAndRead(app, L"clipped.wav", saved));
    const std::vector<int> got = Samples16(saved.data);
    ASSERT_EQ(got.size(), original.size());
    for (size_t i = 0; i < original.size(); ++i) {
        const int expected = original[i] > 16384 ? 16384 : original[i] < -16384 ? -16384 : original[i];
        ASSERT_EQ(got[i], expected) << "sample " << i;
    }
}

// ---- cutting -----------------------------------------------------------------

// `count` fragments of 16-bit mono, fragment k holding the value 100 k - 10000
// in every sample, so each saved fragment tells where it came from.
std::vector<int> NumberedFragments(int count) {
    std::vector<int> samples;
    for (int k = 0; k < count; ++k) samples.insert(samples.end(), MonoFragment / 2, 100 * k - 10000);
    return samples;
}

// The fragment numbers of a saved sound, -1 for a fragment that is not one
// of the originals whole.
std::vector<int> FragmentNumbers(const st::Wav& wav) {
    std::vector<int> numbers;
    const std::vector<int> samples = Samples16(wav.data);
    for (size_t at = 0; at + MonoFragment / 2 <= samples.size(); at += MonoFragment / 2) {
        const int first = samples[at];
        bool same = (first + 10000) % 100 == 0;
        for (size_t i = at; i < at + MonoFragment / 2 && same; ++i) same = samples[i] == first;
        numbers.push_back(same ? (first + 10000) / 100 : -1);
    }
    return numbers;
}

std::vector<int> Range(int from, int to) {
    std::vector<int> r;
    for (int i = from; i < to; ++i) r.push_back(i);
    return r;
}

bool SetRange(App& app, int top, int bottom) {
    return app.SetTrackPos(ID_START_TRACKBAR, top) && app.SetTrackPos(ID_END_TRACKBAR, bottom);
}

// Both trackbars back at the whole sound, nothing selected.
void ExpectTrackbarsReset(App& app) {
    EXPECT_EQ(app.TrackPos(ID_START_TRACKBAR), 0);
    EXPECT_EQ(app.TrackPos(ID_END_TRACKBAR), app.TrackMax(ID_END_TRACKBAR));
    EXPECT_EQ(app.TrackMax(ID_END_TRACKBAR), 10000);
    for (int id : {ID_START_TRACKBAR, ID_END_TRACKBAR}) {
        EXPECT_EQ(Ask(app.Control(id), TBM_GETSELSTART), 0) << id;
        EXPECT_EQ(Ask(app.Control(id), TBM_GETSELEND), 0) << id;
    }
}

// The lines from the last separator on.
std::vector<std::wstring> LinesFromLastPlan(const std::vector<std::wstring>& log) {
    for (size_t i = log.size(); i-- > 0;)
        if (log[i] == Separator && i + 1 < log.size() && log[i + 1].find(L"Всего фрагментов") != std::wstring::npos)
            return std::vector<std::wstring>(log.begin() + long(i), log.end());
    return {};
}

// A quarter to three quarters of 200 fragments: the plan in the log, the parts
// to go shown selected while the question is open, after Yes exactly
// fragments 50 to 149 in the saved file and the plot set to their length.
TEST(NoSoundEditCut, YesKeepsExactlyThePlannedFragments) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, L"numbered.wav", Mono16(NumberedFragments(200))));
    ASSERT_TRUE(SetRange(app, 2500, 7500));
    ASSERT_TRUE(app.ClickNoWait(ID_CUT_BUTTON));

    Dialog question = app.WaitMessageBox();
    ASSERT_TRUE(question);
    EXPECT_EQ(st::Narrow(question.MessageText()), " Выполнить преобразование? ");
    EXPECT_EQ(st::Narrow(question.Caption()), "Внимание");
    EXPECT_TRUE(question.Control(IDYES) && question.Control(IDNO));
    EXPECT_EQ(Ask(app.Control(ID_START_TRACKBAR), TBM_GETSELSTART), 0);
    EXPECT_EQ(Ask(app.Control(ID_START_TRACKBAR), TBM_GETSELEND), 2500);
    EXPECT_EQ(Ask(app.Control(ID_END_TRACKBAR), TBM_GETSELSTART), 7500);
    EXPECT_EQ(Ask(app.Control(ID_END_TRACKBAR), TBM_GETSELEND), 10000);
    EXPECT_EQ(LinesFromLastPlan(app.Log()),
              (std::vector<std::wstring>{Separator, L" Всего фрагментов - 200", L" Начальный фрагмент - 50",
                                         L" Количество скоп. фрагментов - 100"}))
        << app.LogDump();

    ASSERT_TRUE(question.PressAndWaitGone(IDYES));
    ASSERT_TRUE(app.WaitLog(L" Звуковые данные успешно обрезаны!"));
    ASSERT_TRUE(app.Settle());
    const std::vector<std::wstring> after = LinesFromLastPlan(app.Log());
    ASSERT_GE(after.size(), 6u) << app.LogDump();
    EXPECT_EQ(after[4], L" Звуковые данные успешно обрезаны!");
    EXPECT_EQ(after.back(), Separator);
    // The plot now spans the 100 kept fragments of 2205 frames.
    EXPECT_TRUE(app.LogHasPrefix(L"OpenGL: X(0, 220500)")) << app.LogDump();
    ExpectTrackbarsReset(app);

    st::Wav saved;
    ASSERT_TRUE(SaveAndRead(app, L"cut.wav", saved));
    EXPECT_EQ(saved.data.size(), 100u * MonoFragment);
    EXPECT_EQ(FragmentNumbers(saved), Range(50, 150));
}

// No leaves the sound whole and says so between the separators; the
// trackbars are reset all the same.
TEST(NoSoundEditCut, NoKeepsTheSound) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, L"numbered.wav", Mono16(NumberedFragments(20))));
    ASSERT_TRUE(SetRange(app, 1000, 9000));
    ASSERT_TRUE(app.ClickNoWait(ID_CUT_BUTTON));
    ASSERT_TRUE(app.ExpectBox(L" Выполнить преобразование? ", L"Внимание", IDNO));
    ASSERT_TRUE(app.WaitLog(L" Пользователь отменил преобразованиe!"));
    ASSERT_TRUE(app.Settle());
    EXPECT_EQ(LinesFromLastPlan(app.Log()),
              (std::vector<std::wstring>{Separator, L" Всего фрагментов - 20", L" Начальный фрагмент - 2",
                                         L" Количество скоп. фрагментов - 16", L" Пользователь отменил преобразованиe!",
                                         Separator}))
        << app.LogDump();
    ExpectTrackbarsReset(app);

    st::Wav saved;
    ASSERT_TRUE(SaveAndRead(app, L"whole.wav", saved));
    EXPECT_EQ(FragmentNumbers(saved), Range(0, 20));
}

// The two refusals: the lower trackbar not beyond the upper one, and a range
// too narrow for one whole fragment. Each resets the trackbars, logs no plan
// and cuts nothing; then the middle of three fragments can still be kept.
TEST(NoSoundEditCut, RefusesRangesThatHoldNoWholeFragment) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, L"three.wav", Mono16(NumberedFragments(3))));

    ASSERT_TRUE(SetRange(app, 4000, 4000));
    ASSERT_TRUE(app.ClickNoWait(ID_CUT_BUTTON));
    ASSERT_TRUE(app.ExpectBox(L"Позиция в нижнем трекбаре должна быть больше чем в верхнем.", L"Внимание"));
    ASSERT_TRUE(app.Settle());
    ExpectTrackbarsReset(app);

    ASSERT_TRUE(SetRange(app, 3400, 3500));
    ASSERT_TRUE(app.ClickNoWait(ID_CUT_BUTTON));
    ASSERT_TRUE(app.ExpectBox(L"Слишком малый размер выделяемой области!", L"Внимание"));
    ASSERT_TRUE(app.Settle());
    ExpectTrackbarsReset(app);
    EXPECT_FALSE(HasLine(app.Log(), Separator)) << app.LogDump();

    // 3400 .. 6700 of three fragments: start 1.02 -> 1, end 2.01 -> 2.
    ASSERT_TRUE(SetRange(app, 3400, 6700));
    ASSERT_TRUE(app.ClickNoWait(ID_CUT_BUTTON));
    ASSERT_TRUE(app.ExpectBox(L" Выполнить преобразование? ", L"Внимание", IDYES));
    ASSERT_TRUE(app.WaitLog(L" Звуковые данные успешно обрезаны!"));
    ASSERT_TRUE(app.Settle());
    st::Wav saved;
    ASSERT_TRUE(SaveAndRead(app, L"middle.wav", saved));
    EXPECT_EQ(FragmentNumbers(saved), Range(1, 2));
}

// ---- guards ------------------------------------------------------------------

// One child of a message box: marks `found` when it is an icon static that
// holds an icon (the box keeps the static even when it has none).
BOOL CALLBACK NoteIconChild(HWND child, LPARAM found) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Static") == 0 && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        Ask(child, STM_GETICON) != 0)
        *reinterpret_cast<bool*>(found) = true;
    return TRUE;
}

// Whether a message box shows an icon.
bool ShowsIcon(HWND box) {
    bool found = false;
    EnumChildWindows(box, NoteIconChild, LPARAM(&found));
    return found;
}

// Volume, clipping and cut each answer with `text` and do nothing else; the
// cut leaves the trackbars where they were, since it stops before reading them.
void ExpectEveryEditRefused(App& app, const std::wstring& text, bool informationIcon) {
    ASSERT_TRUE(SetRange(app, 1234, 5678));
    for (int command : {IDM_VOLUME, IDM_CLIPPING, ID_CUT_BUTTON}) {
        SCOPED_TRACE(command);
        if (command == ID_CUT_BUTTON) {
            ASSERT_TRUE(app.ClickNoWait(ID_CUT_BUTTON));
        } else {
            ASSERT_TRUE(app.PostCommand(command));
        }
        Dialog box = app.WaitMessageBox();
        ASSERT_TRUE(box);
        EXPECT_EQ(st::Narrow(box.MessageText()), st::Narrow(text));
        EXPECT_EQ(st::Narrow(box.Caption()), "Внимание!");
        EXPECT_EQ(box.ButtonIds(), std::vector<int>{IDOK});
        EXPECT_EQ(ShowsIcon(box.hwnd), informationIcon);
        ASSERT_TRUE(box.PressAndWaitGone(IDOK));
        ASSERT_TRUE(app.Settle());
        EXPECT_TRUE(app.NoDialog()) << "a second box or the volume dialog followed the refusal";
    }
    EXPECT_EQ(app.TrackPos(ID_START_TRACKBAR), 1234);
    EXPECT_EQ(app.TrackPos(ID_END_TRACKBAR), 5678);
    EXPECT_FALSE(HasLine(app.Log(), Separator)) << app.LogDump();
    EXPECT_FALSE(HasLineStartingWith(app.Log(), L"Граница клиппирования")) << app.LogDump();
}

TEST(NoSoundEditGuards, EveryEditNeedsASound) {
    App app;
    ASSERT_TRUE(app.Start());
    ExpectEveryEditRefused(app, NoSoundText, true);
}

TEST(CaptureEditGuards, EveryEditWaitsForTheRecordingToStop) {
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.Click(ID_RECORD_BUTTON));
    // Recording, and a fragment already in the chain (else the no-sound
    // refusal would come first).
    ASSERT_TRUE(st::WaitUntil(
        [&] { return app.Enabled(ID_STOP_RECORD_BUTTON) && app.Text(ID_TIME_DISPLAY).find(L"0:01") != std::wstring::npos; },
        "one second of recording"));
    ExpectEveryEditRefused(app, RecordingText, false);
    ASSERT_TRUE(app.Click(ID_STOP_RECORD_BUTTON));
    EXPECT_TRUE(app.WaitLog(L"Запись успешно завершена!"));
}

TEST(PlaybackEditGuards, EveryEditWaitsForThePlaybackToStop) {
    st::Wav wav;
    wav.data = st::Sine16(Rate * 30, Rate, 441.0);
    App app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(Load(app, L"sine.wav", wav));
    ASSERT_TRUE(app.Click(ID_PLAY_BUTTON));
    ASSERT_TRUE(st::WaitUntil([&] { return app.Enabled(ID_STOP_PLAY_BUTTON); }, "playback to start"));
    ExpectEveryEditRefused(app, PlayingText, false);
    EXPECT_TRUE(app.Enabled(ID_STOP_PLAY_BUTTON)) << "the playback went on";
    ASSERT_TRUE(app.Click(ID_STOP_PLAY_BUTTON));
}

}  // namespace
