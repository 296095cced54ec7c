// Click-to-seek during playback: a click in the band at the bottom of the
// plot (where the progress bar runs) moves the playback to that fraction of
// the sound; the pointer turns into a hand over the band.
#include "view/Seeking.h"

#include <windows.h>

#include "app/AppState.h"
#include "sound/SoundChain.h"
#include "view/PlotCoordinates.h"

namespace {
// PlayedBytes stays 0 until the device has handed back the first buffer of a
// playback, so seeking starts with the first played fragment.
bool SeekPossibleAt(int x, int y) { return Sound.PlayedBytes != 0 && InSeekBand(x, y); }
}  // namespace

void OnPlotMouseMove(int x, int y) { SetCursor(SeekPossibleAt(x, y) ? HandCursor : ArrowCursor); }

void OnPlotClick(int x, int y) {
    if (!SeekPossibleAt(x, y)) return;
    const double fraction = PlotFractionAt(x);
    double offset = 0;
    SoundFragment* fragment = FindFragmentAt(Sound.Head, Sound.FragmentSize, Sound.TotalBytes, fraction, &offset);
    // No fragment there (a chain shorter than its total): keep playing on.
    if (!fragment) return;
    Sound.Current = fragment;
    Sound.PlayedBytes = offset;
    Sound.PlayedMs = BytesToMs(offset);
    // The two buffers already queued play out first; the player continues
    // after Current when the next one comes back.
    RequestRepaint();
}
