// The View menu's switches and the Ctrl + " C " graph-mode toggle.
#pragma once
#include <windows.h>

// True when the command was one of the View items (40302..40308).
bool HandleViewCommand(WORD id);
// " C ": clears the log, or with Ctrl held switches the graph mode.
void ClearLogCommand();
