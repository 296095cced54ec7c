// The main window: its class name and procedure.
#pragma once
#include <windows.h>

constexpr wchar_t MainWindowClass[] = L"Dudorori_win_Class";

LRESULT CALLBACK MainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
