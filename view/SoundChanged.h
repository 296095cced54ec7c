// The one road the interface takes after the whole sound has changed: a
// load, the end of a recording, the volume change, clipping and the cut all
// end here, so the plot, the envelope and the held graph frame always follow
// the sound.
#pragma once
#include <cstdint>

enum class SoundChange {
    Replaced,   // a new sound: a load or the end of a recording; the graph is shown from now on
    Shortened,  // fewer fragments (the cut): new extent, same format
    Rewritten,  // the same fragments with new sample values (volume change, clipping)
};

// Counts the changes of the whole sound. The renderer keeps the last frame
// of the whole-sound graph and presents it again while nothing it shows has
// changed; this count is part of what it compares, so a frame of an earlier
// sound (or of the same fragments before an edit) is never presented again.
extern uint32_t SoundGeneration;

// In this order: the whole-sound plot coordinates (not for a rewrite: the
// extent stays, and setting them again would log them again), the envelope
// (with its waiting popup for a long sound), the graph marked ready for a
// new sound, and a repaint. Window thread only, while no recording or
// playback runs.
void ShowChangedSound(SoundChange change);
