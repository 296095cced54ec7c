#include "app/Shutdown.h"

#include <windows.h>

#include <cstdlib>

#include "app/AppState.h"
#include "audio/Recorder.h"

void ShutdownApplication() {
    DeleteObject(BackgroundBrush);
    ShutdownRecording();
    PostQuitMessage(0);
    std::exit(1);
}
