// JPEG data for the image decoder service. The platform never includes the
// JPEG library: the program's JPEG path decodes such data, under its scan
// limit and memory cap, through a hook the layer above installs while the
// program starts (imaging/jpeg_stream.cpp).
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

// Up to max bytes into buffer; 0 at the end (and on any error).
typedef DWORD (*JpegStreamPull)(void* context, BYTE* buffer, DWORD max);
// The library scale denominator (1, 2, 4 or 8) for a width x height
// picture, or 0 to refuse it.
typedef int (*JpegStreamScale)(void* context, int width, int height);
// Room for the decoded width x height picture: where its top row goes, 8-bit
// red, green, blue, each row *stride bytes after the one above; null to
// refuse it.
typedef BYTE* (*JpegStreamRows)(void* context, int width, int height, size_t* stride);

struct JpegStream {
  BYTE* buffer;     // read buffer; its first `have` bytes are the input's start
  DWORD bufferMax;
  DWORD have;
  bool ended;       // the input ended within those bytes
  JpegStreamPull pull;
  JpegStreamScale scale;
  JpegStreamRows rows;
  void* context;    // handed back to pull, scale and rows
  long memoryLimit; // the library's working memory
  int* orientation; // when set: the EXIF orientation (1 when none), known
                    // before scale is called
};

// 1 when the picture is in the rows: not a JPEG the library decodes,
// refused by scale or rows, past the scan limit or the memory cap give 0.
// Data cut short gives the rest of the picture as the library leaves it.
typedef int (*JpegStreamDecoder)(const JpegStream& stream);

// Installs the decoder; until then JPEG data is refused. Set before any
// decode.
void ImageDecoderUseJpeg(JpegStreamDecoder decoder);
