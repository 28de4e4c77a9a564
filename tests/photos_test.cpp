// Camera photos through the program, with and without --photos: large
// files, EXIF orientations and previews, other formats fitted like JPEG,
// and the mends that hold in both faces (the JPEG name test, the turn on
// landscape screens, labels kept in their box). Each picture is four
// coloured quarters as shown, so every check reads a colour at a place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/photos.h"
#include "imaging/picture.h"
#include "platform/exif.h"
#include "platform/gdi.h"
#include "platform/png_write.h"
#include "samples/jpeg_samples.h"
#include "tests/support/run_tool.h"
#include "tests/support/screenshot.h"
#include "tests/support/temp_dir.h"

namespace {

// The quarters as shown: red, green / blue, white.
enum Colour { kRed = 'R', kGreen = 'G', kBlue = 'B', kWhite = 'W', kOther = '?' };

char ColourOf(uint16_t word) {
  const int r = (word >> 11) * 255 / 31, g = ((word >> 5) & 63) * 255 / 63, b = (word & 31) * 255 / 31;
  const bool hr = r > 170, hg = g > 170, hb = b > 170;
  const bool lr = r < 90, lg = g < 90, lb = b < 90;
  if (hr && hg && hb) return kWhite;
  if (hr && lg && lb) return kRed;
  if (lr && hg && lb) return kGreen;
  if (lr && lg && hb) return kBlue;
  return kOther;
}

// The colours d pixels up-left, up-right, down-left and down-right of (cx, cy).
std::string Quarters(const Picture565& shot, int cx, int cy, int d) {
  if (shot.width == 0) return "none";
  return {ColourOf(shot.At(cx - d, cy - d)), ColourOf(shot.At(cx + d, cy - d)),
          ColourOf(shot.At(cx - d, cy + d)), ColourOf(shot.At(cx + d, cy + d))};
}

// Centre of grid tile i on a 240 x 320 screen (three columns).
int TileX(int i) { return 5 + 70 * (i % 3) + 32; }
int TileY(int i) { return 25 + 95 * (i / 3) + 32; }

struct PhotoCase {
  const char* name;
  int orientation;  // 0: no EXIF block
  int width, height;  // as shown
  bool preview;     // a 160 x 120 preview of the same quarters
};

// In name order, as the grid lists them. Every JPEG is over 1 MiB.
const PhotoCase kPhotos[] = {
    {"a_upright.jpg", 1, 2400, 1800, true},
    {"b_turned180.jpg", 3, 2400, 1800, false},
    {"c_portrait6.jpg", 6, 1800, 2400, true},
    {"d_portrait8.jpg", 8, 1800, 2400, false},
    {"e_mirrored2.jpg", 2, 2400, 1800, false},
    {"f_plain.jpg", 0, 2400, 1800, false},
};
const int kPhotoCount = sizeof(kPhotos) / sizeof(kPhotos[0]);

class Photos : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.MakeFolder("root");
    dir.MakeFolder("root/Camera");
    for (const PhotoCase& c : kPhotos) {
      JpegSampleOptions o;
      o.quadrants = true;
      o.quality = 95;
      o.width = c.width;
      o.height = c.height;
      o.orientation = c.orientation;
      const bool tall = c.height > c.width;
      // The first photo's preview is stored mirrored, so its thumbnail shows
      // that the preview, not the photo, was decoded.
      JpegSampleOptions previewOf = o;
      if (c.orientation == 1) previewOf.orientation = 2;
      if (c.preview) {
        ASSERT_EQ(JpegPreviewBytes(previewOf, tall ? 120 : 160, tall ? 160 : 120, &o.exifPreview), 1);
      }
      ASSERT_EQ(WriteJpegSample(dir.At(std::string("root/Camera/") + c.name).c_str(), o), 1);
      ASSERT_GT(ReadHostFile(dir.At(std::string("root/Camera/") + c.name)).size(), 1048576u);
    }
    // A 16:9 photo whose preview is 4:3 with bars, all black: it must not
    // stand in for the photo.
    JpegSampleOptions wide;
    wide.quadrants = true;
    wide.width = 1920;
    wide.height = 1080;
    wide.orientation = 1;
    JpegSampleOptions bars;
    bars.width = 160;
    bars.height = 120;
    bars.photoLike = false;
    bars.quality = 100;
    bars.components = 1;
    ASSERT_EQ(JpegSampleBytes(bars, &wide.exifPreview), 1);
    ASSERT_EQ(WriteJpegSample(dir.At("root/Camera/g_wide.jpg").c_str(), wide), 1);
    // A screenshot-sized PNG, and one in a folder whose name has ".jpg".
    WritePng("root/Camera/h_screen.png", 1920, 1080);
    dir.MakeFolder("root/Trip.jpg.d");
    WritePng("root/Trip.jpg.d/a.png", 400, 300);
  }

  void WritePng(const std::string& name, int w, int h) {
    std::vector<uint32_t> argb((size_t)w * h);
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        static const uint32_t kQuarters[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
        argb[(size_t)y * w + x] = kQuarters[(y * 2 >= h ? 2 : 0) + (x * 2 >= w ? 1 : 0)];
      }
    ASSERT_EQ(WriteRgbaPng(dir.At(name).c_str(), w, h, argb.data()), 1);
  }

  ToolRun Run(const std::string& script, std::vector<std::string> args) {
    args.push_back("\\Camera");
    return RunViewerScript(dir, script, args);
  }
  std::string Shot(const std::string& name) { return "shot " + dir.At(name) + "\n"; }
  Picture565 ReadShot(const std::string& name) { return ReadShotBmp(dir.At(name)); }
  TempDir dir;
};

TEST_F(Photos, ThumbnailsUprightOnlyWithPhotos) {
  // The grid (parent, then the pictures) after the worker is done.
  const std::string script = "idle\n" + Shot("grid.bmp");
  ToolRun plain = Run(script, {});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  Picture565 placeholder = ResourcePicture(105);
  Picture565 grid = ReadShot("grid.bmp");
  // Files over 1 MiB keep the placeholder.
  for (int i = 1; i <= kPhotoCount && i < 9; i++)
    EXPECT_EQ(CountDifferences(grid, TileX(i) - 32, TileY(i) - 32, placeholder, 0, 0, 64, 64), 0)
        << kPhotos[i - 1].name;

  ToolRun photos = Run(script, {"--photos"});
  ASSERT_EQ(photos.exitCode, 0) << photos.err;
  grid = ReadShot("grid.bmp");
  EXPECT_EQ(Quarters(grid, TileX(1), TileY(1), 8), "GRWB") << "the mirrored preview";
  for (int i = 2; i <= kPhotoCount; i++)
    EXPECT_EQ(Quarters(grid, TileX(i), TileY(i), 8), "RGBW") << kPhotos[i - 1].name;
  // The 16:9 photo came from the picture itself, not its black preview.
  EXPECT_EQ(Quarters(grid, TileX(7), TileY(7), 8), "RGBW") << "g_wide.jpg";
  EXPECT_EQ(Quarters(grid, TileX(8), TileY(8), 8), "RGBW") << "h_screen.png";
}

TEST_F(Photos, ViewerUprightFittedAndTurnedForTheScreen) {
  // Opens pictures by index in turn and shoots each; leaving the viewer
  // selects the picture's tile, so the keys move on from there.
  auto open = [&](std::vector<std::pair<int, std::string>> shots) {
    std::string keys = "idle\n";
    int at = 0;
    for (const auto& [index, shot] : shots) {
      for (; at < index; at++) keys += "key 27\n";
      for (; at > index; at--) keys += "key 25\n";
      keys += "key 0d\n" + Shot(shot) + "key 1b\n";
    }
    return keys;
  };
  const std::string script = open({{1, "upright.bmp"}, {3, "portrait6.bmp"}, {4, "portrait8.bmp"},
                                   {5, "mirrored.bmp"}, {8, "png.bmp"}});
  // Portrait screen: shown-portrait photos stand upright; landscape ones
  // turn a quarter anticlockwise (their top-right quarter to the top-left).
  ToolRun photos = Run(script, {"--photos"});
  ASSERT_EQ(photos.exitCode, 0) << photos.err;
  EXPECT_EQ(Quarters(ReadShot("upright.bmp"), 120, 150, 30), "GWRB");
  EXPECT_EQ(Quarters(ReadShot("portrait6.bmp"), 120, 150, 30), "RGBW");
  EXPECT_EQ(Quarters(ReadShot("portrait8.bmp"), 120, 150, 30), "RGBW");
  EXPECT_EQ(Quarters(ReadShot("mirrored.bmp"), 120, 150, 30), "GWRB");
  // The PNG screenshot, reduced and turned like a JPEG photo.
  EXPECT_EQ(Quarters(ReadShot("png.bmp"), 120, 150, 30), "GWRB");

  // Without --photos the PNG shows 1:1 from its top-left corner: all red.
  ToolRun plain = Run(script, {});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_EQ(Quarters(ReadShot("png.bmp"), 120, 150, 30), "RRRR");

  // A landscape screen turns nothing landscape, in both faces.
  ToolRun wide = Run(open({{6, "plain.bmp"}}), {"--screen", "320x240"});
  ASSERT_EQ(wide.exitCode, 0) << wide.err;
  EXPECT_EQ(Quarters(ReadShot("plain.bmp"), 160, 110, 30), "RGBW");
  wide = Run(open({{3, "portrait6.bmp"}, {1, "upright.bmp"}}), {"--photos", "--screen", "320x240"});
  ASSERT_EQ(wide.exitCode, 0) << wide.err;
  // A portrait photo turns on a landscape screen: its top-right to the top-left.
  EXPECT_EQ(Quarters(ReadShot("portrait6.bmp"), 160, 110, 30), "GWRB");
  EXPECT_EQ(Quarters(ReadShot("upright.bmp"), 160, 110, 30), "RGBW");
}

// Every orientation through the JPEG path, as a thumbnail and in the viewer
// (turned for the portrait screen, averaged 2 x 2 with mirrored axes).
TEST_F(Photos, AllEightOrientations) {
  dir.MakeFolder("root/Turns");
  std::string script = "idle\n" + Shot("turns.bmp");
  for (int orientation = 1; orientation <= 8; orientation++) {
    JpegSampleOptions o;
    o.quadrants = true;
    o.width = 640;
    o.height = 480;
    o.orientation = orientation;
    const std::string name = "root/Turns/o" + std::to_string(orientation) + ".jpg";
    ASSERT_EQ(WriteJpegSample(dir.At(name).c_str(), o), 1);
    script += "key 27\nkey 0d\n" + Shot("turn" + std::to_string(orientation) + ".bmp") + "key 1b\n";
  }
  ToolRun run = RunViewerScript(dir, script, {"--photos", "\\Turns"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  Picture565 grid = ReadShot("turns.bmp");
  for (int orientation = 1; orientation <= 8; orientation++) {
    SCOPED_TRACE("orientation " + std::to_string(orientation));
    EXPECT_EQ(Quarters(grid, TileX(orientation), TileY(orientation), 8), "RGBW");
    EXPECT_EQ(Quarters(ReadShot("turn" + std::to_string(orientation) + ".bmp"), 120, 150, 30),
              "GWRB");
  }
}

TEST_F(Photos, PngBelowAJpegNamedFolderAndLongLabels) {
  // A name of many lines, and a PNG in "Trip.jpg.d": both faces.
  dir.Write("root/Trip.jpg.d/a very long name that wraps over many many lines of its box.png",
            ReadHostFile(dir.At("root/Trip.jpg.d/a.png")));
  for (const char* face : {"", "--photos"}) {
    SCOPED_TRACE(face);
    std::vector<std::string> args;
    if (*face) args.push_back(face);
    args.push_back("\\Trip.jpg.d");
    ToolRun run = RunViewerScript(dir, "idle\n" + Shot("trip.bmp"), args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Picture565 shot = ReadShot("trip.bmp");
    // Tiles 1 (the long name) and 2 (a.png) have thumbnails of the quarters.
    EXPECT_EQ(Quarters(shot, TileX(1), TileY(1), 8), "RGBW");
    EXPECT_EQ(Quarters(shot, TileX(2), TileY(2), 8), "RGBW");
    // Nothing of the long label below its cell: the next row is white.
    EXPECT_EQ(CountWord(shot, 75, 120, 70, 95, 0xFFFF), 70 * 95);
  }
}

}  // namespace

namespace {

// Hostile EXIF blocks read as "nothing known" or within their bounds; a
// damaged preview leaves the thumbnail to the photo itself.
TEST(PhotosExif, HostileBlocksAndDamagedPreviews) {
  auto block = [](std::string tiff) { return std::string("Exif\0\0", 6) + tiff; };
  const std::string header("II*\0\x08\0\0\0", 8);
  struct Case {
    const char* label;
    std::string bytes;
    int orientation;
    size_t previewSize;
  };
  const Case cases[] = {
      {"empty", "", 1, 0},
      {"no Exif header", std::string("II*\0\x08\0\0\0", 8), 1, 0},
      {"header only", block(header), 1, 0},
      {"orientation 9", block(header + std::string("\x01\0\x12\x01\x03\0\x01\0\0\0\x09\0\0\0\0\0\0\0", 18)), 1, 0},
      {"orientation 6", block(header + std::string("\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 18)), 6, 0},
      // IFD1 whose preview lies far past the block's end.
      {"preview past the end",
       block(header + std::string("\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\x1a\0\0\0", 18) +
             std::string("\x02\0\x01\x02\x04\0\x01\0\0\0\0\0\x01\0\x02\x02\x04\0\x01\0\0\0\0\x10\0\0\0\0\0\0", 30)),
       6, 0},
      // An entry count of 65535 with nothing behind it.
      {"huge entry count", block(header + std::string("\xff\xff", 2)), 1, 0},
      {"IFD offset past the end", block(std::string("II*\0\xff\xff\xff\x7f", 8)), 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ExifFacts facts;
    ReadExifFacts((const BYTE*)c.bytes.data(), c.bytes.size(), &facts);
    EXPECT_EQ(facts.orientation, c.orientation);
    EXPECT_EQ(facts.previewSize, c.previewSize);
    FreeExifFacts(&facts);
  }

  TempDir dir;
  SetPhotosMode(true);
  JpegSampleOptions o;
  o.quadrants = true;
  o.width = 400;
  o.height = 300;
  o.orientation = 1;
  o.exifPreview = std::string("\xFF\xD8\xFF\xC0\0\x11\x08\0\x78\0\xa0", 11) + std::string(300, '\x55');
  ASSERT_EQ(WriteJpegSample(dir.At("damaged.jpg").c_str(), o), 1);
  HBITMAP thumbnail = LoadPicture(nullptr, L"\\damaged.jpg", 1, FIT_SCREEN_FINE);
  SetPhotosMode(false);
  ASSERT_NE(thumbnail, nullptr);
  BITMAP bm = {};
  GetObject(thumbnail, sizeof(bm), &bm);
  // The photo's own thumbnail: 400 x 300 at the library's 1/8.
  EXPECT_EQ(bm.bmWidth, 50);
  EXPECT_EQ(bm.bmHeight, 38);
  DeleteObject(thumbnail);
}

}  // namespace
