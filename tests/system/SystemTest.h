// Driver library of the system tests: starts dudorori.exe and works it from
// this separate process through the window API, the way a user would, under
// Wine (same prefix and display as the program) or on Windows.
//
// Environment:
//   DUDORORI_EXE      Windows path of dudorori.exe
//   DUDORORI_WORKDIR  Windows path of a writable folder: the program's current
//                     directory and the place of the files the tests write
//   DUDORORI_TIME_SCALE  optional whole factor for every timeout, for a program
//                     that runs slowly (the 32-bit one under emulation)
//
// Every wait has a timeout and reports a failure (ADD_FAILURE) that names what
// was awaited; the functions then return false or an empty result, so a test
// writes ASSERT_TRUE(...) around the steps it cannot go on without.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/ControlIds.h"

namespace st {

constexpr DWORD kWaitMs = 15000;  // default timeout of every wait

// ms times DUDORORI_TIME_SCALE (1 when unset). Every timeout of the driver
// goes through it.
DWORD Scaled(DWORD ms);

// ---- environment and files -------------------------------------------------

std::wstring EnvOrEmpty(const wchar_t* name);
std::wstring ProgramPath();  // DUDORORI_EXE
std::wstring WorkDir();      // DUDORORI_WORKDIR, without a trailing backslash
// A path in the work folder unique to the running test: <Suite>_<Test>_<name>.
std::wstring TestFile(const std::wstring& name);
// The file a measurement build of the program appends a summary line of
// every recording's capture to (DUDORORI_CAPTURE_TIMING, set by App::Start).
std::wstring CaptureTimingFile();
bool FileExists(const std::wstring& path);
bool ReadFileBytes(const std::wstring& path, std::vector<uint8_t>& bytes);
bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);
void RemoveFile(const std::wstring& path);

// Reads a file another process holds open for writing (the recovery copy of
// a running recording), sharing read and write with it.
bool ReadSharedFile(const std::wstring& path, std::vector<uint8_t>& bytes);

// The program's recovery copies: %LOCALAPPDATA%\Dudorori of the prefix's
// user, the same folder for this process and the program.
std::wstring RecoveryFolder();
// The names of the *.wav files there, sorted.
std::vector<std::wstring> RecoveryCopies();
// Deletes every file there (a copy held by a running program stays).
void ClearRecoveryCopies();

// UTF-16 to UTF-8, for readable failure messages.
std::string Narrow(const std::wstring& text);
// Seconds of the first time ("m:ss", "h:mm:ss") in the time display's text.
double FirstTimeSeconds(const std::wstring& text);

// Polls cond every 20 ms until it holds or timeoutMs passes. On timeout adds a
// failure "timed out waiting for <what>" and returns false.
bool WaitUntil(const std::function<bool()>& cond, const std::string& what, DWORD timeoutMs = kWaitMs);

// Sets an environment variable for the programs started during its lifetime
// (CreateProcess passes this process's environment on), then removes it.
class ScopedEnv {
 public:
  ScopedEnv(const wchar_t* name, const std::wstring& value) : name_(name) {
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedEnv() { SetEnvironmentVariableW(name_, nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const wchar_t* name_;
};

// ---- tiny WAV files (independent of the program's own code) ---------------

struct Wav {
  uint16_t formatTag = 1;
  uint16_t channels = 1;
  uint32_t samplesPerSec = 44100;
  uint16_t bitsPerSample = 16;
  uint32_t avgBytesPerSec = 0;  // 0: computed when writing
  uint16_t blockAlign = 0;      // 0: computed when writing
  std::vector<uint8_t> data;    // the PCM bytes of the data chunk
};

// The canonical 44-byte header followed by wav.data.
std::vector<uint8_t> WavBytes(const Wav& wav);
bool WriteWav(const std::wstring& path, const Wav& wav);
// Reads a canonical file: "RIFF", "WAVE", "fmt " of 16 bytes, "data". False for
// anything else or a data chunk longer than the file.
bool ReadWav(const std::wstring& path, Wav& wav);
// Samples as PCM bytes of the depth: 8-bit unsigned around 128 (the value
// given is the signed one), 16 and 24-bit little-endian two's complement.
std::vector<uint8_t> PcmBytes(const std::vector<int>& samples, uint16_t bitsPerSample = 16);
// 16-bit mono samples of a sine of the given frequency and peak.
std::vector<uint8_t> Sine16(uint32_t frames, uint32_t rate, double hz, double peak = 12000.0, uint16_t channels = 1);

// ---- pixels ----------------------------------------------------------------

struct Shot {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first
  bool Empty() const { return pixels.empty(); }
  uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
  static int R(uint32_t p) { return int((p >> 16) & 0xFF); }
  static int G(uint32_t p) { return int((p >> 8) & 0xFF); }
  static int B(uint32_t p) { return int(p & 0xFF); }
  // Number of pixels in the rectangle [x0,x1) x [y0,y1) for which pred holds.
  int Count(int x0, int y0, int x1, int y1, const std::function<bool(uint32_t)>& pred) const;
  bool SavePpm(const std::wstring& path) const;  // for looking at a failure
};

// Screen pixels of a screen rectangle, read from the screen device context.
Shot CaptureScreen(const RECT& screenRect);

// Two pictures of the same rectangle [x0,x1) x [y0,y1), pixel by pixel.
struct PictureDifference {
  int lit = 0;        // pixels of the first picture that are not background
  int differing = 0;  // pixels whose colours differ
  std::string Describe() const;  // "7 of 81234 lit pixels differ (0.0086 %)"
};
PictureDifference ComparePictures(const Shot& a, const Shot& b, int x0, int y0, int x1, int y1,
                                  const std::function<bool(uint32_t)>& background);

// ---- dialogs (message boxes, file dialogs, the program's own dialogs) -----

struct Dialog {
  HWND hwnd = nullptr;
  explicit operator bool() const { return hwnd != nullptr; }
  std::wstring Caption() const;
  // Texts of the static controls (for a message box: the message text), in
  // child order, empty ones left out.
  std::vector<std::wstring> StaticTexts() const;
  std::wstring MessageText() const;  // the static texts joined with "\n"
  std::vector<int> ButtonIds() const;
  HWND Control(int id) const;
  bool IsFileDialog() const;
  // Presses a button by its ID (IDOK, IDYES, ...) without waiting for the
  // dialog to go away.
  bool Press(int id) const;
  // Press, then wait until the dialog window no longer exists.
  bool PressAndWaitGone(int id, DWORD timeoutMs = kWaitMs) const;
  bool WaitGone(DWORD timeoutMs = kWaitMs) const;
  // File dialogs: put a path into the file-name box and press Open/Save.
  bool SetFileName(const std::wstring& path) const;
  bool Accept(const std::wstring& path, DWORD timeoutMs = kWaitMs) const;
  bool Cancel(DWORD timeoutMs = kWaitMs) const;
};

// ---- the program ----------------------------------------------------------

class App {
 public:
  App() = default;
  ~App();  // kills the program if it still runs
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Starts the program, waits for its main window and for its first paint.
  // Every start begins from a profile without recovery copies, so that no
  // test meets another's, unless keepRecoveryCopies is set: the program may
  // then offer copies at once, and Start leaves its window's activation to
  // the boxes.
  bool Start(DWORD timeoutMs = 30000);
  bool keepRecoveryCopies = false;
  bool Running() const;
  DWORD Pid() const { return pid_; }
  HANDLE Process() const { return process_; }
  HWND Main() const { return main_; }
  HWND Control(int id) const;

  // Commands. PostCommand posts WM_COMMAND with the ID, as the menu does, and
  // returns at once. Command also waits until the program has taken it up
  // (see Settle). Click posts the WM_COMMAND (BN_CLICKED) a click on the
  // button sends, only for an enabled and visible button, as for a user.
  // Posted messages are taken before input, so a command that reads the
  // keyboard (Ctrl with " C ") is pressed with PressButton instead: a mouse
  // click at the button's centre through the input queue, with Ctrl held
  // around it when asked (the program must then be in the foreground). It
  // returns once the input is queued; the caller waits for its effect.
  bool PostCommand(int id);
  bool Command(int id);
  bool Click(int buttonId);
  bool ClickNoWait(int buttonId);
  bool PressButton(int buttonId, bool withCtrl = false);
  // Waits until the program's window thread has handled every message posted
  // to it before this call (or is waiting inside a modal box those started).
  bool Settle(DWORD timeoutMs = kWaitMs);
  // Waits until the window thread answers a sent message.
  bool Sync(DWORD timeoutMs = kWaitMs);

  // Reading controls (cross-process messages).
  std::wstring Text(int id) const;
  std::wstring Title() const;
  std::wstring ClassName() const;
  std::wstring ControlClass(int id) const;
  bool Enabled(int id) const;
  bool Visible(int id) const;
  LONG Style(int id) const;
  LONG ExStyle(int id) const;
  RECT ControlRect(int id) const;  // in the main window's client coordinates
  RECT ClientRect() const;
  RECT WindowRect() const;         // screen coordinates
  bool Resize(int outerWidth, int outerHeight);
  // Minimise returns once the window manager has taken the window off the
  // screen: Wine follows the window manager's state, so a restore before that
  // would be undone when the window manager gets to the minimise.
  bool Minimise();
  bool Restore();

  std::vector<std::wstring> Log() const;
  int LogCount() const;
  bool LogContains(const std::wstring& line) const;
  bool LogHasPrefix(const std::wstring& prefix) const;
  // Waits until a log line equals `line` (or starts with it when prefix).
  bool WaitLog(const std::wstring& line, bool prefix = false, DWORD timeoutMs = kWaitMs) const;
  std::string LogDump() const;  // the log as one UTF-8 text for messages

  int ComboCount(int id) const;
  int ComboSel(int id) const;
  std::wstring ComboItem(int id, int index) const;
  bool SetComboSel(int id, int index);
  int TrackPos(int id) const;
  int TrackMin(int id) const;
  int TrackMax(int id) const;
  bool SetTrackPos(int id, int pos);

  // Menu items of the main window's menu. Under Wine a menu handle is valid
  // only in the process that owns it, so the state is read from the drawn
  // popup: see MenuItemState in SystemTest.cpp.
  struct MenuItem {
    bool found = false;
    bool checked = false;
    bool grayed = false;
    UINT raw = 0;  // GetMenuState's value (state and type bits, e.g. MFT_RADIOCHECK)
  };
  MenuItem MenuState(int id);

  // Dialogs owned by the program's process.
  Dialog FindDialog() const;  // the first visible "#32770", or empty
  Dialog WaitDialog(DWORD timeoutMs = kWaitMs) const;
  Dialog WaitMessageBox(DWORD timeoutMs = kWaitMs) const;
  Dialog WaitFileDialog(DWORD timeoutMs = kWaitMs) const;
  // Waits for a message box, checks text and caption, presses `button`.
  bool ExpectBox(const std::wstring& text, const std::wstring& caption, int button = IDOK,
                 DWORD timeoutMs = kWaitMs);
  bool NoDialog() const { return !FindDialog(); }

  // The File menu through the real file dialogs. OpenFile expects the box
  // " Файл успешно открыт!" and presses OK; SaveFileAs expects the box
  // captioned "Файл успешно сохранён" and presses OK.
  bool OpenFile(const std::wstring& path);
  bool SaveFileAs(const std::wstring& path);

  // Ends.
  bool Close();  // posts WM_CLOSE to the main window
  bool WaitExit(DWORD timeoutMs, DWORD* exitCode);
  void Kill();

  // Input through the real input queue (SendInput).
  bool MouseMove(int clientX, int clientY);
  bool MouseClick(int clientX, int clientY, bool withCtrl = false);
  // Makes the main window the foreground window and waits until it is (a
  // window manager grants the activation on its own schedule).
  bool Foreground();

  // Pixels of the main window's client area, from the screen.
  Shot CaptureClient();
  // Repaints, then captures the client area until `expected` holds for a
  // capture (and, when `still`, the capture before it shows the same
  // pixels): Wine copies a window's surface to the screen on its own
  // schedule, so a capture right after the paint may show an older frame.
  // On timeout adds a failure naming `what` and returns the last capture, so
  // the caller's checks can say what differs. A picture that moves by itself
  // (recording, playback) is captured with still = false.
  Shot CaptureWhen(const std::function<bool(const Shot&)>& expected, const std::string& what, bool still = true,
                   DWORD timeoutMs = kWaitMs);
  // Asks for a repaint of the whole window and waits until it was painted.
  bool Repaint();

 private:
  PROCESS_INFORMATION pi_{};
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
  int barrier_ = 0;
};

}  // namespace st
