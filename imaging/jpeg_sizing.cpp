// The two sizing passes of the JPEG path.
#include "imaging/jpeg_sizing.h"

#include "imaging/picture.h"

namespace {

const int kLargeSide = 1024;

bool ScreenFit(const JpegRequest& req) {
  return !req.thumbnail && req.fitMode != FIT_LARGE;
}

// Whether w x h is above the bound of the request.
bool Exceeds(const JpegRequest& req, int w, int h) {
  if (req.thumbnail) return w > kThumbnailSide || h > kThumbnailSide;
  if (req.fitMode == FIT_LARGE) return w > kLargeSide || h > kLargeSide;
  return w > req.screenWidth || h > req.screenHeight;
}

// Sixteenths added per step of our own reduction: whole-number divisors
// for FIT_SCREEN_WHOLE, a sixteenth for everything else.
int Step(const JpegRequest& req) {
  return (!req.thumbnail && req.fitMode == FIT_SCREEN_WHOLE) ? 16 : 1;
}

}  // namespace

bool TurnsForScreen(const JpegRequest& req, int width, int height) {
  if (req.thumbnail || (width <= req.screenWidth && height <= req.screenHeight)) return false;
  // A landscape screen turns tall pictures; a portrait or square one, as
  // the handheld's always did, wide ones.
  if (req.screenWidth > req.screenHeight) return height > width;
  return width > height;
}

int ChooseLibraryScale(const JpegRequest& req, int width, int height, int* divisor) {
  int n = 1;
  bool swapped = ScreenFit(req) && TurnsForScreen(req, width, height);
  int cw = swapped ? height : width;
  int ch = swapped ? width : height;
  while (Exceeds(req, cw, ch)) {
    n += 1;
    cw = (swapped ? height : width) / n;
    ch = (swapped ? width : height) / n;
  }
  if (divisor) *divisor = n;
  if (req.thumbnail) {
    // The largest library reduction not above n.
    if (n >= 8) return 8;
    if (n >= 4) return 4;
    if (n >= 2) return 2;
    return 1;
  }
  // A viewer picture takes the largest one not above n / 2.
  if (n >= 16) return 8;
  if (n >= 8) return 4;
  if (n >= 4) return 2;
  return 1;
}

JpegOutputSize ChooseOutputSize(const JpegRequest& req, int outWidth, int outHeight) {
  JpegOutputSize out = {outWidth, outHeight, 16, false};
  // Large pictures of the other shape than the screen turn, in every fit mode.
  if (TurnsForScreen(req, outWidth, outHeight)) {
    out.rotated = true;
    out.width = outHeight;
    out.height = outWidth;
  }
  int step = Step(req);
  while (Exceeds(req, out.width, out.height)) {
    out.step += step;
    int w = (int)((long)outWidth * 16 / out.step);
    int h = (int)((long)outHeight * 16 / out.step);
    out.width = out.rotated ? h : w;
    out.height = out.rotated ? w : h;
  }
  return out;
}
