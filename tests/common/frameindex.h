#pragma once

#include <cstdint>

class QImage;

// Reads back the frame index that the test clip generator paints into every
// picture (scripts/make-test-clips.sh): a 16 x 9 grid whose first cell row
// holds the index in binary and whose second row holds the inverted bits, or
// for pictures narrower than 16 pixels a single column of 32 cells.
// Returns -1 when the picture carries no readable index (a black frame, a
// picture of something else, a damaged decode).
namespace FrameIndex {

int read(const uint8_t* rgb, int width, int height, int bytesPerLine);
int read(const QImage& image);

} // namespace FrameIndex
