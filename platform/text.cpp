// DrawTextW: lines laid out from the cached glyphs of the context's font and
// blended, anti-aliased, onto the RGB565 surface, clipped to the rectangle.
//
// Text is drawn on the window's thread only. The faces and their caches are
// still used under TextLock(), so a worker that draws with its own context
// cannot corrupt them.
//
// Where the behaviour is ours to choose:
// - DT_WORDBREAK breaks at spaces; a word too wide for the rectangle on its
//   own is broken between characters at the rectangle's edge (at least one
//   character a line), so long file names stay readable in a narrow box.
// - Empty text is one empty line: DT_CALCRECT gives zero width and one line.
// - A line break that ends the text opens no further line.
// - DT_VCENTER acts only with DT_SINGLELINE; with DT_SINGLELINE, CR and LF
//   draw nothing.
// - Surrogates (stray bytes of non-UTF-8 names) and values beyond Unicode
//   draw as U+FFFD; tabs as spaces.
// - Only the first 65536 characters are laid out.
#include <algorithm>
#include <climits>
#include <vector>

#include "platform/font_answers.h"
#include "platform/font_cache.h"
#include "platform/rgb565.h"

namespace {

const int kMaxChars = 1 << 16;
const uint32_t kReplacement = 0xFFFD;

enum CellKind : uint8_t { CELL_GLYPH, CELL_SPACE, CELL_BREAK };

struct Cell {
  const GlyphImage* glyph;  // null for a line break
  CellKind kind;
  bool underline;           // the character after a prefix "&"
};

struct Line {
  int begin, end;  // cells
  int width;
};

struct Clip {
  long long left, top, right, bottom;
};

// Reused by every call; guarded by TextLock().
std::vector<Cell> cells;
std::vector<Line> lines;

uint32_t CodePoint(WCHAR c) {
  uint32_t u = (uint32_t)c;
  if ((u >= 0xD800 && u <= 0xDFFF) || u > 0x10FFFF) return kReplacement;
  if (u == L'\t') return L' ';
  return u;
}

int TextLength(const WCHAR* text, int count) {
  if (count >= 0) return std::min(count, kMaxChars);
  int n = 0;
  while (n < kMaxChars && text[n]) n++;
  return n;
}

void MakeCells(FontFace* face, const WCHAR* text, int n, UINT format) {
  bool prefix = !(format & DT_NOPREFIX);
  bool single = (format & DT_SINGLELINE) != 0;
  bool underlineNext = false;
  cells.clear();
  for (int i = 0; i < n; i++) {
    WCHAR c = text[i];
    if (prefix && c == L'&') {
      if (i + 1 < n && text[i + 1] == L'&') {
        i++;  // "&&" draws one "&"
      } else {
        underlineNext = true;
        continue;
      }
    }
    if (c == L'\r' || c == L'\n') {
      underlineNext = false;
      if (single) continue;
      if (c == L'\r' && i + 1 < n && text[i + 1] == L'\n') i++;
      cells.push_back({nullptr, CELL_BREAK, false});
      continue;
    }
    CellKind kind = (c == L' ' || c == L'\t') ? CELL_SPACE : CELL_GLYPH;
    cells.push_back({FaceGlyph(face, CodePoint(c)), kind, underlineNext});
    underlineNext = false;
  }
}

// Lines of cells [begin, end), which hold no line break. With wrap, lines
// end at the last space run that lets them fit in maxWidth; spaces may hang
// past the edge, where they take no room, and the run a line ends at is
// dropped.
void WrapParagraph(int begin, int end, bool wrap, long long maxWidth) {
  int i = begin;
  for (;;) {
    int start = i, width = 0, inkWidth = 0, breakAt = -1, breakWidth = 0;
    bool broken = false;
    while (i < end) {
      const Cell& c = cells[i];
      int advance = c.glyph->advance;
      if (c.kind == CELL_SPACE) {
        if (i > start && cells[i - 1].kind != CELL_SPACE) {
          breakAt = i;
          breakWidth = width;
        }
        width += advance;
        i++;
        continue;
      }
      if (wrap && i > start && width + advance > maxWidth) {
        if (breakAt >= 0) {
          lines.push_back({start, breakAt, breakWidth});
          i = breakAt;
          while (i < end && cells[i].kind == CELL_SPACE) i++;
          broken = true;
          break;
        }
        break;  // one word too wide: broken at the edge
      }
      width += advance;
      inkWidth = width;
      i++;
    }
    if (broken) continue;
    if (wrap && width > maxWidth) width = (int)std::max<long long>(inkWidth, maxWidth);
    lines.push_back({start, i, width});
    if (i == end) return;
  }
}

void LayOut(UINT format, long long maxWidth) {
  lines.clear();
  bool wrap = (format & DT_WORDBREAK) && !(format & DT_SINGLELINE);
  int count = (int)cells.size();
  int from = 0;
  for (int i = 0; i <= count; i++) {
    if (i < count && cells[i].kind != CELL_BREAK) continue;
    if (i == count && from == count && !lines.empty()) break;
    WrapParagraph(from, i, wrap, maxWidth);
    from = i + 1;
  }
}

// Fills [x0, x1) x [y0, y1) within clip.
void FillBox(BitmapObject* target, const Clip& clip, long long x0, long long y0, long long x1,
             long long y1, uint16_t word) {
  x0 = std::max(x0, clip.left);
  y0 = std::max(y0, clip.top);
  x1 = std::min(x1, clip.right);
  y1 = std::min(y1, clip.bottom);
  for (long long y = y0; y < y1; y++) {
    uint16_t* row = target->Row(y);
    for (long long x = x0; x < x1; x++) row[x] = word;
  }
}

// Rounded v / 255 for v up to 255 * 255.
inline unsigned Div255(unsigned v) { return ((v + 128) * 257) >> 16; }

inline uint16_t Blend(uint16_t d, unsigned a, unsigned r, unsigned g, unsigned b) {
  const unsigned dr = Rgb565Red(d), dg = Rgb565Green(d), db = Rgb565Blue(d);
  unsigned ia = 255 - a;
  return PackRgb565(Div255(r * a + dr * ia), Div255(g * a + dg * ia), Div255(b * a + db * ia));
}

// Blends glyph g with its origin (pen position on the baseline) at (x, y).
void BlendGlyph(BitmapObject* target, const Clip& clip, long long x, long long y,
                const GlyphImage* g, COLORREF color) {
  long long gx = x + g->left, gy = y - g->top;
  long long c0 = std::max(0LL, clip.left - gx), c1 = std::min<long long>(g->width, clip.right - gx);
  long long r0 = std::max(0LL, clip.top - gy), r1 = std::min<long long>(g->rows, clip.bottom - gy);
  if (c0 >= c1 || r0 >= r1) return;
  unsigned r = GetRValue(color), gr = GetGValue(color), b = GetBValue(color);
  uint16_t solid = PackColor(color);
  for (long long row = r0; row < r1; row++) {
    const uint8_t* src = g->coverage + row * g->width;
    uint16_t* dst = target->Row(gy + row);
    for (long long col = c0; col < c1; col++) {
      unsigned a = src[col];
      uint16_t& d = dst[gx + col];
      if (a == 255) d = solid;
      else if (a) d = Blend(d, a, r, gr, b);
    }
  }
}

void DrawLines(DcObject* dc, BitmapObject* target, const RECT& rect, UINT format,
               const FaceMetrics& m) {
  Clip clip = {std::max<long long>(rect.left, 0), std::max<long long>(rect.top, 0),
               std::min<long long>(rect.right, target->width),
               std::min<long long>(rect.bottom, target->height)};
  if (clip.left >= clip.right || clip.top >= clip.bottom) return;
  long long y = rect.top;
  if ((format & DT_VCENTER) && (format & DT_SINGLELINE))
    y = rect.top + ((long long)rect.bottom - rect.top - m.lineHeight) / 2;
  uint16_t background = PackColor(dc->bkColor);
  uint16_t ink = PackColor(dc->textColor);
  for (const Line& line : lines) {
    if (y >= clip.bottom) break;
    long long x = rect.left;
    if (format & DT_CENTER) x = rect.left + ((long long)rect.right - rect.left - line.width) / 2;
    if (dc->bkMode == OPAQUE)
      FillBox(target, clip, x, y, x + line.width, y + m.lineHeight, background);
    long long baseline = y + m.ascent;
    for (int i = line.begin; i < line.end; i++) {
      const GlyphImage* g = cells[i].glyph;
      if (g->coverage) BlendGlyph(target, clip, x, baseline, g, dc->textColor);
      if (cells[i].underline)
        FillBox(target, clip, x, baseline + m.underline, x + g->advance,
                baseline + m.underline + 1, ink);
      x += g->advance;
    }
    y += m.lineHeight;
  }
}

LONG ClampLong(long long v) { return (LONG)std::clamp<long long>(v, INT32_MIN, INT32_MAX); }

// Lays out and draws (target non-null) or measures; returns the text height,
// 0 when the font cannot be loaded. Called with TextLock() held.
int LayOutAndDraw(DcObject* dc, FontObject* font, BitmapObject* target, const WCHAR* text,
                  int count, RECT* rect, UINT format) {
  FontFace* face = FaceOf(font);
  if (!face) return 0;
  TrimFace(face);
  FaceMetrics m = MetricsOf(face);
  MakeCells(face, text, TextLength(text, count), format);
  LayOut(format, (long long)rect->right - rect->left);
  int height = (int)lines.size() * m.lineHeight;
  if (format & DT_CALCRECT) {
    int widest = 0;
    for (const Line& line : lines) widest = std::max(widest, line.width);
    rect->right = ClampLong((long long)rect->left + widest);
    rect->bottom = ClampLong((long long)rect->top + height);
  } else {
    DrawLines(dc, target, *rect, format, m);
  }
  return height;
}

}  // namespace

int DrawTextW(HDC hdc, const WCHAR* text, int count, RECT* rect, UINT format) {
  if (!text || !rect || count < -1) return 0;
  HandleRef<DcObject> dc(hdc, KIND_DC);
  if (!dc || !dc->font) return 0;
  // Our own reference, let go only after the lock: the last release of a
  // font frees its face, which takes the lock.
  FontObject* font = dc->font;
  HandleAddRef(font);
  bool measure = (format & DT_CALCRECT) != 0;
  BitmapObject* target = measure ? nullptr : AcquireTarget(dc.get());
  int height = 0;
  if (measure || target) {
    std::lock_guard<std::mutex> hold(TextLock());
    height = LayOutAndDraw(dc.get(), font, target, text, count, rect, format);
  }
  // Fallback fonts found for this text's characters, kept for the next run.
  SaveFontAnswers();
  if (target && height > 0) NoteDrawn(target);
  HandleRelease(target);
  HandleRelease(font);
  return height;
}
