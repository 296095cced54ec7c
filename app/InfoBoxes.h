// Help menu boxes.
#pragma once

void ShowAboutBox();
void ShowOpenGlInfoBox();
