// Where the detailed graph is drawn: the plot rectangle and the projection
// of the whole sound put together as the layout its reduction works in.
// Platform-free, so the pixel tests reduce for the very plot the program
// shows.
#pragma once
#include <cstdint>

#include "sound/SoundChain.h"
#include "view/detailed/DetailedGraph.h"
#include "view/PlotCoordinates.h"

// The layout for the sound from head drawn in plot with bounds as its
// extents (the projection adds its margin). A collapsed plot counts as one
// pixel wide and high.
DetailedGraphLayout DetailedLayoutFor(const PlotRectangle& plot, const PlotExtents& bounds, const SoundFragment* head,
                                      uint32_t fragmentSize, uint16_t channels, uint16_t bitsPerSample);
