// The JPEG path as the loader's callers meet it: what fails and what it then
// leaves behind, truncated files, the thumbnail size limit, the brightness
// record, the name test and two decodes at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "imaging/brightness.h"
#include "imaging/picture.h"
#include "platform/cursor.h"
#include "platform/gdi.h"
#include "platform/rgb565.h"
#include "samples/jpeg_samples.h"
#include "tests/support/jpeg_reference.h"
#include "tests/support/temp_dir.h"

namespace {

struct Picture {
  int width = 0, height = 0;
  std::vector<uint16_t> words;  // memory order, padding words included
};

// Copies a bitmap's pixels and releases it.
Picture TakePicture(HBITMAP bitmap) {
  Picture p;
  DIBSECTION ds;
  if (GetObject(bitmap, sizeof(ds), &ds) == (int)sizeof(ds)) {
    p.width = ds.dsBm.bmWidth;
    p.height = ds.dsBm.bmHeight;
    const uint16_t* bits = (const uint16_t*)ds.dsBm.bmBits;
    p.words.assign(bits, bits + (size_t)ds.dsBm.bmWidthBytes / 2 * ds.dsBm.bmHeight);
  }
  DeleteObject(bitmap);
  return p;
}

std::wstring Device(const std::string& name) {
  std::wstring w = L"\\";
  for (char c : name) w += (wchar_t)(c == '/' ? '\\' : c);
  return w;
}

int Red(uint16_t w) { return w >> 11; }
int Green(uint16_t w) { return (w >> 5) & 0x3F; }
int Blue(uint16_t w) { return w & 0x1F; }

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

struct RecordSnapshot {
  BrightnessSource record;
  std::vector<uint16_t> pristine;
};

RecordSnapshot Snapshot() {
  RecordSnapshot s;
  s.record = brightnessSource;
  if (s.record.pristinePixels)
    s.pristine.assign(s.record.pristinePixels, s.record.pristinePixels + s.record.pixelCount);
  return s;
}

void ExpectRecordIs(const RecordSnapshot& s, bool adjustable) {
  EXPECT_EQ(brightnessSource.adjustable, adjustable);
  EXPECT_EQ(brightnessSource.livePixels, s.record.livePixels);
  EXPECT_EQ(brightnessSource.pristinePixels, s.record.pristinePixels);
  EXPECT_EQ(brightnessSource.pixelCount, s.record.pixelCount);
  if (brightnessSource.pristinePixels == s.record.pristinePixels && s.record.pristinePixels) {
    EXPECT_EQ(0, memcmp(brightnessSource.pristinePixels, s.pristine.data(), s.pristine.size() * 2));
  }
}

void ShowWaitCursor() { SetCursor(LoadCursor(nullptr, IDC_WAIT)); }

class JpegDecode : public ::testing::Test {
 protected:
  void SetUp() override {
    PlatformSetScreenSize(240, 320);
    ShowWaitCursor();
  }
  void TearDown() override {
    if (registered) DeleteObject(registered);
    // Bitmaps made here are gone; keep the copy, drop the stale pointer.
    brightnessSource.adjustable = false;
    brightnessSource.livePixels = nullptr;
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
  }

  // Writes a sample and returns its bytes.
  std::string Make(const std::string& name, int width, int height, int components = 3,
                   bool progressive = false, bool photo = true, unsigned seed = 3) {
    JpegSampleOptions o;
    o.width = width;
    o.height = height;
    o.components = components;
    o.progressive = progressive;
    o.photoLike = photo;
    o.seed = seed;
    EXPECT_EQ(WriteJpegSample(dir.At(name).c_str(), o), 1) << name;
    return ReadHostFile(dir.At(name));
  }

  // A viewer decode that succeeds, so the record holds a registered picture.
  void RegisterSomePicture() {
    Make("registered.jpg", 64, 48);
    HBITMAP b = DecodeJpegPicture(L"\\registered.jpg", 0, FIT_SCREEN_FINE);
    ASSERT_NE(b, nullptr);
    registered = b;
  }

  TempDir dir;
  HBITMAP registered = nullptr;  // kept alive so livePixels stays valid
};

enum Content { kEmpty, kNotJpeg, kWide, kTall, kHeaderOnly, kThin, kMissing };

struct FailureCase {
  const char* label;
  Content content;
  const char* path;     // device path, backslashes as '/'
  const char* message;  // library message expected on standard error, or none
};

const FailureCase kFailures[] = {
    {"zero bytes", kEmpty, "empty.jpg", "Empty input file"},
    {"text named .jpg", kNotJpeg, "text.jpg", "Not a JPEG file: starts with 0x47 0x49"},
    {"width 65501", kWide, "wide.jpg", "Maximum supported image dimension is 65500 pixels"},
    {"height 65501", kTall, "tall.jpg", "Maximum supported image dimension is 65500 pixels"},
    {"cut inside the header", kHeaderOnly, "header.jpg", "JPEG datastream contains no image"},
    {"2000 x 1 reduces to a zero side", kThin, "thin.jpg", nullptr},
    {"missing file", kMissing, "missing.jpg", nullptr},
};

// Every failure gives none through the loader, shows the arrow once the
// file was open (the cursor is untouched when it never opened), leaves the
// brightness record alone and frees every drawing object.
TEST_F(JpegDecode, FailuresLeaveNothingBehind) {
  RegisterSomePicture();
  const std::string valid = Make("valid.jpg", 80, 64);
  for (const FailureCase& c : kFailures) {
    switch (c.content) {
      case kEmpty: dir.Write(c.path, ""); break;
      case kNotJpeg: dir.Write(c.path, "GIF89a plainly something else"); break;
      case kWide:
      case kTall: {
        std::vector<uint8_t> bytes(valid.begin(), valid.end());
        int w, h;
        size_t at = 0;
        ASSERT_TRUE(FindJpegFrame(bytes, &w, &h, &at));
        size_t field = at + (c.content == kWide ? 7 : 5);
        bytes[field] = 65501 >> 8;
        bytes[field + 1] = 65501 & 0xFF;
        dir.Write(c.path, std::string(bytes.begin(), bytes.end()));
        break;
      }
      case kHeaderOnly: dir.Write(c.path, valid.substr(0, 120)); break;
      case kThin: Make(c.path, 2000, 1); break;
      case kMissing: break;
    }
    for (int thumbnail = 0; thumbnail <= 1; thumbnail++) {
      SCOPED_TRACE(std::string(c.label) + (thumbnail ? ", thumbnail" : ", viewer"));
      const RecordSnapshot before = Snapshot();
      const int objects = PlatformLiveObjectCount();
      ShowWaitCursor();
      testing::internal::CaptureStderr();
      HBITMAP b = LoadPicture(nullptr, Device(c.path).c_str(), thumbnail, FIT_SCREEN_FINE);
      const std::string err = testing::internal::GetCapturedStderr();
      EXPECT_EQ(b, nullptr);
      if (b) DeleteObject(b);
      EXPECT_EQ(PlatformCursorShape(), c.content == kMissing ? IDC_WAIT : IDC_ARROW);
      // A viewer load always stops brightness changes; nothing else moves.
      ExpectRecordIs(before, thumbnail ? before.record.adjustable : false);
      EXPECT_EQ(PlatformLiveObjectCount(), objects);
      if (c.message) {
        EXPECT_EQ(CountOf(err, c.message), 1) << err;
      } else {
        EXPECT_EQ(err, "");
      }
      brightnessSource.adjustable = true;  // as a registered picture is
    }
  }
}

// Called directly, a failed viewer decode keeps even the adjustable flag.
TEST_F(JpegDecode, FailedViewerDecodeKeepsTheRegisteredPicture) {
  RegisterSomePicture();
  dir.Write("bad.jpg", "not a picture");
  const RecordSnapshot before = Snapshot();
  ASSERT_TRUE(before.record.adjustable);
  testing::internal::CaptureStderr();
  EXPECT_EQ(DecodeJpegPicture(L"\\bad.jpg", 0, FIT_SCREEN_FINE), nullptr);
  testing::internal::GetCapturedStderr();
  ExpectRecordIs(before, true);
  EXPECT_EQ(PlatformCursorShape(), IDC_ARROW);
}

TEST_F(JpegDecode, BaselineCutMidScanIsFullSizeWithGreyRest) {
  const std::string whole = Make("whole.jpg", 200, 160);
  dir.Write("cut.jpg", whole.substr(0, whole.size() / 2));
  srand(11);
  testing::internal::CaptureStderr();
  HBITMAP b = DecodeJpegPicture(L"\\cut.jpg", 0, FIT_SCREEN_FINE);
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_NE(b, nullptr);
  // Small enough to be neither reduced nor turned.
  Picture p = TakePicture(b);
  ASSERT_EQ(p.width, 200);
  ASSERT_EQ(p.height, 160);
  EXPECT_EQ(err, "Premature end of JPEG file\n");
  // Picture row y lies at memory row 159 - y: the bottom rows are grey 128
  // plus noise 0..7 in every channel.
  for (int y = 150; y < 160; y++) {
    for (int x = 0; x < 200; x++) {
      uint16_t w = p.words[(size_t)(159 - y) * 200 + x];
      ASSERT_EQ(Red(w), 16) << x << "," << y;
      ASSERT_TRUE(Green(w) == 32 || Green(w) == 33) << x << "," << y;
      ASSERT_EQ(Blue(w), 16) << x << "," << y;
    }
  }
  // The top rows still hold the picture.
  int grey = 0;
  for (int x = 0; x < 200; x++) {
    uint16_t w = p.words[(size_t)159 * 200 + x];
    if (Red(w) == 16 && Blue(w) == 16) grey++;
  }
  EXPECT_LT(grey, 100);
}

TEST_F(JpegDecode, ProgressiveCutStillFullSize) {
  const std::string whole = Make("prog.jpg", 640, 480, 3, true);
  dir.Write("cutprog.jpg", whole.substr(0, whole.size() * 2 / 5));
  testing::internal::CaptureStderr();
  Picture viewer = TakePicture(DecodeJpegPicture(L"\\cutprog.jpg", 0, FIT_SCREEN_FINE));
  Picture thumb = TakePicture(DecodeJpegPicture(L"\\cutprog.jpg", 1, FIT_SCREEN_FINE));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(viewer.width, 240);
  EXPECT_EQ(viewer.height, 320);
  EXPECT_EQ(thumb.width, 53);
  EXPECT_EQ(thumb.height, 40);
  EXPECT_EQ(CountOf(err, "Premature end of JPEG file"), 2) << err;
}

// The limit is on the file's bytes, trailing bytes after the picture
// included, and only for thumbnails.
TEST_F(JpegDecode, ThumbnailFileLimitIsOneMebibyte) {
  const std::string jpeg = Make("small.jpg", 640, 480);
  ASSERT_LT(jpeg.size(), 1048576u);
  dir.Write("limit.jpg", jpeg + std::string(1048576 - jpeg.size(), '\0'));
  dir.Write("over.jpg", jpeg + std::string(1048577 - jpeg.size(), '\0'));
  const int objects = PlatformLiveObjectCount();
  Picture atLimit = TakePicture(DecodeJpegPicture(L"\\limit.jpg", 1, FIT_SCREEN_FINE));
  EXPECT_EQ(atLimit.width, 53);
  EXPECT_EQ(atLimit.height, 40);
  EXPECT_EQ(DecodeJpegPicture(L"\\over.jpg", 1, FIT_SCREEN_FINE), nullptr);
  Picture viewer = TakePicture(DecodeJpegPicture(L"\\over.jpg", 0, FIT_SCREEN_FINE));
  EXPECT_EQ(viewer.width, 240);
  EXPECT_EQ(PlatformLiveObjectCount(), objects);
}

TEST_F(JpegDecode, ViewerDecodeRegistersThumbnailDoesNot) {
  Make("odd.jpg", 101, 81);
  HBITMAP b = DecodeJpegPicture(L"\\odd.jpg", 0, FIT_SCREEN_WHOLE);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(PlatformCursorShape(), IDC_ARROW);
  DIBSECTION ds;
  ASSERT_EQ(GetObject(b, sizeof(ds), &ds), (int)sizeof(ds));
  ASSERT_EQ(ds.dsBm.bmWidth, 101);
  ASSERT_EQ(ds.dsBm.bmHeight, 81);
  EXPECT_TRUE(brightnessSource.adjustable);
  EXPECT_EQ(brightnessSource.livePixels, (uint16_t*)ds.dsBm.bmBits);
  EXPECT_EQ(brightnessSource.pixelCount, 102u * 81u);
  ASSERT_NE(brightnessSource.pristinePixels, nullptr);
  EXPECT_NE(brightnessSource.pristinePixels, brightnessSource.livePixels);
  EXPECT_EQ(0, memcmp(brightnessSource.pristinePixels, ds.dsBm.bmBits, 102 * 81 * 2));
  // The padding word of each row is in the copy and stays zero.
  for (int row = 0; row < 81; row++) EXPECT_EQ(brightnessSource.pristinePixels[row * 102 + 101], 0);

  const RecordSnapshot registered = Snapshot();
  ShowWaitCursor();
  HBITMAP t = LoadPicture(nullptr, L"\\odd.jpg", 1, FIT_SCREEN_WHOLE);
  ASSERT_NE(t, nullptr);
  DeleteObject(t);
  ExpectRecordIs(registered, true);
  EXPECT_EQ(PlatformCursorShape(), IDC_WAIT);  // thumbnails never show the wait cursor
  DeleteObject(b);
}

// Thumbnails carry no noise; viewer pictures do, in the low bits only.
TEST_F(JpegDecode, NoiseOnlyInViewerPictures) {
  Make("n.jpg", 200, 150);
  srand(1);
  Picture t1 = TakePicture(DecodeJpegPicture(L"\\n.jpg", 1, FIT_SCREEN_FINE));
  srand(2);
  Picture t2 = TakePicture(DecodeJpegPicture(L"\\n.jpg", 1, FIT_SCREEN_FINE));
  ASSERT_FALSE(t1.words.empty());
  EXPECT_EQ(t1.words, t2.words);

  srand(1);
  Picture v1 = TakePicture(DecodeJpegPicture(L"\\n.jpg", 0, FIT_SCREEN_FINE));
  srand(2);
  Picture v2 = TakePicture(DecodeJpegPicture(L"\\n.jpg", 0, FIT_SCREEN_FINE));
  ASSERT_EQ(v1.words.size(), v2.words.size());
  EXPECT_NE(v1.words, v2.words);
  for (size_t i = 0; i < v1.words.size(); i++) {
    ASSERT_LE(std::abs(Red(v1.words[i]) - Red(v2.words[i])), 1) << i;
    ASSERT_LE(std::abs(Green(v1.words[i]) - Green(v2.words[i])), 2) << i;
    ASSERT_LE(std::abs(Blue(v1.words[i]) - Blue(v2.words[i])), 1) << i;
  }
}

// The shared generator advances by the 140 noise draws of every decode,
// whatever follows, plus one draw per row of a viewer picture.
TEST_F(JpegDecode, RandomDrawsPerDecode) {
  Make("r.jpg", 100, 80);
  dir.Write("r_bad.jpg", "nothing");
  struct DrawCase {
    const wchar_t* path;
    int thumbnail;
    int draws;
  };
  const DrawCase cases[] = {{L"\\r.jpg", 1, 140},
                            {L"\\r.jpg", 0, 140 + 80},
                            {L"\\r_bad.jpg", 0, 140},
                            {L"\\absent.jpg", 0, 140}};
  for (const DrawCase& c : cases) {
    srand(77);
    for (int i = 0; i < c.draws; i++) rand();
    const int expected = rand();
    srand(77);
    testing::internal::CaptureStderr();
    HBITMAP b = DecodeJpegPicture(c.path, c.thumbnail, FIT_SCREEN_FINE);
    testing::internal::GetCapturedStderr();
    if (b) DeleteObject(b);
    EXPECT_EQ(rand(), expected) << c.draws << " draws";
  }
}

// Only ".jp" and ".JP" send a path to the JPEG path. Which way it went shows
// in the brightness record (only a JPEG decode registers) and in the
// library's message for data it refuses.
TEST_F(JpegDecode, LoaderNameTest) {
  struct NameCase {
    const char* name;
    bool jpegPath;
  };
  const NameCase cases[] = {{"a.jpg", true},  {"a.JPEG", true}, {"a.JPG", true},
                            {"a.jpeg", true}, {"a.Jpg", false}, {"a.jPEG", false}};
  const std::string jpeg = Make("source.jpg", 64, 48);
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Write(c.name, jpeg);
    dir.Write(std::string("text") + c.name, "no picture in here");
    brightnessSource.adjustable = false;
    HBITMAP b = LoadPicture(nullptr, Device(c.name).c_str(), 0, FIT_SCREEN_FINE);
    EXPECT_EQ(brightnessSource.adjustable, c.jpegPath);
    if (c.jpegPath) {
      EXPECT_NE(b, nullptr);
    }
    if (b) DeleteObject(b);
    brightnessSource.livePixels = nullptr;

    testing::internal::CaptureStderr();
    HBITMAP none = LoadPicture(nullptr, Device(std::string("text") + c.name).c_str(), 1, FIT_SCREEN_FINE);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(CountOf(err, "Not a JPEG file"), c.jpegPath ? 1 : 0) << err;
  }
}

// One thread fails over and over while the other keeps decoding the same
// thumbnail; neither disturbs the other.
TEST_F(JpegDecode, TwoThreadsOneFailing) {
  Make("good.jpg", 320, 240);
  dir.Write("bad.jpg", "definitely not a JPEG");
  const Picture expected = TakePicture(DecodeJpegPicture(L"\\good.jpg", 1, FIT_SCREEN_FINE));
  ASSERT_EQ(expected.width, 53);
  const int kRounds = 40;
  std::atomic<int> badResults{0}, goodMismatches{0};
  testing::internal::CaptureStderr();
  std::thread failing([&] {
    for (int i = 0; i < kRounds; i++) {
      HBITMAP b = DecodeJpegPicture(L"\\bad.jpg", 0, FIT_SCREEN_FINE);
      if (b) {
        badResults++;
        DeleteObject(b);
      }
    }
  });
  std::thread good([&] {
    for (int i = 0; i < kRounds; i++) {
      Picture p = TakePicture(DecodeJpegPicture(L"\\good.jpg", 1, FIT_SCREEN_FINE));
      if (p.width != expected.width || p.words != expected.words) goodMismatches++;
    }
  });
  failing.join();
  good.join();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(badResults.load(), 0);
  EXPECT_EQ(goodMismatches.load(), 0);
  EXPECT_EQ(CountOf(err, "Not a JPEG file"), kRounds);
}

// Grey and CMYK files become red, green and blue of the buffer's size.
TEST_F(JpegDecode, GreyAndCmykFiles) {
  Make("grey.jpg", 333, 250, 1);
  for (int thumbnail = 0; thumbnail <= 1; thumbnail++) {
    Picture p = TakePicture(DecodeJpegPicture(L"\\grey.jpg", thumbnail, FIT_SCREEN_FINE));
    ASSERT_GT(p.width, 0);
    if (!thumbnail) continue;
    // Without noise a grey pixel packs one value into all three channels.
    for (size_t i = 0; i < p.words.size(); i++) {
      if (i % (size_t)RowWords16(p.width) == (size_t)p.width) continue;  // padding
      ASSERT_EQ(Red(p.words[i]), Blue(p.words[i])) << i;
      ASSERT_EQ(Green(p.words[i]) >> 1, Red(p.words[i])) << i;
    }
  }

  // The same plain gradients stored as CMYK and as RGB look alike.
  Make("cmyk.jpg", 300, 200, 4, false, false, 9);
  Make("rgb.jpg", 300, 200, 3, false, false, 9);
  for (int thumbnail = 0; thumbnail <= 1; thumbnail++) {
    SCOPED_TRACE(thumbnail ? "thumbnail" : "viewer");
    srand(4);
    Picture c = TakePicture(DecodeJpegPicture(L"\\cmyk.jpg", thumbnail, FIT_SCREEN_FINE));
    srand(4);
    Picture r = TakePicture(DecodeJpegPicture(L"\\rgb.jpg", thumbnail, FIT_SCREEN_FINE));
    ASSERT_GT(c.width, 0);
    ASSERT_EQ(c.width, r.width);
    ASSERT_EQ(c.height, r.height);
    long difference = 0;
    for (size_t i = 0; i < c.words.size(); i++) {
      difference += std::abs(Red(c.words[i]) - Red(r.words[i])) +
                    std::abs(Green(c.words[i]) / 2 - Green(r.words[i]) / 2) +
                    std::abs(Blue(c.words[i]) - Blue(r.words[i]));
    }
    // Mean difference per channel well under one step of 5 bits.
    EXPECT_LT(difference, (long)c.words.size() * 3 / 2);
  }
}

}  // namespace
