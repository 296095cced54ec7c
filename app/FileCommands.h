// File menu: open a WAV file as the sound, save the sound as a WAV file.
#pragma once

void OpenCommand();    // 40201
void SaveAsCommand();  // 40202

// What follows a successful load: whole-sound coordinates, the envelope, the
// graph shown, and the file-loaded button states.
void FinishSoundLoad();
