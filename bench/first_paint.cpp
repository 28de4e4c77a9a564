// viewer-first-paint: how long a program takes from its start to the first
// paint of its window on an X server, for comparing picture viewers.
//
//   viewer-first-paint [--runs N] [--area X,Y,W,H] -- PROGRAM [ARGS...]
//
// The X server's root must be black (Xvfb -br) and show nothing else: the
// first paint is the first time any pixel of the area (default 200,200,
// 100,100, which every window of the figures covers) is not black. Each run
// starts the program, watches the area, then ends the program and waits for
// the area to be black again. Prints each run's milliseconds and their
// median; exit 1 when a run saw no paint within 10 seconds.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const double kGiveUpMs = 10000;
const int kDefaultRuns = 5;

double NowMs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

struct Area {
  int x = 200, y = 200, w = 100, h = 100;
};

// Whether any pixel of the area is not black.
bool Painted(Display* display, const Area& a) {
  XImage* image = XGetImage(display, DefaultRootWindow(display), a.x, a.y, (unsigned)a.w,
                            (unsigned)a.h, AllPlanes, ZPixmap);
  if (!image) return false;
  bool any = false;
  for (int y = 0; y < a.h && !any; y++)
    for (int x = 0; x < a.w && !any; x++) any = XGetPixel(image, x, y) != 0;
  XDestroyImage(image);
  return any;
}

// Milliseconds from the start to the first paint; negative when none came.
double OneRun(Display* display, const Area& area, char** command) {
  double start = NowMs();
  pid_t child = fork();
  if (child == 0) {
    execvp(command[0], command);
    _exit(127);
  }
  if (child < 0) return -1;
  double painted = -1;
  while (NowMs() - start < kGiveUpMs) {
    if (Painted(display, area)) {
      painted = NowMs() - start;
      break;
    }
    int status;
    if (waitpid(child, &status, WNOHANG) == child) return -1;  // ended without a window
  }
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  // The next run starts on a black area again.
  for (double wait = NowMs(); Painted(display, area) && NowMs() - wait < kGiveUpMs;)
    usleep(10000);
  return painted;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = kDefaultRuns;
  Area area;
  int i = 1;
  for (; i < argc && strcmp(argv[i], "--") != 0; i++) {
    if (strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = atoi(argv[++i]);
    } else if (strcmp(argv[i], "--area") == 0 && i + 1 < argc) {
      if (sscanf(argv[++i], "%d,%d,%d,%d", &area.x, &area.y, &area.w, &area.h) != 4) return 2;
    } else {
      fprintf(stderr, "usage: viewer-first-paint [--runs N] [--area X,Y,W,H] -- PROGRAM [ARGS...]\n");
      return 2;
    }
  }
  if (i + 1 >= argc || runs < 1 || area.w < 1 || area.h < 1) return 2;
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    fprintf(stderr, "viewer-first-paint: no X server\n");
    return 1;
  }
  if (Painted(display, area)) {
    fprintf(stderr, "viewer-first-paint: the area is not black before the start\n");
    return 1;
  }
  std::vector<double> times;
  for (int r = 0; r < runs; r++) {
    double ms = OneRun(display, area, argv + i + 1);
    if (ms < 0) {
      fprintf(stderr, "viewer-first-paint: %s painted nothing\n", argv[i + 1]);
      return 1;
    }
    times.push_back(ms);
    printf("%.1f ", ms);
  }
  std::sort(times.begin(), times.end());
  printf("median %.1f ms\n", times[times.size() / 2]);
  XCloseDisplay(display);
  return 0;
}
