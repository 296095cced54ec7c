// Click-to-seek in the bottom band of the plot during playback, and the hand
// cursor over that band.
#pragma once

void OnPlotMouseMove(int x, int y);
void OnPlotClick(int x, int y);
