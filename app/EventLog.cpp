#include "app/EventLog.h"

#include <string>

#include "app/DurationFormat.h"

int AppendLogLine(HWND listBox, const wchar_t* text, unsigned cap) {
    if (!text || !listBox) return 0;
    SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    LRESULT count = SendMessageW(listBox, LB_GETCOUNT, 0, 0);
    if (count <= 0) return 0;
    unsigned n = static_cast<unsigned>(count);
    while (n > cap) {
        SendMessageW(listBox, LB_DELETESTRING, 0, 0);
        --n;
    }
    // Making the newest line the caret line scrolls it fully into view on
    // Windows; Wine does not scroll a single-selection list for it, so the
    // top line is also set to the first one that leaves the newest in view.
    SendMessageW(listBox, LB_SETCARETINDEX, n - 1, 0);
    RECT client{};
    const LRESULT lineHeight = SendMessageW(listBox, LB_GETITEMHEIGHT, 0, 0);
    if (lineHeight > 0 && GetClientRect(listBox, &client)) {
        const unsigned shown = unsigned(client.bottom - client.top) / unsigned(lineHeight);
        const unsigned top = shown == 0 ? n - 1 : (n > shown ? n - shown : 0);
        SendMessageW(listBox, LB_SETTOPINDEX, top, 0);
    }
    return 1;
}

int UpdateTimeDisplay(HWND staticControl, double totalMs, double positionMs) {
    if (!staticControl) return 0;
    const std::wstring text = TimeDisplayText(totalMs, positionMs);
    // Every paint lands here; rewriting an unchanged text would only make the
    // control flicker.
    wchar_t current[64] = {};
    GetWindowTextW(staticControl, current, 64);
    if (text != current) SetWindowTextW(staticControl, text.c_str());
    return 1;
}
