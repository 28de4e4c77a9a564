// Conversion of the intermediate buffer into the bitmap.
//
// Output pixel (x, y), y = 0 the top row, lands in the bitmap's Row(y)[x].
// Upright it samples source row y * s / 16 and column x * s / 16; turned, row
// x * s / 16 and column (FH - 1 - y) * s / 16. Source means the buffer put
// upright by its orientation: each source axis is one buffer axis, maybe
// mirrored, so every sample is still a row part plus a column part. When
// output columns run along buffer rows (a turned picture), the walk goes
// column by column, each along its buffer row in the order the bytes lie,
// every output row keeping its own noise index: the result is the same as
// row by row, only the memory traffic differs.
#include "imaging/jpeg_convert.h"

#include <cstdlib>

#include "platform/gdi.h"
#include "platform/rgb565.h"

namespace {

const int kNoiseRowStart = 120;  // k starts at rand() % 120 on each row

// Per orientation (1..8): the buffer axis that the upright picture's x and
// y run along (0 columns, 1 rows), and whether they run backwards.
struct AxisMap {
  int axis;
  bool mirrored;
};
static const AxisMap kUprightX[9] = {{0, false}, {0, false}, {0, true},  {0, true}, {0, false},
                                     {1, false}, {1, true},  {1, true},  {1, false}};
static const AxisMap kUprightY[9] = {{1, false}, {1, false}, {1, false}, {1, true}, {1, true},
                                     {0, false}, {0, false}, {0, true},  {0, true}};

// Byte offset in the buffer of upright coordinate u along map. A mirrored
// sample keeps its 2 x 2 mean's far samples inside: it starts half earlier.
size_t BufferOffset(const AxisMap& map, size_t u, int outWidth, int outHeight, int half) {
  const size_t n = (size_t)(map.axis == 0 ? outWidth : outHeight);
  const size_t b = map.mirrored ? n - 1 - (size_t)half - u : u;
  return map.axis == 0 ? b * 3 : b * (size_t)outWidth * 3;
}

struct Plan {
  const BYTE* buffer;
  const size_t* rowOffset;  // per output row: byte offset of the fixed part
  const size_t* colOffset;  // per output column: byte offset of the moving part
  int h3;                   // bytes to the right-hand samples of a 2 x 2 mean
  size_t hRow;              // bytes to the lower samples
  int kMod;
  const BYTE* noise;
};

template <bool kViewer, bool kAverage>
inline uint16_t Pixel(const Plan& p, const BYTE* a, int* k) {
  unsigned r, g, b;
  if (kAverage) {
    const BYTE* c = a + p.hRow;
    r = (a[0] + a[p.h3] + c[0] + c[p.h3]) >> 2;
    g = (a[1] + a[p.h3 + 1] + c[1] + c[p.h3 + 1]) >> 2;
    b = (a[2] + a[p.h3 + 2] + c[2] + c[p.h3 + 2]) >> 2;
  } else {
    r = a[0];
    g = a[1];
    b = a[2];
  }
  if (kViewer) {
    r += p.noise[*k];
    g += p.noise[*k + 1];
    b += p.noise[*k + 2];
    *k += 3;  // (k + 3) mod kMod, k being below kMod already
    if (*k >= p.kMod) *k -= p.kMod;
    if (r > 255) r = 255;
    if (g > 255) g = 255;
    if (b > 255) b = 255;
  }
  return PackRgb565(r, g, b);
}

// Output rows along buffer rows: row by row.
template <bool kViewer, bool kAverage>
void ConvertAlong(const Plan& p, int fw, int fh, int* k, uint16_t* const* out) {
  for (int y = 0; y < fh; y++) {
    const BYTE* row = p.buffer + p.rowOffset[y];
    uint16_t* line = out[y];
    int ky = k[y];
    for (int x = 0; x < fw; x++) line[x] = Pixel<kViewer, kAverage>(p, row + p.colOffset[x], &ky);
  }
}

// Output columns along buffer rows: column by column, each read along its
// buffer row from the lower address up (first..last output row, by step).
// Two columns at a pass: each output row's offset, line and noise index
// are looked up once for both pixels.
template <bool kViewer, bool kAverage>
void ConvertAcross(const Plan& p, int fw, int first, int last, int step, int* k,
                   uint16_t* const* out) {
  int x = 0;
  for (; x + 1 < fw; x += 2) {
    const BYTE* row0 = p.buffer + p.colOffset[x];
    const BYTE* row1 = p.buffer + p.colOffset[x + 1];
    for (int y = first;; y += step) {
      const size_t at = p.rowOffset[y];
      uint16_t* line = out[y];
      int ky = k[y];
      line[x] = Pixel<kViewer, kAverage>(p, row0 + at, &ky);
      line[x + 1] = Pixel<kViewer, kAverage>(p, row1 + at, &ky);
      k[y] = ky;
      if (y == last) break;
    }
  }
  for (; x < fw; x++) {
    const BYTE* row = p.buffer + p.colOffset[x];
    for (int y = first;; y += step) {
      out[y][x] = Pixel<kViewer, kAverage>(p, row + p.rowOffset[y], &k[y]);
      if (y == last) break;
    }
  }
}

template <bool kViewer, bool kAverage>
void Convert(const Plan& p, bool across, int fw, int fh, int* k, uint16_t* const* out) {
  if (!across) return ConvertAlong<kViewer, kAverage>(p, fw, fh, k, out);
  const bool rising = fh < 2 || p.rowOffset[fh - 1] >= p.rowOffset[0];
  if (rising)
    ConvertAcross<kViewer, kAverage>(p, fw, 0, fh - 1, 1, k, out);
  else
    ConvertAcross<kViewer, kAverage>(p, fw, fh - 1, 0, -1, k, out);
}

}  // namespace

int ConvertJpegPicture(const JpegConversion& c) {
  const int s = c.size.step;
  const int fw = c.size.width;
  const int fh = c.size.height;
  const bool rotated = c.size.rotated;
  const bool viewer = !c.thumbnail;
  const size_t ow3 = (size_t)c.outWidth * 3;
  const int orientation = c.orientation >= 1 && c.orientation <= 8 ? c.orientation : 1;
  const int half = s / 16 / 2;
  // Output columns move the source's x upright, its y turned.
  const AxisMap& byColumn = rotated ? kUprightY[orientation] : kUprightX[orientation];
  const AxisMap& byRow = rotated ? kUprightX[orientation] : kUprightY[orientation];
  // Offsets, output rows and row starts, worked out once.
  void* work = malloc((size_t)fw * sizeof(size_t) +
                      (size_t)fh * (sizeof(size_t) + sizeof(uint16_t*) + sizeof(int)));
  if (!work) return 0;
  size_t* colOffset = (size_t*)work;
  size_t* rowOffset = colOffset + fw;
  uint16_t** out = (uint16_t**)(rowOffset + fh);
  int* rowStart = (int*)(out + fh);
  for (int x = 0; x < fw; x++) {
    size_t step = (size_t)x * (size_t)s / 16;
    colOffset[x] = BufferOffset(byColumn, step, c.outWidth, c.outHeight, half);
  }
  for (int y = 0; y < fh; y++) {
    size_t step = (size_t)(rotated ? fh - 1 - y : y) * (size_t)s / 16;
    rowOffset[y] = BufferOffset(byRow, step, c.outWidth, c.outHeight, half);
    out[y] = c.rows.Row(y);
    // One draw per output row, in row order, before any of its pixels.
    rowStart[y] = viewer ? rand() % kNoiseRowStart : 0;
  }
  Plan p = {c.buffer, rowOffset, colOffset, half * 3, (size_t)half * ow3,
            (!rotated && s == 16) ? 127 : 128, c.noise};
  // Each output row's noise index moves on from its start.
  const bool across = byColumn.axis != 0;
  if (!viewer)
    Convert<false, false>(p, across, fw, fh, rowStart, out);
  else if (s > 16)
    Convert<true, true>(p, across, fw, fh, rowStart, out);
  else
    Convert<true, false>(p, across, fw, fh, rowStart, out);
  free(work);
  return 1;
}

HBITMAP CreateConvertedBitmap(JpegConversion* c) {
  HBITMAP bitmap = CreatePictureBitmap(c->size.width, c->size.height, &c->rows);
  if (!bitmap) return nullptr;
  if (!ConvertJpegPicture(*c)) {
    DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

void DrawDitherNoise(BYTE noise[kNoiseCount]) {
  for (int i = 0; i < kNoiseCount; i++) noise[i] = (BYTE)(rand() % 8);
}
