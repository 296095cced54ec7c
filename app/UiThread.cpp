#include "app/UiThread.h"

#include "app/AppState.h"
#include "app/EventLog.h"

namespace {

DWORD uiThreadId = 0;

struct PendingAlert {
    std::wstring text;
    std::wstring caption;
    UINT flags;
};

}  // namespace

void InitUiThread() { uiThreadId = GetCurrentThreadId(); }

bool OnUiThread() { return GetCurrentThreadId() == uiThreadId; }

void LogFromAnyThread(const std::wstring& line) {
    if (OnUiThread()) {
        AppendLogLine(EventLog, line.c_str(), LogLineCap);
        return;
    }
    auto* copy = new std::wstring(line);
    if (!PostMessageW(MainWindow, WM_APP_LOG_LINE, 0, reinterpret_cast<LPARAM>(copy))) delete copy;
}

void EnableFromAnyThread(HWND control, bool enable) {
    if (OnUiThread()) {
        EnableWindow(control, enable ? TRUE : FALSE);
        return;
    }
    PostMessageW(MainWindow, WM_APP_ENABLE, enable ? TRUE : FALSE, reinterpret_cast<LPARAM>(control));
}

void AlertFromAnyThread(const std::wstring& text, const std::wstring& caption, UINT flags) {
    if (OnUiThread()) {
        MessageBoxW(MainWindow, text.c_str(), caption.c_str(), flags);
        return;
    }
    auto* alert = new PendingAlert{text, caption, flags};
    if (!PostMessageW(MainWindow, WM_APP_ALERT, 0, reinterpret_cast<LPARAM>(alert))) delete alert;
}

bool HandleUiThreadMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_APP_LOG_LINE: {
        auto* line = reinterpret_cast<std::wstring*>(lParam);
        AppendLogLine(EventLog, line->c_str(), LogLineCap);
        delete line;
        return true;
    }
    case WM_APP_ENABLE:
        EnableWindow(reinterpret_cast<HWND>(lParam), static_cast<BOOL>(wParam));
        return true;
    case WM_APP_ALERT: {
        auto* alert = reinterpret_cast<PendingAlert*>(lParam);
        MessageBoxW(MainWindow, alert->text.c_str(), alert->caption.c_str(), alert->flags);
        delete alert;
        return true;
    }
    default:
        return false;
    }
}
