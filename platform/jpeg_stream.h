// JPEG data for the image decoder service: decoded by our libjpeg binding,
// under the JPEG path's scan limit and memory cap, instead of by a loader
// that could not be bounded.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "platform/wintypes.h"

// Up to max bytes into buffer; 0 at the end (and on any error).
typedef DWORD (*JpegStreamPull)(void* context, BYTE* buffer, DWORD max);
// The library scale denominator (1, 2, 4 or 8) for a width x height
// picture, or 0 to refuse it.
typedef int (*JpegStreamScale)(void* context, int width, int height);

struct JpegStream {
  BYTE* buffer;     // read buffer; its first `have` bytes are the input's start
  DWORD bufferMax;
  DWORD have;
  bool ended;       // the input ended within those bytes
  JpegStreamPull pull;
  JpegStreamScale scale;
  void* context;    // handed back to pull and scale
  long memoryLimit; // the library's working memory
  int* orientation; // when set: the EXIF orientation (1 when none), known
                    // before scale is called
};

// A new 8-bit RGB pixbuf at the chosen scale, or null: not a JPEG the
// library decodes, refused by scale, past the scan limit or the memory cap.
// Data cut short gives the rest of the picture as the library leaves it.
GdkPixbuf* DecodeJpegStream(const JpegStream& stream);
