// The program from outside: headless scripts drive the folder grid, and
// their state lines and screenshots are checked against the layout rules
// and the resource bitmaps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "samples/jpeg_samples.h"
#include "tests/support/run_tool.h"
#include "tests/support/screenshot.h"
#include "tests/support/state_line.h"
#include "tests/support/temp_dir.h"

namespace {

const uint16_t kBlack = 0x0000, kWhite = 0xFFFF;
const uint16_t kNavy = 0x0010;  // RGB(0, 0, 128), the label colour

class ProgramGrid : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.MakeFolder("root");
    dir.MakeFolder("root/Empty");
    dir.MakeFolder("root/Pictures");
    dir.MakeFolder("root/Pictures/Trips");
    dir.MakeFolder("root/Pictures/Tom & Jerry");
    dir.Write("root/notes.txt", "not a picture");
    JpegSampleOptions o;
    o.width = 120;
    o.height = 90;
    for (int i = 0; i < 10; i++) {
      o.seed = (unsigned)i + 1;
      std::string name = "root/Pictures/p0" + std::to_string(i) + ".jpg";
      ASSERT_EQ(WriteJpegSample(dir.At(name).c_str(), o), 1);
    }
  }
  // Runs the viewer headless with script; args come before the script.
  ToolRun Run(const std::string& script, std::vector<std::string> args = {}) {
    return RunViewerScript(dir, script, args);
  }
  std::string Shot(const std::string& name) { return "shot " + dir.At(name) + "\n"; }
  TempDir dir;
};

TEST_F(ProgramGrid, BrowsingScrollingAndQuittingOnTheSmallScreen) {
  ToolRun run = Run(
      "idle\nstate\n"
      "tap 110 60\nidle\n" + Shot("entered.bmp") + "state\n"
      "key 28\nkey 28\nkey 28\nstate\n" + Shot("scrolled.bmp") +
      "key 26\nkey 26\nkey 26\nkey 26\nstate\n"
      // Holding the down arrow: a row per 250 ms tick; its release adds none
      // once the page is past the end.
      "press 230 310\nwait 1000\nrelease 230 310\nstate\n"
      // Dragging the thumb up runs the list to the top; the selection stays.
      "press 230 100\nrelease 230 100\nstate\n"
      // A key repeat of Enter opens nothing; the close cross quits.
      "key 0d repeat\nstate\ntap 230 5\nstate\n");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<UiStateLine> states = ParseStateLines(run.out);
  ASSERT_EQ(states.size(), 7u) << run.out;
  EXPECT_EQ(states[0], (UiStateLine{.entryCount = 2, .folder = ""}));
  EXPECT_EQ(states[1], (UiStateLine{.entryCount = 13, .folder = "\\Pictures"}));
  EXPECT_EQ(states[2],
            (UiStateLine{.selection = 9, .firstVisible = 3, .entryCount = 13, .folder = "\\Pictures"}));
  EXPECT_EQ(states[3], (UiStateLine{.entryCount = 13, .folder = "\\Pictures"}));
  EXPECT_EQ(states[4],
            (UiStateLine{.selection = 12, .firstVisible = 6, .entryCount = 13, .folder = "\\Pictures"}));
  EXPECT_EQ(states[5], (UiStateLine{.selection = 12, .entryCount = 13, .folder = "\\Pictures"}));
  EXPECT_EQ(states[6], states[5]);
  // The folder opened is remembered: the next start lists it.
  ToolRun again = Run("idle\nstate\n");
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(ParseStateLines(again.out),
            (std::vector<UiStateLine>{{.entryCount = 13, .folder = "\\Pictures"}}));

  Picture565 shot = ReadShotBmp(dir.At("entered.bmp"));
  ASSERT_EQ(shot.width, 240);
  ASSERT_EQ(shot.height, 320);
  Picture565 strip = ResourcePicture(106), bar = ResourcePicture(107);
  // Tiles: the selected parent, two folders, then pictures with thumbnails.
  EXPECT_EQ(CountDifferences(shot, 5, 25, ResourcePicture(114), 0, 0, 64, 64), 0);
  EXPECT_EQ(CountDifferences(shot, 75, 25, ResourcePicture(104), 0, 0, 64, 64), 0);
  EXPECT_EQ(CountDifferences(shot, 145, 25, ResourcePicture(104), 0, 0, 64, 64), 0);
  Picture565 frame = ResourcePicture(111);
  for (int tile = 3; tile < 9; tile++) {
    int x = 5 + 70 * (tile % 3), y = 25 + 95 * (tile / 3);
    // The frame's edge is 111 unchanged; a 120 x 90 thumbnail leaves black
    // bands above and below it in the well, and fills its middle.
    EXPECT_EQ(CountDifferences(shot, x, y, frame, 0, 0, 64, 5), 0) << tile;
    EXPECT_EQ(CountDifferences(shot, x, y + 59, frame, 0, 59, 64, 5), 0) << tile;
    EXPECT_EQ(CountWord(shot, x + 5, y + 5, 54, 4, kBlack), 54 * 4) << tile;
    EXPECT_LT(CountWord(shot, x + 5, y + 25, 54, 14, kBlack), 54 * 14 / 4) << tile;
  }
  // The fourth row shows only its top 10 pixels.
  EXPECT_EQ(CountDifferences(shot, 5, 310, frame, 0, 0, 64, 5), 0);
  // Labels in navy under the folders; the parent's label is empty.
  EXPECT_GT(CountWord(shot, 75, 92, 69, 14, kNavy), 5);
  EXPECT_EQ(CountWord(shot, 0, 92, 70, 14, kNavy), 0);
  // Title bar: the edges of 107 unchanged, its middle stretched; the folder
  // written on it.
  EXPECT_EQ(CountDifferences(shot, 0, 0, bar, 0, 0, 2, 20), 0);
  EXPECT_EQ(CountDifferences(shot, 218, 0, bar, 18, 0, 2, 20), 0);
  for (int x = 2; x < 218; x += 9)
    EXPECT_EQ(CountDifferences(shot, x, 0, bar, 2 + (x - 2) * 16 / 216, 0, 1, 2), 0) << x;
  EXPECT_GT(CountWord(shot, 5, 2, 100, 16, kNavy), 5);
  // Toolbar: the close cross, both arrows and the thumb at the top.
  EXPECT_EQ(CountDifferences(shot, 220, 0, strip, 0, 40, 20, 20), 0);
  EXPECT_EQ(CountDifferences(shot, 220, 20, strip, 0, 0, 20, 20), 0);
  EXPECT_EQ(CountDifferences(shot, 220, 300, strip, 0, 20, 20, 20), 0);
  EXPECT_EQ(CountDifferences(shot, 220, 40, ResourcePicture(110), 0, 0, 20, 20), 0);
  EXPECT_EQ(CountWord(shot, 220, 60, 20, 240, kWhite), 20 * 240);

  // Three rows down: the selected picture has the red frame, and with 13
  // entries D = 5, so the thumb of row 1 sits at 40 + 240 * 3 / 5.
  Picture565 scrolled = ReadShotBmp(dir.At("scrolled.bmp"));
  EXPECT_EQ(CountDifferences(scrolled, 5, 215, ResourcePicture(113), 0, 0, 64, 5), 0);
  EXPECT_EQ(CountDifferences(scrolled, 220, 184, ResourcePicture(110), 0, 0, 20, 20), 0);
  EXPECT_EQ(CountWord(scrolled, 220, 40, 20, 144, kWhite), 20 * 144);
}

TEST_F(ProgramGrid, LargeScreenAndAFolderOnTheCommandLine) {
  // A folder on the command line: its parent is listed and it is entered as
  // if tapped, which remembers it.
  ToolRun run = Run("idle\n" + Shot("large.bmp") + "state\n", {"--screen", "480x640", "\\Pictures"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ParseStateLines(run.out),
            (std::vector<UiStateLine>{{.entryCount = 13, .folder = "\\Pictures"}}));
  EXPECT_NE(ReadHostFile(dir.At("registry.reg")).find("Pictures"), std::string::npos);
  Picture565 shot = ReadShotBmp(dir.At("large.bmp"));
  ASSERT_EQ(shot.width, 480);
  // Six columns: tile 5 ends the first row, tile 6 starts the second.
  Picture565 frame = ResourcePicture(111);
  EXPECT_EQ(CountDifferences(shot, 355, 25, frame, 0, 0, 64, 5), 0);
  EXPECT_EQ(CountDifferences(shot, 5, 120, frame, 0, 0, 64, 5), 0);
  // 13 entries fit the page: no arrows, no thumb.
  EXPECT_EQ(CountDifferences(shot, 460, 0, ResourcePicture(106), 0, 40, 20, 20), 0);
  EXPECT_EQ(CountWord(shot, 460, 20, 20, 620, kWhite), 20 * 620);
  EXPECT_EQ(CountDifferences(shot, 458, 0, ResourcePicture(107), 18, 0, 2, 20), 0);
}

TEST_F(ProgramGrid, StartPathsThatCannotBeUsedListTheRootAndTouchNoSettings) {
  const char* paths[] = {"\\Missing\\Pictures", "\\Missing\\p00.jpg", "\"\\Pictures\"",
                         "/definitely/outside/the/root"};
  for (const char* path : paths) {
    ToolRun run = Run("idle\nstate\n", {path});
    ASSERT_EQ(run.exitCode, 0) << path << run.err;
    EXPECT_EQ(ParseStateLines(run.out), (std::vector<UiStateLine>{{.entryCount = 2, .folder = ""}}))
        << path;
    EXPECT_EQ(ReadHostFile(dir.At("registry.reg")), "") << path;
  }
  std::string longPath = "\\" + std::string(600, 'a');
  ToolRun run = Run("state\n", {longPath});
  EXPECT_EQ(ParseStateLines(run.out), (std::vector<UiStateLine>{{.entryCount = 2, .folder = ""}}));
}

TEST_F(ProgramGrid, BadScriptsAndScreensAreRefused) {
  ToolRun bad = Run("idle\nstate\ntap 10\n");
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.err.find("line 3"), std::string::npos) << bad.err;
  EXPECT_EQ(bad.out, "");  // nothing ran
  ToolRun tiny = Run("state\n", {"--screen", "89x120"});
  EXPECT_EQ(tiny.exitCode, 2);
  EXPECT_EQ(Run("state\n", {"--screen", "90x120"}).exitCode, 0);
}

}  // namespace

namespace {

std::string Repeat(const std::string& line, int times) {
  std::string out;
  for (int i = 0; i < times; i++) out += line;
  return out;
}

TEST_F(ProgramGrid, AFullFolderScrolledToTheEndAndBack) {
  // 509 pictures and the parent: the list's limit of 510 entries.
  dir.MakeFolder("root/Many");
  JpegSampleOptions o;
  o.width = 16;
  o.height = 16;
  ASSERT_EQ(WriteJpegSample(dir.At("root/Many/p000.jpg").c_str(), o), 1);
  for (int i = 1; i < 509; i++) {
    char name[32];
    snprintf(name, sizeof name, "root/Many/p%03d.jpg", i);
    dir.Write(name, ReadHostFile(dir.At("root/Many/p000.jpg")));
  }
  ToolRun run = Run("idle\n" + Repeat("key 28\n", 170) + "state\n" + Shot("end.bmp") +
                        // The thumb pressed near the top runs the list up by
                        // at most 50 rows a step, at the press and each tick,
                        // until its centre is near the stylus.
                        "press 230 45\nwait 1000\nrelease 230 45\nstate\n" +
                        Repeat("key 26\n", 170) + "state\n",
                    {"\\Many"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<UiStateLine> states = ParseStateLines(run.out);
  ASSERT_EQ(states.size(), 3u) << run.out;
  EXPECT_EQ(states[0],
            (UiStateLine{.selection = 509, .firstVisible = 501, .entryCount = 510, .folder = "\\Many"}));
  EXPECT_EQ(states[1],
            (UiStateLine{.selection = 509, .firstVisible = 12, .entryCount = 510, .folder = "\\Many"}));
  EXPECT_EQ(states[2], (UiStateLine{.entryCount = 510, .folder = "\\Many"}));
  // At the end: the thumb at the bottom of its track, the last entry
  // selected in the last full row, nothing below it.
  Picture565 end = ReadShotBmp(dir.At("end.bmp"));
  EXPECT_EQ(CountDifferences(end, 220, 280, ResourcePicture(110), 0, 0, 20, 20), 0);
  EXPECT_EQ(CountDifferences(end, 145, 215, ResourcePicture(113), 0, 0, 64, 5), 0);
  EXPECT_EQ(CountWord(end, 0, 310, 220, 10, kWhite), 220 * 10);
}

}  // namespace
