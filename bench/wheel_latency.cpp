// The time from a wheel notch to the repainted grid in the window, and the
// idle window's memory: the real program on a private X server (Xvfb), the
// notch sent through the XTEST extension as a mouse would, the window read
// back until its pixels change.
//
//   viewer-wheel-latency [--viewer PATH] [--notches N]
//
// Prints the notch times (median, min, max in milliseconds), the idle
// window's Rss, Pss and private memory from /proc/PID/smaps_rollup and its
// wake-ups a second.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "samples/jpeg_samples.h"
#include "tests/support/background.h"
#include "tests/support/temp_dir.h"
#include "tests/support/x_server.h"

namespace {

const int kDefaultNotches = 40;
const int kPictures = 60;    // many rows, so that every notch scrolls
const int kSettleMs = 3000;  // the thumbnails of the shown rows
const int kRepaintLimitMs = 5000;
const int kIdleMs = 5000;  // counting the idle window's wake-ups
const unsigned kWheelDown = 5, kWheelUp = 4;

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The window's pixels, or empty when it cannot be read.
std::string Pixels(Display* d, Window w, int width, int height) {
  XImage* image = XGetImage(d, w, 0, 0, (unsigned)width, (unsigned)height, AllPlanes, ZPixmap);
  if (!image) return "";
  std::string bytes(image->data, (size_t)image->bytes_per_line * (size_t)height);
  XDestroyImage(image);
  return bytes;
}

Window FindWindow(Display* d, Window under, const char* name) {
  char* title = nullptr;
  if (XFetchName(d, under, &title) && title) {
    bool match = strcmp(title, name) == 0;
    XFree(title);
    if (match) return under;
  }
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(d, under, &root, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; i++) found = FindWindow(d, children[i], name);
  if (children) XFree(children);
  return found;
}

void PrintMemory(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string line;
  long privateKb = 0;
  while (std::getline(in, line)) {
    if (line.rfind("Rss:", 0) == 0 || line.rfind("Pss:", 0) == 0)
      printf("idle window %s\n", line.c_str());
    long kb = 0;
    if (sscanf(line.c_str(), "Private_Clean: %ld kB", &kb) == 1 ||
        sscanf(line.c_str(), "Private_Dirty: %ld kB", &kb) == 1)
      privateKb += kb;
  }
  printf("idle window Private:        %ld kB\n", privateKb);
}

// Context switches the process's threads gave up the processor for: each
// one a wake-up.
long WakeUps(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  long total = 0;
  for (const auto& task : std::filesystem::directory_iterator(tasks)) {
    std::ifstream in(task.path() / "status");
    std::string line;
    long n;
    while (std::getline(in, line))
      if (sscanf(line.c_str(), "voluntary_ctxt_switches: %ld", &n) == 1) total += n;
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  std::string viewer = std::string(VIEWER_TOOL_DIR) + "/korvane-viewer";
  int notches = kDefaultNotches;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "--viewer") == 0) viewer = argv[i + 1];
    if (strcmp(argv[i], "--notches") == 0) notches = atoi(argv[i + 1]);
  }
  TempDir dir;
  dir.MakeFolder("root");
  for (int i = 0; i < kPictures; i++) {
    JpegSampleOptions o;
    o.width = 320;
    o.height = 240;
    o.seed = (unsigned)(i + 1);
    char name[64];
    snprintf(name, sizeof name, "root/p%03d.jpg", i);
    if (!WriteJpegSample(dir.At(name).c_str(), o)) return 1;
  }
  XServer server;
  std::string problem = server.Start(dir.path(), "1024x768x24");
  if (!problem.empty()) {
    fprintf(stderr, "viewer-wheel-latency: %s\n", problem.c_str());
    return 1;
  }
  pid_t pid =
      StartProcess({viewer, "--root", dir.At("root"), "--registry", dir.At("r.reg"), "--zoom", "2"},
                   server.env(), dir.At("viewer.out"), dir.At("viewer.err"));
  ProcessGuard guard;
  guard.Add(&pid);
  Display* d = XOpenDisplay(server.display().c_str());
  if (!d || pid < 0) return 1;
  Window w = 0;
  for (int waited = 0; waited < 10000 && !w; waited += 50) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    w = FindWindow(d, DefaultRootWindow(d), "Viewer");
  }
  if (!w) {
    fprintf(stderr, "viewer-wheel-latency: no window\n");
    return 1;
  }
  XWindowAttributes a;
  XGetWindowAttributes(d, w, &a);
  XWarpPointer(d, None, w, 0, 0, 0, 0, a.width / 2, a.height / 2);
  XSync(d, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
  PrintMemory(pid);
  const long before = WakeUps(pid);
  std::this_thread::sleep_for(std::chrono::milliseconds(kIdleMs));
  printf("idle window wake-ups: %.1f a second\n", (WakeUps(pid) - before) * 1000.0 / kIdleMs);

  std::vector<double> times;
  for (int i = 0; i < notches; i++) {
    // Down and back up: each notch moves the grid a row.
    const unsigned button = i % 2 == 0 ? kWheelDown : kWheelUp;
    std::string before = Pixels(d, w, a.width, a.height);
    Clock::time_point start = Clock::now();
    XTestFakeButtonEvent(d, button, True, CurrentTime);
    XTestFakeButtonEvent(d, button, False, CurrentTime);
    XFlush(d);
    bool changed = false;
    while (!changed && Ms(Clock::now() - start) < kRepaintLimitMs)
      changed = Pixels(d, w, a.width, a.height) != before;
    if (!changed) {
      fprintf(stderr, "viewer-wheel-latency: notch %d repainted nothing\n", i);
      return 1;
    }
    times.push_back(Ms(Clock::now() - start));
    // The thumbnails of a row that came into view: let them land first.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  std::sort(times.begin(), times.end());
  printf("wheel notch to repainted grid, %d notches: median %.2f ms, min %.2f ms, max %.2f ms\n",
         notches, times[times.size() / 2], times.front(), times.back());
  XCloseDisplay(d);
  return 0;
}
