// The window on a private X server with a small window manager (evilwm,
// which does full screen and resizes as a desktop does), against the same
// steps run headless: resized, the window shows the headless shot in whole
// pixel blocks centred on black, or averaged when it is smaller than the
// screen; the wheel, Page Down, Home, End and Backspace act as the headless
// `wheel` and keys do; a click on the black border is no tap; F11 toggles
// full screen; a turned panel shows the turned shot and takes taps at
// turned points; and the default zoom grows with the display.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "samples/jpeg_samples.h"
#include "tests/support/background.h"
#include "tests/support/run_tool.h"
#include "tests/support/screenshot.h"
#include "tests/support/temp_dir.h"
#include "tests/support/x_server.h"
#include "tests/support/xwd.h"

namespace {

const char kDisplaySize[] = "1024x768x24";
const int kDisplayWidth = 1024, kDisplayHeight = 768;
const int kPollMs = 200;
const int kSettleMs = 20000;
const char kToolTimeout[] = "10";
const char* const kNeededTools[] = {"Xvfb", "xdotool", "xwd", "evilwm"};
// The grid's partly shown fourth row may or may not have its thumbnails
// yet (see x11_end_to_end_test.cpp); its tiles are not compared.
const int kPartialRowTop = 25 + 3 * 95;
const int kToolbarLeft = 240 - 20;

// Where a panel of pw x ph shows in a window: the largest whole factor
// that fits, centred.
struct Placement {
  int x, y, factor;
};
Placement Place(int windowWidth, int windowHeight, int pw, int ph) {
  int k = std::min(windowWidth / pw, windowHeight / ph);
  return {(windowWidth - pw * k) / 2, (windowHeight - ph * k) / 2, k};
}

// Window pixels that differ from the shot drawn at its placement: the centre
// of each shot pixel's block, and every pixel outside the picture, which
// must be black. 0 when the window shows the shot. turned: the shot is the
// screen turned by 90 degrees, its column x the screen's row 319 - x.
int Mismatches(const Capture& c, const Picture565& shot, bool grid, bool turned,
               std::string* first) {
  const Placement p = Place(c.width, c.height, shot.width, shot.height);
  if (p.factor < 1) return -1;
  int n = 0;
  auto miss = [&](int x, int y, const char* what) {
    if (n++ == 0)
      *first = std::string(what) + " at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
  };
  for (int y = 0; y < shot.height; y++)
    for (int x = 0; x < shot.width; x++) {
      const int screenX = turned ? y : x, screenY = turned ? shot.width - 1 - x : y;
      if (grid && screenY >= kPartialRowTop && screenX < kToolbarLeft) continue;
      const int wx = p.x + x * p.factor + p.factor / 2, wy = p.y + y * p.factor + p.factor / 2;
      if (Word565(c.At(wx, wy)) != shot.At(x, y)) miss(x, y, "screen pixel");
    }
  for (int y = 0; y < c.height; y++)
    for (int x = 0; x < c.width; x++) {
      const bool inside = x >= p.x && y >= p.y && x < p.x + shot.width * p.factor &&
                          y < p.y + shot.height * p.factor;
      if (!inside && c.At(x, y) != 0) miss(x, y, "border pixel");
    }
  return n;
}

std::string ShotPath(const TempDir& dir, const std::string& name, int i) {
  return dir.At(name + std::to_string(i) + ".bmp");
}

// The headless program over root/many: a shot at the start and one after
// each script step. Empty when it failed.
std::vector<Picture565> HeadlessShots(const TempDir& dir, const std::string& name,
                                      const std::vector<std::string>& steps,
                                      const std::vector<std::string>& extra) {
  std::string script = "idle\nshot " + ShotPath(dir, name, 0) + "\n";
  for (size_t i = 0; i < steps.size(); i++)
    script += steps[i] + "\nidle\nshot " + ShotPath(dir, name, (int)i + 1) + "\n";
  dir.Write(name + ".txt", script);
  std::vector<std::string> args = {
      "--headless",          "--root",   dir.At("root"),       "--registry",
      dir.At(name + ".reg"), "--script", dir.At(name + ".txt")};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(dir.At("root/many"));
  ToolRun run = RunTool("korvane-viewer", args, dir.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::vector<Picture565> shots;
  for (size_t i = 0; i <= steps.size(); i++) {
    shots.push_back(ReadShotBmp(ShotPath(dir, name, (int)i)));
    if (shots.back().width == 0) return {};
  }
  return shots;
}

// Root: the folder "many" of 20 pictures, more than two pages.
void LayOutRoot(const TempDir& dir) {
  dir.MakeFolder("root");
  dir.MakeFolder("root/many");
  for (int i = 0; i < 20; i++) {
    JpegSampleOptions o;
    o.width = 160 + 8 * i;
    o.height = 120;
    o.seed = (unsigned)(i + 3);
    char name[64];
    snprintf(name, sizeof name, "root/many/p%02d.jpg", i);
    ASSERT_EQ(WriteJpegSample(dir.At(name).c_str(), o), 1) << name;
  }
}

// The X server, its window manager, the program's window and the tools.
struct XWindow {
  std::string scratch, id;
  XServer server;
  pid_t manager = -1, viewer = -1;
  ProcessGuard guard;

  XWindow() {
    guard.Add(&manager);
    guard.Add(&viewer);
  }

  int Tool(std::vector<std::string> args, std::string* out = nullptr) {
    args.insert(args.begin(), {"timeout", kToolTimeout});
    int code = RunProcess(args, server.env(), scratch + "/tool.out", scratch + "/tool.err");
    if (out) *out = ReadHostFile(scratch + "/tool.out");
    return code;
  }

  // Xvfb, the window manager when asked, then the program; "" or what failed.
  std::string Start(const std::string& screen, bool withManager,
                    const std::vector<std::string>& args) {
    std::string problem = server.Start(scratch, screen);
    if (!problem.empty()) return problem;
    if (withManager) {
      // "fixed" is the X server's own font: evilwm wants one for its labels.
      manager = StartProcess({"evilwm", "-fn", "fixed"}, server.env(), scratch + "/wm.out",
                             scratch + "/wm.err");
      if (manager < 0) return "evilwm did not start";
    }
    std::vector<std::string> all = {std::string(VIEWER_TOOL_DIR) + "/korvane-viewer"};
    all.insert(all.end(), args.begin(), args.end());
    viewer = StartProcess(all, server.env(), scratch + "/viewer.out", scratch + "/viewer.err");
    if (viewer < 0) return "the viewer did not start";
    std::string found;
    if (Tool({"xdotool", "search", "--sync", "--name", "^Viewer$"}, &found) != 0)
      return "no window named Viewer: " + ReadHostFile(scratch + "/viewer.err");
    id = found.substr(0, found.find('\n'));
    if (Tool({"xdotool", "windowfocus", "--sync", id}) != 0) return "cannot focus the window";
    return "";
  }

  // "WIDTHxHEIGHT", or what failed.
  std::string Size() {
    std::string out;
    if (Tool({"xdotool", "getwindowgeometry", "--shell", id}, &out) != 0) return "no geometry";
    std::string width, height;
    for (const std::string& line : Lines(out)) {
      if (line.rfind("WIDTH=", 0) == 0) width = line.substr(6);
      if (line.rfind("HEIGHT=", 0) == 0) height = line.substr(7);
    }
    return width + "x" + height;
  }

  std::string Grab(Capture* c) {
    const std::string path = scratch + "/window.xwd";
    if (Tool({"xwd", "-silent", "-id", id, "-out", path}) != 0) return "xwd failed";
    return ParseXwd(ReadHostFile(path), c);
  }

  // Captures until the window has the size and two captures in a row show
  // the shot. The mismatches of the last capture (0: it showed the shot).
  int Settle(const Picture565& shot, int width, int height, bool grid, std::string* why,
             bool turned = false) {
    Capture previous, now;
    int mismatches = -1;
    for (int waited = 0; waited <= kSettleMs; waited += kPollMs) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      *why = Grab(&now);
      if (!why->empty()) continue;
      if (now.width != width || now.height != height) {
        *why = "window " + std::to_string(now.width) + "x" + std::to_string(now.height);
        continue;
      }
      mismatches = Mismatches(now, shot, grid, turned, why);
      if (mismatches == 0 && now == previous) return 0;
      previous = now;
    }
    return mismatches;
  }

  int Resize(int width, int height) {
    return Tool(
        {"xdotool", "windowsize", "--sync", id, std::to_string(width), std::to_string(height)});
  }

  int ClickAt(int windowX, int windowY, int button = 1) {
    return Tool({"xdotool", "mousemove", "--window", id, "--sync", std::to_string(windowX),
                 std::to_string(windowY), "click", std::to_string(button)});
  }
};

bool ToolsMissing(std::string* which) {
  for (const char* tool : kNeededTools)
    if (!OnPath(tool)) {
      *which = tool;
      return true;
    }
  return false;
}

// One thing the user does in the window, and the headless line for it
// ("" for nothing: the window must not change).
struct Step {
  const char* headless;
  const char* key;     // an X key name, or
  int clickX, clickY;  // a click at screen pixels (-1: on the border)
  int button;          // 1, or 5 for a wheel notch down
  bool grid;
};

const Step kSteps[] = {
    {"wheel 1", nullptr, 120, 160, 5, true},  // a row down
    {"key 22", "Next", 0, 0, 0, true},        // a page down
    {"key 24", "Home", 0, 0, 0, true},        {"key 23", "End", 0, 0, 0, true},
    {"", nullptr, -1, -1, 1, true},            // the border: no tap
    {"tap 37 57", nullptr, 37, 57, 1, false},  // a picture opens
    {"wheel 1", nullptr, 120, 160, 5, false},  // the next picture
    {"key 8", "BackSpace", 0, 0, 0, true},     // back to the grid
    {"key 8", "BackSpace", 0, 0, 0, true},     // the parent folder
};

TEST(X11WindowFit, ResizedFullScreenAndDesktopInputsShowWhatTheHeadlessRunShows) {
  std::string missing;
  if (ToolsMissing(&missing))
    GTEST_SKIP() << missing << " is not installed (xvfb xdotool x11-apps evilwm)";
  TempDir dir;
  LayOutRoot(dir);
  if (HasFatalFailure()) return;
  std::vector<std::string> lines;
  for (const Step& s : kSteps) lines.push_back(s.headless);
  std::vector<Picture565> shots = HeadlessShots(dir, "plain", lines, {});
  ASSERT_EQ(shots.size(), lines.size() + 1);
  // The steps must show something: each one that acts changes the screen.
  for (size_t i = 0; i < lines.size(); i++)
    EXPECT_EQ(shots[i].words == shots[i + 1].words, lines[i].empty()) << "headless step " << i + 1;

  XWindow x;
  x.scratch = dir.path();
  ASSERT_EQ(x.Start(kDisplaySize, true,
                    {"--root", dir.At("root"), "--registry", dir.At("window.reg"), "--zoom", "2",
                     dir.At("root/many")}),
            "");
  std::string why;
  ASSERT_EQ(x.Settle(shots[0], 480, 640, true, &why), 0) << "as opened: " << why;

  // Larger: whole blocks of 2 (3 would not fit 700 rows), centred.
  ASSERT_EQ(x.Resize(720, 700), 0);
  ASSERT_EQ(x.Settle(shots[0], 720, 700, true, &why), 0) << "at 720x700: " << why;

  // Smaller than the screen: averaged into 150 x 200, black beside it.
  ASSERT_EQ(x.Resize(300, 200), 0);
  {
    Capture c;
    bool shown = false;
    for (int waited = 0; waited <= kSettleMs && !shown; waited += kPollMs) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      shown = x.Grab(&c).empty() && c.width == 300 && c.height == 200 && c.At(75, 100) != 0;
    }
    ASSERT_TRUE(shown) << "no 300x200 picture";
    long sums[2][3] = {};  // the window's picture, the shot
    int border = 0;
    for (int y = 0; y < 200; y++)
      for (int wx = 0; wx < 300; wx++) {
        if (wx < 75 || wx >= 225) {
          border += c.At(wx, y) != 0;
          continue;
        }
        for (int ch = 0; ch < 3; ch++) sums[0][ch] += c.At(wx, y) >> (16 - 8 * ch) & 0xFF;
      }
    for (int y = 0; y < 320; y++)
      for (int sx = 0; sx < 240; sx++) {
        uint16_t w = shots[0].At(sx, y);
        uint32_t r = (w >> 11) * 255 / 31, g = (w >> 5 & 0x3F) * 255 / 63,
                 b = (w & 0x1F) * 255 / 31;
        sums[1][0] += r;
        sums[1][1] += g;
        sums[1][2] += b;
      }
    EXPECT_EQ(border, 0) << "pixels beside the averaged picture are not black";
    for (int ch = 0; ch < 3; ch++)
      EXPECT_NEAR(sums[0][ch] / (150.0 * 200), sums[1][ch] / (240.0 * 320), 3.0)
          << "channel " << ch;
  }

  ASSERT_EQ(x.Resize(720, 700), 0);
  const Placement at = Place(720, 700, 240, 320);
  for (size_t i = 0; i < std::size(kSteps); i++) {
    const Step& s = kSteps[i];
    int code = s.key          ? x.Tool({"xdotool", "key", s.key})
               : s.clickX < 0 ? x.ClickAt(at.x / 2, 350, s.button)
                              : x.ClickAt(at.x + s.clickX * at.factor + 1,
                                          at.y + s.clickY * at.factor + 1, s.button);
    ASSERT_EQ(code, 0) << "xdotool failed at step " << i + 1;
    ASSERT_EQ(x.Settle(shots[i + 1], 720, 700, s.grid, &why), 0)
        << "step " << i + 1 << " (" << s.headless << "): " << why;
  }

  // F11: the display, the screen in blocks of 2 in its middle; and back.
  ASSERT_EQ(x.Tool({"xdotool", "key", "F11"}), 0);
  EXPECT_EQ(x.Settle(shots.back(), kDisplayWidth, kDisplayHeight, true, &why), 0)
      << "full screen: " << why;
  ASSERT_EQ(x.Tool({"xdotool", "key", "F11"}), 0);
  EXPECT_EQ(x.Settle(shots.back(), 720, 700, true, &why), 0) << "back from full screen: " << why;
}

TEST(X11WindowFit, TurnedPanelShowsTheTurnedShotAndTakesTurnedTaps) {
  std::string missing;
  if (ToolsMissing(&missing)) GTEST_SKIP() << missing << " is not installed";
  TempDir dir;
  LayOutRoot(dir);
  if (HasFatalFailure()) return;
  // The first tile, (37, 57) on the screen, is at (262, 37) on a panel
  // turned by 90 degrees: the screen's left column is the panel's top row.
  std::vector<Picture565> shots = HeadlessShots(dir, "turned", {"tap 262 37"}, {"--rotate", "90"});
  ASSERT_EQ(shots.size(), 2u);
  ASSERT_EQ(shots[0].width, 320);
  ASSERT_EQ(shots[0].height, 240);

  XWindow x;
  x.scratch = dir.path();
  ASSERT_EQ(x.Start(kDisplaySize, false,
                    {"--root", dir.At("root"), "--registry", dir.At("window.reg"), "--zoom", "2",
                     "--rotate", "90", dir.At("root/many")}),
            "");
  std::string why;
  ASSERT_EQ(x.Settle(shots[0], 640, 480, true, &why, true), 0) << "as opened: " << why;
  ASSERT_EQ(x.ClickAt(262 * 2 + 1, 37 * 2 + 1), 0);
  ASSERT_EQ(x.Settle(shots[1], 640, 480, false, &why), 0) << "after the tap: " << why;
}

TEST(X11WindowFit, DefaultZoomGrowsWithTheDisplay) {
  std::string missing;
  if (ToolsMissing(&missing)) GTEST_SKIP() << missing << " is not installed";
  struct Case {
    const char* display;
    const char* window;
  };
  const Case cases[] = {
      {"1024x768x24", "480x640"},    // 2, as the handheld's window always was
      {"1920x1080x24", "480x640"},   // 2: one step of 1080 rows
      {"3840x2160x24", "960x1280"},  // 4K: two steps, 4
      {"800x600x24", "240x320"},     // 2 does not fit: 1
  };
  for (const Case& c : cases) {
    TempDir dir;
    dir.MakeFolder("root");
    XWindow x;
    x.scratch = dir.path();
    ASSERT_EQ(
        x.Start(c.display, false, {"--root", dir.At("root"), "--registry", dir.At("window.reg")}),
        "")
        << c.display;
    EXPECT_EQ(x.Size(), c.window) << c.display;
    EXPECT_EQ(ReadHostFile(dir.At("viewer.err")), "") << c.display;
  }
}

}  // namespace
