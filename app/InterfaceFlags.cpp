#include "app/InterfaceFlags.h"

int LiveDetailed = 1;
int ShowOverload = 1;
int ShowVuMeter = 1;
int ShowClipping = 1;
uint8_t PlaybackPaused = 0;

bool FastGraphReady = false;
bool FastGraphMode = true;
