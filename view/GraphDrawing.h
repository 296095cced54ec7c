// The whole-sound graph: fast from the envelope, detailed from every frame.
#pragma once

void DrawGraphFast(int showClipping);
void DrawGraphDetailed(int showClipping);
// Vertices the graph drawings have handed to OpenGL so far; the frame times
// of a measurement build tell each frame's share, which shows which way the
// detailed graph was drawn.
unsigned long long GraphVerticesDrawn();
