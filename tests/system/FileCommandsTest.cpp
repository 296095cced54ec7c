// Open and Save as through the real file dialogs: what is loaded, what is
// written, what the program says, and when the commands are refused.
#include "SystemTest.h"

namespace {

using st::App;
using st::Narrow;
using st::Wav;

constexpr int kFileTypeCombo = 1136;  // the file-type list of the file dialogs

Wav Sound16Mono(double ms) {
  Wav w;
  w.data = st::Sine16(uint32_t(44100 * ms / 1000), 44100, 441);
  return w;
}

std::wstring Write(const std::wstring& name, const Wav& wav) {
  std::wstring path = st::TestFile(name);
  EXPECT_TRUE(st::WriteWav(path, wav)) << Narrow(path);
  return path;
}

// The file Save as must write for `wav` loaded with fragments of fragmentSize
// bytes: the header with the same format record and the data cut to whole
// fragments.
std::vector<uint8_t> ExpectedSave(Wav wav, size_t fragmentSize) {
  size_t whole = wav.data.size() / fragmentSize * fragmentSize;
  if (whole == 0) whole = fragmentSize;  // a short file still gives one fragment
  wav.data.resize(whole);
  return st::WavBytes(wav);
}

void ExpectFileEquals(const std::vector<uint8_t>& expected, const std::wstring& path) {
  std::vector<uint8_t> got;
  ASSERT_TRUE(st::ReadFileBytes(path, got)) << "no file " << Narrow(path);
  ASSERT_EQ(expected.size(), got.size()) << Narrow(path);
  size_t first = 0;
  while (first < got.size() && got[first] == expected[first]) ++first;
  EXPECT_EQ(expected.size(), first) << "first differing byte at offset " << first << " of " << Narrow(path);
}

std::wstring Cut100(const std::wstring& path) { return path.substr(0, 100) + L".."; }

// The newest line of the event log is fully in view: the list's top line
// leaves room for it in the box.
void ExpectNewestLogLineInView(App& app) {
  HWND log = app.Control(ID_EVENT_LOG);
  DWORD_PTR count = 0, top = 0, lineHeight = 0;
  ASSERT_TRUE(SendMessageTimeoutW(log, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &count));
  ASSERT_TRUE(SendMessageTimeoutW(log, LB_GETTOPINDEX, 0, 0, SMTO_NORMAL, 5000, &top));
  ASSERT_TRUE(SendMessageTimeoutW(log, LB_GETITEMHEIGHT, 0, 0, SMTO_NORMAL, 5000, &lineHeight));
  RECT client{};
  ASSERT_TRUE(GetClientRect(log, &client));
  ASSERT_GT(lineHeight, 0u);
  const DWORD_PTR shown = DWORD_PTR(client.bottom - client.top) / lineHeight;
  ASSERT_GT(count, shown) << "the log is too short to scroll";
  EXPECT_LT(top, count);
  EXPECT_GE(top + shown, count) << "the newest of " << count << " lines is below the " << shown
                                << " shown from line " << top;
}

void ExpectLoadedButtons(App& app) {
  EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));
  EXPECT_FALSE(app.Enabled(ID_STOP_RECORD_BUTTON));
  EXPECT_TRUE(app.Enabled(ID_PLAY_BUTTON));
  EXPECT_FALSE(app.Enabled(ID_PAUSE_BUTTON));
  EXPECT_FALSE(app.Enabled(ID_STOP_PLAY_BUTTON));
}

std::string TimeShown(App& app) {
  EXPECT_TRUE(app.Repaint());
  return Narrow(app.Text(ID_TIME_DISPLAY));
}

// Save as through the dialog, checking the log lines and the success box.
void SaveAndCheckReport(App& app, const std::wstring& path) {
  ASSERT_TRUE(app.PostCommand(IDM_SAVE_AS));
  st::Dialog dlg = app.WaitFileDialog();
  ASSERT_TRUE(dlg);
  ASSERT_TRUE(dlg.Accept(path));
  st::Dialog box = app.WaitMessageBox();
  ASSERT_TRUE(box) << app.LogDump();
  EXPECT_EQ(Narrow(L"Файл успешно сохранён"), Narrow(box.Caption()));
  EXPECT_EQ(Narrow(L"Путь сохранения:\n " + Cut100(path)), Narrow(box.MessageText()));
  ASSERT_TRUE(box.PressAndWaitGone(IDOK));
  std::vector<std::wstring> log = app.Log();
  size_t at = 0;
  while (at < log.size() && log[at] != L"Путь сохранения файла: ") ++at;
  ASSERT_LT(at + 1, log.size()) << app.LogDump();
  EXPECT_EQ(Narrow(L" " + Cut100(path)), Narrow(log[at + 1]));
  EXPECT_TRUE(app.LogContains(L" В буфере осталось 0 байт")) << app.LogDump();
  EXPECT_TRUE(app.LogContains(L"Файл успешно сохранен!")) << app.LogDump();
}

// ---- Open -----------------------------------------------------------------

TEST(FileCommands, OpenThroughTheDialogLoadsTheFile) {
  App app;
  ASSERT_TRUE(app.Start());
  std::wstring path = Write(L"one_second.wav", Sound16Mono(1000));
  ASSERT_TRUE(app.PostCommand(IDM_OPEN));
  st::Dialog dlg = app.WaitFileDialog();
  ASSERT_TRUE(dlg);
  // Two filters, the WAVE one preselected.
  HWND types = dlg.Control(kFileTypeCombo);
  ASSERT_NE(nullptr, types);
  EXPECT_EQ(2, int(SendMessageW(types, CB_GETCOUNT, 0, 0)));
  EXPECT_EQ(1, int(SendMessageW(types, CB_GETCURSEL, 0, 0)));
  ASSERT_TRUE(dlg.Accept(path));
  EXPECT_TRUE(app.ExpectBox(L" Файл успешно открыт!", L"Success"));
  for (const wchar_t* line : {L" Формат файла RIFF", L" Нашли блок 'data' - всё OK :)",
                              L"Длительность записи - 0 мин. 1 сек."})
    EXPECT_TRUE(app.LogContains(line)) << Narrow(line) << "\n" << app.LogDump();
  ExpectLoadedButtons(app);
  EXPECT_EQ(" 0:01", TimeShown(app));
}

TEST(FileCommands, OpenReportsTheFormatAndDurationOfAStereoEightBitFile) {
  App app;
  ASSERT_TRUE(app.Start());
  Wav w;
  w.channels = 2;
  w.bitsPerSample = 8;
  w.samplesPerSec = 22050;
  // 65.2 s, so that whole 50 ms fragments still hold more than 65 s.
  w.data.resize(size_t(22050 * 2 * 65.2));
  for (size_t i = 0; i < w.data.size(); ++i) w.data[i] = uint8_t(128 + ((i / 2) % 50) - 25);
  ASSERT_TRUE(app.OpenFile(Write(L"stereo8.wav", w)));
  for (const wchar_t* line : {L" Кол-во каналов (MONO=1): 2", L" Частота дискретизации (Hz): 22050",
                              L" Глубина звука (bit): 8", L"Длительность записи - 1 мин. 5 сек."})
    EXPECT_TRUE(app.LogContains(line)) << Narrow(line) << "\n" << app.LogDump();
  EXPECT_EQ(" 1:05", TimeShown(app));
  ExpectLoadedButtons(app);
}

TEST(FileCommands, RefusedFilesKeepThePreviousSound) {
  App app;
  ASSERT_TRUE(app.Start());
  Wav good = Sound16Mono(2000);  // 40 fragments of 4410 bytes
  ASSERT_TRUE(app.OpenFile(Write(L"good.wav", good)));

  std::vector<uint8_t> notRiff = st::WavBytes(Sound16Mono(500));
  notRiff[3] = 'X';
  Wav tiny = Sound16Mono(1);
  tiny.data.resize(99);
  struct {
    const wchar_t* name;
    std::vector<uint8_t> bytes;
    const wchar_t* line;
  } bad[] = {{L"rifx.wav", notRiff, L" Ошибка, Формат файла не RIFF!"},
             {L"tiny.wav", st::WavBytes(tiny), L" Ошибка! Размер блока данных < 100!"}};
  for (const auto& b : bad) {
    SCOPED_TRACE(Narrow(b.name));
    std::wstring path = st::TestFile(b.name);
    ASSERT_TRUE(st::WriteFileBytes(path, b.bytes));
    ASSERT_TRUE(app.PostCommand(IDM_OPEN));
    st::Dialog dlg = app.WaitFileDialog();
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(dlg.Accept(path));
    EXPECT_TRUE(app.ExpectBox(L"Не удалось открыть файл", L"Error"));
    EXPECT_TRUE(app.LogContains(b.line)) << app.LogDump();
    ExpectLoadedButtons(app);
    EXPECT_EQ(" 0:02", TimeShown(app));
  }
  // What is saved now is still the first file, byte for byte.
  std::wstring out = st::TestFile(L"kept.wav");
  ASSERT_TRUE(app.SaveFileAs(out));
  ExpectFileEquals(ExpectedSave(good, 4410), out);
  ExpectNewestLogLineInView(app);
}

TEST(FileCommands, CancellingOpenChangesNothing) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.OpenFile(Write(L"loaded.wav", Sound16Mono(2000))));
  std::vector<std::wstring> before = app.Log();
  ASSERT_TRUE(app.PostCommand(IDM_OPEN));
  st::Dialog dlg = app.WaitFileDialog();
  ASSERT_TRUE(dlg);
  ASSERT_TRUE(dlg.Cancel());
  ASSERT_TRUE(app.Settle());
  EXPECT_TRUE(app.NoDialog()) << "no box after a cancelled Open";
  EXPECT_EQ(before, app.Log());
  ExpectLoadedButtons(app);
  EXPECT_EQ(" 0:02", TimeShown(app));
}

// ---- Save as --------------------------------------------------------------

TEST(FileCommands, SaveAsWritesTheHeaderAndTheWholeFragmentsOfTheLoadedFile) {
  struct Case {
    const wchar_t* name;
    uint16_t channels, bits;
    uint32_t rate;
    size_t dataBytes, fragment;
    uint32_t avgBytes;  // 0: the right value; otherwise a wrong one the file carries
  } cases[] = {
      {L"m16_44100.wav", 1, 16, 44100, 46000, 4410, 0},  // ten fragments, 1900 bytes not loaded
      {L"m8_11025.wav", 1, 8, 11025, 5000, 552, 0},
      {L"s16_22050.wav", 2, 16, 22050, 20000, 4412, 1000},
  };
  App app;
  ASSERT_TRUE(app.Start());
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.name));
    Wav w;
    w.channels = c.channels;
    w.bitsPerSample = c.bits;
    w.samplesPerSec = c.rate;
    w.avgBytesPerSec = c.avgBytes;
    w.data.resize(c.dataBytes);
    for (size_t i = 0; i < w.data.size(); ++i) w.data[i] = uint8_t(i * 7 + i / 251);
    ASSERT_TRUE(app.OpenFile(Write(c.name, w)));
    std::wstring out = st::TestFile(std::wstring(L"saved_") + c.name);
    SaveAndCheckReport(app, out);
    ExpectFileEquals(ExpectedSave(w, c.fragment), out);
    Wav back;
    ASSERT_TRUE(st::ReadWav(out, back));
    EXPECT_EQ(c.avgBytes ? c.avgBytes : uint32_t(c.rate * c.channels * c.bits / 8), back.avgBytesPerSec)
        << "the format record is written as read";
  }
}

TEST(FileCommands, CancellingSaveReportsThatNoNameWasGiven) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.OpenFile(Write(L"loaded.wav", Sound16Mono(1000))));
  ASSERT_TRUE(app.PostCommand(IDM_SAVE_AS));
  st::Dialog dlg = app.WaitFileDialog();
  ASSERT_TRUE(dlg);
  EXPECT_EQ(Narrow(L" Сохранить как..."), Narrow(dlg.Caption()));
  ASSERT_TRUE(dlg.Cancel());
  EXPECT_TRUE(app.ExpectBox(L"Не удалось получить имя файла!", L"Ошибка"));
  EXPECT_TRUE(app.LogContains(L"Не удалось получить имя файла для сохранения!")) << app.LogDump();
  EXPECT_FALSE(app.LogContains(L"Путь сохранения файла: "));
  ExpectLoadedButtons(app);
}

TEST(FileCommands, SavingWithoutSoundCreatesNoFile) {
  App app;
  ASSERT_TRUE(app.Start());
  std::wstring out = st::TestFile(L"nothing.wav");
  ASSERT_TRUE(app.PostCommand(IDM_SAVE_AS));
  st::Dialog dlg = app.WaitFileDialog();
  ASSERT_TRUE(dlg) << "an empty sound is not refused before the dialog";
  HWND types = dlg.Control(kFileTypeCombo);
  ASSERT_NE(nullptr, types);
  EXPECT_EQ(1, int(SendMessageW(types, CB_GETCURSEL, 0, 0)));
  ASSERT_TRUE(dlg.Accept(out));
  EXPECT_TRUE(app.ExpectBox(L" Нет данных для сохранения! ", L"Внимание"));
  EXPECT_FALSE(st::FileExists(out));
  EXPECT_TRUE(app.LogContains(L"Путь сохранения файла: ")) << app.LogDump();
  EXPECT_TRUE(app.LogContains(L" " + Cut100(out))) << app.LogDump();
  EXPECT_TRUE(app.LogContains(L"Ошибка, нет данных для сохранения!")) << app.LogDump();
}

TEST(FileCommands, LongPathIsShownCutTo100Characters) {
  App app;
  ASSERT_TRUE(app.Start());
  Wav w = Sound16Mono(1000);
  ASSERT_TRUE(app.OpenFile(Write(L"long_source.wav", w)));
  std::wstring dir = st::WorkDir() + L"\\";
  size_t length = std::max<size_t>(120, dir.size() + 20);
  ASSERT_LT(length, 250u) << "the work folder's path is too long for this test";
  std::wstring out = dir + L"long_" + std::wstring(length - dir.size() - 9, L'x') + L".wav";
  ASSERT_EQ(length, out.size());
  SaveAndCheckReport(app, out);
  ExpectFileEquals(ExpectedSave(w, 4410), out);
}

TEST(FileCommands, SaveDialogAddsTheWavExtension) {
  App app;
  ASSERT_TRUE(app.Start());
  Wav w = Sound16Mono(500);
  ASSERT_TRUE(app.OpenFile(Write(L"ext_source.wav", w)));
  std::wstring bare = st::TestFile(L"no_extension");
  ASSERT_TRUE(app.SaveFileAs(bare));
  EXPECT_FALSE(st::FileExists(bare));
  ExpectFileEquals(ExpectedSave(w, 4410), bare + L".wav");
  EXPECT_TRUE(app.LogContains(L" " + Cut100(bare + L".wav"))) << app.LogDump();
}

// ---- while recording / playing -------------------------------------------

TEST(CaptureFileCommands, OpenSaveAndEditsAreRefusedWhileRecording) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.Click(ID_RECORD_BUTTON));
  ASSERT_TRUE(st::WaitUntil([&] { return app.Enabled(ID_STOP_RECORD_BUTTON); }, "the recording to start"))
      << app.LogDump();
  EXPECT_TRUE(app.LogContains(L"Устройство записи успешно открыто")) << app.LogDump();
  EXPECT_FALSE(app.Enabled(ID_RECORD_BUTTON));
  EXPECT_FALSE(app.Enabled(ID_PLAY_BUTTON));
  // Wait until some sound has arrived, so that the edit guard below meets the
  // running recording rather than an empty sound.
  ASSERT_TRUE(st::WaitUntil([&] { return TimeShown(app) != " 0:00"; }, "recorded sound"));

  ASSERT_TRUE(app.PostCommand(IDM_OPEN));
  EXPECT_TRUE(app.ExpectBox(L"Сначала остановите запись звука!", L"Ошибка"));
  ASSERT_TRUE(app.Settle());
  EXPECT_TRUE(app.NoDialog()) << "no file dialog while recording";

  ASSERT_TRUE(app.PostCommand(IDM_SAVE_AS));
  EXPECT_TRUE(app.ExpectBox(L"Сначала остановите запись!", L"Ошибка"));
  ASSERT_TRUE(app.Settle());
  EXPECT_TRUE(app.NoDialog()) << "no file dialog while recording";

  ASSERT_TRUE(app.PostCommand(ID_CUT_BUTTON));
  EXPECT_TRUE(app.ExpectBox(L" Сначала остановите запись! ", L"Внимание!"));
  ASSERT_TRUE(app.PostCommand(ID_RECORD_BUTTON));
  EXPECT_TRUE(app.ExpectBox(L"Запись уже запущена!", L"Ошибка"));

  ASSERT_TRUE(app.Enabled(ID_STOP_RECORD_BUTTON)) << "the refusals leave the recording running";
  ASSERT_TRUE(app.Click(ID_STOP_RECORD_BUTTON));
  ASSERT_TRUE(app.WaitLog(L"Запись успешно завершена!"));
  ExpectLoadedButtons(app);

  // Now saving works and writes what was recorded: 16-bit mono 44100 Hz in
  // whole 4410-byte fragments.
  std::wstring out = st::TestFile(L"recorded.wav");
  ASSERT_TRUE(app.SaveFileAs(out));
  Wav back;
  ASSERT_TRUE(st::ReadWav(out, back));
  EXPECT_EQ(1, back.channels);
  EXPECT_EQ(16, back.bitsPerSample);
  EXPECT_EQ(44100u, back.samplesPerSec);
  EXPECT_EQ(88200u, back.avgBytesPerSec);
  EXPECT_EQ(2, back.blockAlign);
  EXPECT_GT(back.data.size(), 0u);
  EXPECT_EQ(0u, back.data.size() % 4410);
}

// Record starts the recording thread at once, the device reports open only
// later: a file command in between must meet the running recording too, or
// it would replace the chain the capture callback links fragments onto.
TEST(CaptureFileCommands, OpenAndSaveRightAfterRecordAreRefused) {
  App app;
  ASSERT_TRUE(app.Start());
  const struct {
    int command;
    const wchar_t* text;
  } commands[] = {{IDM_OPEN, L"Сначала остановите запись звука!"}, {IDM_SAVE_AS, L"Сначала остановите запись!"}};
  for (const auto& c : commands) {
    SCOPED_TRACE(c.command);
    ASSERT_TRUE(app.PostCommand(ID_RECORD_BUTTON));
    ASSERT_TRUE(app.PostCommand(c.command));
    EXPECT_TRUE(app.ExpectBox(c.text, L"Ошибка"));
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.NoDialog()) << "no file dialog while a recording starts";
    ASSERT_TRUE(st::WaitUntil([&] { return app.Enabled(ID_STOP_RECORD_BUTTON); }, "the recording to start"))
        << app.LogDump();
    ASSERT_TRUE(app.Click(ID_STOP_RECORD_BUTTON));
    ASSERT_TRUE(app.WaitLog(L"Запись успешно завершена!"));
    ASSERT_TRUE(app.Click(ID_CLEAR_LOG_BUTTON));
  }
}

TEST(PlaybackFileCommands, OpenIsRefusedDuringPlaybackButSaveIsAllowed) {
  App app;
  ASSERT_TRUE(app.Start());
  Wav w = Sound16Mono(40000);
  ASSERT_TRUE(app.OpenFile(Write(L"long_play.wav", w)));
  ASSERT_TRUE(app.Click(ID_PLAY_BUTTON));
  ASSERT_TRUE(st::WaitUntil([&] { return app.Enabled(ID_STOP_PLAY_BUTTON); }, "the playback to start"))
      << app.LogDump();

  ASSERT_TRUE(app.PostCommand(IDM_OPEN));
  EXPECT_TRUE(app.ExpectBox(L"Сначала остановите воспроизведение!", L"Ошибка"));
  ASSERT_TRUE(app.Settle());
  EXPECT_TRUE(app.NoDialog()) << "no file dialog while playing";

  ASSERT_TRUE(app.PostCommand(ID_CUT_BUTTON));
  EXPECT_TRUE(app.ExpectBox(L" Сначала остановите воспроизведение! ", L"Внимание!"));

  std::wstring out = st::TestFile(L"saved_while_playing.wav");
  ASSERT_TRUE(app.SaveFileAs(out));
  ExpectFileEquals(ExpectedSave(w, 4410), out);

  ASSERT_TRUE(app.Enabled(ID_STOP_PLAY_BUTTON)) << "still playing";
  ASSERT_TRUE(app.Click(ID_STOP_PLAY_BUTTON));
  ASSERT_TRUE(st::WaitUntil([&] { return app.Enabled(ID_PLAY_BUTTON); }, "the playback to stop"));
  ExpectLoadedButtons(app);
}

}  // namespace
