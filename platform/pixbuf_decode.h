// What the image decoder's two entry points share: the input pulled through
// the caller's callback, the format told from its first bytes, the picture
// decoded by exactly that format's decoder into a pixbuf under the cost
// bound, and the one walk over its pixels with alpha laid over white.
#pragma once

#include <cstdint>

#include "platform/gif_check.h"
#include "platform/imgdecmp.h"
#include "platform/jpeg_stream.h"
#include "platform/photo_formats.h"
#include "platform/picture_extent.h"
#include "platform/pixbuf_library.h"

// The whole cost of one call (full-size pixels at 4 bytes, the reduced copy
// at 4 and what is handed back) above this is refused before the loader
// allocates. It takes a 5120 x 4096 picture for the viewer and a 33 MP one
// for a thumbnail; a 43-byte GIF claiming 8192 x 8192 would cost 256 MiB.
const uint64_t kMaxDecodeCost = 128ull * 1024 * 1024;

// A BMP's file header and its info header up to the colour count.
const DWORD kBmpHeadBytes = 50;

struct Decode;
// Bytes one call spends on a full-size width x height picture and what it
// makes of it, as far as known before the decode.
typedef uint64_t (*DecodeCostFunc)(const Decode* d, int width, int height);

// Everything one call owns; the loader's size-prepared handler writes into it.
struct Decode {
  // Set by the entry point.
  DecompressImageInfo* info;
  DecodeCostFunc cost;
  JpegStreamScale jpegScale;  // its context is this record
  bool wantOrientation;       // JPEG: read the EXIF orientation
  void* owner;                // the entry point's own state
  // The outcome: the picture as decoded (full size, or a JPEG library
  // reduction) and the orientation (1..8) that turns it upright.
  GdkPixbuf* picture;
  int orientation;
  PhotoFormat photo;          // kPhotoNone for PNG, GIF, BMP and JPEG
  // Working state.
  GdkPixbufLoader* loader;
  bool gif;                   // the loader is the GIF one
  bool refused;               // the size check said no
  bool readFailed;            // the callback broke its contract
  GifCheck gifCheck;          // GIF only: the first picture's codes and colours
  const BYTE* lead;           // the already pulled leading bytes, fed first
  DWORD leadCount;
  BYTE head[kBmpHeadBytes];   // a BMP's first bytes gathered aside
  BYTE* gathered;             // a photo format's first bytes, malloc'ed
  uint64_t fed;               // bytes handed to the loader
  PictureExtent extent;       // PNG, GIF, BMP: where the picture's data ends
};

// The picture into d->picture and d->orientation. False with nothing made.
bool DecodeToPixbuf(Decode* d);
// Releases whatever the record still holds; safe on a partly filled one.
void ReleaseDecode(Decode* d);

// Bytes of a width x height picture at bytesPerPixel.
inline uint64_t PixelBytes(int width, int height, unsigned bytesPerPixel) {
  return (uint64_t)width * (uint64_t)height * bytesPerPixel;
}

// Whether the pixbuf is 8-bit RGB or RGBA with sane sides and stride.
bool PixbufLayoutOk(const GdkPixbuf* pixbuf);

// A channel with coverage a (0..255) laid over white.
inline unsigned OverWhite(unsigned c, unsigned a) {
  return (c * a + 255 * (255 - a) + 127) / 255;
}

// Calls put(x, y, r, g, b) for every pixel, y = 0 the top row, alpha laid
// over white. The pixbuf's layout must have passed PixbufLayoutOk.
template <typename Put>
void WalkOverWhite(const GdkPixbuf* pixbuf, Put put) {
  const int width = Gdk().gdk_pixbuf_get_width(pixbuf);
  const int height = Gdk().gdk_pixbuf_get_height(pixbuf);
  const int channels = Gdk().gdk_pixbuf_get_n_channels(pixbuf);
  const bool alpha = Gdk().gdk_pixbuf_get_has_alpha(pixbuf);
  const size_t stride = (size_t)Gdk().gdk_pixbuf_get_rowstride(pixbuf);
  const guint8* src = Gdk().gdk_pixbuf_read_pixels(pixbuf);
  for (int y = 0; y < height; y++) {
    const guint8* p = src + (size_t)y * stride;
    for (int x = 0; x < width; x++, p += channels) {
      if (alpha)
        put(x, y, OverWhite(p[0], p[3]), OverWhite(p[1], p[3]), OverWhite(p[2], p[3]));
      else
        put(x, y, (unsigned)p[0], (unsigned)p[1], (unsigned)p[2]);
    }
  }
}
