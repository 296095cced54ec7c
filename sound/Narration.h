// How the platform-free code talks to the user: log lines for the event log,
// message boxes, and the "please wait" popup around long work. The
// application binds these to the real controls; tests bind them to vectors.
#pragma once
#include <functional>
#include <string>

// Icons and buttons, with the values of the platform's MB_ flags so the
// application can pass them straight through.
enum AlertFlags : unsigned {
    AlertOk = 0x0,
    AlertYesNo = 0x4,
    AlertIconError = 0x10,
    AlertIconQuestion = 0x20,
    AlertIconWarning = 0x30,
    AlertIconInformation = 0x40,
};

using LogSink = std::function<void(const std::wstring& line)>;
using AlertSink = std::function<void(const std::wstring& text, const std::wstring& caption, unsigned flags)>;
using BusyShowSink = std::function<void*(const std::wstring& text)>;
using BusyHideSink = std::function<void(void*)>;

void SetLogSink(LogSink sink);
void SetAlertSink(AlertSink sink);
void SetBusySinks(BusyShowSink show, BusyHideSink hide);

// One line to the event log (cap 25 lines, kept by the application).
void LogLine(const std::wstring& line);
// A message box owned by the main window.
void Alert(const std::wstring& text, const std::wstring& caption, unsigned flags);
// The topmost waiting popup with the main window disabled; BusyEnd removes
// it, re-enables the main window and brings it to the front.
void* BusyBegin(const std::wstring& text);
void BusyEnd(void* token);
