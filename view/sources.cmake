# view/: plot coordinates, the sound-graph envelope and the live meters'
# arithmetic build everywhere; the OpenGL drawing is the Windows program's.
list(APPEND PORTABLE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/PlotCoordinates.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SoundGraph.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LiveMeters.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DetailedGraph.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DetailedLayout.cpp
)
list(APPEND WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/GraphDrawing.cpp
)
# The OpenGL surface, frame composition, live drawing, seeking, the busy
# popup and the road after a change of the sound (Windows program only).
list(APPEND WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/PlotSurface.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameRenderer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LiveDrawing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Seeking.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BusyPopup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SoundChanged.cpp
)
