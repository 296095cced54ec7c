# edit/: volume change, clipping and cutting of the whole sound. The sample
# arithmetic is platform-free; the dialog and the commands are Windows only.
list(APPEND PORTABLE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/VolumeChange.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VolumeKernels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Clipping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Cutting.cpp
)
list(APPEND WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/VolumeDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EditCommands.cpp
)
