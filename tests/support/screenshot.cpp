#include "tests/support/screenshot.h"

#include "platform/gdi.h"
#include "platform/resource.h"
#include "tests/support/temp_dir.h"

namespace {
uint32_t Le(const std::string& b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; i--) v = (v << 8) | (uint8_t)b[at + (size_t)i];
  return v;
}
}  // namespace

Picture565 ReadShotBmp(const std::string& path) {
  Picture565 p;
  std::string b = ReadHostFile(path);
  if (b.size() < 66 || b[0] != 'B' || b[1] != 'M' || Le(b, 28, 2) != 16) return p;
  int w = (int)Le(b, 18, 4), h = (int)Le(b, 22, 4);
  size_t offset = Le(b, 10, 4), rowBytes = (size_t)((w + 1) / 2) * 4;
  if (w < 1 || h < 1 || offset + rowBytes * (size_t)h > b.size()) return p;
  p.width = w;
  p.height = h;
  p.words.resize((size_t)w * (size_t)h);
  for (int y = 0; y < h; y++)  // rows are stored bottom-up
    for (int x = 0; x < w; x++)
      p.words[(size_t)y * (size_t)w + (size_t)x] =
          (uint16_t)Le(b, offset + (size_t)(h - 1 - y) * rowBytes + 2 * (size_t)x, 2);
  return p;
}

Picture565 ResourcePicture(int id) {
  Picture565 p;
  HBITMAP source = LoadBitmapW(nullptr, MAKEINTRESOURCEW(id));
  BITMAP bm = {};
  if (!source || !GetObject(source, sizeof bm, &bm)) return p;
  // Copied into a top-down section whose words can be read.
  Rgb565Info info = MakeRgb565Info(bm.bmWidth, -bm.bmHeight);
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, (BITMAPINFO*)&info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC from = CreateCompatibleDC(nullptr), to = CreateCompatibleDC(nullptr);
  SelectObject(from, source);
  SelectObject(to, section);
  BitBlt(to, 0, 0, bm.bmWidth, bm.bmHeight, from, 0, 0, SRCCOPY);
  p.width = bm.bmWidth;
  p.height = bm.bmHeight;
  const int rowWords = (bm.bmWidth + 1) / 2 * 2;
  for (int y = 0; y < p.height; y++)
    for (int x = 0; x < p.width; x++) p.words.push_back(((uint16_t*)bits)[y * rowWords + x]);
  DeleteDC(from);
  DeleteDC(to);
  DeleteObject(section);
  DeleteObject(source);
  return p;
}

int CountDifferences(const Picture565& shot, int x, int y, const Picture565& part, int sx, int sy,
                     int w, int h) {
  if (shot.words.empty() || part.words.empty()) return w * h;
  int n = 0;
  for (int j = 0; j < h; j++)
    for (int i = 0; i < w; i++) n += shot.At(x + i, y + j) != part.At(sx + i, sy + j);
  return n;
}

int CountWord(const Picture565& shot, int x, int y, int w, int h, uint16_t word) {
  int n = 0;
  for (int j = 0; j < h; j++)
    for (int i = 0; i < w; i++) n += shot.At(x + i, y + j) == word;
  return n;
}
