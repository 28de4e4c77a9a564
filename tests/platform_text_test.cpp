#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include "platform/gdi.h"
#include "platform/rgb565.h"
#include "tests/support/temp_dir.h"

namespace {

const uint16_t kWhite = 0xFFFF;
const UINT kLabelMeasure = DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX;

// A white top-down memory surface with a context drawing on it.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  uint16_t* bits = nullptr;
  int width, height, words;

  Canvas(int w, int h) : width(w), height(h), words(((w * 2 + 3) / 4 * 4) / 2) {
    dc = CreateCompatibleDC(nullptr);
    Rgb565Info info = MakeRgb565Info(w, h);
    info.header.biHeight = -h;  // top-down
    void* p = nullptr;
    bitmap = CreateDIBSection(dc, (BITMAPINFO*)&info, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = (uint16_t*)p;
    SelectObject(dc, bitmap);
    Clear();
  }
  ~Canvas() {
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  void Clear() {
    RECT all = {0, 0, width, height};
    FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
  }
  uint16_t At(int x, int y) const { return bits[y * words + x]; }
  // Bounding box of every pixel that is not white; empty when none.
  RECT Ink() const {
    RECT box = {width, height, 0, 0};
    for (int y = 0; y < height; y++)
      for (int x = 0; x < width; x++)
        if (At(x, y) != kWhite) {
          box.left = std::min<LONG>(box.left, x);
          box.top = std::min<LONG>(box.top, y);
          box.right = std::max<LONG>(box.right, x + 1);
          box.bottom = std::max<LONG>(box.bottom, y + 1);
        }
    return box;
  }
  int Count(uint16_t word) const {
    int n = 0;
    for (int y = 0; y < height; y++)
      for (int x = 0; x < width; x++) n += At(x, y) == word;
    return n;
  }
};

bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }
bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

HFONT MakeFont(LONG height, LONG weight = FW_NORMAL) {
  LOGFONTW lf = {};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfPitchAndFamily = FF_SWISS;
  wcscpy(lf.lfFaceName, L"Arial");
  return CreateFontIndirectW(&lf);
}

// Measured extent of text in a box 200 wide from (0, 0).
RECT Measure(HDC dc, const wchar_t* text, UINT format, LONG boxWidth = 200, int count = -1) {
  RECT r = {0, 0, boxWidth, 100};
  DrawTextW(dc, text, count, &r, format | DT_CALCRECT);
  return r;
}

int Width(HDC dc, const wchar_t* text, UINT format = DT_SINGLELINE) {
  return Measure(dc, text, format).right;
}

TEST(TextMeasure, LineHeightIsTheCellHeight) {
  Canvas c(8, 8);
  RECT r = {5, 2, 300, 18};
  EXPECT_EQ(DrawTextW(c.dc, L"Korvane Viewer", -1, &r, DT_CALCRECT | DT_SINGLELINE), 12);
  EXPECT_EQ(r.left, 5);
  EXPECT_EQ(r.top, 2);
  EXPECT_EQ(r.bottom, 14);
  int width = r.right - r.left;
  EXPECT_GT(width, 14 * 3);  // 14 characters, none thinner than 3 pixels on average
  EXPECT_LT(width, 14 * 9);

  // The interface font, described as the window creates it, is the stock one.
  HFONT ui = MakeFont(12);
  SelectObject(c.dc, ui);
  EXPECT_EQ(Width(c.dc, L"Korvane Viewer"), width);
  SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
  DeleteObject(ui);

  struct Case {
    LONG lfHeight, weight;
  } cases[] = {{0, FW_NORMAL}, {20, FW_NORMAL}, {33, FW_NORMAL}, {-12, FW_NORMAL}, {12, 700}};
  for (const Case& k : cases) {
    HFONT f = MakeFont(k.lfHeight, k.weight);
    SelectObject(c.dc, f);
    RECT m = Measure(c.dc, L"one\ntwo", 0);
    int line = m.bottom / 2;
    if (k.lfHeight == 0) EXPECT_EQ(line, 12);
    else if (k.lfHeight > 0) EXPECT_EQ(line, k.lfHeight);
    else EXPECT_GT(line, -k.lfHeight);  // an em height leaves out the leading
    if (k.weight == 700) {
      EXPECT_GT(Width(c.dc, L"Korvane Viewer"), width);
    }
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
  }
}

TEST(TextMeasure, WordBreakKeepsLinesInTheBox) {
  Canvas c(8, 8);
  const wchar_t* label = L"a long label that wraps";
  RECT wide = Measure(c.dc, label, kLabelMeasure);
  EXPECT_EQ(wide.bottom, 12);  // one line in the 200-wide box...
  EXPECT_GT(wide.right, 69);   // ...too wide for a name box
  RECT narrow = {0, 0, 69, 100};
  int height = DrawTextW(c.dc, label, -1, &narrow, kLabelMeasure);
  EXPECT_EQ(height, narrow.bottom);
  EXPECT_GE(height, 24);
  EXPECT_EQ(height % 12, 0);
  EXPECT_LE(narrow.right, 69);
  EXPECT_GT(narrow.right, 0);

  // A word wider than the box on its own is broken at the edge.
  RECT word = Measure(c.dc, L"abcdefghijklmnopqrstuvwxyz0123456789", kLabelMeasure, 40);
  EXPECT_LE(word.right, 40);
  EXPECT_GE(word.bottom, 36);
  // Even a box narrower than one character lays out (one per line).
  EXPECT_EQ(Measure(c.dc, L"abc", kLabelMeasure, 1).bottom, 36);
  // Spaces hanging past the edge take no room.
  EXPECT_LE(Measure(c.dc, L"ab                    ", kLabelMeasure, 30).right, 30);
  EXPECT_LE(Measure(c.dc, L"                    ab", kLabelMeasure, 30).right, 30);
  // Spaces where a line breaks do not count.
  EXPECT_EQ(Measure(c.dc, L"wrap    here", kLabelMeasure, Width(c.dc, L"wrap") + 2).right,
            Width(c.dc, L"here") > Width(c.dc, L"wrap") ? Width(c.dc, L"here")
                                                        : Width(c.dc, L"wrap"));
}

TEST(TextMeasure, LineBreaksAndEmptyText) {
  Canvas c(8, 8);
  struct Case {
    const wchar_t* text;
    UINT format;
    int lines;
  } cases[] = {
      {L"one\ntwo\r\nthree", 0, 3},     {L"one\ntwo\r\nthree", DT_SINGLELINE, 1},
      {L"a\r\rb", 0, 3},                {L"a\n", 0, 1},
      {L"\n\n", 0, 2},                  {L"", 0, 1},
      {L"", DT_SINGLELINE, 1},          {L"a long label that wraps", DT_SINGLELINE | DT_WORDBREAK, 1},
  };
  for (const Case& k : cases) {
    RECT r = {3, 4, 60, 100};
    EXPECT_EQ(DrawTextW(c.dc, k.text, -1, &r, k.format | DT_CALCRECT), 12 * k.lines) << k.text;
    EXPECT_EQ(r.bottom, 4 + 12 * k.lines) << k.text;
  }
  EXPECT_EQ(Width(c.dc, L""), 0);
  EXPECT_EQ(Width(c.dc, L"one\ntwo\r\nthree", 0), Width(c.dc, L"three"));
  // count limits the text; CR and LF in a single line take no room.
  EXPECT_EQ(Measure(c.dc, L"abcdef", DT_SINGLELINE, 200, 3).right, Width(c.dc, L"abc"));
  EXPECT_EQ(Width(c.dc, L"ab\r\ncd"), Width(c.dc, L"abcd"));
}

TEST(TextMeasure, PrefixCharacters) {
  Canvas c(8, 8);
  int amp = Width(c.dc, L"&", DT_SINGLELINE | DT_NOPREFIX);
  ASSERT_GT(amp, 0);
  EXPECT_EQ(Width(c.dc, L"&&", DT_SINGLELINE | DT_NOPREFIX), 2 * amp);
  EXPECT_EQ(Width(c.dc, L"&&"), amp);
  EXPECT_EQ(Width(c.dc, L"&x"), Width(c.dc, L"x"));
  EXPECT_EQ(Width(c.dc, L"x&"), Width(c.dc, L"x"));
  // "&&" is one "&"; the lone "&" marks the space after it.
  EXPECT_EQ(Width(c.dc, L"Tom &&& Jerry"), Width(c.dc, L"Tom & Jerry", DT_SINGLELINE | DT_NOPREFIX));
}

TEST(TextDraw, WrappedLabelAndClipping) {
  Canvas c(120, 140);
  SetBkMode(c.dc, TRANSPARENT);
  RECT box = {10, 10, 79, 110};
  RECT r = box;
  int height = Measure(c.dc, L"a long label that wraps", kLabelMeasure, 69).bottom;
  EXPECT_EQ(DrawTextW(c.dc, L"a long label that wraps", -1, &r, DT_WORDBREAK | DT_NOPREFIX),
            height);
  RECT ink = c.Ink();
  ASSERT_FALSE(Empty(ink));
  EXPECT_TRUE(Inside(ink, box));
  EXPECT_GT(ink.bottom - box.top, height - 12);  // the last line has ink

  // Rectangles smaller than the text, or reaching off the surface.
  RECT clips[] = {{20, 20, 50, 26}, {-30, -5, 40, 8}, {100, 130, 400, 400}, {60, 60, 60, 90}};
  for (RECT clip : clips) {
    c.Clear();
    RECT t = clip;
    DrawTextW(c.dc, L"Korvane Viewer", -1, &t, DT_WORDBREAK);
    RECT drawn = c.Ink();
    if (!Empty(drawn)) {
      EXPECT_TRUE(Inside(drawn, clip)) << clip.left << "," << clip.top;
    }
  }
  c.Clear();
  RECT narrow = {20, 20, 50, 26};
  DrawTextW(c.dc, L"Korvane Viewer", -1, &narrow, DT_WORDBREAK);
  EXPECT_FALSE(Empty(c.Ink()));
}

TEST(TextDraw, CentringMovesInk) {
  Canvas c(200, 60);
  SetBkMode(c.dc, TRANSPARENT);
  int w = Width(c.dc, L"ab");
  RECT r = {0, 0, 200, 20};
  DrawTextW(c.dc, L"ab", -1, &r, DT_SINGLELINE);
  RECT left = c.Ink();
  ASSERT_FALSE(Empty(left));
  EXPECT_LT(left.left, 3);
  c.Clear();
  DrawTextW(c.dc, L"ab", -1, &r, DT_SINGLELINE | DT_CENTER);
  RECT centred = c.Ink();
  EXPECT_EQ(centred.left - left.left, (200 - w) / 2);
  EXPECT_EQ(centred.top, left.top);

  r = {0, 0, 200, 60};
  c.Clear();
  DrawTextW(c.dc, L"ab", -1, &r, DT_VCENTER);  // not a single line: stays at the top
  EXPECT_EQ(c.Ink().top, left.top);
  c.Clear();
  DrawTextW(c.dc, L"ab", -1, &r, DT_VCENTER | DT_SINGLELINE);
  EXPECT_EQ(c.Ink().top, left.top + (60 - 12) / 2);
}

TEST(TextDraw, BackgroundModes) {
  Canvas c(100, 30);
  const uint16_t red = PackRgb565(255, 0, 0);
  int w = Width(c.dc, L"Tom");
  SetBkColor(c.dc, RGB(255, 0, 0));
  RECT r = {0, 0, 100, 30};
  DrawTextW(c.dc, L"Tom", -1, &r, 0);  // opaque by default
  EXPECT_GT(c.Count(red), 0);
  RECT box = {0, 0, w, 12};
  EXPECT_TRUE(Inside(c.Ink(), box));
  for (int y = 0; y < 12; y++)
    for (int x = 0; x < w; x++) ASSERT_NE(c.At(x, y), kWhite) << x << "," << y;

  c.Clear();
  EXPECT_EQ(SetBkMode(c.dc, TRANSPARENT), OPAQUE);
  DrawTextW(c.dc, L"Tom", -1, &r, 0);
  EXPECT_EQ(c.Count(red), 0);
  EXPECT_FALSE(Empty(c.Ink()));
}

TEST(TextDraw, InkTakesTheTextColour) {
  Canvas c(100, 20);
  SetBkMode(c.dc, TRANSPARENT);
  SetTextColor(c.dc, RGB(0, 0, 128));
  RECT r = {0, 0, 100, 20};
  DrawTextW(c.dc, L"Holiday 2023", -1, &r, DT_SINGLELINE);
  std::map<uint16_t, int> colours;
  for (int y = 0; y < c.height; y++)
    for (int x = 0; x < c.width; x++) {
      uint16_t p = c.At(x, y);
      if (p == kWhite) continue;
      colours[p]++;
      unsigned red = (p >> 11) * 255 / 31, green = ((p >> 5) & 63) * 255 / 63, blue = (p & 31) * 255 / 31;
      EXPECT_LE(red > green ? red - green : green - red, 8u);  // navy over white: red = green
      EXPECT_GE(blue, red);
    }
  ASSERT_FALSE(colours.empty());
  auto dominant = std::max_element(colours.begin(), colours.end(),
                                    [](auto& a, auto& b) { return a.second < b.second; });
  EXPECT_EQ(dominant->first, PackRgb565(0, 0, 128));
}

TEST(TextDraw, PrefixUnderlinesTheMarkedCharacter) {
  Canvas c(60, 20);
  SetBkMode(c.dc, TRANSPARENT);
  RECT r = {0, 0, 60, 20};
  DrawTextW(c.dc, L"x", -1, &r, 0);
  RECT plain = c.Ink();
  c.Clear();
  DrawTextW(c.dc, L"&x", -1, &r, 0);
  RECT marked = c.Ink();
  EXPECT_GT(marked.bottom, plain.bottom);
  EXPECT_LE(marked.bottom, 12);
  EXPECT_EQ(marked.top, plain.top);
  c.Clear();
  DrawTextW(c.dc, L"&x", -1, &r, DT_NOPREFIX);
  EXPECT_GT(c.Ink().right, plain.right);
}

TEST(TextDraw, OddCharactersDrawWithoutHarm) {
  Canvas c(80, 200);
  SetBkMode(c.dc, TRANSPARENT);
  const wchar_t odd[] = {L'a', (wchar_t)0xDC80, (wchar_t)0xDCFF, (wchar_t)0xD800,
                         (wchar_t)0x110000, (wchar_t)-1, 0, L'b'};
  RECT r = {0, 0, 80, 200};
  EXPECT_EQ(DrawTextW(c.dc, odd, 8, &r, DT_SINGLELINE), 12);
  EXPECT_GT(c.Ink().right, Width(c.dc, L"ab"));  // the stand-ins take room
  RECT m = {0, 0, 200, 100};
  DrawTextW(c.dc, odd, 8, &m, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_GE(m.right - m.left, Width(c.dc, L"ab") + 4 * Width(c.dc, L"\xFFFD"));

  std::mt19937 random(7);
  std::vector<wchar_t> noise(3000);
  for (wchar_t& ch : noise) ch = (wchar_t)random();
  for (int i = 0; i < 3000; i += 97) noise[i] = L' ';
  for (UINT format : {0u, (UINT)DT_WORDBREAK, (UINT)(DT_WORDBREAK | DT_CENTER)}) {
    RECT t = {5, 5, 74, 105};
    int h = DrawTextW(c.dc, noise.data(), (int)noise.size(), &t, format);
    EXPECT_GT(h, 0);
    EXPECT_EQ(h % 12, 0);
  }
}

TEST(TextDraw, RefusesWhatItCannotDraw) {
  Canvas c(20, 20);
  RECT r = {0, 0, 20, 20};
  EXPECT_EQ(DrawTextW(c.dc, nullptr, -1, &r, 0), 0);
  EXPECT_EQ(DrawTextW(c.dc, L"a", -1, nullptr, 0), 0);
  EXPECT_EQ(DrawTextW(c.dc, L"a", -2, &r, DT_CALCRECT), 0);
  EXPECT_EQ(DrawTextW(nullptr, L"a", -1, &r, 0), 0);
  HDC gone = CreateCompatibleDC(nullptr);
  DeleteDC(gone);
  EXPECT_EQ(DrawTextW(gone, L"a", -1, &r, DT_CALCRECT), 0);
  EXPECT_EQ(r.right, 20);
  EXPECT_EQ(r.bottom, 20);
  EXPECT_EQ(c.Ink().right, 0);
}

TEST(TextDraw, FontsLiveWhileSelectedAndThenGo) {
  int before = PlatformLiveObjectCount();
  {
    Canvas c(60, 20);
    HFONT f = MakeFont(16);
    SelectObject(c.dc, f);
    EXPECT_EQ(DeleteObject(f), TRUE);
    RECT r = {0, 0, 60, 20};
    EXPECT_EQ(DrawTextW(c.dc, L"still", -1, &r, 0), 16);
    EXPECT_FALSE(Empty(c.Ink()));
  }
  HDC screen = GetDC(nullptr);
  RECT r = {0, 0, 50, 20};
  EXPECT_EQ(DrawTextW(screen, L"screen", -1, &r, 0), 12);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(PlatformLiveObjectCount(), before);
}

// Draws and measures while fontconfig knows no font folder; true when
// nothing was drawn and both calls failed.
bool FailsWithoutFonts() {
  TempDir dir;
  dir.Write("fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n");
  setenv("FONTCONFIG_FILE", dir.At("fonts.conf").c_str(), 1);
  Canvas c(40, 20);
  RECT r = {0, 0, 40, 20};
  int drawn = DrawTextW(c.dc, L"abc", -1, &r, 0);
  int measured = DrawTextW(c.dc, L"abc", -1, &r, DT_CALCRECT);
  return drawn == 0 && measured == 0 && r.right == 40 && r.bottom == 20 && Empty(c.Ink());
}

// In a fresh process, so that fontconfig reads the empty configuration.
TEST(TextDrawDeathTest, NoFontFileLeavesTheTextUndrawn) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(exit(FailsWithoutFonts() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

// Draws a label page on its own surface; the pixels for comparison.
std::vector<uint16_t> DrawPage(bool ownFont) {
  Canvas c(80, 120);
  HFONT f = ownFont ? MakeFont(12) : nullptr;
  if (f) SelectObject(c.dc, f);
  SetTextColor(c.dc, RGB(0, 0, 128));
  SetBkMode(c.dc, TRANSPARENT);
  for (int i = 0; i < 40; i++) {
    c.Clear();
    RECT r = {5, 5, 74, 105};
    DrawTextW(c.dc, L"Summer holiday by the sea", -1, &r, DT_WORDBREAK | DT_NOPREFIX);
  }
  std::vector<uint16_t> pixels(c.bits, c.bits + c.words * c.height);
  if (f) {
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
  }
  return pixels;
}

TEST(TextDraw, TwoThreadsEachWithTheirOwnContext) {
  std::vector<uint16_t> reference = DrawPage(true);
  std::vector<uint16_t> a, b, d;
  std::thread ta([&] { a = DrawPage(true); });
  std::thread tb([&] { b = DrawPage(false); });  // the shared stock font
  d = DrawPage(false);
  ta.join();
  tb.join();
  EXPECT_EQ(a, reference);
  EXPECT_EQ(b, reference);
  EXPECT_EQ(d, reference);
}

}  // namespace
