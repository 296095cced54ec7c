// WM_COMMAND dispatch on the command identifier.
#pragma once
#include <windows.h>

void OnCommand(WORD id);
