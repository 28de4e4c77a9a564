// The platform image decoder, mostly through LoadPicture with device paths
// into a scratch folder: formats, sizes, pixels, damaged and hostile input.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "imaging/brightness.h"
#include "imaging/picture.h"
#include "platform/files.h"
#include "platform/rgb565.h"
#include "platform/gdi.h"
#include "platform/imgdecmp.h"

namespace {

typedef std::vector<uint8_t> Bytes;

struct Rgb {
  uint8_t r, g, b;
};

void Le16(Bytes& b, unsigned v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void Le32(Bytes& b, uint32_t v) {
  Le16(b, v & 0xFFFF);
  Le16(b, v >> 16);
}
template <size_t N>
Bytes Raw(const char (&s)[N]) {
  return Bytes(s, s + N - 1);
}

std::function<Rgb(int, int)> Solid(Rgb c) {
  return [c](int, int) { return c; };
}

// A 24-bit BMP; colour(x, y) with y = 0 the top row. pixels false: the
// headers alone, claiming the full size.
Bytes Bmp24(int w, int h, std::function<Rgb(int, int)> colour, bool pixels = true) {
  const uint32_t row = ((uint32_t)w * 3 + 3) / 4 * 4;
  Bytes b = {'B', 'M'};
  for (uint32_t v : {54 + row * h, 0u, 54u, 40u, (uint32_t)w, (uint32_t)h}) Le32(b, v);
  Le16(b, 1);
  Le16(b, 24);
  for (uint32_t v : {0u, row * h, 2835u, 2835u, 0u, 0u}) Le32(b, v);
  for (int y = h - 1; pixels && y >= 0; y--) {  // stored bottom-up
    size_t start = b.size();
    for (int x = 0; x < w; x++) {
      Rgb c = colour(x, y);
      b.insert(b.end(), {c.b, c.g, c.r});
    }
    b.resize(start + row, 0);
  }
  return b;
}

Bytes Corpus(const char* relative) {
  std::ifstream in(std::string(VIEWER_CORPUS_DIR) + "/" + relative, std::ios::binary);
  Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_FALSE(b.empty()) << "corpus file missing: " << relative;
  return b;
}

// Owns a bitmap for the length of a test.
struct Bitmap {
  HBITMAP handle;
  explicit Bitmap(HBITMAP h) : handle(h) {}
  ~Bitmap() {
    if (handle) DeleteObject(handle);
  }
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
};

// The decoded picture as its DIB section describes it.
struct View {
  int width = 0, height = 0, rowWords = 0;
  const uint16_t* bits = nullptr;
  // Pixel (x, y), y = 0 the top row, of the bottom-up bitmap.
  uint16_t At(int x, int y) const { return bits[(size_t)(height - 1 - y) * rowWords + x]; }
};

// Fills v and checks the RGB565 bottom-up layout the viewer relies on.
void Inspect(HBITMAP h, View* v) {
  ASSERT_NE(h, nullptr);
  DIBSECTION ds = {};
  ASSERT_EQ(GetObject(h, sizeof(ds), &ds), (int)sizeof(ds));
  v->width = ds.dsBmih.biWidth;
  v->height = ds.dsBmih.biHeight;
  v->rowWords = RowWords16(v->width);
  v->bits = (const uint16_t*)ds.dsBm.bmBits;
  ASSERT_NE(v->bits, nullptr);
  EXPECT_GT(ds.dsBmih.biHeight, 0);
  EXPECT_EQ(ds.dsBmih.biBitCount, 16);
  EXPECT_EQ(ds.dsBmih.biCompression, (DWORD)BI_BITFIELDS);
  EXPECT_EQ(ds.dsBmih.biSizeImage, (DWORD)(v->rowWords * v->height * 2));
  EXPECT_EQ(ds.dsBitfields[0], 0xF800u);
  EXPECT_EQ(ds.dsBitfields[1], 0x07E0u);
  EXPECT_EQ(ds.dsBitfields[2], 0x001Fu);
  EXPECT_EQ(ds.dsBm.bmWidthBytes, v->rowWords * 2);
}

HBITMAP Load(const std::string& name, bool thumbnail) {
  std::wstring path = L"\\" + std::wstring(name.begin(), name.end());
  return LoadPicture(nullptr, path.c_str(), thumbnail ? 1 : 0, FIT_SCREEN_FINE);
}

class ImageDecoder : public ::testing::Test {
 protected:
  void SetUp() override {
    liveAtStart = PlatformLiveObjectCount();
    char folder[] = "/tmp/imgdec-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    dir = folder;
    ASSERT_TRUE(PlatformSetDeviceRoot(dir.c_str()));
  }
  void TearDown() override {
    EXPECT_EQ(PlatformLiveObjectCount(), liveAtStart) << "drawing objects leaked";
    std::filesystem::remove_all(dir);
  }
  void Put(const std::string& name, const Bytes& bytes) {
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
  }
  std::string dir;
  int liveAtStart = 0;
};

// The packing and row length every 16-bit bitmap here is checked against.
TEST(Rgb565, PackingAndRowWords) {
  EXPECT_EQ(PackRgb565(200, 100, 50), 0xCB26);  // (25 << 11) | (25 << 5) | 6
  EXPECT_EQ(PackRgb565(255, 255, 255), 0xFFFF);
  EXPECT_EQ(PackRgb565(7, 3, 7), 0x0000);        // below one step of each field
  EXPECT_EQ(PackRgb565(8, 4, 8), 0x0821);
  EXPECT_EQ(PackRgb565(255, 0, 0), 0xF800);
  EXPECT_EQ(RowWords16(1), 2);
  EXPECT_EQ(RowWords16(2), 2);
  EXPECT_EQ(RowWords16(3), 4);
  EXPECT_EQ(RowWords16(239), 240);
  EXPECT_EQ(RowWords16(240), 240);
}

TEST_F(ImageDecoder, ViewerAndThumbnailSizes) {
  Put("a.png", Corpus("png/pngsuite/basn2c08.png"));
  Put("a.gif", Corpus("gif/giflib-pic/porsche.gif"));
  Put("a.bmp", Corpus("bmp/g/rgb24.bmp"));
  Put("bmp-named.gif", Corpus("bmp/g/pal8.bmp"));  // the content decides, not the name
  Put("a.Jpg", Corpus("jpeg/libjpeg-turbo/testorig.jpg"));
  Put("tall.bmp", Bmp24(20, 300, Solid({10, 20, 30})));
  struct Case {
    const char* name;
    int width, height;
  } cases[] = {{"a.png", 32, 32},         {"a.gif", 320, 200}, {"a.bmp", 127, 64},
               {"bmp-named.gif", 127, 64}, {"a.Jpg", 227, 149}, {"tall.bmp", 20, 300}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bitmap viewer(Load(c.name, false));
    View v;
    Inspect(viewer.handle, &v);
    EXPECT_EQ(v.width, c.width);
    EXPECT_EQ(v.height, c.height);
    Bitmap thumbnail(Load(c.name, true));
    View t;
    Inspect(thumbnail.handle, &t);
    if (c.width <= 54 && c.height <= 54) {
      EXPECT_EQ(t.width, c.width);  // never enlarged
      EXPECT_EQ(t.height, c.height);
      continue;
    }
    EXPECT_EQ(std::max(t.width, t.height), 54);
    // Same aspect within a pixel on the shorter side.
    EXPECT_LE(std::abs(t.width * c.height - t.height * c.width), std::max(c.width, c.height));
  }
}

TEST_F(ImageDecoder, MixedCaseJpgTakesThePlatformDecoder) {
  Bytes jpeg = Corpus("jpeg/libjpeg-turbo/testorig.jpg");
  Put("b.jpg", jpeg);
  Put("a.Jpg", jpeg);
  // The JPEG path marks a viewer picture adjustable; this decoder does not.
  Bitmap own(Load("b.jpg", false));
  ASSERT_NE(own.handle, nullptr);
  EXPECT_TRUE(brightnessSource.adjustable);
  Bitmap bitmap(Load("a.Jpg", false));
  EXPECT_NE(bitmap.handle, nullptr);
  EXPECT_FALSE(brightnessSource.adjustable);
}

TEST_F(ImageDecoder, ViewerReducesOnlyAbove5120) {
  const uint16_t word = 0xCB26;  // 200, 100, 50: (25 << 11) | (25 << 5) | 6
  Put("wide.bmp", Bmp24(6000, 10, Solid({200, 100, 50})));
  Put("edge.bmp", Bmp24(5120, 3, Solid({200, 100, 50})));
  Bitmap wide(Load("wide.bmp", false));
  View v;
  Inspect(wide.handle, &v);
  EXPECT_EQ(v.width, 5120);
  EXPECT_EQ(v.height, 9);  // 10 x 5120 / 6000 = 8.5
  // A solid picture stays solid: the filter adds no edge or border.
  for (int y = 0; y < v.height; y++)
    for (int x = 0; x < v.width; x += 37) ASSERT_EQ(v.At(x, y), word) << x << "," << y;
  Bitmap edge(Load("edge.bmp", false));
  View e;
  Inspect(edge.handle, &e);
  EXPECT_EQ(e.width, 5120);
  EXPECT_EQ(e.height, 3);
}

TEST_F(ImageDecoder, ReductionAveragesNeighbours) {
  // One-pixel black and white stripes: sampling would give black or white,
  // averaging a grey.
  Put("stripes.bmp", Bmp24(200, 2, [](int x, int) -> Rgb {
        return x % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
      }));
  Bitmap bitmap(Load("stripes.bmp", true));
  View v;
  Inspect(bitmap.handle, &v);
  EXPECT_EQ(v.width, 54);
  EXPECT_EQ(v.height, 1);
  for (int x = 5; x < 50; x += 11) {
    int green = (v.At(x, 0) >> 5) & 0x3F;
    EXPECT_GT(green, 16) << x;
    EXPECT_LT(green, 48) << x;
  }
}

TEST_F(ImageDecoder, TransparencyLiesOverWhite) {
  // basn6a08: (0,0) is red 255,0,8 with alpha 0, (31,0) the same opaque,
  // (16,16) is 4,255,0 with alpha 131.
  Put("alpha.png", Corpus("png/pngsuite/basn6a08.png"));
  Bitmap bitmap(Load("alpha.png", false));
  View v;
  Inspect(bitmap.handle, &v);
  ASSERT_EQ(v.width, 32);
  EXPECT_EQ(v.At(0, 0), 0xFFFF);
  EXPECT_EQ(v.At(31, 0), 0xF801);
  // 4 over white at 131/255 is 126, 0 is 124: packed 15, 63, 15.
  EXPECT_EQ(v.At(16, 16), (15 << 11) | (63 << 5) | 15);
}

TEST_F(ImageDecoder, PixelsLandBottomUpInRgb565) {
  const Rgb top[3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  const Rgb bottom[3] = {{255, 255, 255}, {0, 0, 0}, {200, 100, 50}};
  Put("colours.bmp", Bmp24(3, 2, [&](int x, int y) { return y == 0 ? top[x] : bottom[x]; }));
  Bitmap bitmap(Load("colours.bmp", false));
  View v;
  Inspect(bitmap.handle, &v);
  ASSERT_EQ(v.width, 3);
  ASSERT_EQ(v.height, 2);
  // Memory row 0 is the bottom row; the fourth word of each row is padding.
  const uint16_t expected[8] = {0xFFFF, 0x0000, 0xCB26, 0, 0xF800, 0x07E0, 0x001F, 0};
  for (int i = 0; i < 8; i++) EXPECT_EQ(v.bits[i], expected[i]) << "word " << i;
}

TEST_F(ImageDecoder, DamagedFilesYieldNothing) {
  Bytes png = Corpus("png/pngsuite/basn2c08.png");
  Bytes gif = Corpus("gif/giflib-pic/porsche.gif");
  Bytes bmp = Corpus("bmp/g/rgb24.bmp");
  ASSERT_GT(gif.size(), 13u);
  const size_t gifHead = 13 + 3 * (2u << (gif[10] & 7));  // screen and colour table
  ASSERT_EQ(gif[gifHead], ',');
  std::vector<std::pair<std::string, Bytes>> damaged;
  damaged.push_back({"cut-in-header.png", Bytes(png.begin(), png.begin() + 20)});
  Bytes flipped = png;
  flipped[flipped.size() - 30] ^= 0x40;  // inside IDAT: the CRC no longer matches
  damaged.push_back({"bad-crc.png", flipped});
  Bytes wide = png;
  wide[16] = 0x80;  // IHDR width beyond what PNG allows
  damaged.push_back({"bad-ihdr.png", wide});
  damaged.push_back({"no-frame.gif", Bytes(gif.begin(), gif.begin() + gifHead)});
  Bytes code = gif;
  code[gifHead + 10] = 12;  // LZW code size, after the 10-byte image descriptor
  damaged.push_back({"bad-code-size.gif", code});
  Bytes zero = gif;
  zero[6] = zero[7] = 0;  // screen width 0
  damaged.push_back({"zero-width.gif", zero});
  damaged.push_back({"cut-in-header.bmp", Bytes(bmp.begin(), bmp.begin() + 30)});
  Bytes depth = bmp;
  depth[28] = 77;  // bits per pixel
  damaged.push_back({"bad-depth.bmp", depth});
  for (const auto& d : damaged) {
    Put(d.first, d.second);
    Bitmap viewer(Load(d.first, false));
    Bitmap thumbnail(Load(d.first, true));
    EXPECT_EQ(viewer.handle, nullptr) << d.first;
    EXPECT_EQ(thumbnail.handle, nullptr) << d.first;
  }
}

TEST_F(ImageDecoder, FilesCutInTheirPixelDataShowWhatWasRead) {
  // Like a truncated JPEG: the picture at full size, the missing part blank.
  Bytes png = Corpus("png/pngsuite/basn2c08.png");
  Bytes gif = Corpus("gif/giflib-pic/porsche.gif");
  Bytes bmp = Bmp24(4, 4, Solid({255, 0, 0}));  // rows stored bottom first
  Put("cut.png", Bytes(png.begin(), png.begin() + png.size() * 3 / 4));
  Put("cut.gif", Bytes(gif.begin(), gif.begin() + gif.size() * 3 / 4));
  Put("cut.bmp", Bytes(bmp.begin(), bmp.begin() + 54 + 12 * 2 + 6));
  struct Case {
    const char* name;
    int width, height;
  } cases[] = {{"cut.png", 32, 32}, {"cut.gif", 320, 200}, {"cut.bmp", 4, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bitmap bitmap(Load(c.name, false));
    View v;
    Inspect(bitmap.handle, &v);
    EXPECT_EQ(v.width, c.width);
    EXPECT_EQ(v.height, c.height);
  }
  Bitmap bitmap(Load("cut.bmp", false));
  View v;
  Inspect(bitmap.handle, &v);
  EXPECT_EQ(v.At(0, 3), 0xF800);  // the bottom rows arrived
  EXPECT_EQ(v.At(3, 2), 0xF800);
}

TEST_F(ImageDecoder, OtherFormatsAreNotDecoded) {
  // Each is a valid picture for some other decoder installed on the system.
  const std::pair<const char*, Bytes> files[] = {
      {"svg.png", Raw("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"4\">"
                      "<rect width=\"4\" height=\"4\" fill=\"red\"/></svg>\n")},
      {"pnm.png", Raw("P6\n1 1\n255\n\xff\x00\x00")},
      {"tiff.png",  // 1 x 1 RGB, one uncompressed strip
       Raw("\x49\x49\x2a\x00\x08\x00\x00\x00\x0a\x00\x00\x01\x03\x00\x01\x00\x00\x00\x01\x00"
           "\x00\x00\x01\x01\x03\x00\x01\x00\x00\x00\x01\x00\x00\x00\x02\x01\x03\x00\x03\x00"
           "\x00\x00\x86\x00\x00\x00\x03\x01\x03\x00\x01\x00\x00\x00\x01\x00\x00\x00\x06\x01"
           "\x03\x00\x01\x00\x00\x00\x02\x00\x00\x00\x11\x01\x04\x00\x01\x00\x00\x00\x8c\x00"
           "\x00\x00\x15\x01\x03\x00\x01\x00\x00\x00\x03\x00\x00\x00\x16\x01\x03\x00\x01\x00"
           "\x00\x00\x01\x00\x00\x00\x17\x01\x04\x00\x01\x00\x00\x00\x03\x00\x00\x00\x1c\x01"
           "\x03\x00\x01\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x08\x00\x08\x00\x08\x00"
           "\xff\x00\x00")},
      {"ico.png",  // one 1 x 1 32-bit icon
       Raw("\x00\x00\x01\x00\x01\x00\x01\x01\x00\x00\x01\x00\x20\x00\x30\x00\x00\x00\x16\x00"
           "\x00\x00\x28\x00\x00\x00\x01\x00\x00\x00\x02\x00\x00\x00\x01\x00\x20\x00\x00\x00"
           "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
           "\x00\x00\x00\x00\xff\xff\x00\x00\x00\x00")},
      {"empty.png", {}},
      {"one-byte.bmp", {'B'}}};
  for (const auto& f : files) {
    Put(f.first, f.second);
    Bitmap bitmap(Load(f.first, false));
    EXPECT_EQ(bitmap.handle, nullptr) << f.first;
  }
}

TEST_F(ImageDecoder, HugePicturesAreRefusedQuickly) {
  Bytes bmp = Bmp24(20000, 20000, Solid({0, 0, 0}), false);
  bmp.resize(bmp.size() + 100000, 0x55);
  Bytes gif = Raw("GIF89a\xff\xff\xff\xff\x80\x00\x00\x00\x00\x00\xff\xff\xff"
                  ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x4c\x01\x00;");
  Put("huge.bmp", bmp);
  Put("huge.gif", gif);
  for (const char* name : {"huge.bmp", "huge.gif"}) {
    auto start = std::chrono::steady_clock::now();
    Bitmap viewer(Load(name, false));
    Bitmap thumbnail(Load(name, true));
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(viewer.handle, nullptr) << name;
    EXPECT_EQ(thumbnail.handle, nullptr) << name;
    EXPECT_LT(seconds, 2.0) << name;
  }
}

// Input handed out of memory, at most `piece` bytes a call.
struct MemorySource {
  const Bytes* data;
  DWORD piece;
  size_t offset = 0;
  int calls = 0;
  DWORD largestAsk = 0;
  bool overreport = false;  // claims one byte more than it may
};

DWORD ReadMemory(char* buffer, DWORD max, LPARAM param) {
  MemorySource* s = (MemorySource*)param;
  s->calls++;
  s->largestAsk = std::max(s->largestAsk, max);
  size_t n = std::min({(size_t)max, (size_t)s->piece, s->data->size() - s->offset});
  memcpy(buffer, s->data->data() + s->offset, n);
  s->offset += n;
  return s->overreport && n ? max + 1 : (DWORD)n;
}

HRESULT DecodeFromMemory(MemorySource* source, DWORD bufferSize, HBITMAP* bitmap) {
  std::vector<BYTE> buffer(bufferSize);
  DecompressImageInfo info = {};
  info.dwSize = 60;
  info.pbBuffer = buffer.data();
  info.dwBufferMax = bufferSize;
  info.phBM = bitmap;
  info.iBitDepth = 16;
  info.lParam = (LPARAM)source;
  info.iScale = 100;
  info.iMaxWidth = info.iMaxHeight = 5120;
  info.pfnGetData = ReadMemory;
  info.crTransparentOverride = 0xFFFFFFFF;
  return DecompressImageIndirect(&info);
}

TEST_F(ImageDecoder, PullsInputInShortPieces) {
  Bytes png = Corpus("png/pngsuite/basn2c08.png");
  Put("a.png", png);
  Bitmap reference(Load("a.png", false));
  View expected;
  Inspect(reference.handle, &expected);
  // Three bytes a call into a 16-byte buffer: the signature spans reads.
  MemorySource source{&png, 3};
  HBITMAP made = nullptr;
  EXPECT_EQ(DecodeFromMemory(&source, 16, &made), S_OK);
  Bitmap bitmap(made);
  View v;
  Inspect(bitmap.handle, &v);
  EXPECT_EQ(source.largestAsk, 16u);
  EXPECT_EQ(source.offset, png.size());
  ASSERT_EQ(v.width, expected.width);
  ASSERT_EQ(v.height, expected.height);
  EXPECT_EQ(memcmp(v.bits, expected.bits, (size_t)v.rowWords * v.height * 2), 0);
  // A callback claiming more than it may is not trusted.
  MemorySource liar{&png, 16384};
  liar.overreport = true;
  HBITMAP none = nullptr;
  EXPECT_EQ(DecodeFromMemory(&liar, 16384, &none), E_FAIL);
  EXPECT_EQ(none, nullptr);
}

TEST_F(ImageDecoder, RefusedSizeStopsReading) {
  Bytes bmp = Bmp24(20000, 20000, Solid({0, 0, 0}), false);
  bmp.resize(bmp.size() + (1 << 20), 0x55);
  MemorySource source{&bmp, 16384};
  HBITMAP made = nullptr;
  EXPECT_EQ(DecodeFromMemory(&source, 16384, &made), E_FAIL);
  EXPECT_EQ(made, nullptr);
  EXPECT_LE(source.calls, 2);  // the size is known from the first read
}

TEST_F(ImageDecoder, ViewerAndThumbnailThreadsDecodeAtOnce) {
  // As in the program: viewer loads on one thread, thumbnails on another.
  Put("a.png", Corpus("png/pngsuite/basn6a08.png"));
  Put("a.gif", Corpus("gif/giflib-pic/porsche.gif"));
  const char* names[2] = {"a.png", "a.gif"};
  std::vector<uint16_t> reference[2][2];  // [thumbnail][file]
  for (int t = 0; t < 2; t++)
    for (int f = 0; f < 2; f++) {
      Bitmap b(Load(names[f], t));
      View v;
      Inspect(b.handle, &v);
      reference[t][f].assign(v.bits, v.bits + (size_t)v.rowWords * v.height);
    }
  int mismatches[2] = {0, 0};
  auto work = [&](int thumbnail) {
    for (int i = 0; i < 10; i++) {
      const std::vector<uint16_t>& want = reference[thumbnail][i % 2];
      HBITMAP h = Load(names[i % 2], thumbnail);
      DIBSECTION ds = {};
      if (!h || GetObject(h, sizeof(ds), &ds) != (int)sizeof(ds) ||
          memcmp(ds.dsBm.bmBits, want.data(), want.size() * 2) != 0)
        mismatches[thumbnail]++;
      if (h) DeleteObject(h);
    }
  };
  std::thread viewer(work, 0), thumbnails(work, 1);
  viewer.join();
  thumbnails.join();
  EXPECT_EQ(mismatches[0] + mismatches[1], 0);
}

}  // namespace
