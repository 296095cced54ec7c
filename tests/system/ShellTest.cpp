// The application shell seen from outside: the main window and its controls
// at start-up, the layout, the View menu marks, the guard boxes of the
// commands that need a sound, the information boxes and the ways to end.
#include "SystemTest.h"

#include <mmsystem.h>

namespace {

using st::App;
using st::Narrow;

// Capture devices as Wine shows them to any process of this environment.
std::vector<std::wstring> CaptureDeviceNames() {
  std::vector<std::wstring> names;
  UINT n = waveInGetNumDevs();
  for (UINT i = 0; i < n; ++i) {
    WAVEINCAPSW caps{};
    if (waveInGetDevCapsW(i, &caps, sizeof caps) == MMSYSERR_NOERROR) names.push_back(caps.szPname);
  }
  return names;
}

struct ControlSpec {
  int id;
  const wchar_t* cls;
  const wchar_t* text;  // nullptr: not checked (combo boxes show their selection)
  int width, height;    // creation size kept by the layout; 0: not checked
};

const ControlSpec kControls[] = {
    {ID_RECORD_BUTTON, L"button", L" Запись ", 100, 30},
    {ID_STOP_RECORD_BUTTON, L"button", L" Стоп ", 100, 30},
    {ID_DEVICE_COMBO, L"combobox", nullptr, 324, 0},
    {ID_BITS_COMBO, L"combobox", nullptr, 100, 0},
    {ID_RATE_COMBO, L"combobox", nullptr, 117, 0},
    {ID_CHANNELS_COMBO, L"combobox", nullptr, 100, 0},
    {ID_CAPTURE_GROUP, L"button", L"Устройство записи:", 330, 140},
    {ID_PLAY_BUTTON, L"button", L"Воспр.", 90, 30},
    {ID_PAUSE_BUTTON, L"button", L"Пауза", 128, 30},
    {ID_STOP_PLAY_BUTTON, L"button", L"Стоп", 92, 30},
    {ID_PLAYBACK_GROUP, L"button", L"Устройство воспроизведения:", 330, 80},
    {ID_EVENT_LOG, L"listbox", L"", 330, 0},  // height: see ExpectLayout
    {ID_CLEAR_LOG_BUTTON, L"button", L" C ", 25, 25},
    {ID_START_TRACKBAR, L"msctls_trackbar32", L"имя трекбара 1", 0, 25},
    {ID_END_TRACKBAR, L"msctls_trackbar32", L"имя трекбара 2", 0, 25},
    {ID_CUT_BUTTON, L"button", L"_Обрезать звук_", 155, 30},
    {ID_TIME_DISPLAY, L"static", nullptr, 195, 25},
};

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = wchar_t(towlower(c));
  return s;
}

// Where every control must be for a client area of W x H.
void ExpectLayout(App& app) {
  RECT client = app.ClientRect();
  const int W = client.right, H = client.bottom;
  struct Place {
    int id, x, y;
  } places[] = {
      {ID_RECORD_BUTTON, 60, H - 240},     {ID_STOP_RECORD_BUTTON, 180, H - 240}, {ID_DEVICE_COMBO, 8, H - 190},
      {ID_BITS_COMBO, 8, H - 160},         {ID_RATE_COMBO, 112, H - 160},          {ID_CHANNELS_COMBO, 232, H - 160},
      {ID_CAPTURE_GROUP, 5, H - 265},      {ID_PLAY_BUTTON, 10, H - 80},           {ID_PAUSE_BUTTON, 105, H - 80},
      {ID_STOP_PLAY_BUTTON, 238, H - 80},  {ID_PLAYBACK_GROUP, 5, H - 120},        {ID_EVENT_LOG, 340, H - 190},
      {ID_CLEAR_LOG_BUTTON, 675, H - 70},  {ID_START_TRACKBAR, -3, H - 320},       {ID_END_TRACKBAR, -3, H - 295},
      {ID_CUT_BUTTON, W - 160, H - 265},   {ID_TIME_DISPLAY, 70, H - 35},
  };
  for (const auto& p : places) {
    RECT r = app.ControlRect(p.id);
    EXPECT_EQ(p.x, r.left) << "x of control " << p.id << " in a client area of " << W << "x" << H;
    EXPECT_EQ(p.y, r.top) << "y of control " << p.id << " in a client area of " << W << "x" << H;
  }
  for (const auto& c : kControls) {
    RECT r = app.ControlRect(c.id);
    if (c.width) {
      EXPECT_EQ(c.width, r.right - r.left) << "width of control " << c.id;
    }
    if (c.height) {
      EXPECT_EQ(c.height, r.bottom - r.top) << "height of control " << c.id;
    }
  }
  // The list box is given 155 pixels; the system trims a list box to a whole
  // number of lines, so only an upper bound and growth beyond the creation
  // height of 100 are certain.
  RECT log = app.ControlRect(ID_EVENT_LOG);
  EXPECT_LE(log.bottom - log.top, 155);
  EXPECT_GT(log.bottom - log.top, 100);
  for (int id : {ID_START_TRACKBAR, ID_END_TRACKBAR}) {
    RECT r = app.ControlRect(id);
    EXPECT_EQ(W + 6, r.right - r.left) << "trackbar " << id << " spans the client width plus 3 pixels each side";
  }
}

struct ButtonStates {
  bool record, stopRecord, play, pause, stopPlay;
};

void ExpectButtons(App& app, ButtonStates s, const char* when) {
  EXPECT_EQ(s.record, app.Enabled(ID_RECORD_BUTTON)) << "Record button " << when;
  EXPECT_EQ(s.stopRecord, app.Enabled(ID_STOP_RECORD_BUTTON)) << "Stop-recording button " << when;
  EXPECT_EQ(s.play, app.Enabled(ID_PLAY_BUTTON)) << "Play button " << when;
  EXPECT_EQ(s.pause, app.Enabled(ID_PAUSE_BUTTON)) << "Pause button " << when;
  EXPECT_EQ(s.stopPlay, app.Enabled(ID_STOP_PLAY_BUTTON)) << "Stop-playback button " << when;
}

const ButtonStates kNoSound{true, false, false, false, false};
const ButtonStates kLoaded{true, false, true, false, false};

void ExpectMark(App& app, int id, bool checked, bool grayed) {
  App::MenuItem m = app.MenuState(id);
  ASSERT_TRUE(m.found) << "menu item " << id;
  EXPECT_EQ(checked, m.checked) << "check mark of menu item " << id;
  EXPECT_EQ(grayed, m.grayed) << "grayed state of menu item " << id;
}

// A click sent through the input queue is handled when the program gets to
// it: waits until the menu item's check mark is as expected.
bool WaitMark(App& app, int id, bool checked) {
  return st::WaitUntil([&] { return app.MenuState(id).checked == checked; },
                       "the check mark of menu item " + std::to_string(id) + (checked ? " to be set" : " to go"));
}

// A sound of `ms` milliseconds, 16-bit mono 44100 Hz, written for the test.
std::wstring WriteSound(const std::wstring& name, double ms) {
  st::Wav w;
  w.data = st::Sine16(uint32_t(44100 * ms / 1000), 44100, 441);
  std::wstring path = st::TestFile(name);
  EXPECT_TRUE(st::WriteWav(path, w)) << Narrow(path);
  return path;
}

// ---- start-up ------------------------------------------------------------

TEST(Shell, MainWindowTitleClassStyleAndCentredPlace) {
  App app;
  ASSERT_TRUE(app.Start());
  EXPECT_EQ(Narrow(L" Dudorori "), Narrow(app.Title()));
  EXPECT_EQ("Dudorori_win_Class", Narrow(app.ClassName()));
  LONG style = app.Style(0);
  EXPECT_EQ(LONG(WS_OVERLAPPEDWINDOW), style & LONG(WS_OVERLAPPEDWINDOW));
  EXPECT_TRUE(style & WS_CLIPCHILDREN);
  EXPECT_TRUE(style & WS_CLIPSIBLINGS);
  EXPECT_EQ(43u, GetClassLongW(app.Main(), GCL_STYLE) & 0xFFFF) << "class style";
  RECT r = app.WindowRect();
  EXPECT_EQ(780, r.right - r.left);
  EXPECT_EQ(570, r.bottom - r.top);
  RECT work{};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_EQ(work.left + (work.right - work.left - 780) / 2, r.left);
  EXPECT_EQ(work.top + (work.bottom - work.top - 570) / 2, r.top);
}

TEST(Shell, SeventeenControlsWithTheirClassesTextsAndStyles) {
  App app;
  ASSERT_TRUE(app.Start());
  for (const auto& c : kControls) {
    HWND h = app.Control(c.id);
    ASSERT_NE(nullptr, h) << "no control with ID " << c.id;
    EXPECT_EQ(Narrow(c.cls), Narrow(Lower(app.ControlClass(c.id)))) << "class of control " << c.id;
    if (c.text) {
      EXPECT_EQ(Narrow(c.text), Narrow(app.Text(c.id))) << "text of control " << c.id;
    }
    EXPECT_TRUE(app.Visible(c.id)) << "control " << c.id << " visible";
    EXPECT_EQ(app.Main(), GetParent(h)) << "control " << c.id << " is a child of the main window";
  }
  for (int id : {ID_RECORD_BUTTON, ID_STOP_RECORD_BUTTON, ID_PLAY_BUTTON, ID_PAUSE_BUTTON, ID_STOP_PLAY_BUTTON,
                 ID_CLEAR_LOG_BUTTON, ID_CUT_BUTTON}) {
    EXPECT_EQ(LONG(BS_DEFPUSHBUTTON), app.Style(id) & 0xF) << "push button " << id;
    EXPECT_TRUE(app.Style(id) & WS_TABSTOP) << "push button " << id;
  }
  for (int id : {ID_CAPTURE_GROUP, ID_PLAYBACK_GROUP}) EXPECT_EQ(LONG(BS_GROUPBOX), app.Style(id) & 0xF);
  for (int id : {ID_DEVICE_COMBO, ID_BITS_COMBO, ID_RATE_COMBO, ID_CHANNELS_COMBO})
    EXPECT_EQ(LONG(CBS_DROPDOWNLIST), app.Style(id) & 3) << "combo box " << id;
  EXPECT_TRUE(app.Style(ID_EVENT_LOG) & LBS_NOSEL);
  EXPECT_FALSE(app.Style(ID_EVENT_LOG) & LBS_SORT) << "the log keeps the order of its lines";
  EXPECT_TRUE(app.ExStyle(ID_EVENT_LOG) & WS_EX_CLIENTEDGE);
  for (int id : {ID_START_TRACKBAR, ID_END_TRACKBAR}) {
    EXPECT_TRUE(app.Style(id) & TBS_ENABLESELRANGE);
    EXPECT_TRUE(app.Style(id) & TBS_FIXEDLENGTH);
  }
  EXPECT_EQ(LONG(SS_CENTER), app.Style(ID_TIME_DISPLAY) & 0x1F);
}

TEST(Shell, InitialButtonStates) {
  App app;
  ASSERT_TRUE(app.Start());
  ExpectButtons(app, kNoSound, "at start-up");
  EXPECT_EQ(Narrow(L"Пауза"), Narrow(app.Text(ID_PAUSE_BUTTON)));
  for (int id : {ID_CLEAR_LOG_BUTTON, ID_CUT_BUTTON, ID_DEVICE_COMBO, ID_BITS_COMBO, ID_RATE_COMBO, ID_CHANNELS_COMBO,
                 ID_START_TRACKBAR, ID_END_TRACKBAR, ID_EVENT_LOG, ID_TIME_DISPLAY})
    EXPECT_TRUE(app.Enabled(id)) << "control " << id;
}

TEST(Shell, FormatListsHoldTheirItemsWithTheDefaultsSelected) {
  App app;
  ASSERT_TRUE(app.Start());
  const std::vector<std::wstring> bits{L" 8 bit", L"16 bit", L"24 bit"};
  const std::vector<std::wstring> rates{L"8000 Hz",  L"11025 Hz", L"22050 Hz", L"44100 Hz",
                                        L"48000 Hz", L"96000 Hz", L"192000 Hz"};
  const std::vector<std::wstring> channels{L"Mono  ", L"Stereo"};
  struct {
    int id;
    const std::vector<std::wstring>* items;
    int sel;
  } lists[] = {{ID_BITS_COMBO, &bits, 1}, {ID_RATE_COMBO, &rates, 3}, {ID_CHANNELS_COMBO, &channels, 0}};
  for (const auto& l : lists) {
    ASSERT_EQ(int(l.items->size()), app.ComboCount(l.id)) << "items of combo box " << l.id;
    for (size_t i = 0; i < l.items->size(); ++i)
      EXPECT_EQ(Narrow((*l.items)[i]), Narrow(app.ComboItem(l.id, int(i)))) << "combo box " << l.id << " item " << i;
    EXPECT_EQ(l.sel, app.ComboSel(l.id)) << "selection of combo box " << l.id;
  }
}

TEST(Shell, DeviceListStartsWithTheDefaultEntryThenEveryCaptureDevice) {
  App app;
  ASSERT_TRUE(app.Start());
  std::vector<std::wstring> devices = CaptureDeviceNames();
  ASSERT_GE(devices.size(), 1u) << "this environment has a PulseAudio capture device";
  ASSERT_EQ(int(devices.size()) + 1, app.ComboCount(ID_DEVICE_COMBO));
  EXPECT_EQ(Narrow(L"Устройство записи по умолчанию"), Narrow(app.ComboItem(ID_DEVICE_COMBO, 0)));
  for (size_t i = 0; i < devices.size(); ++i)
    EXPECT_EQ(Narrow(devices[i]), Narrow(app.ComboItem(ID_DEVICE_COMBO, int(i) + 1)));
  EXPECT_EQ(0, app.ComboSel(ID_DEVICE_COMBO));
  std::vector<std::wstring> log = app.Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(Narrow(L"Количество устройств записи - " + std::to_wstring(devices.size())), Narrow(log[0]));
}

TEST(Shell, TrackbarsSpanTheWholeRangeAndTheTimeDisplayShowsZeroAfterThePaint) {
  App app;
  ASSERT_TRUE(app.Start());
  for (int id : {ID_START_TRACKBAR, ID_END_TRACKBAR}) {
    EXPECT_EQ(0, app.TrackMin(id));
    EXPECT_EQ(10000, app.TrackMax(id));
  }
  EXPECT_EQ(0, app.TrackPos(ID_START_TRACKBAR));
  EXPECT_EQ(10000, app.TrackPos(ID_END_TRACKBAR));
  EXPECT_EQ(" 0:00", Narrow(app.Text(ID_TIME_DISPLAY)));
}

// ---- layout --------------------------------------------------------------

TEST(Shell, LayoutAtStartAndAfterResizing) {
  App app;
  ASSERT_TRUE(app.Start());
  {
    SCOPED_TRACE("at start");
    ExpectLayout(app);
  }
  ASSERT_TRUE(app.Resize(1000, 700));
  RECT w = app.WindowRect();
  ASSERT_EQ(1000, w.right - w.left);
  ASSERT_EQ(700, w.bottom - w.top);
  {
    SCOPED_TRACE("at 1000x700");
    ExpectLayout(app);
  }
  ASSERT_TRUE(app.Resize(850, 520));
  {
    SCOPED_TRACE("at 850x520");
    ExpectLayout(app);
  }
}

TEST(Shell, WindowCannotBeMadeSmallerThan720x480) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.Resize(500, 300));
  RECT w = app.WindowRect();
  EXPECT_EQ(720, w.right - w.left);
  EXPECT_EQ(480, w.bottom - w.top);
  ExpectLayout(app);
  ASSERT_TRUE(app.Resize(719, 481));
  w = app.WindowRect();
  EXPECT_EQ(720, w.right - w.left);
  EXPECT_EQ(481, w.bottom - w.top);
}

// ---- View menu -------------------------------------------------------------

TEST(Shell, MenuMarksAtStartUp) {
  App app;
  ASSERT_TRUE(app.Start());
  ExpectMark(app, IDM_LIVE_HEADING, false, true);
  ExpectMark(app, IDM_LIVE_DETAILED, true, false);
  ExpectMark(app, IDM_SHOW_OVERLOAD, true, false);
  ExpectMark(app, IDM_SHOW_VU, true, false);
  ExpectMark(app, IDM_GRAPH_HEADING, false, true);
  ExpectMark(app, IDM_GRAPH_FAST, true, false);
  ExpectMark(app, IDM_GRAPH_DETAILED, false, false);
  ExpectMark(app, IDM_SHOW_CLIPPING, true, false);
  EXPECT_TRUE(app.MenuState(IDM_GRAPH_FAST).raw & MFT_RADIOCHECK) << "radio item";
  EXPECT_TRUE(app.MenuState(IDM_GRAPH_DETAILED).raw & MFT_RADIOCHECK) << "radio item";
  for (int id : {IDM_OPEN, IDM_SAVE_AS, IDM_EXIT, IDM_CLIPPING, IDM_VOLUME, IDM_HELP, IDM_OPENGL_INFO, IDM_ABOUT})
    ExpectMark(app, id, false, false);
}

TEST(Shell, LiveDetailedOffClearsAndGraysItsDependantsAndOnEnablesThemUnmarked) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.Command(IDM_LIVE_DETAILED));
  ExpectMark(app, IDM_LIVE_DETAILED, false, false);
  ExpectMark(app, IDM_SHOW_OVERLOAD, false, true);
  ExpectMark(app, IDM_SHOW_VU, false, true);
  ASSERT_TRUE(app.Command(IDM_LIVE_DETAILED));
  ExpectMark(app, IDM_LIVE_DETAILED, true, false);
  ExpectMark(app, IDM_SHOW_OVERLOAD, false, false);
  ExpectMark(app, IDM_SHOW_VU, false, false);
  // Each comes back only when chosen, independently of the other.
  ASSERT_TRUE(app.Command(IDM_SHOW_OVERLOAD));
  ExpectMark(app, IDM_SHOW_OVERLOAD, true, false);
  ExpectMark(app, IDM_SHOW_VU, false, false);
  ASSERT_TRUE(app.Command(IDM_SHOW_VU));
  ExpectMark(app, IDM_SHOW_VU, true, false);
  ExpectMark(app, IDM_SHOW_OVERLOAD, true, false);
}

TEST(Shell, OverloadAndVuMeterItemsToggleTheirOwnMarkOnly) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.Command(IDM_SHOW_OVERLOAD));
  ExpectMark(app, IDM_SHOW_OVERLOAD, false, false);
  ExpectMark(app, IDM_SHOW_VU, true, false);
  ExpectMark(app, IDM_LIVE_DETAILED, true, false);
  ASSERT_TRUE(app.Command(IDM_SHOW_VU));
  ExpectMark(app, IDM_SHOW_VU, false, false);
  ExpectMark(app, IDM_SHOW_OVERLOAD, false, false);
  ASSERT_TRUE(app.Command(IDM_SHOW_OVERLOAD));
  ExpectMark(app, IDM_SHOW_OVERLOAD, true, false);
  ExpectMark(app, IDM_SHOW_VU, false, false);
}

TEST(Shell, FastGraphWithoutAReducedGraphMovesTheRadioMarkToDetailed) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.Command(IDM_GRAPH_FAST));
  ExpectMark(app, IDM_GRAPH_FAST, false, false);
  ExpectMark(app, IDM_GRAPH_DETAILED, true, false);
  ASSERT_TRUE(app.Command(IDM_GRAPH_DETAILED));
  ExpectMark(app, IDM_GRAPH_FAST, false, false);
  ExpectMark(app, IDM_GRAPH_DETAILED, true, false);
  ASSERT_TRUE(app.Command(IDM_GRAPH_FAST));
  ExpectMark(app, IDM_GRAPH_FAST, false, false);
  ExpectMark(app, IDM_GRAPH_DETAILED, true, false);
}

TEST(Shell, ShowClippingToggles) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.Command(IDM_SHOW_CLIPPING));
  ExpectMark(app, IDM_SHOW_CLIPPING, false, false);
  ASSERT_TRUE(app.Command(IDM_SHOW_CLIPPING));
  ExpectMark(app, IDM_SHOW_CLIPPING, true, false);
  ExpectMark(app, IDM_GRAPH_FAST, true, false);
}

// ---- the clear-log button ------------------------------------------------

TEST(Shell, ClearLogButtonClearsButWithCtrlSwitchesTheGraphModeInstead) {
  App app;
  ASSERT_TRUE(app.Start());
  std::vector<std::wstring> before = app.Log();
  ASSERT_FALSE(before.empty());
  ASSERT_TRUE(app.PressButton(ID_CLEAR_LOG_BUTTON, true));
  // No reduced graph exists yet: the mark goes to the detailed graph.
  ASSERT_TRUE(WaitMark(app, IDM_GRAPH_DETAILED, true));
  EXPECT_EQ(before, app.Log()) << "Ctrl + C must keep the log";
  ExpectMark(app, IDM_GRAPH_FAST, false, false);
  // Right after Ctrl is let go: the click comes behind the key in the input.
  ASSERT_TRUE(app.PressButton(ID_CLEAR_LOG_BUTTON));
  ASSERT_TRUE(st::WaitUntil([&] { return app.LogCount() == 0; }, "C alone to empty the log"));
  ExpectMark(app, IDM_GRAPH_DETAILED, true, false);
}

TEST(Shell, GraphModeItemsAndCtrlClearLogFollowWhetherAReducedGraphExists) {
  App app;
  ASSERT_TRUE(app.Start());
  // 8 s of 16-bit mono: more than the 640000 bytes a reduced graph needs.
  ASSERT_TRUE(app.OpenFile(WriteSound(L"eight_seconds.wav", 8000)));
  ExpectMark(app, IDM_GRAPH_FAST, true, false);
  std::vector<std::wstring> log = app.Log();
  ASSERT_TRUE(app.PressButton(ID_CLEAR_LOG_BUTTON, true));
  ASSERT_TRUE(WaitMark(app, IDM_GRAPH_FAST, false));
  ExpectMark(app, IDM_GRAPH_DETAILED, true, false);
  ASSERT_TRUE(app.PressButton(ID_CLEAR_LOG_BUTTON, true));
  ASSERT_TRUE(WaitMark(app, IDM_GRAPH_FAST, true));
  ExpectMark(app, IDM_GRAPH_DETAILED, false, false);
  EXPECT_EQ(log, app.Log());
  ASSERT_TRUE(app.Command(IDM_GRAPH_DETAILED));
  ExpectMark(app, IDM_GRAPH_FAST, false, false);
  ExpectMark(app, IDM_GRAPH_DETAILED, true, false);
  ASSERT_TRUE(app.Command(IDM_GRAPH_FAST));
  ExpectMark(app, IDM_GRAPH_FAST, true, false);
  ExpectMark(app, IDM_GRAPH_DETAILED, false, false);
  ASSERT_TRUE(app.Command(IDM_GRAPH_FAST));
  ExpectMark(app, IDM_GRAPH_FAST, true, false);

  // 2 s is too short for a reduced graph: the fast graph cannot be chosen.
  ASSERT_TRUE(app.OpenFile(WriteSound(L"two_seconds.wav", 2000)));
  ASSERT_TRUE(app.Command(IDM_GRAPH_FAST));
  ExpectMark(app, IDM_GRAPH_FAST, false, false);
  ExpectMark(app, IDM_GRAPH_DETAILED, true, false);
}

// ---- guards of the commands that need a sound ----------------------------

TEST(Shell, PlayWithoutSoundIsRefused) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.PostCommand(ID_PLAY_BUTTON));
  EXPECT_TRUE(app.ExpectBox(L" Сначала запишите звук! ", L"Внимание!"));
  ASSERT_TRUE(app.Settle());
  ExpectButtons(app, kNoSound, "after the refused Play");
  EXPECT_EQ(" 0:00", Narrow(app.Text(ID_TIME_DISPLAY)));
}

TEST(Shell, PlayWithASingleFragmentIsRefusedLikeAnEmptySound) {
  App app;
  ASSERT_TRUE(app.Start());
  // 60 ms of 16-bit mono 44100 Hz: one 4410-byte fragment (and a rest that is
  // not loaded).
  ASSERT_TRUE(app.OpenFile(WriteSound(L"one.wav", 60)));
  ExpectButtons(app, kLoaded, "after loading one fragment");
  ASSERT_TRUE(app.Click(ID_PLAY_BUTTON));
  EXPECT_TRUE(app.ExpectBox(L" Сначала запишите звук! ", L"Внимание!"));
  ASSERT_TRUE(app.Settle());
  ExpectButtons(app, kLoaded, "after the refused Play");
}

TEST(Shell, CutVolumeAndClippingWithoutSoundAreRefused) {
  App app;
  ASSERT_TRUE(app.Start());
  const int commands[] = {ID_CUT_BUTTON, IDM_VOLUME, IDM_CLIPPING};
  for (int id : commands) {
    SCOPED_TRACE(id);
    size_t lines = app.Log().size();
    ASSERT_TRUE(app.PostCommand(id));
    EXPECT_TRUE(app.ExpectBox(L" Сначала запишите или загрузите аудио! ", L"Внимание!"));
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.NoDialog()) << "no second box or dialog follows the refusal";
    EXPECT_EQ(lines, app.Log().size()) << "a refusal logs nothing";
    ExpectButtons(app, kNoSound, "after the refusal");
  }
  EXPECT_EQ(0, app.TrackPos(ID_START_TRACKBAR));
  EXPECT_EQ(10000, app.TrackPos(ID_END_TRACKBAR));
}

TEST(Shell, StopRecordingWithNothingRecordingIsRefused) {
  App app;
  ASSERT_TRUE(app.Start());
  std::vector<std::wstring> before = app.Log();
  ASSERT_TRUE(app.PostCommand(ID_STOP_RECORD_BUTTON));
  EXPECT_TRUE(app.ExpectBox(L"Запись ещё не запущена", L"Внимание"));
  ASSERT_TRUE(app.Settle());
  ExpectButtons(app, kNoSound, "after the refused Stop");
  EXPECT_EQ(before, app.Log());
}

TEST(Shell, StopRecordingWithNothingRecordingKeepsALoadedSound) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.OpenFile(WriteSound(L"two.wav", 2000)));
  ASSERT_TRUE(app.PostCommand(ID_STOP_RECORD_BUTTON));
  EXPECT_TRUE(app.ExpectBox(L"Запись ещё не запущена", L"Внимание"));
  ASSERT_TRUE(app.Settle());
  ExpectButtons(app, kLoaded, "after the refused Stop");
  ASSERT_TRUE(app.Repaint());
  EXPECT_EQ(" 0:02", Narrow(app.Text(ID_TIME_DISPLAY)));
}

TEST(Shell, HelpItemDoesNothing) {
  App app;
  ASSERT_TRUE(app.Start());
  std::vector<std::wstring> before = app.Log();
  ASSERT_TRUE(app.Command(IDM_HELP));
  ASSERT_TRUE(app.Sync());
  EXPECT_TRUE(app.NoDialog());
  EXPECT_TRUE(app.Running());
  EXPECT_EQ(before, app.Log());
  ExpectButtons(app, kNoSound, "after Help");
}

// ---- information boxes ---------------------------------------------------

TEST(Shell, AboutBoxNamesTheProgramItsVersionBuildAndDate) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.PostCommand(IDM_ABOUT));
  st::Dialog box = app.WaitMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ("About", Narrow(box.Caption()));
  std::wstring text = box.MessageText();
  EXPECT_NE(std::wstring::npos, text.find(L" Dudorori")) << Narrow(text);
  EXPECT_NE(std::wstring::npos, text.find(L"\n Version " DUDORORI_VERSION L" (audio recorder and editor)"))
      << Narrow(text);
  EXPECT_NE(std::wstring::npos, text.find(L"Unicode version")) << Narrow(text);
  size_t date = text.find(L"Build date: ");
  ASSERT_NE(std::wstring::npos, date) << Narrow(text);
  // "Mmm dd yyyy" as the compiler writes the date.
  std::wstring d = text.substr(date + 12);
  ASSERT_GE(d.size(), 11u) << Narrow(text);
  EXPECT_TRUE(iswupper(d[0]) && iswlower(d[1]) && iswlower(d[2]) && d[3] == L' ' && d[6] == L' ' &&
              iswdigit(d[7]) && iswdigit(d[8]) && iswdigit(d[9]) && iswdigit(d[10]))
      << Narrow(d);
  EXPECT_EQ(std::vector<int>{IDOK}, box.ButtonIds());
  ASSERT_TRUE(box.PressAndWaitGone(IDOK));
  EXPECT_TRUE(app.Running());
}

TEST(Shell, OpenGlInfoBoxNamesTheRenderer) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.PostCommand(IDM_OPENGL_INFO));
  st::Dialog box = app.WaitMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ("OpenGL Info", Narrow(box.Caption()));
  std::wstring text = box.MessageText();
  EXPECT_EQ(0u, text.find(L"Renderer: ")) << Narrow(text);
  EXPECT_NE(std::wstring::npos, text.find(L"llvmpipe")) << Narrow(text);
  size_t vendor = text.find(L"\nVendor: "), version = text.find(L"\nVersion: ");
  EXPECT_NE(std::wstring::npos, vendor) << Narrow(text);
  EXPECT_NE(std::wstring::npos, version) << Narrow(text);
  EXPECT_LT(vendor, version) << Narrow(text);
  EXPECT_EQ(std::vector<int>{IDOK}, box.ButtonIds());
  ASSERT_TRUE(box.PressAndWaitGone(IDOK));
}

// Any process of the desktop can post the main window's private messages:
// with garbage in their parameters they must change nothing (once they
// carried pointers and a control handle, which crashed the program or
// enabled any of its controls).
TEST(Shell, ForgedPrivateMessagesFromAnotherProcessAreIgnored) {
  App app;
  ASSERT_TRUE(app.Start());
  const std::vector<std::wstring> before = app.Log();
  for (UINT msg : {WM_APP + 1, WM_APP + 3}) ASSERT_TRUE(PostMessageW(app.Main(), msg, 1, LPARAM(0x10)));
  ASSERT_TRUE(PostMessageW(app.Main(), WM_APP + 2, TRUE, LPARAM(app.Control(ID_STOP_RECORD_BUTTON))));
  ASSERT_TRUE(app.Settle());
  ASSERT_TRUE(app.Sync());
  EXPECT_TRUE(app.Running());
  EXPECT_TRUE(app.NoDialog());
  EXPECT_EQ(before, app.Log());
  ExpectButtons(app, kNoSound, "after the forged messages");
}

// ---- ending --------------------------------------------------------------

TEST(Shell, FileExitEndsWithStatusOne) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.PostCommand(IDM_EXIT));
  DWORD code = 0;
  ASSERT_TRUE(app.WaitExit(15000, &code));
  EXPECT_EQ(1u, code);
}

TEST(Shell, ClosingTheWindowEndsWithStatusOneWithoutAsking) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.OpenFile(WriteSound(L"unsaved.wav", 1000)));
  ASSERT_TRUE(app.Close());
  DWORD code = 0;
  ASSERT_TRUE(app.WaitExit(15000, &code));
  EXPECT_EQ(1u, code);
}

// ---- the whole way through once -----------------------------------------------

// One start that touches every layer: the window and its controls, the
// device count of the wave API, a second of sound recorded and its volume
// changed (the percent line comes from the double arithmetic), and the exit
// status. It is what scripts/test runs against the 32-bit program under
// emulation, where a start takes a minute; 59 % is a level whose line an x87
// build wrote as 58 %. The sound is recorded, not loaded: Wine's 32-bit file
// dialog dies under the emulator (an aligned SSE store in its memcpy).
TEST(Smoke, StartControlsDeviceCountVolumeChangeOfARecordingAndExit) {
  App app;
  ASSERT_TRUE(app.Start());
  for (const auto& c : kControls) {
    ASSERT_NE(nullptr, app.Control(c.id)) << "no control with ID " << c.id;
    EXPECT_EQ(Narrow(c.cls), Narrow(Lower(app.ControlClass(c.id)))) << "class of control " << c.id;
    if (c.text) {
      EXPECT_EQ(Narrow(c.text), Narrow(app.Text(c.id))) << "text of control " << c.id;
    }
    EXPECT_TRUE(app.Visible(c.id)) << "control " << c.id << " visible";
  }
  ExpectButtons(app, kNoSound, "at start-up");
  std::vector<std::wstring> log = app.Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(Narrow(L"Количество устройств записи - " + std::to_wstring(CaptureDeviceNames().size())),
            Narrow(log[0]));

  ASSERT_TRUE(app.Click(ID_RECORD_BUTTON));
  ASSERT_TRUE(app.WaitLog(L"Запись успешно стартовала..."));
  // Every stored fragment repaints, and the paint shows the length.
  ASSERT_TRUE(st::WaitUntil([&] { return Narrow(app.Text(ID_TIME_DISPLAY)) != " 0:00"; }, "a second of sound"));
  ASSERT_TRUE(app.Click(ID_STOP_RECORD_BUTTON));
  ASSERT_TRUE(app.WaitLog(L"Запись успешно завершена!")) << app.LogDump();
  ASSERT_TRUE(app.Settle());
  ExpectButtons(app, kLoaded, "after the recording");
  ASSERT_TRUE(app.PostCommand(IDM_VOLUME));
  st::Dialog dialog = app.WaitDialog();
  ASSERT_TRUE(dialog);
  DWORD_PTR r = 0;
  ASSERT_TRUE(SendMessageTimeoutW(dialog.Control(IDC_VOLUME_TRACKBAR), TBM_SETPOS, TRUE, 59, SMTO_NORMAL,
                                  st::Scaled(5000), &r));
  ASSERT_TRUE(dialog.PressAndWaitGone(IDC_VOLUME_APPLY));
  ASSERT_TRUE(app.WaitLog(L"Громкость успешно изменена!"));
  EXPECT_TRUE(app.LogContains(L"Новый уровень громкости - 59% ..")) << app.LogDump();

  ASSERT_TRUE(app.PostCommand(IDM_EXIT));
  DWORD code = 0;
  ASSERT_TRUE(app.WaitExit(15000, &code));
  EXPECT_EQ(1u, code);
}

// ---- without any sound device ---------------------------------------------

TEST(NoSoundShell, NoCaptureDeviceIsCountedOrListed) {
  ASSERT_EQ(0u, waveInGetNumDevs()) << "this environment must offer no sound devices";
  App app;
  ASSERT_TRUE(app.Start());
  std::vector<std::wstring> log = app.Log();
  ASSERT_EQ(1u, log.size()) << app.LogDump();
  EXPECT_EQ(Narrow(L"Количество устройств записи - 0"), Narrow(log[0]));
  ASSERT_EQ(1, app.ComboCount(ID_DEVICE_COMBO));
  EXPECT_EQ(Narrow(L"Устройство записи по умолчанию"), Narrow(app.ComboItem(ID_DEVICE_COMBO, 0)));
  EXPECT_EQ(0, app.ComboSel(ID_DEVICE_COMBO));
  ExpectButtons(app, kNoSound, "at start-up");
}

TEST(NoSoundShell, RecordWithoutADeviceIsRefusedAndDiscardsTheLoadedSound) {
  App app;
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.OpenFile(WriteSound(L"old.wav", 2000)));
  ASSERT_TRUE(app.Click(ID_RECORD_BUTTON));
  EXPECT_TRUE(app.ExpectBox(L"Устройства с данным ID не существует.\nПопробуйте выбрать другое устройство.", L"Ошибка"));
  ASSERT_TRUE(app.Settle());
  EXPECT_TRUE(app.Enabled(ID_RECORD_BUTTON));
  EXPECT_FALSE(app.Enabled(ID_STOP_RECORD_BUTTON));
  // The old sound went before the device was tried.
  ASSERT_TRUE(app.Repaint());
  EXPECT_EQ(" 0:00", Narrow(app.Text(ID_TIME_DISPLAY)));
  ASSERT_TRUE(app.PostCommand(ID_CUT_BUTTON));
  EXPECT_TRUE(app.ExpectBox(L" Сначала запишите или загрузите аудио! ", L"Внимание!"));
}

TEST(NoSoundShell, ProgramRunsAndEndsNormallyWithoutDevices) {
  App app;
  ASSERT_TRUE(app.Start());
  EXPECT_EQ(" 0:00", Narrow(app.Text(ID_TIME_DISPLAY)));
  ASSERT_TRUE(app.Close());
  DWORD code = 0;
  ASSERT_TRUE(app.WaitExit(15000, &code));
  EXPECT_EQ(1u, code);
}

}  // namespace
