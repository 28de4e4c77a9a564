// The panel scaled into the window: whole-pixel blocks when a whole factor
// fits, an area average (each window pixel the mean of the panel pixels it
// covers) when the window is smaller than the panel.
#include "platform/screen_fit.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/rgb565.h"

namespace {


inline uint32_t Pack(const PixelLayout& f, uint32_t r, uint32_t g, uint32_t b) {
  return (r >> f.rLoss) << f.rShift | (g >> f.gLoss) << f.gShift | (b >> f.bLoss) << f.bShift |
         f.alpha;
}

// Each screen channel's value in the window's packed format, so that a
// screen word is three look-ups.
struct ChannelTables {
  uint32_t red[32], green[64], blue[32];
  uint32_t alpha;
};

void MakeTables(const PixelLayout& f, ChannelTables* t) {
  t->alpha = f.alpha;
  for (uint32_t v = 0; v < 32; v++) {
    t->red[v] = (Rgb565Red((uint16_t)(v << 11)) >> f.rLoss) << f.rShift;
    t->blue[v] = (Rgb565Blue((uint16_t)v) >> f.bLoss) << f.bShift;
  }
  for (uint32_t v = 0; v < 64; v++) t->green[v] = (Rgb565Green((uint16_t)(v << 5)) >> f.gLoss) << f.gShift;
}

inline uint32_t PackWord(const ChannelTables& t, uint16_t word) {
  return t.red[word >> 11] | t.green[word >> 5 & 0x3F] | t.blue[word & 0x1F] | t.alpha;
}

inline void Put(uint8_t* row, int x, int bytes, uint32_t value) {
  if (bytes == 4)
    ((uint32_t*)row)[x] = value;
  else
    ((uint16_t*)row)[x] = (uint16_t)value;
}

void FillRect(uint8_t* pixels, int pitch, int bytes, int x, int y, int width, int height,
              uint32_t value) {
  for (int row = y; row < y + height; row++) {
    uint8_t* out = pixels + (size_t)row * (size_t)pitch;
    for (int col = x; col < x + width; col++) Put(out, col, bytes, value);
  }
}

void DrawBorders(const ScreenFit& fit, const PixelLayout& layout, uint8_t* pixels, int pitch) {
  const uint32_t black = Pack(layout, 0, 0, 0);
  const int bytes = layout.bytesPerPixel, w = fit.windowWidth, h = fit.windowHeight;
  if (fit.width < 1 || fit.height < 1) {
    FillRect(pixels, pitch, bytes, 0, 0, w, h, black);
    return;
  }
  const int right = fit.x + fit.width, bottom = fit.y + fit.height;
  FillRect(pixels, pitch, bytes, 0, 0, w, fit.y, black);
  FillRect(pixels, pitch, bytes, 0, bottom, w, h - bottom, black);
  FillRect(pixels, pitch, bytes, 0, fit.y, fit.x, fit.height, black);
  FillRect(pixels, pitch, bytes, right, fit.y, w - right, fit.height, black);
}

// Each panel pixel a factor x factor block; a panel row is packed once and
// its first window row copied to the others.
void DrawWhole(const PanelView& view, const ScreenFit& fit, const PixelLayout& layout,
               uint8_t* pixels, int pitch) {
  const int k = fit.factor, bytes = layout.bytesPerPixel;
  ChannelTables tables;
  MakeTables(layout, &tables);
  static std::vector<uint32_t> packed;
  packed.resize((size_t)view.width);
  for (int py = 0; py < view.height; py++) {
    const uint16_t* words = view.words + view.origin + (long)py * view.stepY;
    for (int px = 0; px < view.width; px++)
      packed[(size_t)px] = PackWord(tables, words[(long)px * view.stepX]);
    uint8_t* first = pixels + (size_t)(fit.y + py * k) * (size_t)pitch + (size_t)fit.x * bytes;
    for (int px = 0, x = 0; px < view.width; px++)
      for (int j = 0; j < k; j++) Put(first, x++, bytes, packed[(size_t)px]);
    for (int j = 1; j < k; j++)
      memcpy(first + (size_t)j * (size_t)pitch, first, (size_t)fit.width * (size_t)bytes);
  }
}

// The panel pixels an output pixel covers along one axis, with how much of
// each: in units where a panel pixel is `out` long, so a span's weights add
// up to `in`.
struct Span {
  int first, count;
  size_t weightAt;
};

void AreaSpans(int in, int out, std::vector<Span>* spans, std::vector<uint32_t>* weights) {
  spans->clear();
  weights->clear();
  for (int o = 0; o < out; o++) {
    const int64_t lo = (int64_t)o * in, hi = (int64_t)(o + 1) * in;
    const int first = (int)(lo / out), last = (int)((hi - 1) / out);
    spans->push_back({first, last - first + 1, weights->size()});
    for (int s = first; s <= last; s++)
      weights->push_back(
          (uint32_t)(std::min(hi, (int64_t)(s + 1) * out) - std::max(lo, (int64_t)s * out)));
  }
}

// Area average: each panel row the output row covers is first averaged
// across (8.8 fixed point a channel), then the rows are weighed together.
void DrawSmooth(const PanelView& view, const ScreenFit& fit, const PixelLayout& layout,
                uint8_t* pixels, int pitch) {
  static std::vector<Span> columns, rows;
  static std::vector<uint32_t> columnWeights, rowWeights, across, sum;
  AreaSpans(view.width, fit.width, &columns, &columnWeights);
  AreaSpans(view.height, fit.height, &rows, &rowWeights);
  across.resize((size_t)fit.width * 3);
  sum.resize((size_t)fit.width * 3);
  const uint32_t rowTotal = (uint32_t)view.height * 256;
  for (int y = 0; y < fit.height; y++) {
    const Span& rs = rows[(size_t)y];
    std::fill(sum.begin(), sum.end(), 0);
    for (int i = 0; i < rs.count; i++) {
      const uint32_t wy = rowWeights[rs.weightAt + (size_t)i];
      const uint16_t* words = view.words + view.origin + (long)(rs.first + i) * view.stepY;
      for (int x = 0; x < fit.width; x++) {
        const Span& cs = columns[(size_t)x];
        uint32_t r = 0, g = 0, b = 0;
        for (int j = 0; j < cs.count; j++) {
          const uint16_t word = words[(long)(cs.first + j) * view.stepX];
          const uint32_t wx = columnWeights[cs.weightAt + (size_t)j];
          r += Rgb565Red(word) * wx;
          g += Rgb565Green(word) * wx;
          b += Rgb565Blue(word) * wx;
        }
        uint32_t* a = &across[(size_t)x * 3];
        a[0] = (uint32_t)((uint64_t)r * 256 / (uint32_t)view.width);
        a[1] = (uint32_t)((uint64_t)g * 256 / (uint32_t)view.width);
        a[2] = (uint32_t)((uint64_t)b * 256 / (uint32_t)view.width);
        uint32_t* s = &sum[(size_t)x * 3];
        s[0] += a[0] * wy;
        s[1] += a[1] * wy;
        s[2] += a[2] * wy;
      }
    }
    uint8_t* out = pixels + (size_t)(fit.y + y) * (size_t)pitch;
    for (int x = 0; x < fit.width; x++) {
      const uint32_t* s = &sum[(size_t)x * 3];
      Put(out, fit.x + x, layout.bytesPerPixel,
          Pack(layout, (s[0] + rowTotal / 2) / rowTotal, (s[1] + rowTotal / 2) / rowTotal,
               (s[2] + rowTotal / 2) / rowTotal));
    }
  }
}

}  // namespace

ScreenFit FitPanel(int windowWidth, int windowHeight, int panelWidth, int panelHeight) {
  ScreenFit f;
  f.panelWidth = panelWidth;
  f.panelHeight = panelHeight;
  f.windowWidth = windowWidth;
  f.windowHeight = windowHeight;
  if (windowWidth < 1 || windowHeight < 1 || panelWidth < 1 || panelHeight < 1) return f;
  const int factor = std::min(windowWidth / panelWidth, windowHeight / panelHeight);
  if (factor >= 1) {
    f.factor = factor;
    f.width = panelWidth * factor;
    f.height = panelHeight * factor;
  } else if ((int64_t)windowWidth * panelHeight <= (int64_t)windowHeight * panelWidth) {
    // The window is narrower than the panel's shape: its width binds.
    f.width = windowWidth;
    f.height = (int)(((int64_t)windowWidth * panelHeight + panelWidth / 2) / panelWidth);
  } else {
    f.height = windowHeight;
    f.width = (int)(((int64_t)windowHeight * panelWidth + panelHeight / 2) / panelHeight);
  }
  f.width = std::clamp(f.width, 1, windowWidth);
  f.height = std::clamp(f.height, 1, windowHeight);
  f.x = (windowWidth - f.width) / 2;
  f.y = (windowHeight - f.height) / 2;
  return f;
}

bool FitWindowToPanel(const ScreenFit& fit, int windowX, int windowY, int* px, int* py) {
  if (fit.width < 1 || fit.height < 1) {
    *px = *py = 0;
    return false;
  }
  const int64_t dx = (int64_t)windowX - fit.x, dy = (int64_t)windowY - fit.y;
  const bool inside = dx >= 0 && dy >= 0 && dx < fit.width && dy < fit.height;
  const int64_t cx = std::clamp<int64_t>(dx, 0, fit.width - 1);
  const int64_t cy = std::clamp<int64_t>(dy, 0, fit.height - 1);
  *px = (int)(cx * fit.panelWidth / fit.width);
  *py = (int)(cy * fit.panelHeight / fit.height);
  return inside;
}

void DrawPanel(const PanelView& view, const ScreenFit& fit, const PixelLayout& layout,
               uint8_t* pixels, int pitch, bool borders) {
  if (borders) DrawBorders(fit, layout, pixels, pitch);
  if (!view.words || fit.width < 1 || fit.height < 1 || view.width != fit.panelWidth ||
      view.height != fit.panelHeight)
    return;
  if (fit.factor >= 1)
    DrawWhole(view, fit, layout, pixels, pitch);
  else
    DrawSmooth(view, fit, layout, pixels, pitch);
}
