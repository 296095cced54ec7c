// The orderly end of the process, shared by the window's destruction and the
// Exit command so that neither has to know the other.
#pragma once

// Stops a running recording, lets the recovery copy take in what was
// captured, and ends the process with exit status 1. The user's files are
// left alone; an unsaved recording stays in its recovery copy for the next
// start, and a running playback is left to the system.
[[noreturn]] void ShutdownApplication();
