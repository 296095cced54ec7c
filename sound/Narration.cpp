#include "sound/Narration.h"

#include <utility>

namespace {
LogSink logSink;
AlertSink alertSink;
BusyShowSink busyShow;
BusyHideSink busyHide;
}  // namespace

void SetLogSink(LogSink sink) { logSink = std::move(sink); }
void SetAlertSink(AlertSink sink) { alertSink = std::move(sink); }
void SetBusySinks(BusyShowSink show, BusyHideSink hide) {
    busyShow = std::move(show);
    busyHide = std::move(hide);
}

void LogLine(const std::wstring& line) {
    if (logSink) logSink(line);
}
void Alert(const std::wstring& text, const std::wstring& caption, unsigned flags) {
    if (alertSink) alertSink(text, caption, flags);
}
void* BusyBegin(const std::wstring& text) { return busyShow ? busyShow(text) : nullptr; }
void BusyEnd(void* token) {
    if (busyHide) busyHide(token);
}
