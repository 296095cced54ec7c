#include "view/SoundChanged.h"

#include "app/AppState.h"
#include "audio/RecordingFlags.h"
#include "sound/SoundChain.h"
#include "view/PlotSurface.h"
#include "view/SoundGraph.h"

uint32_t SoundGeneration = 0;

void ShowChangedSound(SoundChange change) {
    ++SoundGeneration;
    if (change != SoundChange::Rewritten) SetupPlotCoordinates(Sound.Head);
    PrepareSoundGraph(Sound.Head, Sound.FragmentSize, Sound.TotalBytes);
    if (change == SoundChange::Replaced) GraphReady = 1;
    RequestRepaint();
}
