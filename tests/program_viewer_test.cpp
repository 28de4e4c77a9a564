// The picture viewer from outside: headless scripts open pictures, zoom,
// drag, step and run slide shows; their state lines and screenshots are
// checked against the placement rules, the pan limits and the buttons.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "samples/jpeg_samples.h"
#include "tests/support/run_tool.h"
#include "tests/support/screenshot.h"
#include "tests/support/state_line.h"
#include "tests/support/temp_dir.h"

namespace {

const uint16_t kBlack = 0x0000;

// a.bmp: 240 x 300, every pixel exact in RGB565 and none black.
const int kPatternW = 240, kPatternH = 300;
uint16_t Pattern(int x, int y) {
  return (uint16_t)(((x % 31 + 1) << 11) | ((y % 63 + 1) << 5) | ((x / 31 + y / 63) % 31 + 1));
}
uint32_t PatternRgb(int x, int y) {
  uint16_t w = Pattern(x, y);
  return (uint32_t)(((w >> 11) << 3) << 16 | (((w >> 5) & 63) << 2) << 8 | ((w & 31) << 3));
}

// A 24-bit BMP file whose pixel (x, y), top row first, is rgb(x, y) as 0xRRGGBB.
std::string Bmp24(int w, int h, const std::function<uint32_t(int, int)>& rgb) {
  const size_t row = ((size_t)w * 3 + 3) & ~(size_t)3;
  std::string f(54 + row * (size_t)h, '\0');
  auto put = [&](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) f[at + i] = (char)(v >> (8 * i));
  };
  f[0] = 'B';
  f[1] = 'M';
  put(2, (uint32_t)f.size(), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, (uint32_t)w, 4);
  put(22, (uint32_t)h, 4);
  put(26, 1, 2);
  put(28, 24, 2);
  put(34, (uint32_t)(row * (size_t)h), 4);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) put(54 + (size_t)(h - 1 - y) * row + (size_t)x * 3, rgb(x, y), 3);
  return f;
}

// The zoom rows as the user sees them: screen pixels : picture pixels.
const int kRows[10][2] = {{4, 1}, {2, 1}, {1, 1},  {1, 2},  {1, 4},
                          {1, 6}, {1, 8}, {1, 12}, {1, 16}, {1, 24}};

int NonBlack(const Picture565& shot, int x, int y, int w, int h) {
  return w * h - CountWord(shot, x, y, w, h, kBlack);
}

// Pixels of a screenful of a.bmp that are wrong: the picture scaled to
// dispW x dispH with its top-left at (x0, y0), seen from source pixel
// (panX, panY), black wherever no picture pixel lands. The bottom-right
// 40 x 20 corner belongs to the buttons and is left out unless withCorner.
int WrongPatternPixels(const Picture565& shot, int x0, int y0, int dispW, int dispH, int panX,
                       int panY, bool withCorner = false) {
  int wrong = 0;
  for (int y = 0; y < shot.height; y++)
    for (int x = 0; x < shot.width; x++) {
      if (!withCorner && x >= shot.width - 40 && y >= shot.height - 20) continue;
      int sx = panX + (x - x0) * kPatternW / dispW, sy = panY + (y - y0) * kPatternH / dispH;
      bool inside = x >= x0 && y >= y0 && sx < kPatternW && sy < kPatternH;
      wrong += shot.At(x, y) != (inside ? Pattern(sx, sy) : kBlack);
    }
  return wrong;
}

// The two buttons of a viewer without drag or slide show: the close cross
// (strip image 2) in the corner, the slide-show button (image 6) left of it.
bool TwoButtons(const Picture565& shot) {
  Picture565 strip = ResourcePicture(106);
  const int W = shot.width, H = shot.height;
  return CountDifferences(shot, W - 20, H - 20, strip, 0, 40, 20, 20) == 0 &&
         CountDifferences(shot, W - 40, H - 20, strip, 0, 120, 20, 20) == 0;
}

class ProgramViewer : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.MakeFolder("root");
    dir.MakeFolder("root/View");
    dir.MakeFolder("root/View/Sub");
    // Entries: .. 0, Sub 1, a 2, b 3, c 4 (not a picture), d 5 (1 x 1), e 6.
    dir.Write("root/View/a.bmp", Bmp24(kPatternW, kPatternH, PatternRgb));
    dir.Write("root/View/b.bmp", Bmp24(100, 80, [](int, int) { return 0xC86430u; }));
    dir.Write("root/View/c.jpg", std::string(300, 'x'));
    dir.Write("root/View/d.bmp", Bmp24(1, 1, [](int, int) { return 0xF8FCF8u; }));
    JpegSampleOptions o;
    o.width = 480;
    o.height = 640;
    ASSERT_EQ(WriteJpegSample(dir.At("root/View/e.jpg").c_str(), o), 1);
  }
  ToolRun Run(const std::string& script, std::vector<std::string> args = {}) {
    return RunViewerScript(dir, script, args);
  }
  std::string Shot(const std::string& name) { return "shot " + dir.At(name) + "\n"; }
  Picture565 Read(const std::string& name) { return ReadShotBmp(dir.At(name)); }
  TempDir dir;
};

TEST_F(ProgramViewer, EveryZoomRowPlacesThePictureAndItsBandsOnBothScreens) {
  const int screens[2][2] = {{240, 320}, {480, 640}};
  for (const auto& screen : screens) {
    const int W = screen[0], H = screen[1];
    const std::string size = std::to_string(W) + "x" + std::to_string(H);
    // Zoom in past row 0, then out row by row past row 9.
    std::string script = "idle\nkey 2b\nkey 2b\nkey 2b\nstate\n";
    for (int row = 0; row < 10; row++) script += Shot(size + "z" + std::to_string(row) + ".bmp") + "key 2d\n";
    script += "state\n";
    ToolRun run = Run(script, {"--screen", size, "\\View\\a.bmp"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ParseStateLines(run.out),
              (std::vector<UiStateLine>{
                  {.gridMode = 0, .selection = 2, .currentPicture = 2, .zoomIndex = 0,
                   .entryCount = 7, .folder = "\\View"},
                  {.gridMode = 0, .selection = 2, .currentPicture = 2, .zoomIndex = 9,
                   .entryCount = 7, .folder = "\\View"}}))
        << size;
    for (int row = 0; row < 10; row++) {
      Picture565 shot = Read(size + "z" + std::to_string(row) + ".bmp");
      ASSERT_EQ(shot.width, W);
      const int n = kRows[row][0], d = kRows[row][1];
      const int dispW = kPatternW * n / d, dispH = kPatternH * n / d;
      const int x0 = std::max(0, (W - dispW) / 2), y0 = std::max(0, (H - dispH - 20) / 2);
      EXPECT_EQ(WrongPatternPixels(shot, x0, y0, dispW, dispH, 0, 0), 0) << size << " row " << row;
      EXPECT_TRUE(TwoButtons(shot)) << size << " row " << row;
    }
  }
  // The small screen's rows named one by one: x1 at (0, 0) over a black
  // strip; x4 and x2 fill the screen; 1/2 at (60, 75) inside black bands.
  Picture565 one = Read("240x320z2.bmp");
  EXPECT_EQ(one.At(0, 0), Pattern(0, 0));
  EXPECT_EQ(one.At(239, 299), Pattern(239, 299));
  EXPECT_EQ(CountWord(one, 0, 300, 200, 20, kBlack), 200 * 20);
  Picture565 half = Read("240x320z3.bmp");
  EXPECT_EQ(half.At(60, 75), Pattern(0, 0));
  EXPECT_EQ(half.At(179, 224), Pattern(238, 298));
  EXPECT_EQ(NonBlack(half, 0, 0, 240, 300), 120 * 150);
  EXPECT_EQ(Read("240x320z0.bmp").At(239, 299), Pattern(59, 74));
}

TEST_F(ProgramViewer, DraggingStopsAtTheLimitsAndTheCornerStartsNoDrag) {
  ToolRun run = Run(
      "key 2b\nkey 2b\n"
      // x4: the drag stops at limY 300 - 320 / 4 = 220, limX 240 - 60.
      "press 199 299\nmove 0 0\nstate\n" + Shot("drag.bmp") + "release 0 0\nstate\n" +
      Shot("dropped.bmp") +
      // x2: the paint clamps to 150 on H - 20, the drag to 140 on H.
      "key 2d\nstate\npress 199 299\nmove 0 0\nstate\nrelease 0 0\n"
      // x1: the whole picture fits; the drag takes the offsets to 0.
      "key 2d\nstate\npress 199 299\nmove 0 0\nstate\nrelease 0 0\n"
      // x4 again: to the far corner, then past the top-left edge; the end
      // of a drag in the button corner presses no button.
      "key 2b\nkey 2b\npress 199 299\nmove 0 0\nrelease 0 0\n"
      "press 10 10\nmove 239 310\nstate\nrelease 239 310\nstate\n"
      // A press in the corner drags nothing; its release is the button.
      "press 205 305\nmove 0 0\nstate\nrelease 205 305\nstate\n",
      {"\\View\\a.bmp"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<UiStateLine> expected = {
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .zoomIndex = 0, .panX = 180, .panY = 220,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .zoomIndex = 0, .panX = 180, .panY = 220,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .zoomIndex = 1, .panX = 120, .panY = 150,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .zoomIndex = 1, .panX = 120, .panY = 140,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .panX = 120, .panY = 140,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .zoomIndex = 0,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .zoomIndex = 0,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .zoomIndex = 0,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .zoomIndex = 0, .slideShow = 1,
       .entryCount = 7, .folder = "\\View"},
  };
  EXPECT_EQ(ParseStateLines(run.out), expected);
  // During the drag the 60 x 80 source at (180, 220) covers the whole
  // screen, corner included: no buttons. Its end repaints with them.
  Picture565 drag = Read("drag.bmp"), dropped = Read("dropped.bmp");
  EXPECT_EQ(WrongPatternPixels(drag, 0, 0, 960, 1200, 180, 220, true), 0);
  EXPECT_EQ(WrongPatternPixels(dropped, 0, 0, 960, 1200, 180, 220), 0);
  EXPECT_TRUE(TwoButtons(dropped));
}

TEST_F(ProgramViewer, ButtonsStepsAndASlideShowThatWraps) {
  std::string script = Shot("normal.bmp") +
                       // Previous at the first picture stops before the folder.
                       "key 26\nkey 25\nstate\n"
                       // The slide-show button; 16 ticks per advance.
                       "tap 210 310\nstate\n" + Shot("show.bmp") + "wait 3750\nstate\nwait 250\nstate\n" +
                       Shot("b.bmp") + "wait 4000\nstate\n" + Shot("bad.bmp") + "wait 4000\n" +
                       Shot("one.bmp") + "wait 4000\nwait 4000\nstate\n" + Shot("wrap.bmp") +
                       // The single button stops the show; the viewer stays.
                       "tap 230 310\nstate\n" + Shot("stopped.bmp") +
                       // Next at the last picture; Enter leaves.
                       "key 28\nkey 28\nkey 28\nkey 28\nkey 28\nkey 27\nstate\nkey 0d\nstate\n";
  ToolRun run = Run(script, {"\\View\\a.bmp"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<UiStateLine> expected = {
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .slideShow = 1,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .slideShow = 1,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 3, .slideShow = 1,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 4, .slideShow = 1,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .slideShow = 1,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 2, .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 2, .currentPicture = 6, .entryCount = 7, .folder = "\\View"},
      {.selection = 6, .currentPicture = 6, .entryCount = 7, .folder = "\\View"},
  };
  EXPECT_EQ(ParseStateLines(run.out), expected);

  Picture565 strip = ResourcePicture(106);
  Picture565 normal = Read("normal.bmp");
  EXPECT_EQ(WrongPatternPixels(normal, 0, 0, 240, 300, 0, 0), 0);
  EXPECT_TRUE(TwoButtons(normal));
  // Slide show: only its button, in the corner.
  Picture565 show = Read("show.bmp");
  EXPECT_EQ(CountDifferences(show, 220, 300, strip, 0, 120, 20, 20), 0);
  EXPECT_EQ(CountWord(show, 0, 300, 220, 20, kBlack), 220 * 20);
  // b.bmp, 100 x 80, centred above the strip.
  Picture565 b = Read("b.bmp");
  EXPECT_EQ(NonBlack(b, 70, 110, 100, 80), 100 * 80);
  EXPECT_EQ(NonBlack(b, 0, 0, 220, 320), 100 * 80);
  // The file that cannot be decoded: black, with the button.
  Picture565 bad = Read("bad.bmp");
  EXPECT_EQ(CountWord(bad, 0, 0, 240, 300, kBlack), 240 * 300);
  EXPECT_EQ(CountWord(bad, 0, 300, 220, 20, kBlack), 220 * 20);
  EXPECT_EQ(CountDifferences(bad, 220, 300, strip, 0, 120, 20, 20), 0);
  // 1 x 1 at ((240 - 1) / 2, (320 - 1 - 20) / 2).
  Picture565 one = Read("one.bmp");
  EXPECT_EQ(one.At(119, 149), 0xFFFF);
  EXPECT_EQ(NonBlack(one, 0, 0, 220, 320), 1);
  // The wrap shows the first picture again; stopping brings both buttons.
  EXPECT_EQ(WrongPatternPixels(Read("wrap.bmp"), 0, 0, 240, 300, 0, 0), 0);
  Picture565 stopped = Read("stopped.bmp");
  EXPECT_EQ(CountDifferences(stopped, 0, 0, normal, 0, 0, 240, 320), 0);
}

TEST_F(ProgramViewer, DecodeModeKeyDecodesAgainAndNeedsAPicture) {
  ToolRun run = Run(
      // In the grid currentPicture is 0, the parent entry: nothing happens.
      "key c1\nstate\n"
      "key 27\nkey 27\nkey 27\nkey 27\nkey 27\nkey 27\nkey 0d\nkey 2d\nstate\n"
      "key c1\nstate\n" + Shot("mode0.bmp") + "key c1\nstate\n" + Shot("mode1.bmp") +
      "key c1\nstate\n" + Shot("mode2.bmp") +
      // From the grid it opens the viewer on the picture, zoom kept.
      "key 1b\nkey 2d\nstate\nkey c1\nstate\n",
      {"\\View"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<UiStateLine> expected = {
      {.selection = 0, .currentPicture = 0, .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 6, .currentPicture = 6, .zoomIndex = 3,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 6, .currentPicture = 6, .zoomIndex = 3, .decodeMode = 0,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 6, .currentPicture = 6, .zoomIndex = 3, .decodeMode = 1,
       .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 6, .currentPicture = 6, .zoomIndex = 3,
       .entryCount = 7, .folder = "\\View"},
      {.selection = 6, .currentPicture = 6, .zoomIndex = 4, .entryCount = 7, .folder = "\\View"},
      {.gridMode = 0, .selection = 6, .currentPicture = 6, .zoomIndex = 4, .decodeMode = 0,
       .entryCount = 7, .folder = "\\View"},
  };
  EXPECT_EQ(ParseStateLines(run.out), expected);
  // Mode 0 keeps 480 x 640, which at 1/2 fills the screen; modes 1 and 2
  // fit the screen, 120 x 160 at (60, 70) at 1/2, each from its own decode.
  Picture565 m0 = Read("mode0.bmp"), m1 = Read("mode1.bmp"), m2 = Read("mode2.bmp");
  EXPECT_GT(NonBlack(m0, 0, 0, 60, 320), 60 * 320 * 9 / 10);
  for (const Picture565* m : {&m1, &m2}) {
    EXPECT_EQ(NonBlack(*m, 0, 0, 60, 320), 0);
    EXPECT_EQ(NonBlack(*m, 0, 0, 240, 70), 0);
    EXPECT_GT(NonBlack(*m, 60, 70, 120, 160), 120 * 160 * 9 / 10);
    EXPECT_TRUE(TwoButtons(*m));
  }
  EXPECT_GT(CountDifferences(m1, 60, 70, m2, 60, 70, 120, 160), 0);
}

TEST_F(ProgramViewer, AVeryWidePictureAPathTooLongAndAFarTile) {
  dir.MakeFolder("root/Odd");
  dir.Write("root/Odd/f.bmp", Bmp24(10000, 200, [](int, int) { return 0x3080C0u; }));
  // The platform decoder keeps it within 5120 wide: 5120 x 102, centred in
  // the height above the strip at y 99; the pan runs along its width.
  ToolRun wide = Run(Shot("wide.bmp") + "press 150 150\nmove 0 150\nrelease 0 150\nstate\n" +
                         "key 2d\nkey 2d\nkey 2d\nkey 2d\nkey 2d\nkey 2d\nkey 2d\n" + Shot("tiny.bmp"),
                     {"\\Odd\\f.bmp"});
  ASSERT_EQ(wide.exitCode, 0) << wide.err;
  EXPECT_EQ(ParseStateLines(wide.out),
            (std::vector<UiStateLine>{{.gridMode = 0, .selection = 1, .currentPicture = 1,
                                       .panX = 150, .entryCount = 2, .folder = "\\Odd"}}));
  Picture565 shot = Read("wide.bmp");
  EXPECT_EQ(NonBlack(shot, 0, 0, 240, 99), 0);
  EXPECT_EQ(NonBlack(shot, 0, 99, 240, 102), 240 * 102);
  EXPECT_EQ(NonBlack(shot, 0, 201, 200, 119), 0);
  EXPECT_TRUE(TwoButtons(shot));
  // At 1/24: 213 x 4 at (13, 148).
  Picture565 tiny = Read("tiny.bmp");
  EXPECT_EQ(NonBlack(tiny, 13, 148, 213, 4), 213 * 4);
  EXPECT_EQ(NonBlack(tiny, 0, 0, 200, 320), 187 * 4);

  // A picture whose path would pass 511 characters opens black, never
  // under a cut name; keys still act.
  const std::string outer(250, 'o'), inner(245, 'i');
  dir.MakeFolder("root/" + outer);
  dir.MakeFolder("root/" + outer + "/" + inner);
  const std::string folder = "root/" + outer + "/" + inner;
  dir.Write(folder + "/a-picture-name-too-far.bmp", Bmp24(8, 8, [](int, int) { return 0xFFFFFFu; }));
  ToolRun deep = Run("key 27\nkey 0d\nstate\n" + Shot("deep.bmp") + "key 28\nkey 1b\nstate\n",
                     {"\\" + outer + "\\" + inner});
  ASSERT_EQ(deep.exitCode, 0) << deep.err;
  const std::string where = "\\" + outer + "\\" + inner;
  EXPECT_EQ(ParseStateLines(deep.out),
            (std::vector<UiStateLine>{
                {.gridMode = 0, .selection = 1, .currentPicture = 1, .entryCount = 2, .folder = where},
                {.selection = 1, .currentPicture = 1, .entryCount = 2, .folder = where}}));
  Picture565 black = Read("deep.bmp");
  EXPECT_EQ(NonBlack(black, 0, 0, 200, 320), 0);
  EXPECT_TRUE(TwoButtons(black));

  // Leaving from a picture past the first page brings its row on screen.
  dir.MakeFolder("root/Many");
  for (int i = 0; i < 12; i++)
    dir.Write("root/Many/p" + std::to_string(10 + i) + ".bmp", ReadHostFile(dir.At("root/View/b.bmp")));
  ToolRun many = Run("key 1b\nstate\n", {"\\Many\\p21.bmp"});
  ASSERT_EQ(many.exitCode, 0) << many.err;
  EXPECT_EQ(ParseStateLines(many.out),
            (std::vector<UiStateLine>{{.selection = 12, .firstVisible = 6, .currentPicture = 12,
                                       .entryCount = 13, .folder = "\\Many"}}));
}

}  // namespace
