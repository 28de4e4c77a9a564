// The JPEG path's own resampling: library pixels to the output bitmap, in
// sixteenths of a pixel, turned when asked, averaged 2 x 2 from a step of
// two pixels, dithered (viewer only) and packed into RGB565.
#pragma once

#include <cstdint>

#include "imaging/jpeg_sizing.h"
#include "platform/gdi.h"
#include "platform/wintypes.h"

// Dither noise: this many values 0..7, drawn with rand() at the start of
// every decode.
const int kNoiseCount = 140;
void DrawDitherNoise(BYTE noise[kNoiseCount]);

struct JpegConversion {
  const BYTE* buffer;  // OW x OH x 3 bytes, red, green, blue, top row first
  int outWidth;        // OW
  int outHeight;       // OH
  // How the buffer is put upright first (EXIF orientation, 1 as stored);
  // size was chosen for the upright picture.
  int orientation;
  JpegOutputSize size;
  bool thumbnail;
  const BYTE* noise;   // 140 values 0..7
  PixelRows rows;      // the bitmap's, zeroed
};

// A zeroed RGB565 bitmap of c->size for the screen, filled by
// ConvertJpegPicture; sets c->rows. Null when either fails.
HBITMAP CreateConvertedBitmap(JpegConversion* c);

// Draws one rand() per output row, top row first (viewer only). Returns 0
// without drawing when its working memory cannot be had.
int ConvertJpegPicture(const JpegConversion& c);
