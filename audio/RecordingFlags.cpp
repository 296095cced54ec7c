#include "audio/RecordingFlags.h"

std::atomic<bool> StopRequested{true};
std::atomic<bool> RecordingActive{false};
std::atomic<int> RecordingOk{0};
std::atomic<int> LiveView{0};
int GraphReady = 0;
