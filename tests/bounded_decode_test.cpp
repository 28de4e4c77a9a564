// Hostile files of a few bytes to a few hundred kilobytes that claim huge
// pictures or endless scans: every decoder refuses them instead of spending
// seconds and hundreds of megabytes. Times are printed, not asserted.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "browser/entry_list.h"
#include "imaging/brightness.h"
#include "imaging/photos.h"
#include "imaging/picture.h"
#include "jpeg/binding.h"
#include "platform/gdi.h"
#include "platform/threads.h"
#include "samples/hostile_samples.h"
#include "samples/jpeg_samples.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thumbnail_window.h"

namespace {

typedef std::string Bytes;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::wstring Device(const std::string& name) {
  std::wstring w = L"\\";
  for (char c : name) w += (wchar_t)c;
  return w;
}

class BoundedDecode : public ::testing::Test {
 protected:
  void SetUp() override { PlatformSetScreenSize(240, 320); }
  void TearDown() override {
    SetPhotosMode(false);
    // Viewer decodes register their bitmap; it is gone after each test.
    brightnessSource.adjustable = false;
    brightnessSource.livePixels = nullptr;
  }

  Bytes Sample(const std::string& name, int width, int height, bool progressive,
               int components = 3) {
    const Bytes bytes = SeedJpeg(width, height, progressive, components);
    EXPECT_FALSE(bytes.empty()) << name;
    dir.Write(name, bytes);
    return bytes;
  }

  // Loads name as a thumbnail and in each fit mode; true if any gave a bitmap.
  bool AnyDecodes(const std::string& name, double* seconds) {
    bool any = false;
    auto start = std::chrono::steady_clock::now();
    for (int mode = -1; mode <= FIT_SCREEN_FINE; mode++) {
      HBITMAP b = LoadPicture(nullptr, Device(name).c_str(), mode < 0, mode < 0 ? FIT_SCREEN_WHOLE : mode);
      if (b) {
        any = true;
        DeleteObject(b);
      }
    }
    *seconds = SecondsSince(start);
    return any;
  }

  TempDir dir;
};

TEST_F(BoundedDecode, HostileFilesAreRefused) {
  const char* const kScans = "Too many scans";
  const char* const kMemory = "Backing store";  // the library's memory cap
  // Files whose refusal is the library's: a message at least one of the four
  // loads gives. The others are refused by our own checks (no library message).
  struct Expected {
    const char* name;
    const char* why;
  } const kLibraryRefusals[] = {
      {"scans-5000.jpg", kScans},
      {"scans-5000-8192.jpg", kScans},
      {"progressive-claims-16000.jpg", kMemory},
      {"scans-5000-jpeg.png", kScans},
      {"progressive-claims-16000.Jpg", kMemory},
  };
  std::vector<HostileFile> files;
  ASSERT_EQ(MakeHostileFiles(&files), 1);
  for (const Expected& e : kLibraryRefusals) {
    bool listed = false;
    for (const HostileFile& f : files) listed = listed || f.name == e.name;
    EXPECT_TRUE(listed) << e.name;
  }
  for (const HostileFile& c : files) {
    const char* why = nullptr;
    for (const Expected& e : kLibraryRefusals)
      if (c.name == e.name) why = e.why;
    dir.Write(c.name, c.bytes);
    // The photo formats are refused by their size checks, not by being off.
    SetPhotosMode(c.photos);
    double seconds = 0;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(AnyDecodes(c.name, &seconds)) << c.name;
    const std::string messages = testing::internal::GetCapturedStderr();
    if (why) {
      EXPECT_NE(messages.find(why), std::string::npos) << c.name << ": " << messages;
    }
    printf("  %-30s %7zu bytes  %.3f s for a thumbnail and three fit modes\n", c.name.c_str(),
           c.bytes.size(), seconds);
  }
}

// Bytes this process has read so far, all threads, as the kernel counts them.
uint64_t BytesRead() {
  FILE* f = fopen("/proc/self/io", "r");
  unsigned long long rchar = 0;
  char line[128];
  while (f && fgets(line, sizeof line, f))
    if (sscanf(line, "rchar: %llu", &rchar) == 1) break;
  if (f) fclose(f);
  return rchar;
}

// A small picture at the start of 20 GB of zeros: no decode reads further
// than the picture's declared size can need (a JPEG's limit is 16 MiB and
// a little, and the four loads make at most four), in both modes.
TEST_F(BoundedDecode, HugeSparseFilesAreNotReadThrough) {
  const uint64_t kMostRead = 128ull << 20;
  std::vector<SparseFile> files;
  ASSERT_EQ(MakeSparseFiles(&files), 1);
  for (const SparseFile& f : files) {
    ASSERT_EQ(WriteSparseFile(dir.At(f.name), f), 1) << f.name;
    for (bool photos : {false, true}) {
      SetPhotosMode(photos);
      const uint64_t before = BytesRead();
      double seconds = 0;
      testing::internal::CaptureStderr();
      const bool decoded = AnyDecodes(f.name, &seconds);
      testing::internal::GetCapturedStderr();
      const uint64_t read = BytesRead() - before;
      EXPECT_LT(read, kMostRead) << f.name << (photos ? " with --photos" : "");
      printf("  %-28s %-9s %s, %6.1f MB read, %.3f s for a thumbnail and three fit modes\n",
             f.name.c_str(), photos ? "--photos" : "", decoded ? "picture" : "none   ",
             read / 1e6, seconds);
    }
    std::remove(dir.At(f.name).c_str());
  }
}

// The same surgery within the limits still decodes, so the refusals above
// come from the limits and not from broken files.
TEST_F(BoundedDecode, FilesWithinTheLimitsDecode) {
  const Bytes progressive = Sample("p.jpg", 64, 64, true);
  // The sample has 10 scans of its own.
  dir.Write("scans-within.jpg", RepeatLastScan(progressive, kMaxJpegScans - 12));
  dir.Write("claims-4000.jpg", ClaimSize(Sample("t.jpg", 16, 16, false), 4000, 4000));
  dir.Write("scans-within-jpeg.png", ReadHostFile(dir.At("scans-within.jpg")));
  dir.Write("claims-4000-jpeg.png", ReadHostFile(dir.At("claims-4000.jpg")));
  dir.Write("colours-256.bmp", ColourCountBmp(256));
  // A deeper picture's colour count sizes nothing; it may say anything.
  dir.Write("colours-300-24bit.bmp", ColourCountBmp(300, 24));
  testing::internal::CaptureStderr();  // the claimed picture lacks its data
  for (const char* name :
       {"scans-within.jpg", "claims-4000.jpg", "scans-within-jpeg.png", "claims-4000-jpeg.png",
        "colours-256.bmp", "colours-300-24bit.bmp"}) {
    HBITMAP viewer = LoadPicture(nullptr, Device(name).c_str(), 0, FIT_SCREEN_FINE);
    HBITMAP thumbnail = LoadPicture(nullptr, Device(name).c_str(), 1, FIT_SCREEN_WHOLE);
    EXPECT_NE(viewer, nullptr) << name;
    EXPECT_NE(thumbnail, nullptr) << name;
    if (viewer) DeleteObject(viewer);
    if (thumbnail) DeleteObject(thumbnail);
  }
  testing::internal::GetCapturedStderr();
}

// An honest 48-megapixel photo opens in the viewer, progressive with full
// chroma (the most library memory) too.
TEST_F(BoundedDecode, FortyEightMegapixelPhotoOpens) {
  for (bool progressive : {false, true}) {
    JpegSampleOptions o;
    o.width = 8000;
    o.height = 6000;
    o.progressive = progressive;
    o.photoLike = false;
    o.quality = 50;
    o.lumaH = progressive ? 1 : 2;
    o.lumaV = progressive ? 1 : 2;
    ASSERT_EQ(WriteJpegSample(dir.At("big.jpg").c_str(), o), 1);
    auto start = std::chrono::steady_clock::now();
    HBITMAP b = LoadPicture(nullptr, L"\\big.jpg", 0, FIT_SCREEN_FINE);
    printf("  48 MP %s: %.2f s\n", progressive ? "progressive 4:4:4" : "baseline 4:2:0",
           SecondsSince(start));
    ASSERT_NE(b, nullptr) << (progressive ? "progressive" : "baseline");
    BITMAP bm = {};
    GetObject(b, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmWidth, 240);
    EXPECT_EQ(bm.bmHeight, 320);
    DeleteObject(b);
  }
}

// A decode whose watched value has moved on is abandoned at its first
// progress check; the same decode with the value unchanged completes.
TEST_F(BoundedDecode, WatchedDecodeStopsWhenTheValueMoves) {
  Sample("a.jpg", 320, 240, true);
  std::atomic<uint32_t> generation{7};
  DecodeWatch current = {&generation, 7};
  DecodeWatch stale = {&generation, 6};
  HBITMAP kept = LoadPictureWatched(nullptr, L"\\a.jpg", 1, FIT_SCREEN_WHOLE, &current);
  EXPECT_NE(kept, nullptr);
  if (kept) DeleteObject(kept);
  testing::internal::CaptureStderr();
  HBITMAP dropped = LoadPictureWatched(nullptr, L"\\a.jpg", 1, FIT_SCREEN_WHOLE, &stale);
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_EQ(dropped, nullptr);
  EXPECT_NE(messages.find("no longer wanted"), std::string::npos) << messages;
  // The platform decoder's input stops at once.
  dir.Write("a.bmp", ColourCountBmp(256));
  kept = LoadPictureWatched(nullptr, L"\\a.bmp", 1, FIT_SCREEN_WHOLE, &current);
  EXPECT_NE(kept, nullptr);
  if (kept) DeleteObject(kept);
  EXPECT_EQ(LoadPictureWatched(nullptr, L"\\a.bmp", 1, FIT_SCREEN_WHOLE, &stale), nullptr);
}

// Leaving a folder of slow files ends its worker within a fraction of one
// decode: the decode under way stops at its next progress check.
TEST_F(BoundedDecode, LeavingAFolderStopsTheWorkersDecode) {
  // Within every limit but slow: the most scans allowed over 6000 x 6000.
  const Bytes slow =
      ClaimSize(RepeatLastScan(Sample("seed.jpg", 64, 64, true), kMaxJpegScans - 12), 6000, 6000);
  dir.MakeFolder("slow");
  dir.MakeFolder("other");
  dir.Write("other/notes.txt", "no pictures here");
  for (int i = 0; i < 6; i++) dir.Write("slow/s" + std::to_string(i) + ".jpg", slow);
  testing::internal::CaptureStderr();
  auto start = std::chrono::steady_clock::now();
  HBITMAP alone = LoadPicture(nullptr, L"\\slow\\s0.jpg", 1, FIT_SCREEN_WHOLE);
  const double one = SecondsSince(start);
  if (alone) DeleteObject(alone);
  ThumbnailWindow window;
  ASSERT_EQ(ScanFolder(L"\\slow"), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // into the first decode
  ASSERT_EQ(ScanFolder(L"\\other"), 1);
  start = std::chrono::steady_clock::now();
  while (PlatformRunningThreads() > 0 && SecondsSince(start) < 20)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const double stopped = SecondsSince(start);
  const std::string messages = testing::internal::GetCapturedStderr();
  printf("  one slow thumbnail %.2f s; worker gone %.3f s after the folder was left\n", one,
         stopped);
  EXPECT_EQ(PlatformRunningThreads(), 0) << "still running after " << stopped << " s";
  EXPECT_NE(messages.find("no longer wanted"), std::string::npos) << messages;
  window.PumpUntilWorkersEnd();
  FreeEntryList();
}

}  // namespace
