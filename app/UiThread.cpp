#include "app/UiThread.h"

#include <deque>
#include <mutex>

#include "app/AppState.h"
#include "app/EventLog.h"

namespace {

// What another thread asked the window thread to do. The requests wait here,
// in the order they were made, and the private message only wakes the window
// thread: it carries nothing, so a message posted by another process (any
// process of the desktop can post to the window) finds either nothing to do
// or a real request, never a pointer it would have to trust.
struct UiRequest {
    UINT kind;  // WM_APP_LOG_LINE, WM_APP_ENABLE or WM_APP_ALERT
    std::wstring text;
    std::wstring caption;
    UINT flags = 0;
    HWND control = nullptr;
    bool enable = false;
};

std::mutex requestsMutex;
std::deque<UiRequest> requests;

void Request(UiRequest request) {
    const UINT kind = request.kind;
    {
        std::lock_guard<std::mutex> lock(requestsMutex);
        requests.push_back(std::move(request));
    }
    // One wake-up per request. Should the post fail (a full queue), the
    // request is still carried out with the next wake-up.
    PostMessageW(MainWindow, kind, 0, 0);
}

bool TakeRequest(UiRequest& request) {
    std::lock_guard<std::mutex> lock(requestsMutex);
    if (requests.empty()) return false;
    request = std::move(requests.front());
    requests.pop_front();
    return true;
}

}  // namespace

void PostLogLine(const std::wstring& line) { Request(UiRequest{WM_APP_LOG_LINE, line, std::wstring()}); }

void PostEnable(HWND control, bool enable) {
    UiRequest request{WM_APP_ENABLE, std::wstring(), std::wstring()};
    request.control = control;
    request.enable = enable;
    Request(std::move(request));
}

void PostAlert(const std::wstring& text, const std::wstring& caption, UINT flags) {
    Request(UiRequest{WM_APP_ALERT, text, caption, flags});
}

namespace {

// True while a box another thread asked for is open. Its modal loop goes on
// dispatching the wake-ups of later requests; those requests stay queued
// until the box is closed, so the boxes come one after another, oldest
// first, and every line or button change made after a box comes after it.
bool boxOpen = false;

void CarryOut(const UiRequest& request) {
    switch (request.kind) {
    case WM_APP_LOG_LINE:
        AppendLogLine(EventLog, request.text.c_str(), LogLineCap);
        break;
    case WM_APP_ENABLE:
        EnableWindow(request.control, request.enable ? TRUE : FALSE);
        break;
    default: {
        const bool outer = boxOpen;
        boxOpen = true;
        MessageBoxW(MainWindow, request.text.c_str(), request.caption.c_str(), request.flags);
        boxOpen = outer;
        break;
    }
    }
}

}  // namespace

void CarryOutQueuedUiRequests() {
    UiRequest request;
    while (TakeRequest(request)) CarryOut(request);
}

bool HandleUiThreadMessage(UINT msg, WPARAM, LPARAM) {
    if (msg != WM_APP_LOG_LINE && msg != WM_APP_ENABLE && msg != WM_APP_ALERT) return false;
    // Whichever of the three woke the thread, the requests are carried out
    // oldest first. Wake-ups taken while a box is open leave theirs to the
    // loop that opened the box.
    if (!boxOpen) CarryOutQueuedUiRequests();
    return true;
}
