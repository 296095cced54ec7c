# view/: the plot's coordinates and the detailed graph's layout on the plot,
# a library of their own so that the pixel tests reduce for the very plot the
# program shows; the sound-graph envelope and the live meters' arithmetic,
# which build everywhere; the OpenGL drawing is the Windows program's.
set(PLOT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/PlotCoordinates.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DetailedLayout.cpp
)
list(APPEND PORTABLE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/SoundGraph.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LiveMeters.cpp
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
