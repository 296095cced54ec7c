// The small topmost "please wait" window centred on the main window.
#pragma once
#include <windows.h>

#include <string>

// Shows the popup with the text and disables the main window.
HWND ShowBusyPopup(const std::wstring& text);
// Destroys it, re-enables the main window and brings it to the front.
void CloseBusyPopup(HWND popup);
// Lets the platform-free code (envelope preparation) show this popup
// through BusyBegin/BusyEnd. Called once at start-up.
void BindBusyPopupSinks();
