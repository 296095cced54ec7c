// At start, the recordings a crash, a kill, a power cut or a forgotten save
// left in their recovery copies are offered back, newest first, one box each:
// Yes loads the copy as the current sound (it stays that sound's copy), No
// deletes it and goes on to the next, Cancel keeps it and every later one
// for another start. Copies another running instance holds are passed over.
#pragma once
#include <windows.h>

// Posted by WinMain once the main window is shown, so the boxes come over a
// painted window.
constexpr UINT WM_APP_OFFER_RECOVERY = WM_APP + 4;

// Window thread.
void OfferRecoveredRecordings();
