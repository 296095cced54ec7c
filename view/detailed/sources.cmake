# view/detailed/: the detailed graph's engine, which cuts each trace down to
# the vertices its pixels depend on (the rasterizer model it relies on is in
# RasterModel.h). Platform-free and built on sound/ alone; tests/pixel
# proves it pixel by pixel.
set(DETAILED_GRAPH_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/DetailedGraph.cpp
)
