// Playback engine on the window thread: Play, Pause/Continue, Stop and the
// device's MM_WOM_DONE notifications.
#pragma once

void PlayCommand();        // 50003
void PauseCommand();       // 50006
void StopPlayCommand();    // 50004
void OnPlaybackBufferDone();  // MM_WOM_DONE

// True from the moment Play has opened the output device until Stop or the
// end of the sound has reset it, including a playback whose second buffer
// was refused and one that has drained. The device, not StopPlayButton:
// between the open and the first write the button is still disabled while
// the device already holds the chain's data.
bool PlaybackInProgress();
