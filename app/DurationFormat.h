// Duration texts of the time display. Platform-free.
#pragma once
#include <string>

// 0:00, 1:05, 59:59, 1:00:00, 1:02:05 ... (truncating, hours only from 1 h).
std::wstring FormatDuration(double ms);
// " " + position + " / " + total, the position only when above 0.
std::wstring TimeDisplayText(double totalMs, double positionMs);
