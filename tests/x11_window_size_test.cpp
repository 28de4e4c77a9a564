// The window against a real display (Xvfb, 1024 x 768): a zoom too large
// for it comes down to the largest that fits, and a screen that does not
// fit even at zoom 1 is refused with a message instead of a window that
// cannot be shown.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/background.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"
#include "tests/support/x_server.h"

namespace {

const char kDisplaySize[] = "1024x768x24";
const int kStartMs = 20000;  // generous: the machine is shared
const char kToolTimeout[] = "20";

struct SizeCase {
  const char* screen;
  const char* zoom;
  int windowWidth, windowHeight;  // 0: refused
};
const SizeCase kCases[] = {
    {"240x320", "16", 480, 640},   // zoom 2 is the largest that fits 768 rows
    {"240x320", "2", 480, 640},    // fits as asked
    {"1024x768", "2", 1024, 768},  // down to zoom 1, the display exactly
    {"2048x2048", "16", 0, 0},
    {"1025x768", "1", 0, 0},
    {"8192x8192", "2", 0, 0},
};

// "WIDTHxHEIGHT" of the window named Viewer, or what failed.
std::string WindowSize(const XServer& x, const std::string& scratch) {
  const std::string out = scratch + "/tool.out", err = scratch + "/tool.err";
  if (RunProcess({"timeout", kToolTimeout, "xdotool", "search", "--sync", "--name", "^Viewer$"},
                 x.env(), out, err) != 0)
    return "no window";
  std::string id = ReadHostFile(out);
  id = id.substr(0, id.find('\n'));
  if (RunProcess({"timeout", kToolTimeout, "xdotool", "getwindowgeometry", "--shell", id}, x.env(),
                 out, err) != 0)
    return "no geometry";
  std::string width, height;
  for (const std::string& line : Lines(ReadHostFile(out))) {
    if (line.rfind("WIDTH=", 0) == 0) width = line.substr(6);
    if (line.rfind("HEIGHT=", 0) == 0) height = line.substr(7);
  }
  return width + "x" + height;
}

TEST(X11WindowSize, ZoomIsCappedToTheDisplayAndScreensThatCannotFitAreRefused) {
  for (const char* tool : {"Xvfb", "xdotool"})
    if (!OnPath(tool)) GTEST_SKIP() << tool << " is not installed (packages xvfb xdotool)";
  TempDir dir;
  dir.MakeFolder("root");
  XServer x;
  ASSERT_EQ(x.Start(dir.path(), kDisplaySize), "");
  for (const SizeCase& c : kCases) {
    const std::string what = std::string(c.screen) + " zoom " + c.zoom;
    pid_t viewer = StartProcess({std::string(VIEWER_TOOL_DIR) + "/korvane-viewer", "--root",
                                 dir.At("root"), "--registry", dir.At("registry.reg"), "--screen",
                                 c.screen, "--zoom", c.zoom},
                                x.env(), dir.At("viewer.out"), dir.At("viewer.err"));
    ASSERT_GT(viewer, 0) << what;
    ProcessGuard guard;
    guard.Add(&viewer);
    int status = -1;
    if (c.windowWidth == 0) {
      ASSERT_EQ(WaitProcess(viewer, kStartMs, &status), 1) << what << ": still running";
      viewer = -1;
      EXPECT_EQ(status, 1) << what;
      const std::string err = ReadHostFile(dir.At("viewer.err"));
      EXPECT_NE(err.find("does not fit the display"), std::string::npos) << what << ": " << err;
      continue;
    }
    EXPECT_EQ(WindowSize(x, dir.path()),
              std::to_string(c.windowWidth) + "x" + std::to_string(c.windowHeight))
        << what << ": " << ReadHostFile(dir.At("viewer.err"));
  }
}

}  // namespace
