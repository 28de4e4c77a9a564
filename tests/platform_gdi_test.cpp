#include <gtest/gtest.h>

#include <thread>

#include "platform/cursor.h"
#include "platform/gdi.h"

namespace {

Rgb565Info Info565(LONG width, LONG height) {
  Rgb565Info info = {};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;
  info.header.biPlanes = 1;
  info.header.biBitCount = 16;
  info.header.biCompression = BI_BITFIELDS;
  info.masks[0] = 0xF800;
  info.masks[1] = 0x07E0;
  info.masks[2] = 0x001F;
  return info;
}

TEST(Bitmaps, DibSectionDescribesItself) {
  int before = PlatformLiveObjectCount();
  Rgb565Info info = Info565(5, 3);
  info.header.biXPelsPerMeter = 3780;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP b = CreateDIBSection(screen, (BITMAPINFO*)&info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  ASSERT_NE(b, nullptr);
  ASSERT_NE(bits, nullptr);
  BITMAP bm;
  ASSERT_EQ(GetObject(b, sizeof(bm), &bm), (int)sizeof(bm));
  EXPECT_EQ(bm.bmWidth, 5);
  EXPECT_EQ(bm.bmHeight, 3);
  EXPECT_EQ(bm.bmWidthBytes, 12);  // 5 words padded to 4 bytes
  EXPECT_EQ(bm.bmBitsPixel, 16);
  EXPECT_EQ(bm.bmBits, bits);
  DIBSECTION ds;
  ASSERT_EQ(GetObject(b, sizeof(ds), &ds), (int)sizeof(ds));
  EXPECT_EQ(ds.dsBmih.biXPelsPerMeter, 3780);
  EXPECT_EQ(ds.dsBitfields[1], 0x07E0u);
  for (int i = 0; i < 18; i++) EXPECT_EQ(((uint16_t*)bits)[i], 0);
  EXPECT_EQ(PlatformLiveObjectCount(), before + 1);
  EXPECT_EQ(DeleteObject(b), TRUE);
  EXPECT_EQ(DeleteObject(b), FALSE);  // a stale handle is refused, not freed twice
  EXPECT_EQ(GetObject(b, sizeof(bm), &bm), 0);
  EXPECT_EQ(PlatformLiveObjectCount(), before);
}

TEST(Bitmaps, RefuseWhatCannotBeMade) {
  struct Case {
    LONG w, h;
    WORD bits;
    DWORD compression;
    DWORD redMask;
  } cases[] = {
      {0, 10, 16, BI_BITFIELDS, 0xF800},     {10, 0, 16, BI_BITFIELDS, 0xF800},
      {-4, 10, 16, BI_BITFIELDS, 0xF800},    {40000, 10, 16, BI_BITFIELDS, 0xF800},
      {10, -40000, 16, BI_BITFIELDS, 0xF800}, {10, 10, 24, BI_RGB, 0},
      {10, 10, 16, BI_BITFIELDS, 0x7C00},    {10, INT32_MIN, 16, BI_BITFIELDS, 0xF800},
  };
  for (const Case& c : cases) {
    Rgb565Info info = Info565(c.w, c.h);
    info.header.biBitCount = c.bits;
    info.header.biCompression = c.compression;
    info.masks[0] = c.redMask;
    void* bits = (void*)1;
    EXPECT_EQ(CreateDIBSection(nullptr, (BITMAPINFO*)&info, DIB_RGB_COLORS, &bits, nullptr, 0),
              nullptr)
        << c.w << "x" << c.h;
    EXPECT_EQ(bits, nullptr);
  }
}

TEST(Bitmaps, RowsOfABottomUpBitmapAndFills) {
  Rgb565Info info = Info565(4, 2);
  void* bits = nullptr;
  HBITMAP b = CreateDIBSection(nullptr, (BITMAPINFO*)&info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(b, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(SelectObject(dc, b), nullptr);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT top = {1, 0, 3, 1};  // picture row 0 is memory row 1
  EXPECT_EQ(FillRect(dc, &top, red), 1);
  RECT outside = {-5, -5, 100, 0};
  EXPECT_EQ(FillRect(dc, &outside, red), 1);  // clipped to nothing
  const uint16_t* words = (const uint16_t*)bits;
  uint16_t expected[8] = {0, 0, 0, 0, 0, 0xF800, 0xF800, 0};
  for (int i = 0; i < 8; i++) EXPECT_EQ(words[i], expected[i]) << i;
  DeleteObject(red);
  DeleteDC(dc);
  DeleteObject(b);
}

// Row counts from the top of a bottom-up picture and refuses every row
// outside it, far ones too; copies that read such rows get black.
TEST(Bitmaps, CheckedRowsOfAPictureAndCopiesPastItsEdges) {
  PixelRows rows;
  HBITMAP b = CreatePictureBitmap(3, 2, &rows);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(rows.stride, 8);
  EXPECT_EQ((uint8_t*)rows.Row(0), rows.pixels + 8);
  EXPECT_EQ((uint8_t*)rows.Row(1), rows.pixels);
  for (long long y : {-1LL, 2LL, 1LL << 32, -(1LL << 32), (1LL << 32) + 1})
    EXPECT_EQ(rows.Row(y), nullptr) << y;
  rows.Row(0)[2] = 0x1234;
  rows.Row(1)[0] = 0x4321;
  HDC src = CreateCompatibleDC(nullptr);
  ASSERT_NE(SelectObject(src, b), nullptr);
  PixelRows out;
  HBITMAP target = CreatePictureBitmap(3, 4, &out);
  ASSERT_NE(target, nullptr);
  HDC dst = CreateCompatibleDC(nullptr);
  ASSERT_NE(SelectObject(dst, target), nullptr);
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  RECT all = {0, 0, 3, 4};
  FillRect(dst, &all, white);
  // Source rows -1 .. 2: only 0 and 1 are there.
  EXPECT_EQ(BitBlt(dst, 0, 0, 3, 4, src, 0, -1, SRCCOPY), TRUE);
  const uint16_t expected[4][3] = {{0, 0, 0}, {0, 0, 0x1234}, {0x4321, 0, 0}, {0, 0, 0}};
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 3; x++) EXPECT_EQ(out.Row(y)[x], expected[y][x]) << x << "," << y;
  // Rows far past the source, beyond what an int holds, read as black.
  FillRect(dst, &all, white);
  EXPECT_EQ(StretchBlt(dst, 0, 0, 3, 4, src, 0, 2147483647, 3, 8, SRCCOPY), TRUE);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 3; x++) EXPECT_EQ(out.Row(y)[x], 0) << x << "," << y;
  DeleteObject(white);
  DeleteDC(dst);
  DeleteDC(src);
  DeleteObject(target);
  DeleteObject(b);
}

TEST(Bitmaps, MadeOnOneThreadUsedOnAnother) {
  int before = PlatformLiveObjectCount();
  HBITMAP made = nullptr;
  std::thread worker([&] { made = CreateCompatibleBitmap(nullptr, 54, 40); });
  worker.join();
  BITMAP bm;
  ASSERT_EQ(GetObject(made, sizeof(bm), &bm), (int)sizeof(bm));
  EXPECT_EQ(bm.bmWidth, 54);
  EXPECT_EQ(DeleteObject(made), TRUE);
  EXPECT_EQ(PlatformLiveObjectCount(), before);
}

TEST(Screen, SizeAndDepth) {
  PlatformSetScreenSize(480, 640);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 480);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 640);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 16);
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  RECT r = {0, 0, 2, 1};
  FillRect(screen, &r, white);
  int w, h, stride;
  uint16_t* px = PlatformScreenPixels(&w, &h, &stride);
  EXPECT_EQ(w, 480);
  EXPECT_EQ(px[1], 0xFFFF);
  EXPECT_EQ(px[2], 0);
  DeleteObject(white);
  ReleaseDC(nullptr, screen);
  PlatformSetScreenSize(240, 320);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 240);
}

TEST(Cursor, WaitAndArrow) {
  HCURSOR wait = LoadCursor(nullptr, IDC_WAIT);
  HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
  ASSERT_NE(wait, nullptr);
  EXPECT_EQ(LoadCursor(nullptr, 12345), nullptr);
  SetCursor(wait);
  EXPECT_EQ(PlatformCursorShape(), IDC_WAIT);
  EXPECT_EQ(SetCursor(arrow), wait);
  EXPECT_EQ(PlatformCursorShape(), IDC_ARROW);
}

}  // namespace
