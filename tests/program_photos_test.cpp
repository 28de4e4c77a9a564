// The folder grid with --photos, from outside: natural order, the mark of a
// picture that gave no thumbnail, and a folder cut at 100,000 entries with
// its title, listed by korvane-list and browsed to its end headless.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "browser/entry_list.h"
#include "samples/jpeg_samples.h"
#include "tests/support/run_tool.h"
#include "tests/support/screenshot.h"
#include "tests/support/state_line.h"
#include "tests/support/temp_dir.h"

namespace {

const uint16_t kRed = 0xF800, kWhite = 0xFFFF;
// The mark's square inside a 64 x 64 tile.
const int kMarkLeft = 45, kMarkTop = 45, kMarkSize = 11;

// Title bar pixels from x on that differ from the bar's plain middle (its
// columns are alike, 217 is the last): the text drawn there.
int TitleTextPixels(const Picture565& shot, int x) {
  int count = 0;
  for (int y = 2; y < 18; y++)
    for (int i = x; i < 217; i++) count += shot.At(i, y) != shot.At(217, y);
  return count;
}

class ProgramPhotos : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.MakeFolder("root");
    dir.MakeFolder("root/Few");
    JpegSampleOptions o;
    o.width = 120;
    o.height = 90;
    ASSERT_EQ(WriteJpegSample(dir.At("root/Few/a1.jpg").c_str(), o), 1);
    ASSERT_EQ(WriteJpegSample(dir.At("root/Few/a10.jpg").c_str(), o), 1);
    dir.Write("root/Few/a2.jpg", "not a picture");
  }
  ToolRun Run(const std::string& script, std::vector<std::string> args) {
    return RunViewerScript(dir, script, args);
  }
  std::string Shot(const std::string& name) { return "shot " + dir.At(name) + "\n"; }
  TempDir dir;
};

TEST_F(ProgramPhotos, NaturalOrderAndTheMarkOfAFailedThumbnail) {
  ToolRun photos = Run("idle\nstate\n" + Shot("photos.bmp"), {"--photos", "\\Few"});
  ASSERT_EQ(photos.exitCode, 0) << photos.err;
  EXPECT_EQ(ParseStateLines(photos.out),
            (std::vector<UiStateLine>{{.entryCount = 4, .folder = "\\Few"}}));
  ToolRun plain = Run("idle\nstate\n" + Shot("plain.bmp"), {"\\Few"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_EQ(ParseStateLines(plain.out),
            (std::vector<UiStateLine>{{.entryCount = 4, .folder = "\\Few"}}));

  Picture565 shot = ReadShotBmp(dir.At("photos.bmp"));
  Picture565 placeholder = ResourcePicture(105);
  // a1, a2, a10: the damaged a2 is the third tile. Its placeholder is 105
  // but for the mark: a red cross on white in the bottom right corner.
  const int x = 145, y = 25;
  EXPECT_EQ(CountDifferences(shot, x, y, placeholder, 0, 0, 64, kMarkTop), 0);
  EXPECT_EQ(CountDifferences(shot, x, y, placeholder, 0, 0, kMarkLeft, 64), 0);
  EXPECT_EQ(CountDifferences(shot, x + 56, y + 45, placeholder, 56, 45, 8, 19), 0);
  const int red = CountWord(shot, x + kMarkLeft, y + kMarkTop, kMarkSize, kMarkSize, kRed);
  const int white = CountWord(shot, x + kMarkLeft, y + kMarkTop, kMarkSize, kMarkSize, kWhite);
  EXPECT_GE(red, 24);
  EXPECT_EQ(red + white, kMarkSize * kMarkSize);
  // The thumbnails beside it carry no mark.
  EXPECT_EQ(CountWord(shot, 75 + kMarkLeft, y + kMarkTop, kMarkSize, kMarkSize, kRed), 0);
  EXPECT_EQ(CountWord(shot, 5 + kMarkLeft, 120 + kMarkTop, kMarkSize, kMarkSize, kRed), 0);

  // Without --photos: a1, a10, a2, and a2's tile exactly as the handheld drew it.
  Picture565 old = ReadShotBmp(dir.At("plain.bmp"));
  EXPECT_EQ(CountDifferences(old, 5, 120, placeholder, 0, 0, 64, 64), 0);
  EXPECT_EQ(CountDifferences(old, 145, 25, ResourcePicture(111), 0, 0, 64, 5), 0);
  // A short path leaves the title bar clear past x = 40.
  EXPECT_EQ(TitleTextPixels(shot, 40), 0);
  EXPECT_GT(TitleTextPixels(shot, 5), 20);
}

TEST_F(ProgramPhotos, AFolderPastTheLimitKeepsTheFirstInNameOrder) {
  // 100,003 pictures and two folders: the folders and the first 99,998
  // pictures by number make the 100,000.
  dir.MakeFolder("root/Big");
  dir.MakeFolder("root/Big/f10");
  dir.MakeFolder("root/Big/f9");
  const int pictures = kPhotosEntryLimit + 3;
  for (int i = pictures; i >= 1; i--) {
    int fd = open(dir.At("root/Big/p" + std::to_string(i) + ".jpg").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
  }
  ToolRun list = RunTool("korvane-list", {"--root", dir.At("root"), "--photos", "\\Big"}, dir.path());
  ASSERT_EQ(list.exitCode, 0) << list.err;
  std::vector<std::string> lines = Lines(list.out);
  ASSERT_EQ(lines.size(), (size_t)kPhotosEntryLimit + 2);
  EXPECT_EQ(lines[0], "result 1 generation 2 count 100001");
  EXPECT_EQ(lines[1], "0\tfolder\t..\t");
  EXPECT_EQ(lines[2], "1\tfolder\tf9\tf9");
  EXPECT_EQ(lines[3], "2\tfolder\tf10\tf10");
  EXPECT_EQ(lines[4], "3\tpicture\tp1.jpg\tp1");
  EXPECT_EQ(lines.back(), "100000\tpicture\tp99998.jpg\tp99998");
  ToolRun old = RunTool("korvane-list", {"--root", dir.At("root"), "\\Big"}, dir.path());
  EXPECT_EQ(Lines(old.out)[0], "result 1 generation 2 count 510");

  // Headless: the title says the folder was cut; the thumb dragged to the
  // bottom of its track reaches the end in a few steps, and the worker
  // follows it there (empty files: every tile gets the mark).
  ToolRun run = Run("state\n" + Shot("top.bmp") +
                        "press 230 299\nwait 3000\nrelease 230 299\nidle\nstate\n" + Shot("end.bmp"),
                    {"--photos", "\\Big"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<UiStateLine> states = ParseStateLines(run.out);
  ASSERT_EQ(states.size(), 2u) << run.out;
  EXPECT_EQ(states[0], (UiStateLine{.entryCount = 100001, .folder = "\\Big"}));
  EXPECT_EQ(states[1].gridMode, 1) << states[1];
  EXPECT_EQ(states[1].selection, 0) << states[1];
  EXPECT_GT(states[1].firstVisible, 99000);
  EXPECT_EQ(states[1].firstVisible % 3, 0);
  Picture565 top = ReadShotBmp(dir.At("top.bmp"));
  EXPECT_GT(TitleTextPixels(top, 40), 200);  // "\Big (first 100000 of 100005)"
  Picture565 end = ReadShotBmp(dir.At("end.bmp"));
  for (int tile = 0; tile < 9; tile++) {
    int x = 5 + 70 * (tile % 3), y = 25 + 95 * (tile / 3);
    EXPECT_GE(CountWord(end, x + kMarkLeft, y + kMarkTop, kMarkSize, kMarkSize, kRed), 24) << tile;
  }
}

}  // namespace
