// The image decoder service: PNG, GIF (first frame), BMP and JPEG files
// pulled through a read callback and returned as a 16-bit RGB565 bitmap.
#pragma once

#include "platform/wintypes.h"

typedef DWORD (*GetImageDataFunc)(char* buffer, DWORD bufferMax, LPARAM param);
typedef void (*ImageProgressFunc)(void* render, BOOL complete, LPARAM param);

struct DecompressImageInfo {
  DWORD dwSize;             // size of the record as the caller knows it
  BYTE* pbBuffer;           // caller's read buffer
  DWORD dwBufferMax;        // its size; each read asks at most this much
  DWORD dwBufferCurrent;
  HBITMAP* phBM;            // receives the bitmap; left untouched on failure
  void** ppImageRender;     // unused
  int iBitDepth;            // 16 is the only depth made
  LPARAM lParam;            // handed back to pfnGetData
  HDC hdc;
  int iScale;               // percent; 100
  int iMaxWidth;            // larger pictures are reduced to fit, aspect kept
  int iMaxHeight;
  GetImageDataFunc pfnGetData;
  ImageProgressFunc pfnImageProgress;
  COLORREF crTransparentOverride;
};

#define S_OK 0
#define E_FAIL ((HRESULT)0x80004005)

// Pulls the input through pfnGetData, at most dwBufferMax bytes a call (the
// buffer holds at least 8), until it returns 0. The first bytes tell the
// format; anything but PNG, GIF, BMP and JPEG is refused. JPEG data is
// decoded by the JPEG path (platform/jpeg_stream.h) under its scan limit,
// at the largest library reduction that still covers the fit size and
// keeps within the budget below. A picture larger than iMaxWidth x iMaxHeight is reduced
// to fit, averaged, aspect kept; alpha lies over white. S_OK and *phBM set
// when a bitmap was made; E_FAIL otherwise, with nothing made: damaged
// headers or data, a size of 0, and a decode whose pixels, reduced copy and
// bitmap together would pass 128 MiB (reading stops there). A file cut short
// in its pixel data gives what was read. Calls on several threads may
// overlap.
HRESULT DecompressImageIndirect(DecompressImageInfo* info);

// --photos additions.

// Lets the decoder take WebP, HEIF/HEIC, AVIF and TIFF too, each through its
// own gdk-pixbuf loader and no other, its declared size weighed against the
// budget before the loader sees it. Off by default; set before any decode.
void ImageDecoderAllowPhotoFormats(bool on);

// A decoded picture as 8-bit red, green, blue, top row first, rows of
// width * 3 bytes; pixels is malloc'ed and the receiver frees it.
struct RgbPicture {
  BYTE* pixels;
  int width;
  int height;
};

// Called once the upright picture's size is known: the whole-number divisor
// it is reduced by (1 keeps it), or 0 to refuse it.
typedef int (*RgbDivisorFunc)(void* context, int width, int height);

// The same input as DecompressImageIndirect (pbBuffer, dwBufferMax, lParam,
// pfnGetData; the other fields are not looked at) and the same formats,
// bounds and failures, but the picture comes out upright (the orientation
// its file records applied), reduced by the divisor's choice to
// ceil(W / d) x ceil(H / d) with an averaging filter, as RGB. 1 with *out
// filled, or 0 with nothing made.
int DecompressImageRgb(DecompressImageInfo* info, RgbDivisorFunc divisor, void* context,
                       RgbPicture* out);
