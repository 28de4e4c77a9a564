// What the viewer takes from a picture's EXIF block: how to turn it upright
// and its embedded preview. libexif reads the block within its own bounds;
// a damaged block reads as "nothing known".
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

// The largest block looked at: an APP1 segment's payload cannot be longer.
const size_t kMaxExifBlock = 65533;

struct ExifFacts {
  int orientation;     // 1..8 as the tag defines them; 1 when absent or out of range
  BYTE* preview;       // malloc'ed copy of the embedded JPEG preview, or null
  size_t previewSize;
};

// block: the APP1 payload after its marker and length, starting "Exif\0\0".
// Always fills *facts; release it with FreeExifFacts.
void ReadExifFacts(const BYTE* block, size_t size, ExifFacts* facts);
void FreeExifFacts(ExifFacts* facts);

// Whether the orientation swaps width and height (5 to 8).
inline bool OrientationSwapsSides(int orientation) {
  return orientation >= 5 && orientation <= 8;
}
