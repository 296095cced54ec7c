// The small topmost "please wait" window shown around long work on the
// window thread. No messages are served while the work runs, so the popup
// paints itself once (UpdateWindow) before the work starts.
#include "view/BusyPopup.h"

#include "app/AppState.h"
#include "sound/Narration.h"

HWND ShowBusyPopup(const std::wstring& text) {
    RECT main{};
    GetWindowRect(MainWindow, &main);
    const int width = 250;
    const int height = 80;
    const int left = (main.right - main.left - width) / 2 + main.left;
    const int top = (main.bottom - main.top - height) / 2 + main.top;
    HWND popup = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", text.c_str(),
                                 WS_POPUP | WS_BORDER | SS_CENTER, left, top, width, height, MainWindow, nullptr,
                                 AppInstance, nullptr);
    if (popup) {
        SendMessageW(popup, WM_SETFONT, reinterpret_cast<WPARAM>(ButtonFont), TRUE);
        // Shown without taking the activation: the main window keeps it (it
        // is only disabled), and under Wine an activated popup becomes a
        // window the window manager is asked about, whose removal then waits
        // two seconds for an answer where there is no window manager.
        ShowWindow(popup, SW_SHOWNOACTIVATE);
        UpdateWindow(popup);
    }
    EnableWindow(MainWindow, FALSE);
    return popup;
}

void CloseBusyPopup(HWND popup) {
    if (popup) DestroyWindow(popup);
    // Re-enabled even when the popup could not be made: it was disabled all
    // the same.
    EnableWindow(MainWindow, TRUE);
    SetForegroundWindow(MainWindow);
}

void BindBusyPopupSinks() {
    SetBusySinks([](const std::wstring& text) -> void* { return ShowBusyPopup(text); },
                 [](void* token) { CloseBusyPopup(static_cast<HWND>(token)); });
}
