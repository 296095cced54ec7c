#include "app/Shutdown.h"

#include <windows.h>

#include <cstdlib>

#include "app/AppState.h"
#include "audio/Recorder.h"
#include "audio/RecoveryWriter.h"

void ShutdownApplication() {
    DeleteObject(BackgroundBrush);
    ShutdownRecording();
    // The copy takes in the last fragments and stays for the next start; a
    // static thread object still running would also end the process badly.
    WaitForRecoveryCopy();
    PostQuitMessage(0);
    std::exit(1);
}
