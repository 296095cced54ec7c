# Audio input and output: recording settings, recording engine, playback engine.
list(APPEND PORTABLE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/FormatTables.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CaptureAppend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordingFlags.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BackgroundFlush.cpp
)
list(APPEND WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/RecordingSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Recorder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecoveryWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CaptureTiming.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InjectedFault.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Player.cpp
)
