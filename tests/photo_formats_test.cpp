// The decoder's --photos additions: WebP, HEIF, AVIF and TIFF only when
// allowed, pictures turned upright and reduced by DecompressImageRgb, and
// hostile photo files refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/imgdecmp.h"
#include "samples/hostile_samples.h"
#include "samples/jpeg_samples.h"
#include "samples/photo_samples.h"

namespace {

typedef std::string Bytes;

struct Source {
  const Bytes* data;
  size_t offset;
};

DWORD ReadSource(char* buffer, DWORD max, LPARAM param) {
  Source* s = (Source*)param;
  const size_t n = std::min((size_t)max, s->data->size() - s->offset);
  memcpy(buffer, s->data->data() + s->offset, n);
  s->offset += n;
  return (DWORD)n;
}

// A decode's input record over bytes in memory; reads of 4096 like a file.
struct Input {
  explicit Input(const Bytes& bytes) : source{&bytes, 0}, buffer(4096) {
    info.pbBuffer = buffer.data();
    info.dwBufferMax = (DWORD)buffer.size();
    info.lParam = (LPARAM)&source;
    info.pfnGetData = ReadSource;
    info.iMaxWidth = info.iMaxHeight = 5120;
    info.phBM = &bitmap;
    info.iBitDepth = 16;
    info.iScale = 100;
  }
  Source source;
  std::vector<BYTE> buffer;
  HBITMAP bitmap = nullptr;
  DecompressImageInfo info = {};
};

// The divisor callback's record: what it was asked, what it answers.
struct Divisor {
  int answer = 1;
  int calls = 0, width = 0, height = 0;
};

int AskDivisor(void* context, int width, int height) {
  Divisor* d = (Divisor*)context;
  d->calls++;
  d->width = width;
  d->height = height;
  return d->answer;
}

// An RGB result that frees itself.
struct Rgb {
  RgbPicture picture = {};
  ~Rgb() { free(picture.pixels); }
  const BYTE* At(int x, int y) const {
    return picture.pixels + ((size_t)y * picture.width + x) * 3;
  }
};

int DecodeRgb(const Bytes& bytes, Divisor* divisor, Rgb* out) {
  Input input(bytes);
  return DecompressImageRgb(&input.info, AskDivisor, divisor, &out->picture);
}

HRESULT DecodeIndirect(const Bytes& bytes) {
  Input input(bytes);
  HRESULT result = DecompressImageIndirect(&input.info);
  if (input.bitmap) DeleteObject(input.bitmap);
  return result;
}

Bytes Sample(const char* name) {
  std::ifstream in(std::string(VIEWER_PHOTO_SAMPLES_DIR) + "/" + name, std::ios::binary);
  Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_FALSE(b.empty()) << "sample missing: " << name;
  return b;
}

Bytes GradientTiff(int width, int height, int orientation) {
  return TiffFile(width, height, GradientPixels(width, height), orientation);
}

Bytes GradientJpeg(int width, int height, int orientation) {
  JpegSampleOptions o;
  o.width = width;
  o.height = height;
  o.photoLike = false;  // red rises left to right, green top to bottom
  o.quality = 95;
  o.lumaH = o.lumaV = 1;
  Bytes jpeg;
  EXPECT_EQ(JpegSampleBytes(o, &jpeg), 1);
  return orientation ? WithExifOrientation(jpeg, orientation) : jpeg;
}

bool Near(const BYTE* p, int r, int g, int b, int tolerance) {
  return std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance &&
         std::abs(p[2] - b) <= tolerance;
}

class PhotoFormats : public ::testing::Test {
 protected:
  void TearDown() override { ImageDecoderAllowPhotoFormats(false); }
};

// The samples are 32 x 24: a white 4 x 4 block at the top left over red
// rising to the right, green rising downwards and blue 64.
TEST_F(PhotoFormats, EachFormatDecodesOnlyWhenAllowed) {
  struct Case {
    const char* name;
    Bytes bytes;
    int bottomRightBlue;
    bool whiteCorner;
  } const cases[] = {
      {"webp", Sample("photo.webp"), 64, true},
      {"avif", Sample("photo.avif"), 64, true},
      {"heic", Sample("photo.heic"), 64, true},
      {"tiff", GradientTiff(32, 24, 0), 128, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageDecoderAllowPhotoFormats(false);
    Divisor divisor;
    Rgb refused;
    EXPECT_EQ(DecodeIndirect(c.bytes), E_FAIL);
    EXPECT_EQ(DecodeRgb(c.bytes, &divisor, &refused), 0);
    EXPECT_EQ(refused.picture.pixels, nullptr);
    EXPECT_EQ(divisor.calls, 0);
    ImageDecoderAllowPhotoFormats(true);
    EXPECT_EQ(DecodeIndirect(c.bytes), S_OK);
    Rgb rgb;
    ASSERT_EQ(DecodeRgb(c.bytes, &divisor, &rgb), 1);
    EXPECT_EQ(divisor.calls, 1);
    ASSERT_EQ(rgb.picture.width, 32);
    ASSERT_EQ(rgb.picture.height, 24);
    const int tolerance = 24;  // lossy formats
    if (c.whiteCorner) EXPECT_TRUE(Near(rgb.At(1, 1), 255, 255, 255, tolerance));
    else EXPECT_TRUE(Near(rgb.At(0, 0), 0, 0, 128, tolerance));
    const BYTE* br = rgb.At(31, 23);
    EXPECT_TRUE(Near(br, 255, 255, c.bottomRightBlue, tolerance))
        << (int)br[0] << " " << (int)br[1] << " " << (int)br[2];
  }
}

// Where the stored picture's first row and first column lie once shown, as
// the orientation tag defines its values.
enum Side { kTop, kBottom, kLeft, kRight };
struct Placement {
  Side row0, column0;
} const kTagMeaning[9] = {{kTop, kLeft},     {kTop, kLeft},     {kTop, kRight},
                          {kBottom, kRight}, {kBottom, kLeft},  {kLeft, kTop},
                          {kRight, kTop},    {kRight, kBottom}, {kLeft, kBottom}};

Side Opposite(Side s) {
  static const Side kOpposite[] = {kBottom, kTop, kRight, kLeft};
  return kOpposite[s];
}

// Every corner of the upright picture holds the stored corner the tag puts
// there; the stored gradient tells the corners apart.
void ExpectUpright(const Rgb& rgb, int orientation, const char* kind) {
  const RgbPicture& p = rgb.picture;
  for (int lastRow = 0; lastRow < 2; lastRow++)
    for (int lastColumn = 0; lastColumn < 2; lastColumn++) {
      const Placement& m = kTagMeaning[orientation];
      const Side a = lastRow ? Opposite(m.row0) : m.row0;
      const Side b = lastColumn ? Opposite(m.column0) : m.column0;
      const bool right = a == kRight || b == kRight, bottom = a == kBottom || b == kBottom;
      const BYTE* px = rgb.At(right ? p.width - 1 : 0, bottom ? p.height - 1 : 0);
      EXPECT_EQ(px[0] > 128, lastColumn == 1)
          << kind << " orientation " << orientation << " corner " << right << bottom;
      EXPECT_EQ(px[1] > 128, lastRow == 1)
          << kind << " orientation " << orientation << " corner " << right << bottom;
    }
}

TEST_F(PhotoFormats, RgbPicturesComeOutUpright) {
  ImageDecoderAllowPhotoFormats(true);
  const int storedW = 40, storedH = 24;
  for (int orientation = 1; orientation <= 8; orientation++) {
    // TIFF through its loader's orientation; JPEG data (which reaches this
    // decoder under names like .png) through its EXIF block.
    const std::pair<const char*, Bytes> files[] = {
        {"tiff", GradientTiff(storedW, storedH, orientation)},
        {"jpeg", GradientJpeg(storedW, storedH, orientation)}};
    for (const auto& f : files) {
      Divisor divisor;
      Rgb rgb;
      ASSERT_EQ(DecodeRgb(f.second, &divisor, &rgb), 1) << f.first << " " << orientation;
      const bool swapped = orientation >= 5;
      EXPECT_EQ(divisor.width, swapped ? storedH : storedW) << f.first << " " << orientation;
      EXPECT_EQ(divisor.height, swapped ? storedW : storedH) << f.first << " " << orientation;
      ASSERT_EQ(rgb.picture.width, divisor.width);
      ASSERT_EQ(rgb.picture.height, divisor.height);
      ExpectUpright(rgb, orientation, f.first);
    }
  }
}

TEST_F(PhotoFormats, DivisorReducesTheUprightPicture) {
  ImageDecoderAllowPhotoFormats(true);
  const Bytes tiff6 = GradientTiff(40, 24, 6);
  const Bytes jpeg8 = GradientJpeg(100, 60, 8);
  const Bytes jpeg1 = GradientJpeg(100, 60, 0);
  const Bytes big = GradientJpeg(2000, 1000, 0);
  struct Case {
    const char* name;
    const Bytes* bytes;
    int divisor;
    int made, width, height;  // what comes out
  } const cases[] = {
      {"tiff 6 / 1", &tiff6, 1, 1, 24, 40},
      {"tiff 6 / 3", &tiff6, 3, 1, 8, 14},
      {"tiff 6 / 100", &tiff6, 100, 1, 1, 1},
      {"tiff refused", &tiff6, 0, 0, 0, 0},
      {"jpeg 8 / 7", &jpeg8, 7, 1, 9, 15},
      {"jpeg / 3", &jpeg1, 3, 1, 34, 20},
      {"jpeg refused", &jpeg1, 0, 0, 0, 0},
      // The library's 1/8 and our last step: 2000 / 9 rounds up to 223.
      {"large jpeg / 9", &big, 9, 1, 223, 112},
  };
  for (const Case& c : cases) {
    Divisor divisor;
    divisor.answer = c.divisor;
    Rgb rgb;
    EXPECT_EQ(DecodeRgb(*c.bytes, &divisor, &rgb), c.made) << c.name;
    EXPECT_EQ(divisor.calls, 1) << c.name;
    EXPECT_EQ(rgb.picture.width, c.width) << c.name;
    EXPECT_EQ(rgb.picture.height, c.height) << c.name;
  }
}

// Files cut short or lying about their size give nothing, and the photo
// formats' refusals leave the default formats' results alone.
TEST_F(PhotoFormats, DamagedAndHostileFilesGiveNothing) {
  ImageDecoderAllowPhotoFormats(true);
  std::vector<std::pair<std::string, Bytes>> files;
  for (const char* name : {"photo.avif", "photo.heic"}) {
    const Bytes whole = Sample(name);
    files.push_back({std::string("half of ") + name, whole.substr(0, whole.size() / 2)});
  }
  const Bytes tiff = GradientTiff(32, 24, 0);
  files.push_back({"tiff without its directory", tiff.substr(0, 8 + 32 * 24 * 3)});
  files.push_back({"webp header only", Sample("photo.webp").substr(0, 16)});
  std::vector<HostileFile> hostile;
  ASSERT_EQ(MakeHostileFiles(&hostile), 1);
  int photoFiles = 0;
  for (const HostileFile& h : hostile)
    if (h.photos) {
      files.push_back({h.name, h.bytes});
      photoFiles++;
    }
  EXPECT_GE(photoFiles, 7);
  testing::internal::CaptureStderr();  // the libraries' own complaints
  for (const auto& f : files) {
    Divisor divisor;
    Rgb rgb;
    EXPECT_EQ(DecodeIndirect(f.second), E_FAIL) << f.first;
    EXPECT_EQ(DecodeRgb(f.second, &divisor, &rgb), 0) << f.first;
    EXPECT_EQ(rgb.picture.pixels, nullptr) << f.first;
  }
  testing::internal::GetCapturedStderr();
}

}  // namespace
