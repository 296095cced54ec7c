#include "edit/VolumeDialog.h"

#include <commctrl.h>

#include <cwchar>

#include "app/AppState.h"
#include "app/ControlIds.h"
#include "edit/VolumeChange.h"
#include "view/SoundChanged.h"

namespace {

// Over the owner's window; a minimised or not yet laid out owner has an empty
// rectangle, then the work area stands in for it.
void CentreOverOwner(HWND dialog) {
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (!owner) owner = GetDesktopWindow();
    RECT area{};
    GetWindowRect(owner, &area);
    if (area.right - area.left == 0 || area.bottom - area.top == 0)
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT box{};
    GetWindowRect(dialog, &box);
    const int width = box.right - box.left, height = box.bottom - box.top;
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    MoveWindow(dialog, x, y, width, height, TRUE);
}

BOOL OnInitDialog(HWND dialog) {
    CentreOverOwner(dialog);
    HWND slider = GetDlgItem(dialog, IDC_VOLUME_TRACKBAR);
    SendMessageW(slider, TBM_SETRANGE, TRUE, MAKELPARAM(10, 400));
    SendMessageW(slider, TBM_SETPAGESIZE, 0, 10);
    SendMessageW(slider, TBM_SETTICFREQ, 10, 0);
    SendMessageW(slider, TBM_SETPOS, TRUE, 100);
    SetDlgItemTextW(dialog, IDC_VOLUME_LABEL, L"Новый уровень громкости: 100%");
    // Enter cancels: applying is a deliberate click.
    SendMessageW(dialog, DM_SETDEFID, IDC_VOLUME_CANCEL, 0);
    return TRUE;
}

int SliderPosition(HWND dialog) {
    return int(SendDlgItemMessageW(dialog, IDC_VOLUME_TRACKBAR, TBM_GETPOS, 0, 0));
}

void OnSliderMoved(HWND dialog) {
    wchar_t text[50];
    std::swprintf(text, 50, L"Новый уровень громкости: %i%%", SliderPosition(dialog));
    SetDlgItemTextW(dialog, IDC_VOLUME_LABEL, text);
}

// The change runs here on the window thread; the disabled buttons and the
// label show that it is under way until the dialog closes.
void OnApply(HWND dialog) {
    const double factor = SliderPosition(dialog) / 100.0;
    EnableWindow(GetDlgItem(dialog, IDC_VOLUME_APPLY), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_VOLUME_CANCEL), FALSE);
    SetDlgItemTextW(dialog, IDC_VOLUME_LABEL, L"Изменение громкости...");
    if (ChangeVolume(Sound.Head, Sound.FragmentSize, factor)) ShowChangedSound(SoundChange::Rewritten);
    EndDialog(dialog, IDC_VOLUME_APPLY);
}

}  // namespace

INT_PTR CALLBACK VolumeDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, IDC_VOLUME_TRACKBAR)) OnSliderMoved(dialog);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_VOLUME_APPLY:
            OnApply(dialog);
            return TRUE;
        case IDC_VOLUME_CANCEL:
            EndDialog(dialog, IDC_VOLUME_CANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}
