#include "SystemTest.h"

#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace st {

// ---- environment and files -------------------------------------------------

std::wstring EnvOrEmpty(const wchar_t* name) {
  // Any length: the benchmark's list of sounds runs past a kilobyte.
  std::wstring value(1024, L'\0');
  DWORD n = GetEnvironmentVariableW(name, value.data(), DWORD(value.size()));
  if (n >= value.size()) {
    value.resize(n);  // n counts the terminating null here
    n = GetEnvironmentVariableW(name, value.data(), DWORD(value.size()));
  }
  if (n == 0 || n >= value.size()) return std::wstring();
  value.resize(n);
  return value;
}

std::wstring ProgramPath() { return EnvOrEmpty(L"DUDORORI_EXE"); }

std::wstring WorkDir() {
  std::wstring dir = EnvOrEmpty(L"DUDORORI_WORKDIR");
  if (dir.empty()) {
    wchar_t buf[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, buf);
    dir.assign(buf, n);
  }
  while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
  return dir;
}

std::wstring TestFile(const std::wstring& name) {
  std::wstring prefix;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info) {
    std::string s = std::string(info->test_suite_name()) + "_" + info->name() + "_";
    for (char c : s) prefix += (c == '/' || c == '\\' || c == ':') ? L'_' : wchar_t(c);
  }
  return WorkDir() + L"\\" + prefix + name;
}

std::wstring CaptureTimingFile() { return TestFile(L"capture-timing.txt"); }

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool ReadFileBytes(const std::wstring& path, std::vector<uint8_t>& bytes) {
  bytes.clear();
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  fclose(f);
  return true;
}

bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (!f) return false;
  bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

void RemoveFile(const std::wstring& path) { DeleteFileW(path.c_str()); }

bool ReadSharedFile(const std::wstring& path, std::vector<uint8_t>& bytes) {
  bytes.clear();
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  uint8_t buf[65536];
  DWORD got = 0;
  bool ok;
  while ((ok = ReadFile(file, buf, sizeof buf, &got, nullptr)) && got > 0) bytes.insert(bytes.end(), buf, buf + got);
  CloseHandle(file);
  return ok;
}

std::wstring RecoveryFolder() {
  wchar_t base[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base))) return L"";
  return std::wstring(base) + L"\\Dudorori";
}

std::vector<std::wstring> RecoveryCopies() {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((RecoveryFolder() + L"\\*.wav").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

void ClearRecoveryCopies() {
  for (const std::wstring& name : RecoveryCopies()) DeleteFileW((RecoveryFolder() + L"\\" + name).c_str());
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

double FirstTimeSeconds(const std::wstring& text) {
  double seconds = 0, part = 0;
  for (size_t i = text.find_first_not_of(L' '); i < text.size() && text[i] != L' '; ++i) {
    if (text[i] == L':') seconds = (seconds + part) * 60, part = 0;
    else part = part * 10 + (text[i] - L'0');
  }
  return seconds + part;
}

DWORD Scaled(DWORD ms) {
  static const DWORD scale = [] {
    const int n = _wtoi(EnvOrEmpty(L"DUDORORI_TIME_SCALE").c_str());
    return DWORD(n > 1 ? n : 1);
  }();
  return ms * scale;
}

bool WaitUntil(const std::function<bool()>& cond, const std::string& what, DWORD timeoutMs) {
  timeoutMs = Scaled(timeoutMs);
  DWORD start = GetTickCount();
  for (;;) {
    if (cond()) return true;
    if (GetTickCount() - start > timeoutMs) break;
    Sleep(20);
  }
  if (cond()) return true;
  ADD_FAILURE() << "timed out after " << timeoutMs << " ms waiting for " << what;
  return false;
}

// ---- WAV -----------------------------------------------------------------

namespace {
void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}
void PutTag(std::vector<uint8_t>& v, const char* t) { v.insert(v.end(), t, t + 4); }
uint32_t Get16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Get32(const uint8_t* p) { return Get16(p) | Get16(p + 2) << 16; }
}  // namespace

std::vector<uint8_t> WavBytes(const Wav& wav) {
  uint16_t align = wav.blockAlign ? wav.blockAlign : uint16_t(wav.bitsPerSample / 8 * wav.channels);
  uint32_t avg = wav.avgBytesPerSec ? wav.avgBytesPerSec : align * wav.samplesPerSec;
  std::vector<uint8_t> v;
  v.reserve(44 + wav.data.size());
  PutTag(v, "RIFF");
  Put32(v, uint32_t(wav.data.size() + 36));
  PutTag(v, "WAVE");
  PutTag(v, "fmt ");
  Put32(v, 16);
  Put16(v, wav.formatTag);
  Put16(v, wav.channels);
  Put32(v, wav.samplesPerSec);
  Put32(v, avg);
  Put16(v, align);
  Put16(v, wav.bitsPerSample);
  PutTag(v, "data");
  Put32(v, uint32_t(wav.data.size()));
  v.insert(v.end(), wav.data.begin(), wav.data.end());
  return v;
}

bool WriteWav(const std::wstring& path, const Wav& wav) { return WriteFileBytes(path, WavBytes(wav)); }

bool ReadWav(const std::wstring& path, Wav& wav) {
  std::vector<uint8_t> b;
  if (!ReadFileBytes(path, b) || b.size() < 44) return false;
  if (memcmp(&b[0], "RIFF", 4) || memcmp(&b[8], "WAVE", 4) || memcmp(&b[12], "fmt ", 4) || Get32(&b[16]) != 16 ||
      memcmp(&b[36], "data", 4))
    return false;
  wav.formatTag = uint16_t(Get16(&b[20]));
  wav.channels = uint16_t(Get16(&b[22]));
  wav.samplesPerSec = Get32(&b[24]);
  wav.avgBytesPerSec = Get32(&b[28]);
  wav.blockAlign = uint16_t(Get16(&b[32]));
  wav.bitsPerSample = uint16_t(Get16(&b[34]));
  uint32_t size = Get32(&b[40]);
  if (size > b.size() - 44) return false;
  wav.data.assign(b.begin() + 44, b.begin() + 44 + size);
  return true;
}

std::vector<uint8_t> PcmBytes(const std::vector<int>& samples, uint16_t bitsPerSample) {
  const unsigned bytes = bitsPerSample / 8;
  std::vector<uint8_t> v;
  v.reserve(samples.size() * bytes);
  for (int s : samples) {
    const uint32_t u = bytes == 1 ? uint32_t(s + 128) : uint32_t(s);
    for (unsigned b = 0; b < bytes; ++b) v.push_back(uint8_t(u >> (8 * b)));
  }
  return v;
}

std::vector<uint8_t> Sine16(uint32_t frames, uint32_t rate, double hz, double peak, uint16_t channels) {
  std::vector<uint8_t> v;
  v.reserve(size_t(frames) * 2 * channels);
  const double pi = 3.14159265358979323846;
  for (uint32_t i = 0; i < frames; ++i) {
    int s = int(std::lround(peak * std::sin(2 * pi * hz * i / rate)));
    for (uint16_t c = 0; c < channels; ++c) Put16(v, uint32_t(uint16_t(int16_t(s))));
  }
  return v;
}

// ---- pixels ----------------------------------------------------------------

int Shot::Count(int x0, int y0, int x1, int y1, const std::function<bool(uint32_t)>& pred) const {
  int n = 0;
  for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(width, x1); ++x)
      if (pred(At(x, y))) ++n;
  return n;
}

bool Shot::SavePpm(const std::wstring& path) const {
  std::vector<uint8_t> out;
  char head[64];
  int n = snprintf(head, sizeof head, "P6\n%d %d\n255\n", width, height);
  out.insert(out.end(), head, head + n);
  for (uint32_t p : pixels) {
    out.push_back(uint8_t(R(p)));
    out.push_back(uint8_t(G(p)));
    out.push_back(uint8_t(B(p)));
  }
  return WriteFileBytes(path, out);
}

PictureDifference ComparePictures(const Shot& a, const Shot& b, int x0, int y0, int x1, int y1,
                                  const std::function<bool(uint32_t)>& background) {
  PictureDifference d;
  if (a.width != b.width || a.height != b.height) {
    d.differing = std::max(0, (x1 - x0) * (y1 - y0));
    return d;
  }
  for (int y = std::max(0, y0); y < std::min(a.height, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(a.width, x1); ++x) {
      const uint32_t pa = a.At(x, y) & 0xFFFFFFu, pb = b.At(x, y) & 0xFFFFFFu;
      if (!background(pa)) ++d.lit;
      if (pa != pb) ++d.differing;
    }
  return d;
}

std::string PictureDifference::Describe() const {
  char text[160];
  snprintf(text, sizeof text, "%d of %d lit pixels differ (%.4f %%)", differing, lit,
           lit ? 100.0 * differing / lit : 0.0);
  return text;
}

Shot CaptureScreen(const RECT& r) {
  Shot shot;
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return shot;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top row first
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bmp && bits) {
    HGDIOBJ old = SelectObject(mem, bmp);
    if (BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY)) {
      GdiFlush();
      shot.width = w;
      shot.height = h;
      shot.pixels.resize(size_t(w) * size_t(h));
      const uint32_t* src = static_cast<const uint32_t*>(bits);
      for (size_t i = 0; i < shot.pixels.size(); ++i) shot.pixels[i] = src[i] & 0xFFFFFF;
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
  }
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  if (shot.Empty()) ADD_FAILURE() << "could not read the screen pixels";
  return shot;
}

// ---- window helpers --------------------------------------------------------

namespace {

constexpr DWORD kAskMs = 10000;

// A message sent to a window of the program; false when its thread does not
// answer in time (then a failure is recorded).
bool Ask(HWND hwnd, UINT msg, WPARAM w, LPARAM l, LRESULT* result = nullptr) {
  DWORD_PTR r = 0;
  if (!hwnd) return false;
  if (!SendMessageTimeoutW(hwnd, msg, w, l, SMTO_NORMAL, Scaled(kAskMs), &r)) {
    ADD_FAILURE() << "the program's window did not answer message 0x" << std::hex << msg << std::dec
                  << " within " << kAskMs << " ms";
    return false;
  }
  if (result) *result = LRESULT(r);
  return true;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buf[256] = {0};
  int n = GetClassNameW(hwnd, buf, 256);
  return std::wstring(buf, n > 0 ? size_t(n) : 0);
}

std::wstring WindowText(HWND hwnd) {
  if (!hwnd) return std::wstring();
  LRESULT len = 0;
  if (!Ask(hwnd, WM_GETTEXTLENGTH, 0, 0, &len) || len <= 0) return std::wstring();
  std::vector<wchar_t> buf(size_t(len) + 2, 0);
  LRESULT got = 0;
  if (!Ask(hwnd, WM_GETTEXT, WPARAM(buf.size()), LPARAM(buf.data()), &got)) return std::wstring();
  return std::wstring(buf.data(), size_t(std::max<LRESULT>(0, std::min<LRESULT>(got, LRESULT(buf.size())))));
}

struct FindCtx {
  DWORD pid;
  const wchar_t* cls;
  HWND found;
};

BOOL CALLBACK FindTop(HWND hwnd, LPARAM lp) {
  FindCtx* c = reinterpret_cast<FindCtx*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == c->pid && IsWindowVisible(hwnd) && ClassOf(hwnd) == c->cls) {
    c->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND FindTopWindow(DWORD pid, const wchar_t* cls) {
  FindCtx c{pid, cls, nullptr};
  EnumWindows(FindTop, LPARAM(&c));
  return c.found;
}

BOOL CALLBACK CollectChildren(HWND hwnd, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> v;
  EnumChildWindows(parent, CollectChildren, LPARAM(&v));
  return v;
}

}  // namespace

// ---- dialogs -----------------------------------------------------------------

std::wstring Dialog::Caption() const {
  wchar_t buf[512] = {0};
  int n = GetWindowTextW(hwnd, buf, 512);
  return std::wstring(buf, n > 0 ? size_t(n) : 0);
}

std::vector<std::wstring> Dialog::StaticTexts() const {
  std::vector<std::wstring> texts;
  for (HWND c : Children(hwnd)) {
    if (GetParent(c) != hwnd || _wcsicmp(ClassOf(c).c_str(), L"Static") != 0) continue;
    std::wstring t = WindowText(c);
    if (!t.empty()) texts.push_back(t);
  }
  return texts;
}

std::wstring Dialog::MessageText() const {
  // The message box keeps its text in the static control 0xFFFF.
  HWND text = GetDlgItem(hwnd, 0xFFFF);
  if (text) return WindowText(text);
  std::wstring joined;
  for (const auto& t : StaticTexts()) joined += (joined.empty() ? L"" : L"\n") + t;
  return joined;
}

std::vector<int> Dialog::ButtonIds() const {
  std::vector<int> ids;
  for (HWND c : Children(hwnd))
    if (GetParent(c) == hwnd && _wcsicmp(ClassOf(c).c_str(), L"Button") == 0 && IsWindowVisible(c))
      ids.push_back(GetDlgCtrlID(c));
  return ids;
}


HWND Dialog::Control(int id) const { return GetDlgItem(hwnd, id); }

bool Dialog::IsFileDialog() const { return GetDlgItem(hwnd, 1148) != nullptr || GetDlgItem(hwnd, 1152) != nullptr; }

bool Dialog::Press(int id) const {
  if (!IsWindow(hwnd)) {
    ADD_FAILURE() << "the dialog is gone before its button " << id << " could be pressed";
    return false;
  }
  // What a button sends its dialog when clicked; unlike BM_CLICK it does not
  // depend on the dialog being the active window.
  HWND button = GetDlgItem(hwnd, id);
  return PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(button)) != 0;
}

bool Dialog::WaitGone(DWORD timeoutMs) const {
  HWND h = hwnd;
  return WaitUntil([h] { return !IsWindow(h) || !IsWindowVisible(h); }, "the dialog to close", timeoutMs);
}

bool Dialog::PressAndWaitGone(int id, DWORD timeoutMs) const { return Press(id) && WaitGone(timeoutMs); }

bool Dialog::SetFileName(const std::wstring& path) const {
  // The file-name box: combo box 1148 of the Explorer-style dialog (its edit
  // child takes the text), or edit 1152 of the old style.
  HWND box = GetDlgItem(hwnd, 1148);
  if (!box) box = GetDlgItem(hwnd, 1152);
  if (!box) {
    ADD_FAILURE() << "the file dialog has no file-name box";
    return false;
  }
  HWND edit = FindWindowExW(box, nullptr, L"Edit", nullptr);
  HWND target = edit ? edit : box;
  LRESULT r = 0;
  if (!Ask(target, WM_SETTEXT, 0, LPARAM(path.c_str()), &r)) return false;
  std::wstring now = WindowText(target);
  if (now != path) {
    ADD_FAILURE() << "the file-name box holds \"" << Narrow(now) << "\" instead of \"" << Narrow(path) << "\"";
    return false;
  }
  return true;
}

bool Dialog::Accept(const std::wstring& path, DWORD timeoutMs) const {
  return SetFileName(path) && PressAndWaitGone(IDOK, timeoutMs);
}

bool Dialog::Cancel(DWORD timeoutMs) const { return PressAndWaitGone(IDCANCEL, timeoutMs); }

// ---- the program ----------------------------------------------------------

App::~App() { Kill(); }

bool App::Start(DWORD timeoutMs) {
  std::wstring exe = ProgramPath();
  if (exe.empty()) {
    ADD_FAILURE() << "DUDORORI_EXE is not set";
    return false;
  }
  SetEnvironmentVariableW(L"DUDORORI_CAPTURE_TIMING", CaptureTimingFile().c_str());
  if (!keepRecoveryCopies) ClearRecoveryCopies();
  std::wstring cmd = L"\"" + exe + L"\"";
  std::wstring dir = WorkDir();
  STARTUPINFOW si{};
  si.cb = sizeof si;
  // Wine's CreateProcess now and then fails with ERROR_INTERNAL_ERROR before
  // the program runs a line (seen once in hundreds of starts under the
  // suite); the program is not at fault there, so that error alone is
  // tried again, and said.
  for (int attempt = 1;; ++attempt) {
    if (CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.empty() ? nullptr : dir.c_str(),
                       &si, &pi_))
      break;
    const DWORD error = GetLastError();
    if (error != ERROR_INTERNAL_ERROR || attempt == 3) {
      ADD_FAILURE() << "CreateProcess of " << Narrow(exe) << " failed, error " << error;
      return false;
    }
    std::printf("[ start    ] CreateProcess failed with error %lu, trying again\n", error);
    Sleep(200);
  }
  process_ = pi_.hProcess;
  pid_ = pi_.dwProcessId;
  CloseHandle(pi_.hThread);
  pi_.hThread = nullptr;

  timeoutMs = Scaled(timeoutMs);
  DWORD start = GetTickCount();
  while (!(main_ = FindTopWindow(pid_, L"Dudorori_win_Class"))) {
    DWORD code = 0;
    if (GetExitCodeProcess(process_, &code) && code != STILL_ACTIVE) {
      ADD_FAILURE() << "the program ended with exit status " << code << " before showing its window";
      return false;
    }
    if (GetTickCount() - start > timeoutMs) {
      ADD_FAILURE() << "timed out after " << timeoutMs << " ms waiting for the window of class Dudorori_win_Class";
      return false;
    }
    Sleep(50);
  }
  WaitForInputIdle(process_, timeoutMs);
  if (!Sync()) return false;
  if (!keepRecoveryCopies) Foreground();
  return Repaint();
}

bool App::Running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

HWND App::Control(int id) const { return main_ ? GetDlgItem(main_, id) : nullptr; }

bool App::PostCommand(int id) {
  if (!main_ || !PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, 0), 0)) {
    ADD_FAILURE() << "could not post command " << id;
    return false;
  }
  return true;
}

bool App::Command(int id) { return PostCommand(id) && Settle(); }

bool App::ClickNoWait(int buttonId) {
  HWND button = Control(buttonId);
  if (!button || !IsWindowEnabled(button) || !IsWindowVisible(button)) return false;
  return PostMessageW(main_, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), LPARAM(button)) != 0;
}

bool App::Click(int buttonId) { return ClickNoWait(buttonId) && Settle(); }

bool App::PressButton(int buttonId, bool withCtrl) {
  const RECT r = ControlRect(buttonId);
  if (r.right <= r.left || !Enabled(buttonId) || !Visible(buttonId)) {
    ADD_FAILURE() << "button " << buttonId << " cannot be pressed";
    return false;
  }
  // The key goes to the foreground window, the click to the window under the
  // pointer: both must be the program's.
  return (!withCtrl || Foreground()) && MouseClick(int(r.left + r.right) / 2, int(r.top + r.bottom) / 2, withCtrl);
}

bool App::Settle(DWORD timeoutMs) {
  // Posted messages of one thread are taken in order, so a harmless request
  // posted behind the earlier ones is answered only after they were handled:
  // the event log's horizontal extent, set to a small marker value that never
  // shows a scroll bar. Modal loops dispatch it too, so a command waiting in
  // a message box counts as taken up.
  HWND log = Control(ID_EVENT_LOG);
  if (!log) return Sync(timeoutMs);
  int marker = 1 + (barrier_++ % 40);
  if (!PostMessageW(log, LB_SETHORIZONTALEXTENT, WPARAM(marker), 0)) return Sync(timeoutMs);
  return WaitUntil(
      [&] {
        DWORD_PTR r = 0;
        return SendMessageTimeoutW(log, LB_GETHORIZONTALEXTENT, 0, 0, SMTO_NORMAL, Scaled(500), &r) && int(r) == marker;
      },
      "the program's window thread to take up the posted messages", timeoutMs);
}

bool App::Sync(DWORD timeoutMs) {
  DWORD_PTR r = 0;
  timeoutMs = Scaled(timeoutMs);
  if (!main_ || !SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &r)) {
    ADD_FAILURE() << "the program's window thread did not answer within " << timeoutMs << " ms";
    return false;
  }
  return true;
}

std::wstring App::Text(int id) const { return WindowText(Control(id)); }

std::wstring App::Title() const {
  wchar_t buf[512] = {0};
  int n = GetWindowTextW(main_, buf, 512);
  return std::wstring(buf, n > 0 ? size_t(n) : 0);
}

std::wstring App::ClassName() const { return ClassOf(main_); }
std::wstring App::ControlClass(int id) const { return ClassOf(Control(id)); }
bool App::Enabled(int id) const { return IsWindowEnabled(Control(id)) != 0; }
bool App::Visible(int id) const { return IsWindowVisible(Control(id)) != 0; }
LONG App::Style(int id) const { return GetWindowLongW(id ? Control(id) : main_, GWL_STYLE); }
LONG App::ExStyle(int id) const { return GetWindowLongW(id ? Control(id) : main_, GWL_EXSTYLE); }

RECT App::ControlRect(int id) const {
  // The window manager may move the window meanwhile (it keeps a grown window
  // on the screen): the reading counts once the window stood still for it.
  RECT r{}, before{}, after{};
  for (int tries = 0; tries < 100; ++tries) {
    GetWindowRect(main_, &before);
    GetWindowRect(Control(id), &r);
    MapWindowPoints(HWND_DESKTOP, main_, reinterpret_cast<POINT*>(&r), 2);
    GetWindowRect(main_, &after);
    if (EqualRect(&before, &after)) break;
  }
  return r;
}

RECT App::ClientRect() const {
  RECT r{};
  GetClientRect(main_, &r);
  return r;
}

RECT App::WindowRect() const {
  RECT r{};
  GetWindowRect(main_, &r);
  return r;
}

bool App::Resize(int w, int h) {
  // Runs in the program's thread (the system forwards it), so its
  // WM_GETMINMAXINFO and WM_SIZE handling take part.
  if (!SetWindowPos(main_, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)) {
    ADD_FAILURE() << "SetWindowPos failed, error " << GetLastError();
    return false;
  }
  return Settle() && Sync();
}

bool App::Minimise() {
  RECT r = ClientRect();
  MapWindowPoints(main_, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
  const Shot shown = CaptureScreen(r);
  ShowWindow(main_, SW_MINIMIZE);
  return WaitUntil([&] { return IsIconic(main_) != FALSE; }, "the window to be minimised") && Settle() &&
         WaitUntil(
             [&] {
               const PictureDifference d = ComparePictures(shown, CaptureScreen(r), 0, 0, shown.width, shown.height,
                                                           [](uint32_t) { return false; });
               return d.differing > shown.width * shown.height / 2;
             },
             "the window manager to take the minimised window off the screen");
}

bool App::Restore() {
  ShowWindow(main_, SW_RESTORE);
  return WaitUntil([&] { return !IsIconic(main_); }, "the window to be restored") && Settle();
}

std::vector<std::wstring> App::Log() const {
  std::vector<std::wstring> lines;
  HWND lb = Control(ID_EVENT_LOG);
  LRESULT n = 0;
  if (!Ask(lb, LB_GETCOUNT, 0, 0, &n)) return lines;
  for (LRESULT i = 0; i < n; ++i) {
    LRESULT len = 0;
    if (!Ask(lb, LB_GETTEXTLEN, WPARAM(i), 0, &len) || len < 0) break;
    std::vector<wchar_t> buf(size_t(len) + 1, 0);
    LRESULT got = 0;
    if (!Ask(lb, LB_GETTEXT, WPARAM(i), LPARAM(buf.data()), &got) || got < 0) break;
    lines.emplace_back(buf.data(), size_t(std::min(got, len)));
  }
  return lines;
}

int App::LogCount() const {
  LRESULT n = 0;
  Ask(Control(ID_EVENT_LOG), LB_GETCOUNT, 0, 0, &n);
  return int(n);
}

bool App::LogContains(const std::wstring& line) const {
  for (const auto& l : Log())
    if (l == line) return true;
  return false;
}

bool App::LogHasPrefix(const std::wstring& prefix) const {
  for (const auto& l : Log())
    if (l.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}

bool App::WaitLog(const std::wstring& line, bool prefix, DWORD timeoutMs) const {
  bool ok = WaitUntil([&] { return prefix ? LogHasPrefix(line) : LogContains(line); },
                      "the log line \"" + Narrow(line) + "\"", timeoutMs);
  if (!ok) ADD_FAILURE() << "the log holds:\n" << LogDump();
  return ok;
}

std::string App::LogDump() const {
  std::string out;
  for (const auto& l : Log()) out += "  [" + Narrow(l) + "]\n";
  return out;
}

int App::ComboCount(int id) const {
  LRESULT n = -1;
  Ask(Control(id), CB_GETCOUNT, 0, 0, &n);
  return int(n);
}

int App::ComboSel(int id) const {
  LRESULT n = -1;
  Ask(Control(id), CB_GETCURSEL, 0, 0, &n);
  return int(n);
}

std::wstring App::ComboItem(int id, int index) const {
  HWND c = Control(id);
  LRESULT len = 0;
  if (!Ask(c, CB_GETLBTEXTLEN, WPARAM(index), 0, &len) || len < 0) return std::wstring();
  std::vector<wchar_t> buf(size_t(len) + 1, 0);
  LRESULT got = 0;
  if (!Ask(c, CB_GETLBTEXT, WPARAM(index), LPARAM(buf.data()), &got) || got < 0) return std::wstring();
  return std::wstring(buf.data(), size_t(std::min(got, len)));
}

bool App::SetComboSel(int id, int index) {
  LRESULT r = 0;
  return Ask(Control(id), CB_SETCURSEL, WPARAM(index), 0, &r) && r == index;
}

int App::TrackPos(int id) const {
  LRESULT r = -1;
  Ask(Control(id), TBM_GETPOS, 0, 0, &r);
  return int(r);
}

int App::TrackMin(int id) const {
  LRESULT r = -1;
  Ask(Control(id), TBM_GETRANGEMIN, 0, 0, &r);
  return int(r);
}

int App::TrackMax(int id) const {
  LRESULT r = -1;
  Ask(Control(id), TBM_GETRANGEMAX, 0, 0, &r);
  return int(r);
}

bool App::SetTrackPos(int id, int pos) { return Ask(Control(id), TBM_SETPOS, TRUE, LPARAM(pos)) && TrackPos(id) == pos; }

// Under Wine a menu handle means something only inside its own process, so
// GetMenuState from here fails. st_menu_probe.dll (next to this program) is
// loaded into the program's process and its QueryMenuState runs there on a
// thread of its own (CreateRemoteThread), reading and writing a small record
// in the program's memory.
App::MenuItem App::MenuState(int id) {
  MenuItem item;
  wchar_t self[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring dll(self, n);
  dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"st_menu_probe.dll";
  static HMODULE local = LoadLibraryW(dll.c_str());
  if (!local) {
    ADD_FAILURE() << "cannot load " << Narrow(dll);
    return item;
  }
  FARPROC localQuery = GetProcAddress(local, "QueryMenuState");
  FARPROC loadLibrary = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW");

  auto runRemote = [&](LPTHREAD_START_ROUTINE fn, void* arg, DWORD* code) {
    HANDLE t = CreateRemoteThread(process_, nullptr, 0, fn, arg, 0, nullptr);
    if (!t) return false;
    bool done = WaitForSingleObject(t, Scaled(kAskMs)) == WAIT_OBJECT_0;
    if (done && code) GetExitCodeThread(t, code);
    CloseHandle(t);
    return done;
  };
  auto findRemote = [&]() -> HMODULE {
    HMODULE mods[1024];
    DWORD bytes = 0;
    if (!EnumProcessModules(process_, mods, sizeof mods, &bytes)) return nullptr;
    for (DWORD i = 0; i < bytes / sizeof(HMODULE); ++i) {
      wchar_t name[MAX_PATH] = {0};
      if (GetModuleBaseNameW(process_, mods[i], name, MAX_PATH) && _wcsicmp(name, L"st_menu_probe.dll") == 0)
        return mods[i];
    }
    return nullptr;
  };

  HMODULE remote = findRemote();
  if (!remote) {
    size_t bytes = (dll.size() + 1) * sizeof(wchar_t);
    void* mem = VirtualAllocEx(process_, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (mem && WriteProcessMemory(process_, mem, dll.c_str(), bytes, nullptr))
      runRemote(reinterpret_cast<LPTHREAD_START_ROUTINE>(loadLibrary), mem, nullptr);
    if (mem) VirtualFreeEx(process_, mem, 0, MEM_RELEASE);
    remote = findRemote();
  }
  if (!remote) {
    ADD_FAILURE() << "could not load st_menu_probe.dll into the program's process";
    return item;
  }
  auto remoteQuery = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<uintptr_t>(remote) +
                                                              (reinterpret_cast<uintptr_t>(localQuery) -
                                                               reinterpret_cast<uintptr_t>(local)));
  struct {
    HWND window;
    UINT id;
    UINT state;
  } query{main_, UINT(id), 0xFFFFFFFFu}, answer{};
  void* mem = VirtualAllocEx(process_, nullptr, sizeof query, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  bool ok = mem && WriteProcessMemory(process_, mem, &query, sizeof query, nullptr) &&
            runRemote(remoteQuery, mem, nullptr) && ReadProcessMemory(process_, mem, &answer, sizeof answer, nullptr);
  if (mem) VirtualFreeEx(process_, mem, 0, MEM_RELEASE);
  if (!ok) {
    ADD_FAILURE() << "could not read the state of menu item " << id;
    return item;
  }
  if (answer.state == 0xFFFFFFFFu) return item;
  item.found = true;
  item.raw = answer.state;
  item.checked = (answer.state & MF_CHECKED) != 0;
  item.grayed = (answer.state & (MF_GRAYED | MF_DISABLED)) != 0;
  return item;
}

namespace {
BOOL CALLBACK FindDialogOf(HWND hwnd, LPARAM lp) {
  FindCtx* c = reinterpret_cast<FindCtx*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == c->pid && IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770") {
    c->found = hwnd;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

Dialog App::FindDialog() const {
  FindCtx c{pid_, L"#32770", nullptr};
  if (pid_) EnumWindows(FindDialogOf, LPARAM(&c));
  return Dialog{c.found};
}

Dialog App::WaitDialog(DWORD timeoutMs) const {
  Dialog d;
  WaitUntil([&] { return bool(d = FindDialog()); }, "a dialog of the program", timeoutMs);
  return d;
}

Dialog App::WaitMessageBox(DWORD timeoutMs) const {
  Dialog d;
  WaitUntil([&] { return (d = FindDialog()) && !d.IsFileDialog() && !d.MessageText().empty(); },
            "a message box of the program", timeoutMs);
  return d;
}

Dialog App::WaitFileDialog(DWORD timeoutMs) const {
  Dialog d;
  WaitUntil([&] { return (d = FindDialog()) && d.IsFileDialog(); }, "a file dialog of the program", timeoutMs);
  return d;
}

bool App::ExpectBox(const std::wstring& text, const std::wstring& caption, int button, DWORD timeoutMs) {
  Dialog box = WaitMessageBox(timeoutMs);
  if (!box) {
    ADD_FAILURE() << "expected the message box \"" << Narrow(text) << "\"; the log holds:\n" << LogDump();
    return false;
  }
  std::wstring got = box.MessageText(), cap = box.Caption();
  EXPECT_EQ(Narrow(text), Narrow(got)) << "message box text";
  EXPECT_EQ(Narrow(caption), Narrow(cap)) << "message box caption";
  bool ok = box.PressAndWaitGone(button, timeoutMs);
  return ok && got == text && cap == caption;
}

bool App::OpenFile(const std::wstring& path) {
  if (!PostCommand(IDM_OPEN)) return false;
  Dialog d = WaitFileDialog();
  if (!d || !d.Accept(path)) return false;
  return ExpectBox(L" Файл успешно открыт!", L"Success");
}

bool App::SaveFileAs(const std::wstring& path) {
  if (!PostCommand(IDM_SAVE_AS)) return false;
  Dialog d = WaitFileDialog();
  if (!d || !d.Accept(path)) return false;
  Dialog box = WaitMessageBox();
  if (!box) return false;
  std::wstring caption = box.Caption();
  bool ok = box.PressAndWaitGone(IDOK);
  if (caption != L"Файл успешно сохранён") {
    ADD_FAILURE() << "saving " << Narrow(path) << " ended with the box \"" << Narrow(caption) << "\"; the log holds:\n"
                  << LogDump();
    return false;
  }
  return ok;
}

bool App::Close() { return main_ && PostMessageW(main_, WM_CLOSE, 0, 0); }

bool App::WaitExit(DWORD timeoutMs, DWORD* exitCode) {
  if (!process_) return false;
  timeoutMs = Scaled(timeoutMs);
  if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "the program did not end within " << timeoutMs << " ms";
    return false;
  }
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  if (exitCode) *exitCode = code;
  return true;
}

void App::Kill() {
  if (!process_) return;
  if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 0xDEAD);
    WaitForSingleObject(process_, 10000);
  }
  CloseHandle(process_);
  process_ = nullptr;
  main_ = nullptr;
}

bool App::Foreground() {
  SetForegroundWindow(main_);
  return WaitUntil([&] { return GetForegroundWindow() == main_; }, "the program to be the foreground window", 5000);
}

namespace {
INPUT Mouse(const POINT& screen, DWORD flags) {
  int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = LONG((screen.x * 65535LL + (w - 1) / 2) / (w - 1));
  in.mi.dy = LONG((screen.y * 65535LL + (h - 1) / 2) / (h - 1));
  in.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | flags;
  return in;
}
INPUT Ctrl(bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = VK_CONTROL;
  in.ki.wScan = WORD(MapVirtualKeyW(VK_CONTROL, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return in;
}
bool Send(std::vector<INPUT> in) { return SendInput(UINT(in.size()), in.data(), sizeof(INPUT)) == in.size(); }
}  // namespace

bool App::MouseMove(int x, int y) {
  POINT p{x, y};
  ClientToScreen(main_, &p);
  if (!Send({Mouse(p, 0)})) return false;
  return WaitUntil(
      [&] {
        POINT c{};
        return GetCursorPos(&c) && c.x == p.x && c.y == p.y;
      },
      "the mouse pointer to arrive", 5000);
}

bool App::MouseClick(int x, int y, bool withCtrl) {
  POINT p{x, y};
  ClientToScreen(main_, &p);
  if (!MouseMove(x, y)) return false;
  if (!withCtrl) return Send({Mouse(p, MOUSEEVENTF_LEFTDOWN), Mouse(p, MOUSEEVENTF_LEFTUP)});
  // In one go: when the window gets the X focus, Wine lets go of every
  // modifier the X server does not hold (it never saw this key), and a
  // focus change arriving between the key and the click would do just that.
  return Send({Ctrl(false), Mouse(p, MOUSEEVENTF_LEFTDOWN), Mouse(p, MOUSEEVENTF_LEFTUP), Ctrl(true)});
}

Shot App::CaptureClient() {
  RECT r = ClientRect();
  MapWindowPoints(main_, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
  return CaptureScreen(r);
}

Shot App::CaptureWhen(const std::function<bool(const Shot&)>& expected, const std::string& what, bool still,
                      DWORD timeoutMs) {
  Shot last;
  if (!Repaint()) return last;
  Shot previous;
  const bool ok = WaitUntil(
      [&] {
        previous = std::move(last);
        last = CaptureClient();
        if (last.Empty() || !expected(last)) return false;
        return !still || (previous.width == last.width && previous.height == last.height &&
                          previous.pixels == last.pixels);
      },
      "the picture of " + what, timeoutMs);
  if (!ok && !last.Empty()) last.SavePpm(TestFile(L"unexpected-picture.ppm"));
  return last;
}

bool App::Repaint() {
  if (!InvalidateRect(main_, nullptr, FALSE)) return false;
  // The update region is kept by the system, so it can be watched from here:
  // it is empty again once the program has painted.
  return WaitUntil([&] { return !GetUpdateRect(main_, nullptr, FALSE); }, "the program to repaint its window") &&
         Sync();
}

}  // namespace st
