// The modal volume dialog (resource IDD_VOLUME): a slider from 10 % to 400 %,
// Apply and Cancel.
#pragma once
#include <windows.h>

INT_PTR CALLBACK VolumeDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
