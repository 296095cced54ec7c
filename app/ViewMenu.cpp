#include "app/ViewMenu.h"

#include "app/AppState.h"
#include "app/ControlIds.h"
#include "app/InterfaceFlags.h"
#include "app/EventLog.h"
#include "view/SoundGraph.h"

namespace {

HMENU Menu() { return GetMenu(MainWindow); }

bool IsChecked(UINT id) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE;
    if (!GetMenuItemInfoW(Menu(), id, FALSE, &info)) return false;
    return (info.fState & MFS_CHECKED) != 0;
}

void SetChecked(UINT id, bool checked) {
    CheckMenuItem(Menu(), id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void ChooseGraph(bool fast) {
    CheckMenuRadioItem(Menu(), IDM_GRAPH_FAST, IDM_GRAPH_DETAILED, fast ? IDM_GRAPH_FAST : IDM_GRAPH_DETAILED,
                       MF_BYCOMMAND);
    FastGraphMode = fast;
    RequestRepaint();
}

void OnGraphFast() {
    // The reduced graph is never chosen while no envelope exists.
    if (!FastGraphReady) {
        ChooseGraph(false);
        return;
    }
    if (!IsChecked(IDM_GRAPH_FAST)) {
        ChooseGraph(true);
    } else if (!FastGraphMode) {
        FastGraphMode = true;
        RequestRepaint();
    }
}

void OnGraphDetailed() {
    if (!IsChecked(IDM_GRAPH_DETAILED)) {
        ChooseGraph(false);
    } else if (FastGraphMode) {
        FastGraphMode = false;
        RequestRepaint();
    }
}

void OnLiveDetailed() {
    HMENU menu = Menu();
    if (IsChecked(IDM_LIVE_DETAILED)) {
        // Without the detailed live view the meters have nothing to ride on:
        // switch them off and gray them.
        SetChecked(IDM_LIVE_DETAILED, false);
        LiveDetailed = 0;
        SetChecked(IDM_SHOW_OVERLOAD, false);
        ShowOverload = 0;
        EnableMenuItem(menu, IDM_SHOW_OVERLOAD, MF_BYCOMMAND | MF_GRAYED);
        SetChecked(IDM_SHOW_VU, false);
        ShowVuMeter = 0;
        EnableMenuItem(menu, IDM_SHOW_VU, MF_BYCOMMAND | MF_GRAYED);
    } else {
        SetChecked(IDM_LIVE_DETAILED, true);
        LiveDetailed = 1;
        EnableMenuItem(menu, IDM_SHOW_OVERLOAD, MF_BYCOMMAND | MF_ENABLED);
        EnableMenuItem(menu, IDM_SHOW_VU, MF_BYCOMMAND | MF_ENABLED);
    }
}

// Flips a check-mark item and its flag; the change shows with the next frame.
void Toggle(UINT id, int& flag) {
    const bool on = !IsChecked(id);
    SetChecked(id, on);
    flag = on ? 1 : 0;
}

}  // namespace

bool HandleViewCommand(WORD id) {
    switch (id) {
    case IDM_LIVE_DETAILED: OnLiveDetailed(); return true;
    case IDM_SHOW_OVERLOAD: Toggle(IDM_SHOW_OVERLOAD, ShowOverload); return true;
    case IDM_SHOW_VU: Toggle(IDM_SHOW_VU, ShowVuMeter); return true;
    case IDM_GRAPH_FAST: OnGraphFast(); return true;
    case IDM_GRAPH_DETAILED: OnGraphDetailed(); return true;
    case IDM_SHOW_CLIPPING:
        Toggle(IDM_SHOW_CLIPPING, ShowClipping);
        RequestRepaint();
        return true;
    default: return false;
    }
}

void ClearLogCommand() {
    const bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    if (!ctrl) {
        SendMessageW(EventLog, LB_RESETCONTENT, 0, 0);
        return;
    }
    if (FastGraphReady) ChooseGraph(!IsChecked(IDM_GRAPH_FAST));
    else ChooseGraph(false);
}
