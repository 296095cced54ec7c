// Recording engine: the Record and Stop commands, the recording thread and
// the capture callback.
#pragma once

void RecordCommand();       // 50001
void StopRecordCommand();   // 50002
// Stops and joins a running recording (and releases a thread that ended by
// itself). Part of the shutdown sequence.
void ShutdownRecording();
