// Recording engine: the Record and Stop commands, the recording thread and
// the capture callback.
#pragma once

void RecordCommand();       // 50001
void StopRecordCommand();   // 50002
// Stops and joins a running recording (and releases a thread that ended by
// itself). Part of the shutdown sequence.
void ShutdownRecording();

// Frees both capture buffers; the next recording allocates them again at the
// fragment size then in force. Only while no recording thread runs.
void FreeCaptureBuffers();
