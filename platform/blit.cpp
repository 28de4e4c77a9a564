// Block copies and stretched copies between contexts.
#include "platform/gdi_internal.h"

namespace {

// Copies with the source position of each destination pixel given by
// sourceX(dx) / sourceY(dy), relative to the copy's origin; pixels that
// fall outside the source read as black. Clipped to the destination.
template <class MapX, class MapY>
BOOL Copy(HDC dstDc, int x, int y, int width, int height, HDC srcDc, MapX sourceX, MapY sourceY) {
  HandleRef<DcObject> dst(dstDc, KIND_DC);
  HandleRef<DcObject> src(srcDc, KIND_DC);
  if (!dst || !src || width < 0 || height < 0) return FALSE;
  BitmapObject* target = AcquireTarget(dst.get());
  BitmapObject* source = AcquireTarget(src.get());
  if (!target || !source) {
    HandleRelease(target);
    HandleRelease(source);
    return FALSE;
  }
  // Destination range after clipping, in copy coordinates.
  long long dx0 = x < 0 ? -(long long)x : 0;
  long long dy0 = y < 0 ? -(long long)y : 0;
  long long dx1 = width;
  long long dy1 = height;
  if ((long long)x + dx1 > target->width) dx1 = (long long)target->width - x;
  if ((long long)y + dy1 > target->height) dy1 = (long long)target->height - y;
  for (int dy = (int)dy0; dy < dy1; dy++) {
    uint16_t* out = target->Row((long long)y + dy) + x;
    // A source row outside the source reads as black.
    const uint16_t* in = source->Row(sourceY(dy));
    if (!in) {
      for (int dx = (int)dx0; dx < dx1; dx++) out[dx] = 0;
      continue;
    }
    for (int dx = (int)dx0; dx < dx1; dx++) {
      long long sx = sourceX(dx);
      out[dx] = (sx < 0 || sx >= source->width) ? 0 : in[sx];
    }
  }
  NoteDrawn(target);
  HandleRelease(target);
  HandleRelease(source);
  return TRUE;
}

}  // namespace

BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop) {
  if (rop != SRCCOPY) return FALSE;
  return Copy(
      dst, x, y, width, height, src, [&](int dx) { return (long long)srcX + dx; },
      [&](int dy) { return (long long)srcY + dy; });
}

BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                int srcWidth, int srcHeight, DWORD rop) {
  if (rop != SRCCOPY || width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0)
    return FALSE;
  // Nearest pixel: destination column dx reads source column dx * sw / w.
  return Copy(
      dst, x, y, width, height, src,
      [&](int dx) { return (long long)srcX + (long long)dx * srcWidth / width; },
      [&](int dy) { return (long long)srcY + (long long)dy * srcHeight / height; });
}
