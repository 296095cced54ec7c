// The whole-sound graph: fast from the envelope, detailed from every frame.
#pragma once

void DrawGraphFast(int showClipping);
void DrawGraphDetailed(int showClipping);
