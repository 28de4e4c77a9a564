// Decoding a picture file into a bitmap: the loader that picks the decoder,
// and the JPEG path with its own sizing, rotation, resampling and packing.
#pragma once

#include <atomic>
#include <cstdint>

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

// A decode nobody wants any more: it is abandoned at its next progress
// check once *watched no longer holds expected (read without a lock).
struct DecodeWatch {
  const std::atomic<uint32_t>* watched;
  uint32_t expected;
};

// LoadPicture whose decode stops early when watch says so: a JPEG at its next
// progress check, any other picture at its next read. watch may be null. The
// thumbnail worker's form.
PictureBitmap LoadPictureWatched(HWND window, const WCHAR* path, int thumbnail, int fitMode,
                                 const DecodeWatch* watch);

// The read callback of the image decoder: up to maximum bytes from the file
// whose handle is param; 0 at the end, on an error or for an invalid handle.
DWORD ReadPictureData(char* buffer, DWORD maximum, LPARAM param);

// Largest output the JPEG library is asked for, checked after the header
// and before anything large is allocated. A thumbnail's 4 megapixels take
// pictures up to 16384 x 16384 at the library's 1/8; the viewer's 16 take a
// gigapixel picture at 1/8 and every picture the fit modes decode at a
// larger scale (their output stays below 4096 x 4096).
const uint64_t kMaxThumbnailLibraryPixels = 2048ull * 2048;
const uint64_t kMaxViewerLibraryPixels = 4096ull * 4096;

// The JPEG path: a 16-bit RGB565 bottom-up bitmap, or null. watch may be null.
PictureBitmap DecodeJpegPicture(const WCHAR* path, int thumbnail, int fitMode,
                                const DecodeWatch* watch = nullptr);
