#include "app/Controls.h"

#include <commctrl.h>

#include <initializer_list>

#include "app/AppState.h"
#include "app/ControlIds.h"

namespace {

HFONT MakeArial(int height, int weight) {
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS | DEFAULT_PITCH, L"Arial");
}

HWND MakeControl(HWND parent, const wchar_t* cls, const wchar_t* text, int id, DWORD style, int w, int h,
                 HFONT font) {
    HWND control = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, w, h, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), AppInstance, nullptr);
    if (control && font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return control;
}

void AddItems(HWND combo, std::initializer_list<const wchar_t*> items, int selected) {
    for (const wchar_t* item : items) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    SendMessageW(combo, CB_SETCURSEL, selected, 0);
}

void Place(HWND control, int x, int y) {
    SetWindowPos(control, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
}

void PlaceSized(HWND control, int x, int y, int w, int h) {
    SetWindowPos(control, nullptr, x, y, w, h, SWP_NOZORDER);
}

}  // namespace

void CreateMainControls(HWND window) {
    ButtonFont = MakeArial(22, 500);
    ComboFont = MakeArial(18, 500);
    LogFont = MakeArial(16, 400);

    const DWORD push = WS_TABSTOP | BS_DEFPUSHBUTTON;
    const DWORD combo = WS_VSCROLL | WS_HSCROLL | CBS_DROPDOWNLIST;
    RecordButton = MakeControl(window, L"button", L" Запись ", ID_RECORD_BUTTON, push, 100, 30, ButtonFont);
    StopRecordButton = MakeControl(window, L"button", L" Стоп ", ID_STOP_RECORD_BUTTON, push, 100, 30, ButtonFont);
    DeviceCombo = MakeControl(window, L"ComboBox", L"", ID_DEVICE_COMBO, combo, 324, 90, ComboFont);
    BitsCombo = MakeControl(window, L"ComboBox", L"", ID_BITS_COMBO, combo | CBS_AUTOHSCROLL, 100, 100, ComboFont);
    RateCombo = MakeControl(window, L"ComboBox", L"", ID_RATE_COMBO, combo, 117, 120, ComboFont);
    ChannelsCombo = MakeControl(window, L"ComboBox", L"", ID_CHANNELS_COMBO, combo, 100, 70, ComboFont);
    CaptureGroupBox = MakeControl(window, L"button", L"Устройство записи:", ID_CAPTURE_GROUP, BS_GROUPBOX, 330, 140,
                                  ComboFont);
    PlayButton = MakeControl(window, L"button", L"Воспр.", ID_PLAY_BUTTON, push, 90, 30, ButtonFont);
    PauseButton = MakeControl(window, L"button", L"Пауза", ID_PAUSE_BUTTON, push, 128, 30, ButtonFont);
    StopPlayButton = MakeControl(window, L"button", L"Стоп", ID_STOP_PLAY_BUTTON, push, 92, 30, ButtonFont);
    PlaybackGroupBox = MakeControl(window, L"button", L"Устройство воспроизведения:", ID_PLAYBACK_GROUP, BS_GROUPBOX,
                                   330, 80, ComboFont);
    EventLog = MakeControl(window, L"listbox", L"", ID_EVENT_LOG, WS_VSCROLL | WS_HSCROLL | LBS_NOSEL, 320, 100,
                           LogFont);
    if (EventLog) {
        SetWindowLongW(EventLog, GWL_EXSTYLE, GetWindowLongW(EventLog, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
        // The frame is only recomputed when told so.
        SetWindowPos(EventLog, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
    ClearLogButton = MakeControl(window, L"button", L" C ", ID_CLEAR_LOG_BUTTON, push, 25, 25, ButtonFont);
    StartTrackbar = MakeControl(window, TRACKBAR_CLASSW, L"имя трекбара 1", ID_START_TRACKBAR,
                                TBS_ENABLESELRANGE | TBS_FIXEDLENGTH, 100, 25, nullptr);
    EndTrackbar = MakeControl(window, TRACKBAR_CLASSW, L"имя трекбара 2", ID_END_TRACKBAR,
                              TBS_ENABLESELRANGE | TBS_FIXEDLENGTH, 100, 25, nullptr);
    SendMessageW(StartTrackbar, TBM_SETRANGE, FALSE, MAKELPARAM(0, 10000));
    SendMessageW(StartTrackbar, TBM_SETPOS, TRUE, 0);
    SendMessageW(EndTrackbar, TBM_SETRANGE, FALSE, MAKELPARAM(0, 10000));
    SendMessageW(EndTrackbar, TBM_SETPOS, TRUE, 10000);
    CutButton = MakeControl(window, L"button", L"_Обрезать звук_", ID_CUT_BUTTON, push, 155, 30, ButtonFont);
    TimeDisplay = MakeControl(window, L"STATIC", L" 00:00:00 / 00:00:00", ID_TIME_DISPLAY, SS_CENTER, 195, 25,
                              ButtonFont);

    EnableWindow(RecordButton, TRUE);
    EnableWindow(StopRecordButton, FALSE);
    EnableWindow(PlayButton, FALSE);
    EnableWindow(PauseButton, FALSE);
    EnableWindow(StopPlayButton, FALSE);

    AddItems(BitsCombo, {L" 8 bit", L"16 bit", L"24 bit"}, 1);
    AddItems(RateCombo, {L"8000 Hz", L"11025 Hz", L"22050 Hz", L"44100 Hz", L"48000 Hz", L"96000 Hz", L"192000 Hz"},
             3);
    AddItems(ChannelsCombo, {L"Mono  ", L"Stereo"}, 0);
}

void LayoutControls(int w, int h) {
    Place(RecordButton, 60, h - 240);
    Place(StopRecordButton, 180, h - 240);
    Place(DeviceCombo, 8, h - 190);
    Place(BitsCombo, 8, h - 160);
    Place(RateCombo, 112, h - 160);
    Place(ChannelsCombo, 232, h - 160);
    Place(CaptureGroupBox, 5, h - 265);
    Place(PlayButton, 10, h - 80);
    Place(PauseButton, 105, h - 80);
    Place(StopPlayButton, 238, h - 80);
    Place(PlaybackGroupBox, 5, h - 120);
    PlaceSized(EventLog, 340, h - 190, 330, 155);
    Place(ClearLogButton, 675, h - 70);
    // The trackbars reach 3 pixels past the client area on each side.
    PlaceSized(StartTrackbar, -3, h - 320, w + 6, 25);
    PlaceSized(EndTrackbar, -3, h - 295, w + 6, 25);
    Place(CutButton, w - 160, h - 265);
    Place(TimeDisplay, 70, h - 35);
    FillWithBrush(CaptureGroupBox, BackgroundBrush);
    FillWithBrush(PlaybackGroupBox, BackgroundBrush);
}

void FillWithBrush(HWND window, HBRUSH brush) {
    if (!window || !brush) return;
    HDC dc = GetDC(window);
    RECT rect;
    GetClientRect(window, &rect);
    FillRect(dc, &rect, brush);
    ReleaseDC(window, dc);
}
