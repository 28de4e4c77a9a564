// Where a PNG, GIF or BMP picture's data ends, told from its bytes as the
// decoder feeds them: reading stops there rather than at the end of the
// file (a 20 GB file of zeros behind a small picture), and never goes past
// what the picture's declared size can need.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// Ancillary data a real file may carry beside its pixels (ICC profiles,
// EXIF, XMP, comments, GIF application blocks): a few hundred kilobytes in
// camera and editor files.
const uint64_t kExtentSideBytes = 16ull * 1024 * 1024;
// Compressed bytes a pixel may need at most. PNG: 16-bit RGBA is 8 bytes a
// pixel before deflate, whose stored blocks add 5 bytes in 65535, and each
// row's filter byte (Adam7 passes included) is at most one more. GIF: LZW
// codes are at most 12 bits a pixel, and a length byte comes every 255.
const uint64_t kPngBytesPerPixel = 9;
const uint64_t kGifBytesPerPixel = 2;
// BMP run-length data: a run of one pixel is 2 bytes, and each row may end
// with a 2-byte end-of-line code (the end-of-bitmap code adds 2).
const uint64_t kBmpRleBytesPerPixel = 2;
const uint64_t kBmpRleBytesPerRow = 2;

enum ExtentFormat { kExtentNone, kExtentPng, kExtentGif, kExtentBmp };

struct PictureExtent {
  ExtentFormat format;
  uint64_t seen;    // bytes looked at
  uint64_t limit;   // bytes the picture can need
  bool complete;    // its last byte was seen
  int state;
  BYTE field[40];   // a header or chunk head being gathered
  int have;
  uint64_t skip;    // bytes to pass over
  int resume;       // the state after them
};

// type: the loader's type ("png", "gif", "bmp"); any other takes everything.
void PictureExtentStart(PictureExtent* e, const char* type);
// How many of the count bytes (from the start) still belong to the picture;
// once it returns less than count, or complete is set, nothing more is needed.
DWORD PictureExtentTake(PictureExtent* e, const BYTE* bytes, DWORD count);
