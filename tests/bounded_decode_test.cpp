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

#include "browser/entry_list.h"
#include "imaging/brightness.h"
#include "imaging/picture.h"
#include "jpeg/binding.h"
#include "platform/gdi.h"
#include "platform/threads.h"
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

void Be16(Bytes& b, unsigned v) {
  b += (char)(v >> 8);
  b += (char)v;
}
void Be32(Bytes& b, uint32_t v) {
  Be16(b, v >> 16);
  Be16(b, v & 0xFFFF);
}
void Le16(Bytes& b, unsigned v) {
  b += (char)v;
  b += (char)(v >> 8);
}
void Le32(Bytes& b, uint32_t v) {
  Le16(b, v & 0xFFFF);
  Le16(b, v >> 16);
}

// --- JPEG surgery -----------------------------------------------------------

struct Span {
  size_t begin = 0, end = 0;
};

// The last scan (its SOS segment and entropy-coded data) and the SOF.
struct JpegLayout {
  Span lastScan;
  size_t sof = 0;  // offset of the SOFn marker, 0 if none
  size_t eoi = 0;
};

JpegLayout Parse(const Bytes& b) {
  JpegLayout l;
  size_t at = 2;
  while (at + 4 <= b.size()) {
    const unsigned marker = (uint8_t)b[at + 1];
    if (marker == 0xD9) {
      l.eoi = at;
      break;
    }
    const size_t length = ((uint8_t)b[at + 2] << 8) | (uint8_t)b[at + 3];
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
      l.sof = at;
    size_t next = at + 2 + length;
    if (marker == 0xDA) {
      // Entropy-coded data runs to the next marker other than a stuffed
      // zero or a restart marker.
      while (next + 1 < b.size()) {
        const unsigned m = (uint8_t)b[next + 1];
        if ((uint8_t)b[next] == 0xFF && m != 0 && !(m >= 0xD0 && m <= 0xD7)) break;
        next++;
      }
      l.lastScan = {at, next};
    }
    at = next;
  }
  return l;
}

// The last scan repeated so the file has `extra` more scans.
Bytes RepeatLastScan(const Bytes& jpeg, int extra) {
  JpegLayout l = Parse(jpeg);
  const Bytes scan = jpeg.substr(l.lastScan.begin, l.lastScan.end - l.lastScan.begin);
  Bytes out = jpeg.substr(0, l.lastScan.end);
  for (int i = 0; i < extra; i++) out += scan;
  return out + jpeg.substr(l.lastScan.end);
}

// The frame header made to claim width x height.
Bytes ClaimSize(Bytes jpeg, int width, int height) {
  JpegLayout l = Parse(jpeg);
  jpeg[l.sof + 5] = (char)(height >> 8);
  jpeg[l.sof + 6] = (char)height;
  jpeg[l.sof + 7] = (char)(width >> 8);
  jpeg[l.sof + 8] = (char)width;
  return jpeg;
}

// --- Platform formats -------------------------------------------------------

Bytes HugeGif(bool interlaced) {
  Bytes b = "GIF89a";
  Le16(b, 8192);
  Le16(b, 8192);
  b += Bytes("\x80\x00\x00\x00\x00\x00\xff\xff\xff", 9);  // two global colours
  b += ',';
  Le32(b, 0);
  Le16(b, 8192);
  Le16(b, 8192);
  b += (char)(interlaced ? 0x40 : 0);
  b += Bytes("\x02\x02\x4c\x01\x00;", 6);  // a clear code and one pixel
  return b;
}

// 24-bit, or 8-bit RLE with two colours and an end-of-bitmap code.
Bytes HugeBmp(bool rle) {
  Bytes info;
  Le32(info, 40);
  Le32(info, 8192);
  Le32(info, 8192);
  Le16(info, 1);
  Le16(info, rle ? 8 : 24);
  Le32(info, rle ? 1 : 0);
  Le32(info, 0);
  Le32(info, 2835);
  Le32(info, 2835);
  Le32(info, rle ? 2 : 0);
  Le32(info, 0);
  const Bytes palette = rle ? Bytes("\0\0\0\0\xff\xff\xff\0", 8) : Bytes();
  const Bytes pixels = rle ? Bytes("\x00\x01", 2) : Bytes(16, '\x55');
  Bytes b = "BM";
  Le32(b, (uint32_t)(14 + info.size() + palette.size() + pixels.size()));
  Le32(b, 0);
  Le32(b, (uint32_t)(14 + info.size() + palette.size()));
  return b + info + palette + pixels;
}

// A BMP whose headers claim a 2.5 GB info header and pixels 2.2 GB in: the
// BMP loader would allocate that before reading on (found by fuzzing).
Bytes ClaimedHeaderBmp() {
  Bytes b = "BM";
  Le32(b, 0x99);
  Le32(b, 0);
  Le32(b, 0x86010041);
  Le32(b, 0x96E831A0);
  return b + Bytes(64, '\0');
}

// A 4 x 4 8-bit BMP whose info header claims `colours` colours; its table
// holds 256. The BMP loader takes a count of 2^31 or more as negative and
// asks for 4 GB (found by fuzzing).
Bytes ColourCountBmp(uint32_t colours) {
  Bytes info;
  Le32(info, 40);
  Le32(info, 4);
  Le32(info, 4);
  Le16(info, 1);
  Le16(info, 8);
  Le32(info, 0);
  Le32(info, 16);
  Le32(info, 2835);
  Le32(info, 2835);
  Le32(info, colours);
  Le32(info, 0);
  Bytes palette;
  for (int i = 0; i < 256; i++) Le32(palette, (uint32_t)i * 0x010101);
  const Bytes pixels(16, '\x80');
  Bytes b = "BM";
  Le32(b, (uint32_t)(14 + info.size() + palette.size() + pixels.size()));
  Le32(b, 0);
  Le32(b, (uint32_t)(14 + info.size() + palette.size()));
  return b + info + palette + pixels;
}

uint32_t Crc32(const Bytes& bytes) {
  uint32_t crc = 0xFFFFFFFF;
  for (char c : bytes) {
    crc ^= (uint8_t)c;
    for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

void Chunk(Bytes& png, const char* type, const Bytes& data) {
  Be32(png, (uint32_t)data.size());
  const Bytes body = type + data;
  png += body;
  Be32(png, Crc32(body));
}

// 8192 x 8192 RGB whose only pixel data is one row's filter byte, in a
// stored deflate block.
Bytes HugePng(bool interlaced) {
  Bytes png("\x89PNG\r\n\x1a\n", 8);
  Bytes ihdr;
  Be32(ihdr, 8192);
  Be32(ihdr, 8192);
  ihdr += Bytes("\x08\x02\x00\x00", 4);
  ihdr += (char)(interlaced ? 1 : 0);
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", Bytes("\x78\x01\x01\x01\x00\xfe\xff\x00\x00\x01\x00\x01", 12));
  Chunk(png, "IEND", Bytes());
  return png;
}

class BoundedDecode : public ::testing::Test {
 protected:
  void SetUp() override { PlatformSetScreenSize(240, 320); }
  void TearDown() override {
    // Viewer decodes register their bitmap; it is gone after each test.
    brightnessSource.adjustable = false;
    brightnessSource.livePixels = nullptr;
  }

  Bytes Sample(const std::string& name, int width, int height, bool progressive,
               int components = 3) {
    JpegSampleOptions o;
    o.width = width;
    o.height = height;
    o.progressive = progressive;
    o.components = components;
    o.quality = 75;
    EXPECT_EQ(WriteJpegSample(dir.At(name).c_str(), o), 1) << name;
    return ReadHostFile(dir.At(name));
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
  const Bytes progressive = Sample("p.jpg", 64, 64, true);
  const Bytes tiny = Sample("t.jpg", 16, 16, false);
  const Bytes tinyCmyk = Sample("c.jpg", 16, 16, false, 4);
  const char* const kScans = "Too many scans";
  const char* const kMemory = "Backing store";  // the library's memory cap
  // why: a message at least one of the four loads gives, or null when the
  // refusal is our own (no library message).
  struct Case {
    const char* name;
    Bytes bytes;
    const char* why;
  } cases[] = {
      {"scans-5000.jpg", RepeatLastScan(progressive, 5000), kScans},
      {"scans-5000-8192.jpg", ClaimSize(RepeatLastScan(progressive, 5000), 8192, 8192), kScans},
      {"claims-65000.jpg", ClaimSize(tiny, 65000, 65000), nullptr},
      {"claims-65000-cmyk.jpg", ClaimSize(tinyCmyk, 65000, 65000), nullptr},
      {"progressive-claims-16000.jpg", ClaimSize(progressive, 16000, 16000), kMemory},
      {"huge.gif", HugeGif(false), nullptr},
      {"huge-interlaced.gif", HugeGif(true), nullptr},
      {"huge.bmp", HugeBmp(false), nullptr},
      {"huge-rle.bmp", HugeBmp(true), nullptr},
      {"claimed-header.bmp", ClaimedHeaderBmp(), nullptr},
      {"colours-4g.bmp", ColourCountBmp(0xFFFFFFFF), nullptr},
      {"colours-2g.bmp", ColourCountBmp(0x80000000), nullptr},
      {"colours-257.bmp", ColourCountBmp(257), nullptr},
      {"huge.png", HugePng(false), nullptr},
      {"huge-interlaced.png", HugePng(true), nullptr},
      // JPEG data under other names reaches the platform decoder.
      {"scans-5000-jpeg.png", RepeatLastScan(progressive, 5000), kScans},
      {"claims-65000-jpeg.png", ClaimSize(tiny, 65000, 65000), nullptr},
      {"claims-65000-cmyk.Jpg", ClaimSize(tinyCmyk, 65000, 65000), nullptr},
      {"progressive-claims-16000.Jpg", ClaimSize(progressive, 16000, 16000), kMemory},
  };
  for (const Case& c : cases) {
    dir.Write(c.name, c.bytes);
    double seconds = 0;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(AnyDecodes(c.name, &seconds)) << c.name;
    const std::string messages = testing::internal::GetCapturedStderr();
    if (c.why) {
      EXPECT_NE(messages.find(c.why), std::string::npos) << c.name << ": " << messages;
    }
    printf("  %-30s %7zu bytes  %.3f s for a thumbnail and three fit modes\n", c.name,
           c.bytes.size(), seconds);
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
  testing::internal::CaptureStderr();  // the claimed picture lacks its data
  for (const char* name :
       {"scans-within.jpg", "claims-4000.jpg", "scans-within-jpeg.png", "claims-4000-jpeg.png",
        "colours-256.bmp"}) {
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
