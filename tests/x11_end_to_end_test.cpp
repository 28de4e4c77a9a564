// The real program in a window on a private X server, driven by synthetic
// clicks and keys, against the same steps run headless: at every step the
// window must show exactly the headless screenshot's pixels.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

const int kZoom = 2;
const int kScreenWidth = 240;
const int kScreenHeight = 320;
const int kPollMs = 200;
const int kSettleMs = 20000;
const int kExitMs = 5000;
const char kToolTimeout[] = "10";  // seconds for any one xdotool or xwd call
const char* const kNeededTools[] = {"Xvfb", "xdotool", "xwd"};

// One thing the user does; the same list drives both runs. A click or a
// drag (to toX, toY) is in screen pixels; key is the X key name and code the
// key as the window gets it; waitMs lets the headless clock run after it,
// where the window just takes its time.
struct Step {
  int x, y;
  const char* key;
  int code;
  int toX = -1, toY = -1;
  int waitMs = 0;
  bool viewer = false;  // the viewer shows after it
};
const Step kSteps[] = {
    {37, 57, nullptr, 0},  // the first tile: the folder "Beach"
    {0, 0, "Down", 0x28}, {0, 0, "Down", 0x28}, {0, 0, "Down", 0x28}, {0, 0, "Up", 0x26},
    {0, 0, "Return", 0x0D, -1, -1, 0, true},  // the selected picture opens in the viewer
    {0, 0, "equal", 0x2B, -1, -1, 0, true},   // zoom in to x2
    {150, 200, nullptr, 0, 60, 90, 0, true},  // dragged up and to the left
    {0, 0, "Right", 0x27, -1, -1, 0, true},   // the next picture, pan back at 0
    {0, 0, "space", 0x20, -1, -1, 4000, true},  // the slide show: one advance in 16 ticks
    {0, 0, "Escape", 0x1B, -1, -1, 0, true},  // stops the slide show
    {0, 0, "Escape", 0x1B},          // back to the grid, on the picture's tile
};
// The close cross; its release ends the program.
const int kCloseX = 230, kCloseY = 10;

// A window capture brought down to screen pixels: the pixel at (zoom x,
// zoom y) for screen pixel (x, y). "" or what is wrong.
std::string ReduceCapture(const std::string& xwd, int zoom, Capture* out) {
  Capture whole;
  std::string problem = ParseXwd(xwd, &whole);
  if (!problem.empty()) return problem;
  if (whole.width < zoom || whole.height < zoom) return "capture smaller than a screen pixel";
  out->width = whole.width / zoom;
  out->height = whole.height / zoom;
  out->rgb.assign((size_t)out->width * (size_t)out->height, 0);
  for (int y = 0; y < out->height; y++)
    for (int x = 0; x < out->width; x++)
      out->rgb[(size_t)y * out->width + x] = whole.At(x * zoom, y * zoom);
  return "";
}

// The grid's partly shown fourth row: a thumbnail made there is announced
// for an index past the page, which repaints nothing, so whether it shows
// depends on when the next repaint comes. Its tiles are not compared.
const int kPartialRowTop = 25 + 3 * 95;
const int kToolbarLeft = kScreenWidth - 20;

// Pixels whose 8-bit channels, cut to 5/6/5 bits, are not the shot's word;
// in the grid, the partial row's tiles are left out.
int Differences(const Capture& c, const Picture565& shot, bool grid, std::string* first) {
  if (c.width != shot.width || c.height != shot.height) return c.width * c.height + 1;
  int n = 0;
  for (int y = 0; y < c.height; y++)
    for (int x = 0; x < c.width; x++) {
      if (grid && y >= kPartialRowTop && x < kToolbarLeft) continue;
      if (Word565(c.At(x, y)) != shot.At(x, y) && n++ == 0)
        *first = "first at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
    }
  return n;
}

// The X server, the program's window on it and the xdotool and xwd calls.
struct XRun {
  std::string scratch, window;
  XServer server;
  std::vector<std::string> env;
  pid_t viewer = -1;

  int Tool(std::vector<std::string> args, std::string* out = nullptr) {
    args.insert(args.begin(), {"timeout", kToolTimeout});
    int code = RunProcess(args, env, scratch + "/tool.out", scratch + "/tool.err");
    if (out) *out = ReadHostFile(scratch + "/tool.out");
    return code;
  }

  std::string Grab(Capture* c) {
    std::string path = scratch + "/window.xwd";
    if (Tool({"xwd", "-silent", "-id", window, "-out", path}) != 0) return "xwd failed";
    return ReduceCapture(ReadHostFile(path), kZoom, c);
  }

  // Captures every 200 ms until two in a row are equal and match the shot.
  // The number of differing pixels in the last capture (0: it matched).
  int Settle(const Picture565& shot, bool grid, std::string* why) {
    Capture previous, now;
    int differing = -1;
    for (int waited = 0; waited <= kSettleMs; waited += kPollMs) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      // A window not mapped yet cannot be captured: try again.
      *why = Grab(&now);
      if (!why->empty()) {
        differing = -1;
        previous = Capture();
        continue;
      }
      differing = Differences(now, shot, grid, why);
      if (differing == 0 && now == previous) return 0;
      previous = now;
    }
    return differing;
  }

  int Drag(int x, int y, int toX, int toY) {
    return Tool({"xdotool", "mousemove", "--window", window, "--sync",
                 std::to_string(x * kZoom + kZoom / 2), std::to_string(y * kZoom + kZoom / 2),
                 "mousedown", "1", "mousemove", "--window", window, "--sync",
                 std::to_string(toX * kZoom + kZoom / 2), std::to_string(toY * kZoom + kZoom / 2),
                 "mouseup", "1"});
  }

  int Click(int x, int y) {
    return Tool({"xdotool", "mousemove", "--window", window, "--sync",
                 std::to_string(x * kZoom + kZoom / 2), std::to_string(y * kZoom + kZoom / 2),
                 "click", "1"});
  }
};

// Root: three folders and seven pictures (ten entries, more than a page of
// nine); "Beach": the parent, a folder and eight pictures.
void LayOutRoot(const TempDir& dir) {
  dir.MakeFolder("root");
  for (const char* f : {"root/Beach", "root/City", "root/Forest", "root/Beach/Dunes"})
    dir.MakeFolder(f);
  for (int i = 0; i < 15; i++) {
    JpegSampleOptions o;
    o.width = 120 + 23 * i;
    o.height = 90 + 11 * (i % 5);
    o.seed = (unsigned)(i + 1);
    char name[64];
    snprintf(name, sizeof name, i < 7 ? "root/pic %02d.jpg" : "root/Beach/sea %02d.jpg", i);
    ASSERT_EQ(WriteJpegSample(dir.At(name).c_str(), o), 1) << name;
  }
}

std::string ShotName(const TempDir& dir, int i) {
  return dir.At("shot" + std::to_string(i) + ".bmp");
}

TEST(X11EndToEnd, WindowShowsWhatTheHeadlessRunShows) {
  for (const char* tool : kNeededTools)
    if (!OnPath(tool)) GTEST_SKIP() << tool << " is not installed (packages xvfb xdotool x11-apps)";
  TempDir dir;
  LayOutRoot(dir);
  if (HasFatalFailure()) return;

  // The headless run first: its shots are what the window must show.
  const int stepCount = (int)(sizeof kSteps / sizeof kSteps[0]);
  std::string script = "idle\nshot " + ShotName(dir, 0) + "\n";
  for (int i = 0; i < stepCount; i++) {
    const Step& s = kSteps[i];
    char line[64];
    if (s.key)
      snprintf(line, sizeof line, "key %x\n", s.code);
    else if (s.toX >= 0)
      snprintf(line, sizeof line, "press %d %d\nmove %d %d\nrelease %d %d\n", s.x, s.y, s.toX,
               s.toY, s.toX, s.toY);
    else
      snprintf(line, sizeof line, "tap %d %d\n", s.x, s.y);
    script += line;
    if (s.waitMs) script += "wait " + std::to_string(s.waitMs) + "\n";
    script += "idle\nshot " + ShotName(dir, i + 1) + "\n";
  }
  script += "tap " + std::to_string(kCloseX) + " " + std::to_string(kCloseY) + "\n";
  dir.Write("script.txt", script);
  ToolRun headless = RunTool("korvane-viewer",
                             {"--headless", "--root", dir.At("root"), "--registry",
                              dir.At("headless.reg"), "--script", dir.At("script.txt")},
                             dir.path());
  ASSERT_EQ(headless.exitCode, 0) << headless.err;
  std::vector<Picture565> shots;
  for (int i = 0; i <= stepCount; i++) {
    shots.push_back(ReadShotBmp(ShotName(dir, i)));
    ASSERT_EQ(shots.back().width, kScreenWidth) << "headless shot " << i;
    ASSERT_EQ(shots.back().height, kScreenHeight) << "headless shot " << i;
  }

  XRun x;
  x.scratch = dir.path();
  ProcessGuard guard;
  guard.Add(&x.viewer);
  std::string problem = x.server.Start(x.scratch, "1024x768x24");
  ASSERT_EQ(problem, "");
  x.env = x.server.env();
  x.viewer = StartProcess({std::string(VIEWER_TOOL_DIR) + "/korvane-viewer", "--root", dir.At("root"),
                           "--registry", dir.At("window.reg"), "--zoom", std::to_string(kZoom)},
                          x.env, dir.At("viewer.out"), dir.At("viewer.err"));
  ASSERT_GT(x.viewer, 0) << "the viewer did not start";
  std::string found;
  ASSERT_EQ(x.Tool({"xdotool", "search", "--sync", "--name", "^Viewer$"}, &found), 0)
      << "no window named Viewer within 10 s; viewer said: " << ReadHostFile(dir.At("viewer.err"));
  x.window = found.substr(0, found.find('\n'));
  // Instance and class: the desktop entry's StartupWMClass, so docks match the two.
  std::string wmClass;
  EXPECT_EQ(x.Tool({"xprop", "-id", x.window, "WM_CLASS"}, &wmClass), 0) << "xprop failed";
  EXPECT_EQ(wmClass, "WM_CLASS(STRING) = \"korvane-viewer\", \"korvane-viewer\"\n");
  ASSERT_EQ(x.Tool({"xdotool", "windowfocus", "--sync", x.window}), 0) << "cannot focus the window";

  for (int i = 0; i <= stepCount; i++) {
    if (i > 0) {
      const Step& s = kSteps[i - 1];
      int code = s.key        ? x.Tool({"xdotool", "key", s.key})
                 : s.toX >= 0 ? x.Drag(s.x, s.y, s.toX, s.toY)
                              : x.Click(s.x, s.y);
      ASSERT_EQ(code, 0) << "xdotool failed at step " << i;
    }
    std::string why;
    const bool grid = i == 0 || !kSteps[i - 1].viewer;
    int differing = x.Settle(shots[i], grid, &why);
    ASSERT_EQ(differing, 0) << "step " << i << ": " << differing << " pixels differ from the "
                            << "headless shot after 20 s (" << why << ")";
  }

  ASSERT_EQ(x.Click(kCloseX, kCloseY), 0);
  int status = -1;
  ASSERT_EQ(WaitProcess(x.viewer, kExitMs, &status), 1) << "the viewer did not end after the cross";
  x.viewer = -1;
  EXPECT_EQ(status, 0) << ReadHostFile(dir.At("viewer.err"));
  // Both runs opened the same folder, so both stored it.
  std::string stored = ReadHostFile(dir.At("window.reg"));
  EXPECT_NE(stored, "");
  EXPECT_EQ(stored, ReadHostFile(dir.At("headless.reg")));
}

}  // namespace
