#pragma once

#include <QString>

// The viewer's share of showing a frame, and playback through the player window.
namespace ViewerBench {

// Per frame at fit and at 1:1 for 1080p and 4K frames: the previous way
// (scaled to fit on the GUI thread at every paint) beside the viewer's
// (scaled once per frame on its render thread; a paint only copies).
void printPaintCosts();

// 1080p60 and 4K30 clips played for 10 s through the player window, fitted
// and at Actual Pixels: frames expected, frames the controller handed to the
// viewer (fewer when decoding falls behind), pictures painted, and the longest
// time between two paints. After each, the same through the window with
// frames handed over from memory at the clip's rate (no decoding): what the
// viewer paints by itself. Clips are generated into `clipDir` when missing.
bool printPlayback(const QString& clipDir);

} // namespace ViewerBench
