// The one way a picture file becomes a bitmap: JPEG files by name to our
// own decoder, everything else to the platform's image decoder.
#include <cstdlib>
#include <cwchar>

#include "imaging/brightness.h"
#include "imaging/jpeg_convert.h"
#include "imaging/jpeg_sizing.h"
#include "imaging/photos.h"
#include "imaging/picture.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/imgdecmp.h"

namespace {

const DWORD kReadBufferSize = 16384;
const int kViewerMax = 5120;
// The record's size on the handheld, which the decoder takes as given.
const DWORD kDecompressInfoSize = 60;

// Case-sensitive on purpose: a.jpg and a.JPEG take the JPEG path while
// a.Jpg goes to the platform decoder. Only the file's own name counts, so
// a PNG inside a folder named Trip.jpg.d is still a PNG.
bool PassesJpegNameTest(const WCHAR* path) {
  const WCHAR* slash = wcsrchr(path, L'\\');
  const WCHAR* name = slash ? slash + 1 : path;
  return wcsstr(name, L".jp") != nullptr || wcsstr(name, L".JP") != nullptr;
}

// What the watched read callback needs: the file and, for the worker, the
// list it decodes for.
struct WatchedFile {
  HANDLE file;
  const DecodeWatch* watch;
};

// Reads on only while the decode is still wanted; an abandoned one sees the
// end of its file, so the platform decoder stops at its next read. A read
// that failed (or had no answer in time) reports more than was asked, which
// the decoder takes as an error: a file that stalls gives no picture rather
// than the part read before it.
DWORD ReadWatchedData(char* buffer, DWORD maximum, LPARAM param) {
  const WatchedFile* source = (const WatchedFile*)param;
  const DecodeWatch* watch = source->watch;
  if (watch && watch->watched->load(std::memory_order_relaxed) != watch->expected) return 0;
  DWORD got = 0;
  if (!ReadFile(source->file, buffer, maximum, &got, nullptr)) return maximum + 1;
  return got;
}

// Photos: the divisor the decoder reduces a non-JPEG picture by, chosen as
// the JPEG path chooses its library scale but by any whole number: all of
// the reduction for a thumbnail, half of it for the viewer, so that our own
// step still averages the last two pixels.
int ChooseFittedDivisor(void* context, int width, int height) {
  const JpegRequest* req = (const JpegRequest*)context;
  int n = 1;
  ChooseLibraryScale(*req, width, height, &n);
  const int divisor = req->thumbnail ? n : n / 2;
  return divisor < 1 ? 1 : divisor;
}

// Photos: a non-JPEG picture upright and fitted like a JPEG one: the same
// fit modes, turn, resampling and packing.
HBITMAP DecodeFitted(DecompressImageInfo* info, int thumbnail, int fitMode) {
  JpegRequest req = {thumbnail != 0, fitMode, GetSystemMetrics(SM_CXSCREEN),
                     GetSystemMetrics(SM_CYSCREEN)};
  BYTE noise[kNoiseCount];
  DrawDitherNoise(noise);
  RgbPicture rgb = {};
  if (!DecompressImageRgb(info, ChooseFittedDivisor, &req, &rgb)) return nullptr;
  JpegConversion conversion = {rgb.pixels, rgb.width, rgb.height, 1,
                               ChooseOutputSize(req, rgb.width, rgb.height),
                               thumbnail != 0, noise, {}};
  HBITMAP bitmap = nullptr;
  if (conversion.size.width > 0 && conversion.size.height > 0)
    bitmap = CreateConvertedBitmap(&conversion);
  free(rgb.pixels);
  return bitmap;
}

}  // namespace

bool photosMode = false;

void SetPhotosMode(bool on) {
  photosMode = on;
  ImageDecoderAllowPhotoFormats(on);
}

DWORD ReadPictureData(char* buffer, DWORD maximum, LPARAM param) {
  HANDLE file = (HANDLE)param;
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD got = 0;
  if (!ReadFile(file, buffer, maximum, &got, nullptr)) return 0;
  return got;
}

PictureBitmap LoadPicture(HWND window, const WCHAR* path, int thumbnail, int fitMode) {
  return LoadPictureWatched(window, path, thumbnail, fitMode, nullptr);
}

PictureBitmap LoadPictureWatched(HWND window, const WCHAR* path, int thumbnail, int fitMode,
                                 const DecodeWatch* watch) {
  if (!path) return nullptr;
  // A viewer load stops brightness changes until a JPEG decode succeeds.
  if (!thumbnail) brightnessSource.adjustable = false;
  // JPEG by name.
  if (PassesJpegNameTest(path)) return DecodeJpegPicture(path, thumbnail, fitMode, watch);
  // Everything else through the platform decoder.
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  // A context of the window, or of the screen without one.
  HDC hdc = GetDC(window);
  BYTE buffer[kReadBufferSize] = {};
  HBITMAP bitmap = nullptr;
  // The parameter record; success is only a bitmap handed back.
  DecompressImageInfo info = {};
  info.dwSize = kDecompressInfoSize;
  info.pbBuffer = buffer;
  info.dwBufferMax = kReadBufferSize;
  info.dwBufferCurrent = 0;
  info.phBM = &bitmap;
  info.ppImageRender = nullptr;
  info.iBitDepth = GetDeviceCaps(hdc, BITSPIXEL);
  WatchedFile source = {file, watch};
  info.lParam = (LPARAM)&source;
  info.hdc = hdc;
  info.iScale = 100;
  info.iMaxWidth = thumbnail ? kThumbnailSide : kViewerMax;
  info.iMaxHeight = thumbnail ? kThumbnailSide : kViewerMax;
  info.pfnGetData = ReadWatchedData;
  info.pfnImageProgress = nullptr;
  info.crTransparentOverride = 0xFFFFFFFF;
  if (photosMode)
    bitmap = DecodeFitted(&info, thumbnail, fitMode);
  else
    DecompressImageIndirect(&info);
  // Close, release, hand back whatever the decoder stored: nothing for an
  // abandoned decode, whose picture may have been cut short.
  CloseHandle(file);
  ReleaseDC(window, hdc);
  if (bitmap && watch && watch->watched->load(std::memory_order_relaxed) != watch->expected) {
    DeleteObject(bitmap);
    bitmap = nullptr;
  }
  return bitmap;
}
