#include "app/MainWindow.h"

#include <mmsystem.h>

#include "app/AppState.h"
#include "app/Commands.h"
#include "app/ControlIds.h"
#include "app/Controls.h"
#include "app/EventLog.h"
#include "app/RecoveryOffer.h"
#include "app/Shutdown.h"
#include "app/UiThread.h"
#include "audio/Player.h"
#include "audio/Recorder.h"
#include "audio/RecordingSettings.h"
#include "sound/Narration.h"
#include "view/BusyPopup.h"
#include "view/FrameRenderer.h"
#include "view/PlotCoordinates.h"
#include "view/PlotSurface.h"
#include "view/Seeking.h"

namespace {

// The portable code (reader, writer, edits, envelope) narrates through these,
// always on the window thread.
void BindNarration() {
    SetLogSink([](const std::wstring& line) { AppendLogLine(EventLog, line.c_str(), LogLineCap); });
    SetAlertSink([](const std::wstring& text, const std::wstring& caption, unsigned flags) {
        MessageBoxW(MainWindow, text.c_str(), caption.c_str(), flags);
    });
    BindBusyPopupSinks();
}

void MakeGraphItemsRadio(HMENU menu) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE;
    info.fType = MFT_RADIOCHECK;
    SetMenuItemInfoW(menu, IDM_GRAPH_FAST, FALSE, &info);
    SetMenuItemInfoW(menu, IDM_GRAPH_DETAILED, FALSE, &info);
    CheckMenuRadioItem(menu, IDM_GRAPH_FAST, IDM_GRAPH_DETAILED, IDM_GRAPH_FAST, MF_BYCOMMAND);
}

LRESULT OnCreate(HWND window) {
    MainWindow = window;
    BindNarration();
    CreateGlSurface(window);
    MakeGraphItemsRadio(GetMenu(window));
    CreateMainControls(window);
    EnumerateCaptureDevices();
    return 0;
}

LRESULT OnSize(LPARAM lParam) {
    const int w = LOWORD(lParam);
    const int h = HIWORD(lParam);
    SetClientSize(w, h);
    ResizeGlSurface(w, h);
    SetPlotViewport(PlotRect.x, PlotRect.y, PlotRect.width, PlotRect.height);
    LayoutControls(w, h);
    return 0;
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_DESTROY:
        ShutdownApplication();  // ends the process
        return 0;
    case WM_SIZE:
        return OnSize(lParam);
    case WM_PAINT:
        PaintMainWindow(window);
        return 0;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize.x = 720;
        info->ptMinTrackSize.y = 480;
        return 0;
    }
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<LRESULT>(BackgroundBrush);
    case WM_MOUSEMOVE:
        OnPlotMouseMove(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_LBUTTONDOWN:
        OnPlotClick(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case MM_WOM_DONE:
        OnPlaybackBufferDone();
        return 0;
    case WM_APP_OFFER_RECOVERY:
        OfferRecoveredRecordings();
        return 0;
    default:
        if (HandleUiThreadMessage(msg, wParam, lParam)) return 0;
        return DefWindowProcW(window, msg, wParam, lParam);
    }
}
