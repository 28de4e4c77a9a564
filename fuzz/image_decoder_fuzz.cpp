// The platform image decoder pulled through its read callback. The last
// three bytes pick the largest picture, the read size, whether the --photos
// formats are allowed (bit 1 of the last) and whether the RGB entry point
// runs instead (bit 2, the divisor from the first of the three); they stay
// part of the file: decoders ignore what follows the picture, so seeds stay
// valid.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/gdi.h"
#include "platform/imgdecmp.h"

namespace {

struct Source {
  const uint8_t* data;
  size_t size;
  size_t offset;
  DWORD piece;  // at most this much a call, like a slow file
};

struct Divisor {
  int answer;
  int width, height;  // the upright size it was asked with
};

int ChooseDivisor(void* context, int width, int height) {
  Divisor* d = (Divisor*)context;
  d->width = width;
  d->height = height;
  return d->answer;
}

DWORD ReadSource(char* buffer, DWORD maximum, LPARAM param) {
  Source* s = (Source*)param;
  size_t n = std::min({(size_t)maximum, (size_t)s->piece, s->size - s->offset});
  memcpy(buffer, s->data + s->offset, n);
  s->offset += n;
  return (DWORD)n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t w = size >= 3 ? data[size - 3] : 54;
  uint8_t h = size >= 2 ? data[size - 2] : 54;
  uint8_t r = size >= 1 ? data[size - 1] : 0;
  Source source = {data, size, 0, (DWORD)(1 + r * 64)};
  // The decoder's buffer holds at least 8 bytes; 4096 is the loader's own.
  std::vector<BYTE> buffer(r & 1 ? 8 : 4096);
  HBITMAP bitmap = nullptr;
  DecompressImageInfo info = {};
  info.dwSize = sizeof info;
  info.pbBuffer = buffer.data();
  info.dwBufferMax = (DWORD)buffer.size();
  info.phBM = &bitmap;
  info.iBitDepth = 16;
  info.lParam = (LPARAM)&source;
  info.iScale = 100;
  // 1..1024: thumbnails, the screens and the largest viewer picture.
  info.iMaxWidth = 1 + w * 4;
  info.iMaxHeight = 1 + h * 4;
  info.pfnGetData = ReadSource;
  info.crTransparentOverride = 0xFFFFFFFF;
  ImageDecoderAllowPhotoFormats((r & 2) != 0);
  if (r & 4) {
    // 0 refuses; large ones leave a pixel.
    Divisor divisor = {w % 20, 0, 0};
    RgbPicture picture = {};
    const int made = DecompressImageRgb(&info, ChooseDivisor, &divisor, &picture);
    if (made != (picture.pixels != nullptr)) __builtin_trap();
    if (made && (divisor.answer < 1 ||
                 picture.width != (divisor.width + divisor.answer - 1) / divisor.answer ||
                 picture.height != (divisor.height + divisor.answer - 1) / divisor.answer))
      __builtin_trap();
    free(picture.pixels);
    return 0;
  }
  HRESULT result = DecompressImageIndirect(&info);
  if (result == S_OK && !bitmap) __builtin_trap();
  if (result != S_OK && bitmap) __builtin_trap();
  if (bitmap) {
    BITMAP bm = {};
    if (!GetObject(bitmap, sizeof bm, &bm)) __builtin_trap();
    if (bm.bmWidth < 1 || bm.bmHeight < 1 || bm.bmWidth > info.iMaxWidth ||
        bm.bmHeight > info.iMaxHeight)
      __builtin_trap();
    DeleteObject(bitmap);
  }
  return 0;
}
