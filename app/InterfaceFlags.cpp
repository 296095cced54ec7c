#include "app/InterfaceFlags.h"

int LiveDetailed = 1;
int ShowOverload = 1;
int ShowVuMeter = 1;
int ShowClipping = 1;
uint8_t PlaybackPaused = 0;

std::atomic<bool> StopRequested{true};
std::atomic<bool> RecordingActive{false};
std::atomic<int> RecordingOk{0};
std::atomic<int> LiveView{0};
int GraphReady = 0;
