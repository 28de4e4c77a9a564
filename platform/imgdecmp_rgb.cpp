// DecompressImageRgb: the decoder's pictures upright, reduced by the
// caller's divisor, as plain RGB rows. The decode is the one
// DecompressImageIndirect runs; only the cost and what is made differ.
#include <cstdlib>

#include "platform/exif.h"
#include "platform/pixbuf_decode.h"

namespace {

const int kJpegScales[] = {8, 4, 2, 1};  // the library's reductions, largest first

// The caller's choice, and what the JPEG path already learned of it.
struct RgbCall {
  RgbDivisorFunc divisor;
  void* context;
  int chosen;  // the divisor once asked; 0 before
  // The reduced size of the stored picture, once known: for JPEG it comes
  // from the file's size, not from the library's reduction.
  int outW, outH;
};

int CeilDiv(int n, int d) { return (int)(((int64_t)n + d - 1) / d); }

// Full pixels, the reduced copy when there is one and the RGB rows. The
// turn is made while writing the rows, so it needs no copy of its own.
uint64_t RgbCost(int fullW, int fullH, int outW, int outH) {
  uint64_t cost = PixelBytes(fullW, fullH, 4) + PixelBytes(outW, outH, 3);
  if (outW != fullW || outH != fullH) cost += PixelBytes(outW, outH, 4);
  return cost;
}

// Before the divisor is known only the full pixels can be weighed.
uint64_t FullPixelsCost(const Decode*, int w, int h) { return PixelBytes(w, h, 4); }

// The divisor for a stored w x h picture under its orientation: asked with
// the upright size, once. 0 refuses.
int AskDivisor(Decode* d, int w, int h) {
  RgbCall* call = (RgbCall*)d->owner;
  if (call->chosen) return call->chosen;
  const bool swap = OrientationSwapsSides(d->orientation);
  const int d0 = call->divisor(call->context, swap ? h : w, swap ? w : h);
  call->chosen = d0 < 1 ? 0 : d0;
  return call->chosen;
}

// JPEG: the divisor asked as soon as the header (with its EXIF block) is
// read, then the largest library reduction that does not pass it, so the
// averaging filter makes the last step. 0 when even that is over the budget.
int ChooseRgbJpegScale(void* context, int width, int height) {
  Decode* d = (Decode*)context;
  if (width < 1 || height < 1) return 0;
  const int divisor = AskDivisor(d, width, height);
  if (divisor == 0) return 0;
  const int outW = CeilDiv(width, divisor), outH = CeilDiv(height, divisor);
  RgbCall* call = (RgbCall*)d->owner;
  call->outW = outW;
  call->outH = outH;
  for (int scale : kJpegScales) {
    if (scale > divisor) continue;
    const uint64_t cost = RgbCost(CeilDiv(width, scale), CeilDiv(height, scale), outW, outH);
    return cost <= kMaxDecodeCost ? scale : 0;
  }
  return 0;
}

// Where stored pixel (x, y) of a w x h picture lands once turned upright,
// as the orientation tag's eight values define it.
void Turn(int orientation, int x, int y, int w, int h, int* outX, int* outY) {
  switch (orientation) {
    case 2: *outX = w - 1 - x, *outY = y; break;
    case 3: *outX = w - 1 - x, *outY = h - 1 - y; break;
    case 4: *outX = x, *outY = h - 1 - y; break;
    case 5: *outX = y, *outY = x; break;
    case 6: *outX = h - 1 - y, *outY = x; break;
    case 7: *outX = h - 1 - y, *outY = w - 1 - x; break;
    case 8: *outX = y, *outY = w - 1 - x; break;
    default: *outX = x, *outY = y; break;
  }
}

// The decoded picture reduced, turned and written out. 1 with *out filled.
int MakeRgb(Decode* d, int outW, int outH, RgbPicture* out) {
  const int w = Gdk().gdk_pixbuf_get_width(d->picture), h = Gdk().gdk_pixbuf_get_height(d->picture);
  if (RgbCost(w, h, outW, outH) > kMaxDecodeCost) return 0;
  GdkPixbuf* reduced = nullptr;
  const GdkPixbuf* source = d->picture;
  if (outW != w || outH != h) {
    reduced = Gdk().gdk_pixbuf_scale_simple(d->picture, outW, outH, GDK_INTERP_BILINEAR);
    if (!reduced) return 0;
    source = reduced;
  }
  const int orientation = d->orientation;
  const bool swap = OrientationSwapsSides(orientation);
  const int rowW = swap ? outH : outW;
  BYTE* pixels = PixbufLayoutOk(source) ? (BYTE*)malloc(PixelBytes(outW, outH, 3)) : nullptr;
  if (pixels) {
    WalkOverWhite(source, [&](int x, int y, unsigned r, unsigned g, unsigned b) {
      int tx, ty;
      Turn(orientation, x, y, outW, outH, &tx, &ty);
      BYTE* p = pixels + ((size_t)ty * (size_t)rowW + (size_t)tx) * 3;
      p[0] = (BYTE)r;
      p[1] = (BYTE)g;
      p[2] = (BYTE)b;
    });
  }
  if (reduced) Gdk().g_object_unref(reduced);
  if (!pixels) return 0;
  out->pixels = pixels;
  out->width = rowW;
  out->height = swap ? outW : outH;
  return 1;
}

}  // namespace

int DecompressImageRgb(DecompressImageInfo* info, RgbDivisorFunc divisor, void* context,
                       RgbPicture* out) {
  if (!info || !out || !divisor || !info->pbBuffer || !info->pfnGetData ||
      info->dwBufferMax < 8)
    return 0;
  RgbCall call = {divisor, context, 0, 0, 0};
  Decode d = {};
  d.info = info;
  d.cost = FullPixelsCost;
  d.jpegScale = ChooseRgbJpegScale;
  d.wantOrientation = true;
  d.owner = &call;
  int made = 0;
  if (DecodeToPixbuf(&d)) {
    const int w = Gdk().gdk_pixbuf_get_width(d.picture), h = Gdk().gdk_pixbuf_get_height(d.picture);
    if (AskDivisor(&d, w, h) && !call.outW) {
      call.outW = CeilDiv(w, call.chosen);
      call.outH = CeilDiv(h, call.chosen);
    }
    if (call.chosen) made = MakeRgb(&d, call.outW, call.outH, out);
  }
  ReleaseDecode(&d);
  return made;
}
