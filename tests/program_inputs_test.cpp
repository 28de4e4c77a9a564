// Inputs beyond the handheld's, from outside: the wheel, Page Up/Down,
// Home/End and Backspace in the grid and the viewer, the help page, the
// slide show started from the command line, the first start in the
// pictures folder with --photos, and screens turned onto their panels.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "samples/jpeg_samples.h"
#include "tests/support/run_tool.h"
#include "tests/support/screenshot.h"
#include "tests/support/state_line.h"
#include "tests/support/temp_dir.h"
#include "tests/support/viewer_child.h"

namespace {

const uint16_t kNavy = 0x0010, kBlack = 0x0000, kWhite = 0xFFFF;
const int kPictures = 20;  // \Pics: the parent, then p10 ... p29

class ProgramInputs : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.MakeFolder("root");
    dir.MakeFolder("root/Pics");
    JpegSampleOptions o;
    o.width = 48;
    o.height = 36;
    for (int i = 0; i < kPictures; i++) {
      o.seed = (unsigned)i + 1;
      std::string name = "root/Pics/p" + std::to_string(10 + i) + ".jpg";
      ASSERT_EQ(WriteJpegSample(dir.At(name).c_str(), o), 1);
    }
    // \Few: the parent and 8 pictures fill the full rows of a page, so
    // every thumbnail shows once the worker is done (one arriving for the
    // partly shown row repaints nothing, as on the handheld).
    dir.MakeFolder("root/Few");
    for (int i = 0; i < 8; i++) {
      std::string name = "/p" + std::to_string(10 + i) + ".jpg";
      dir.Write("root/Few" + name, ReadHostFile(dir.At("root/Pics" + name)));
    }
  }
  std::vector<UiStateLine> States(const std::string& script, std::vector<std::string> args) {
    ToolRun run = RunViewerScript(dir, script, args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return ParseStateLines(run.out);
  }
  std::string Shot(const std::string& name) { return "shot " + dir.At(name) + "\n"; }
  static UiStateLine Grid(int sel, int first, int picture = 0, int count = kPictures + 1,
                          const char* folder = "\\Pics") {
    return {.selection = sel, .firstVisible = first, .currentPicture = picture,
            .entryCount = count, .folder = folder};
  }
  static UiStateLine Viewer(int picture, int sel = kPictures) {
    return {.gridMode = 0, .selection = sel, .firstVisible = 12, .currentPicture = picture,
            .entryCount = kPictures + 1, .folder = "\\Pics"};
  }
  TempDir dir;
};

TEST_F(ProgramInputs, WheelPagesHomeEndAndBackspaceInTheGridAndTheViewer) {
  // 3 columns, 9 tiles a page; the last page starts at 12.
  std::vector<UiStateLine> states = States(
      "idle\n"
      "wheel 2\nstate\nwheel -5\nstate\nwheel 10\nstate\n"     // rows; the selection stays
      "key 24\nstate\nkey 22\nstate\nkey 22\nstate\nkey 22\nstate\n"
      "key 21\nstate\nkey 23\nstate\n"
      "key d\nkey 22\nstate\nkey 21\nstate\nwheel 3\nstate\nwheel -4\nstate\n"
      "key 24\nstate\nkey 21\nstate\nwheel -2\nstate\nkey 23\nstate\n"
      "key 8\nstate\nkey 8\nstate\nkey 8\nstate\n",
      {"\\Pics"});
  UiStateLine root = {.currentPicture = 20, .entryCount = 2, .folder = ""};
  EXPECT_EQ(states, (std::vector<UiStateLine>{
                        Grid(0, 6), Grid(0, 0), Grid(0, 12),
                        Grid(0, 0), Grid(9, 9), Grid(18, 12), Grid(20, 12),
                        Grid(11, 3), Grid(20, 12),
                        Viewer(20), Viewer(19), Viewer(20), Viewer(16),
                        Viewer(1), Viewer(1), Viewer(1), Viewer(20),
                        Grid(20, 12, 20), root, root}));
}

TEST_F(ProgramInputs, TheHelpPageShowsTheViewsKeysAndAnyKeyOrTapClosesIt) {
  std::vector<UiStateLine> states = States(
      "idle\n" + Shot("grid.bmp") + "key 48\n" + Shot("help.bmp") +
          "key 48 repeat\n" + Shot("held.bmp") +
          "key 28\nstate\n" + Shot("closed.bmp") +  // closes; the selection stays
          "key bf\ntap 40 60\nstate\n" + Shot("tapped.bmp") +  // the tile is not opened
          "key 27\nkey d\nkey bf\n" + Shot("viewer-help.bmp") + "wheel 1\nstate\n",
      {"\\Few"});
  UiStateLine viewer = {.gridMode = 0, .selection = 1, .currentPicture = 1, .entryCount = 9,
                        .folder = "\\Few"};
  EXPECT_EQ(states, (std::vector<UiStateLine>{Grid(0, 0, 0, 9, "\\Few"),
                                              Grid(0, 0, 0, 9, "\\Few"), viewer}));
  const Picture565 grid = ReadShotBmp(dir.At("grid.bmp")), help = ReadShotBmp(dir.At("help.bmp"));
  const Picture565 viewerHelp = ReadShotBmp(dir.At("viewer-help.bmp"));
  ASSERT_EQ(help.width, 240);
  for (const char* same : {"closed.bmp", "tapped.bmp"})
    EXPECT_EQ(CountDifferences(ReadShotBmp(dir.At(same)), 0, 0, grid, 0, 0, 240, 320), 0) << same;
  EXPECT_EQ(CountDifferences(ReadShotBmp(dir.At("held.bmp")), 0, 0, help, 0, 0, 240, 320), 0);
  // The grid's title bar ends and close cross; keys in navy on the left,
  // what they do in black on the right, on white; the viewer's page differs.
  for (const Picture565* page : {&help, &viewerHelp}) {
    EXPECT_EQ(CountDifferences(*page, 0, 0, ResourcePicture(107), 0, 0, 2, 20), 0);
    EXPECT_EQ(CountDifferences(*page, 220, 0, ResourcePicture(106), 0, 40, 20, 20), 0);
    EXPECT_GT(CountWord(*page, 0, 25, 112, 150, kNavy), 50);
    EXPECT_EQ(CountWord(*page, 0, 25, 112, 150, kBlack), 0);
    EXPECT_GT(CountWord(*page, 114, 25, 126, 150, kBlack), 50);
    EXPECT_EQ(CountWord(*page, 114, 25, 126, 150, kNavy), 0);
    EXPECT_GT(CountWord(*page, 0, 20, 240, 300, kWhite), 240 * 300 / 2);
  }
  EXPECT_GT(CountDifferences(help, 0, 20, viewerHelp, 0, 20, 240, 300), 200);
  EXPECT_GT(CountDifferences(help, 0, 20, grid, 0, 20, 240, 300), 5000);
  // An empty root paints no label, so its title keeps the colour it had before the page.
  dir.MakeFolder("empty");
  States("idle\n" + Shot("empty.bmp") + "key 48\nkey 28\n" + Shot("empty-closed.bmp"),
         {"--root", dir.At("empty")});
  EXPECT_EQ(CountDifferences(ReadShotBmp(dir.At("empty-closed.bmp")), 0, 0,
                             ReadShotBmp(dir.At("empty.bmp")), 0, 0, 240, 320), 0);
}

TEST_F(ProgramInputs, SlideShowFromTheCommandLineAtItsInterval) {
  const std::string steps = "state\nwait 1750\nstate\nwait 250\nstate\nwait 2000\nstate\n";
  // A picture given: the show starts on it, steps every 2 s and wraps in its folder.
  EXPECT_EQ(States(steps, {"--slideshow", "--interval", "2", "\\Pics\\p28.jpg"}),
            (std::vector<UiStateLine>{
                {.gridMode = 0, .selection = 19, .currentPicture = 19, .slideShow = 1,
                 .entryCount = 21, .folder = "\\Pics"},
                {.gridMode = 0, .selection = 19, .currentPicture = 19, .slideShow = 1,
                 .entryCount = 21, .folder = "\\Pics"},
                {.gridMode = 0, .selection = 19, .currentPicture = 20, .slideShow = 1,
                 .entryCount = 21, .folder = "\\Pics"},
                {.gridMode = 0, .selection = 19, .currentPicture = 1, .slideShow = 1,
                 .entryCount = 21, .folder = "\\Pics"}}));
  // A folder: its first picture, at the handheld's 4 s.
  std::vector<UiStateLine> folder = States("wait 3750\nstate\nwait 250\nstate\n", {"--slideshow", "\\Pics"});
  ASSERT_EQ(folder.size(), 2u);
  EXPECT_EQ(folder[0].currentPicture, 1);
  EXPECT_EQ(folder[1].currentPicture, 2);
  EXPECT_EQ(folder[1].slideShow, 1);
  // The root holds no picture: the grid, no show.
  EXPECT_EQ(States("wait 5000\nstate\n", {"--slideshow", "\\"}),
            (std::vector<UiStateLine>{{.entryCount = 2, .folder = ""}}));
  for (const char* bad : {"0", "3601", "2s", ""})
    EXPECT_EQ(RunViewerScript(dir, "state\n", {"--interval", bad}).exitCode, 2) << bad;
}

TEST_F(ProgramInputs, PhotosStartsInThePicturesFolderWhenNothingIsRemembered) {
  // HOME inside the root, its pictures folder named by user-dirs.dirs (an
  // empty folder lists as the root would, so it holds a picture).
  dir.MakeFolder("root/home");
  dir.MakeFolder("root/home/Photos");
  dir.Write("root/home/Photos/a.jpg", ReadHostFile(dir.At("root/Pics/p10.jpg")));
  dir.MakeFolder("config");
  auto run = [&](const std::string& dirsFile, const std::string& home,
                 std::vector<std::string> args, bool remembered = false) {
    if (!remembered) std::remove(dir.At("registry.reg").c_str());
    dir.Write("config/user-dirs.dirs", dirsFile);
    std::vector<std::string> all = {"--headless", "--root", dir.At("root"), "--registry",
                                    dir.At("registry.reg"), "--script", dir.At("script.txt")};
    all.insert(all.end(), args.begin(), args.end());
    dir.Write("script.txt", "state\n");
    ToolRun r = FinishViewer(StartViewer(all, [&] {
      setenv("HOME", home.c_str(), 1);
      setenv("XDG_CONFIG_HOME", dir.At("config").c_str(), 1);
      unsetenv("XDG_PICTURES_DIR");
    }));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<UiStateLine> states = ParseStateLines(r.out);
    return states.empty() ? std::string("none") : states[0].folder;
  };
  const std::string home = dir.At("root/home");
  const std::string photos = "# written by hand\nXDG_PICTURES_DIR=\"$HOME/Photos\"\n";
  EXPECT_EQ(run(photos, home, {"--photos"}), "\\home\\Photos");
  EXPECT_EQ(run(photos, home, {}), "");  // the default face keeps the root
  EXPECT_EQ(run(photos, home, {"--photos", "\\Pics"}), "\\Pics");
  // A missing folder falls back to the home folder; a home outside the root to the root.
  EXPECT_EQ(run("XDG_PICTURES_DIR=\"$HOME/Gone\"\n", home, {"--photos"}), "\\home");
  EXPECT_EQ(run("XDG_PICTURES_DIR=\"" + dir.At("root/Pics") + "\"", home, {"--photos"}), "\\Pics");
  EXPECT_EQ(run("XDG_PICTURES_DIR=\"$HOME/Photos\n", dir.path(), {"--photos"}), "");
  // A folder remembered, the root included, wins.
  EXPECT_EQ(run(photos, home, {"--photos", "\\Pics"}), "\\Pics");
  EXPECT_EQ(run(photos, home, {"--photos"}, true), "\\Pics");
  // The parent tile of \Pics, opened at start as a tap would, remembers the root.
  EXPECT_EQ(run(photos, home, {"--photos", "\\Pics\\.."}), "");
  EXPECT_EQ(run(photos, home, {"--photos"}, true), "");
}

// The panel point where a turn puts screen point (x, y) of a 240 x 320
// screen: clockwise, the screen's top-left corner to the panel's top-right at 90.
void Turned(int degrees, int x, int y, int* px, int* py) {
  const int w = 240, h = 320;
  switch (degrees) {
    case 90: *px = h - 1 - y; *py = x; break;
    case 180: *px = w - 1 - x; *py = h - 1 - y; break;
    default: *px = y; *py = w - 1 - x; break;
  }
}

TEST_F(ProgramInputs, TurnedPanelsShowTheScreenTurnedAndTurnTheStylusBack) {
  // A tap on the second tile opens p10; a drag at 1:1 ... the picture is
  // small, so the drag moves nothing but must not act as a tap.
  struct Point { int x, y; };
  const Point tap = {100, 60}, press = {50, 50}, release = {30, 20}, close = {230, 310};
  auto script = [&](int degrees) {
    auto at = [&](const Point& p) {
      int px = p.x, py = p.y;
      if (degrees) Turned(degrees, p.x, p.y, &px, &py);
      return std::to_string(px) + " " + std::to_string(py) + "\n";
    };
    const std::string tag = std::to_string(degrees);
    return "idle\n" + Shot("grid" + tag + ".bmp") + "tap " + at(tap) + "state\n" +
           Shot("viewer" + tag + ".bmp") + "press " + at(press) + "move " + at(release) +
           "release " + at(release) + "state\ntap " + at(close) + "state\n";
  };
  const std::vector<UiStateLine> plain = States(script(0), {"\\Few"});
  ASSERT_EQ(plain.size(), 3u);
  EXPECT_EQ(plain[0].gridMode, 0);
  EXPECT_EQ(plain[2].gridMode, 1);
  const Picture565 plainGrid = ReadShotBmp(dir.At("grid0.bmp"));
  const Picture565 plainViewer = ReadShotBmp(dir.At("viewer0.bmp"));
  for (int degrees : {90, 180, 270}) {
    EXPECT_EQ(States(script(degrees), {"--rotate", std::to_string(degrees), "\\Few"}), plain)
        << degrees;
    const std::string tag = std::to_string(degrees);
    const Picture565 pairs[2][2] = {{plainGrid, ReadShotBmp(dir.At("grid" + tag + ".bmp"))},
                                    {plainViewer, ReadShotBmp(dir.At("viewer" + tag + ".bmp"))}};
    for (const auto& [screen, panel] : pairs) {
      ASSERT_EQ(panel.width, degrees == 180 ? 240 : 320) << degrees;
      int wrong = 0;
      for (int y = 0; y < 320; y++)
        for (int x = 0; x < 240; x++) {
          int px, py;
          Turned(degrees, x, y, &px, &py);
          wrong += panel.At(px, py) != screen.At(x, y);
        }
      EXPECT_EQ(wrong, 0) << degrees;
    }
  }
  EXPECT_EQ(RunViewerScript(dir, "state\n", {"--rotate", "45"}).exitCode, 2);
}

}  // namespace
