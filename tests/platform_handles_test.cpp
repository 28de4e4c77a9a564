// Handles of every kind share one table: a closed handle stays dead even
// once its slot holds a newer object, kinds never stand in for each other,
// and an object in use on one thread outlives a close on another.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/findfile.h"
#include "platform/gdi.h"
#include "platform/handles.h"
#include "tests/support/temp_dir.h"

namespace {

const int kAllKinds = KIND_FILE | KIND_FIND | KIND_GDI_OBJECT | KIND_DC;

// The table puts the slot index in the low 24 bits; two handles with the
// same index name the same slot in different generations.
bool SameSlot(const void* a, const void* b) {
  const uintptr_t kIndexMask = ((uintptr_t)1 << 24) - 1;
  return ((uintptr_t)a & kIndexMask) == ((uintptr_t)b & kIndexMask);
}

HANDLE Open(const WCHAR* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string ReadAll(HANDLE h) {
  std::string out;
  char buffer[256];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got > 0) out.append(buffer, got);
  return out;
}

// An RGB565 section of width x height (bottom-up) and its pixel words.
HBITMAP Section(int width, int height, uint16_t** bits) {
  Rgb565Info info = MakeRgb565Info(width, height);
  void* pixels = nullptr;
  HBITMAP b = CreateDIBSection(nullptr, (const BITMAPINFO*)&info, DIB_RGB_COLORS, &pixels,
                               nullptr, 0);
  *bits = (uint16_t*)pixels;
  return b;
}

TEST(Handles, ClosedFileStaysDeadWhenItsSlotIsReused) {
  TempDir dir;
  dir.Write("a.txt", "first");
  dir.Write("b.txt", "second");
  const int baseline = HandleLiveCount(kAllKinds);

  HANDLE old = Open(L"\\a.txt");
  ASSERT_NE(old, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadAll(old), "first");
  EXPECT_EQ(CloseHandle(old), TRUE);
  char c;
  DWORD got = 7;
  EXPECT_EQ(ReadFile(old, &c, 1, &got, nullptr), FALSE);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(CloseHandle(old), FALSE);

  HANDLE fresh = Open(L"\\b.txt");
  ASSERT_NE(fresh, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SameSlot(old, fresh));
  EXPECT_NE(old, fresh);
  EXPECT_EQ(ReadFile(old, &c, 1, &got, nullptr), FALSE);
  EXPECT_EQ(CloseHandle(old), FALSE);  // must not close the new file
  EXPECT_EQ(ReadAll(fresh), "second");
  EXPECT_EQ(CloseHandle(fresh), TRUE);
  EXPECT_EQ(HandleLiveCount(kAllKinds), baseline);
}

TEST(Handles, ClosedFindStaysDeadWhenItsSlotIsReused) {
  TempDir dir;
  dir.Write("one.jpg", "1");
  dir.Write("two.jpg", "2");
  dir.Write("three.jpg", "3");
  const int baseline = HandleLiveCount(kAllKinds);

  WIN32_FIND_DATAW data;
  HANDLE old = FindFirstFileW(L"\\*.*", &data);
  ASSERT_NE(old, INVALID_HANDLE_VALUE);
  EXPECT_EQ(FindClose(old), TRUE);
  EXPECT_EQ(FindNextFileW(old, &data), FALSE);
  EXPECT_EQ(FindClose(old), FALSE);

  HANDLE fresh = FindFirstFileW(L"\\*.*", &data);
  ASSERT_NE(fresh, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SameSlot(old, fresh));
  EXPECT_EQ(FindNextFileW(old, &data), FALSE);
  EXPECT_EQ(FindClose(old), FALSE);  // must not end the new enumeration
  int items = 1;
  while (FindNextFileW(fresh, &data)) items++;
  EXPECT_EQ(items, 3);
  EXPECT_EQ(FindClose(fresh), TRUE);
  EXPECT_EQ(HandleLiveCount(kAllKinds), baseline);
}

TEST(Handles, KindsDoNotStandInForEachOther) {
  TempDir dir;
  dir.Write("a.txt", "abc");
  const int baseline = HandleLiveCount(kAllKinds);
  HANDLE file = Open(L"\\a.txt");
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(L"\\*", &data);
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  ASSERT_NE(brush, nullptr);
  ASSERT_NE(dc, nullptr);

  char c;
  DWORD got;
  EXPECT_EQ(CloseHandle(find), FALSE);
  EXPECT_EQ(CloseHandle(brush), FALSE);
  EXPECT_EQ(CloseHandle(dc), FALSE);
  EXPECT_EQ(CloseHandle(GetStockObject(WHITE_BRUSH)), FALSE);
  EXPECT_EQ(CloseHandle(nullptr), FALSE);
  EXPECT_EQ(CloseHandle(INVALID_HANDLE_VALUE), FALSE);
  EXPECT_EQ(ReadFile(find, &c, 1, &got, nullptr), FALSE);
  EXPECT_EQ(FindNextFileW(file, &data), FALSE);
  EXPECT_EQ(FindClose(file), FALSE);
  EXPECT_EQ(FindClose(brush), FALSE);
  EXPECT_EQ(DeleteObject(file), FALSE);
  EXPECT_EQ(DeleteObject(find), FALSE);
  EXPECT_EQ(SelectObject(dc, file), nullptr);
  BITMAP bm;
  EXPECT_EQ(GetObject(brush, sizeof(bm), &bm), 0);
  EXPECT_EQ(GetObject(file, sizeof(bm), &bm), 0);

  // Every object survived the wrong calls.
  EXPECT_EQ(ReadAll(file), "abc");
  EXPECT_EQ(FindNextFileW(find, &data), FALSE);  // one item only, still a live find
  EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(HandleLiveCount(kAllKinds), baseline + 4);

  EXPECT_EQ(CloseHandle(file), TRUE);
  EXPECT_EQ(FindClose(find), TRUE);
  EXPECT_EQ(DeleteObject(brush), TRUE);
  EXPECT_EQ(DeleteDC(dc), TRUE);
  EXPECT_EQ(HandleLiveCount(kAllKinds), baseline);
}

TEST(Handles, DeletedBrushNeverReachesTheNextOne) {
  const int baseline = HandleLiveCount(kAllKinds);
  uint16_t* bits = nullptr;
  HBITMAP target = Section(2, 1, &bits);
  ASSERT_NE(target, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_EQ(SelectObject(dc, target), GetStockObject(DEFAULT_BITMAP));

  HBRUSH old = CreateSolidBrush(RGB(255, 0, 0));
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(DeleteObject(old), TRUE);
  HBRUSH fresh = CreateSolidBrush(RGB(0, 0, 255));
  ASSERT_NE(fresh, nullptr);
  ASSERT_TRUE(SameSlot(old, fresh));
  EXPECT_EQ(DeleteObject(old), FALSE);  // the new brush lives on
  EXPECT_EQ(SelectObject(dc, old), nullptr);
  RECT all = {0, 0, 2, 1};
  EXPECT_EQ(FillRect(dc, &all, old), 0);
  EXPECT_EQ(FillRect(dc, &all, fresh), 1);
  EXPECT_EQ(bits[0], 0x001F);
  EXPECT_EQ(bits[1], 0x001F);

  // Selection hands back what was there before, the stock brush first.
  EXPECT_EQ(SelectObject(dc, fresh), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(SelectObject(dc, GetStockObject(BLACK_BRUSH)), fresh);
  EXPECT_EQ(DeleteObject(fresh), TRUE);
  EXPECT_EQ(SelectObject(dc, GetStockObject(DEFAULT_BITMAP)), target);
  EXPECT_EQ(DeleteDC(dc), TRUE);
  EXPECT_EQ(DeleteObject(target), TRUE);
  EXPECT_EQ(HandleLiveCount(kAllKinds), baseline);
}

TEST(Handles, DeletedBitmapStaysReadableThroughItsContext) {
  const int baseline = HandleLiveCount(kAllKinds);
  HDC sourceDc = CreateCompatibleDC(nullptr);
  HDC targetDc = CreateCompatibleDC(nullptr);
  HBITMAP source = CreateCompatibleBitmap(nullptr, 3, 2);
  uint16_t* bits = nullptr;
  HBITMAP target = Section(3, 2, &bits);
  HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
  ASSERT_NE(source, nullptr);
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(SelectObject(sourceDc, source), GetStockObject(DEFAULT_BITMAP));
  EXPECT_EQ(SelectObject(targetDc, target), GetStockObject(DEFAULT_BITMAP));
  RECT all = {0, 0, 3, 2};
  ASSERT_EQ(FillRect(sourceDc, &all, green), 1);
  EXPECT_EQ(DeleteObject(green), TRUE);

  EXPECT_EQ(DeleteObject(source), TRUE);
  BITMAP bm;
  EXPECT_EQ(GetObject(source, sizeof(bm), &bm), 0);  // the handle is dead
  EXPECT_EQ(DeleteObject(source), FALSE);
  EXPECT_EQ(SelectObject(targetDc, source), nullptr);
  // The context still holds the pixels.
  ASSERT_EQ(BitBlt(targetDc, 0, 0, 3, 2, sourceDc, 0, 0, SRCCOPY), TRUE);
  for (int y = 0; y < 2; y++)  // rows of 4 words, the last one padding
    for (int x = 0; x < 3; x++) EXPECT_EQ(bits[y * 4 + x], 0x07E0) << x << "," << y;

  EXPECT_EQ(HandleLiveCount(kAllKinds), baseline + 3);  // two contexts and the target
  EXPECT_EQ(DeleteDC(sourceDc), TRUE);                  // lets the bitmap go
  EXPECT_EQ(DeleteDC(targetDc), TRUE);
  EXPECT_EQ(DeleteObject(target), TRUE);
  EXPECT_EQ(HandleLiveCount(kAllKinds), baseline);
}

// A read on one thread while the main thread closes the handle and opens
// another file at once, which may take both the slot and the descriptor
// number: the reader sees only bytes of its own file, and its handle is dead
// after the close.
TEST(HandleConcurrency, ReadWhileAnotherThreadCloses) {
  TempDir dir;
  const size_t kSize = 256 * 1024;
  dir.Write("a.bin", std::string(kSize, 'a'));
  dir.Write("b.bin", std::string(kSize, 'b'));
  const int baseline = HandleLiveCount(kAllKinds);
  const int kRounds = 300;
  int strayBytes = 0;
  for (int round = 0; round < kRounds; round++) {
    HANDLE h = Open(L"\\a.bin");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::atomic<bool> started{false};
    size_t total = 0;
    int stray = 0;
    std::thread reader([&, h] {
      std::vector<char> buffer(16 * 1024);
      DWORD got = 0;
      started = true;
      while (ReadFile(h, buffer.data(), (DWORD)buffer.size(), &got, nullptr) && got > 0) {
        total += got;
        for (DWORD i = 0; i < got; i++) stray += buffer[i] != 'a';
      }
    });
    while (!started) std::this_thread::yield();
    if (round % 2) std::this_thread::yield();
    EXPECT_EQ(CloseHandle(h), TRUE);
    HANDLE other = Open(L"\\b.bin");
    reader.join();
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    strayBytes += stray;
    EXPECT_LE(total, kSize);
    char c;
    DWORD got;
    EXPECT_EQ(ReadFile(h, &c, 1, &got, nullptr), FALSE);
    ASSERT_EQ(ReadFile(other, &c, 1, &got, nullptr), TRUE);
    EXPECT_EQ(c, 'b');
    EXPECT_EQ(CloseHandle(other), TRUE);
  }
  EXPECT_EQ(strayBytes, 0);
  EXPECT_EQ(HandleLiveCount(kAllKinds), baseline);
}

}  // namespace
