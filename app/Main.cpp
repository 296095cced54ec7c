#include <windows.h>
#include <commctrl.h>

#include <cstdlib>

#include "app/AppState.h"
#include "app/ControlIds.h"
#include "app/Controls.h"
#include "app/MainWindow.h"
#include "app/RecoveryOffer.h"

namespace {

constexpr int StartWidth = 780;
constexpr int StartHeight = 570;

[[noreturn]] void FailAndExit(const wchar_t* text, const wchar_t* caption) {
    MessageBoxW(nullptr, text, caption, MB_ICONERROR);
    std::exit(1);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    INITCOMMONCONTROLSEX common = {sizeof(common), ICC_BAR_CLASSES};
    InitCommonControlsEx(&common);

    HandCursor = LoadCursorW(nullptr, IDC_HAND);
    ArrowCursor = LoadCursorW(nullptr, IDC_ARROW);
    BackgroundBrush = CreateSolidBrush(RGB(255, 255, 255));
    AppInstance = instance;

    WNDCLASSEXW cls = {};
    cls.cbSize = sizeof(cls);
    // CS_OWNDC: the window keeps one device context for its whole life.
    cls.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    cls.lpfnWndProc = MainWindowProc;
    cls.hInstance = instance;
    cls.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_ICON));
    cls.hCursor = nullptr;  // set on every mouse move instead
    cls.hbrBackground = BackgroundBrush;
    cls.lpszMenuName = MAKEINTRESOURCEW(IDR_MAIN_MENU);
    cls.lpszClassName = MainWindowClass;
    if (!RegisterClassExW(&cls)) FailAndExit(L" Error creating Window Class, exit! ", L"RegisterClass function");

    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + (work.right - work.left - StartWidth) / 2;
    const int y = work.top + (work.bottom - work.top - StartHeight) / 2;

    HWND window = CreateWindowExW(WS_EX_LEFT, MainWindowClass, L" Dudorori ",
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, x, y, StartWidth,
                                  StartHeight, nullptr, nullptr, instance, nullptr);
    if (!window) FailAndExit(L" Error creating Window, exit!", L"CreateWindow function");

    ShowWindow(window, showCommand);
    UpdateWindow(window);
    RECT client;
    GetClientRect(window, &client);
    LayoutControls(client.right - client.left, client.bottom - client.top);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // Recordings an earlier run could not finish are offered over the painted
    // window, before anything the user does.
    PostMessageW(window, WM_APP_OFFER_RECOVERY, 0, 0);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
