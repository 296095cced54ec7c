// Playback engine on the window thread: Play, Pause/Continue, Stop and the
// device's MM_WOM_DONE notifications.
#pragma once

void PlayCommand();        // 50003
void PauseCommand();       // 50006
void StopPlayCommand();    // 50004
void OnPlaybackBufferDone();  // MM_WOM_DONE
