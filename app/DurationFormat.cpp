#include "app/DurationFormat.h"

namespace {

std::wstring TwoDigits(int value) {
    if (value == 0) return L"00";
    if (value >= 1 && value <= 9) return L"0" + std::to_wstring(value);
    return std::to_wstring(value);
}

}  // namespace

std::wstring FormatDuration(double t) {
    // Every conversion truncates toward zero, so a trailing part of a second
    // never rounds the display up.
    const int h = int(t / 1000 / 3600);
    const int m = int(t / 60000 - h * 60);
    const int s = int(t / 1000 - m * 60 - h * 3600);
    if (h > 0) return std::to_wstring(h) + L":" + TwoDigits(m) + L":" + TwoDigits(s);
    return std::to_wstring(m) + L":" + TwoDigits(s);
}

std::wstring TimeDisplayText(double totalMs, double positionMs) {
    std::wstring text = L" ";
    if (positionMs > 0) text += FormatDuration(positionMs) + L" / ";
    text += FormatDuration(totalMs);
    return text;
}
