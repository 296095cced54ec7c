// The main window: its procedure, creation and the end of the process.
#pragma once
#include <windows.h>

constexpr wchar_t MainWindowClass[] = L"Dudorori_win_Class";

LRESULT CALLBACK MainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// Stops a running recording and ends the process with exit status 1. Nothing
// is saved and a running playback is left to the system.
[[noreturn]] void ShutdownApplication();
