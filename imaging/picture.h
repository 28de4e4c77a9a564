// Decoding a picture file into a bitmap: the loader that picks the decoder,
// and the JPEG path with its own sizing, rotation, resampling and packing.
#pragma once

#include "platform/wintypes.h"

// A platform bitmap holding one decoded picture, or null. The receiver owns
// it and releases it with DeleteObject; GetObject tells its size.
typedef HBITMAP PictureBitmap;

// How large a viewer JPEG picture may be.
enum FitMode {
  FIT_LARGE = 0,         // neither side above 1024
  FIT_SCREEN_WHOLE = 1,  // within the screen, whole-number divisors
  FIT_SCREEN_FINE = 2,   // within the screen, steps of a sixteenth
};

// window: the viewer's window, or null (the thumbnail worker). path: full
// device path. thumbnail: a grid preview within 54 x 54. Any thread; only
// viewer loads (window thread) touch the brightness record.
PictureBitmap LoadPicture(HWND window, const WCHAR* path, int thumbnail, int fitMode);

// The read callback of the image decoder: up to maximum bytes from the file
// whose handle is param; 0 at the end, on an error or for an invalid handle.
DWORD ReadPictureData(char* buffer, DWORD maximum, LPARAM param);

// The JPEG path: a 16-bit RGB565 bottom-up bitmap, or null.
PictureBitmap DecodeJpegPicture(const WCHAR* path, int thumbnail, int fitMode);
