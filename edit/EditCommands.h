// The three edit commands with their guards and confirmations.
#pragma once

void VolumeCommand();   // 40401: the volume dialog
void ClippingCommand(); // 40402
void CutCommand();      // 50007
