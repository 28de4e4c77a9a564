// The program: options, the backend, then the handheld's entry point.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/photos.h"
#include "platform/backend_headless.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/panel_turn.h"
#include "platform/registry.h"
#include "platform/resource.h"
#include "platform/sdl_module.h"
#include "platform/window.h"
#include "resources/version.h"
#include "shell/startup.h"
#include "ui/keys.h"
#include "ui/ui_state.h"
#include "ui/viewer.h"

namespace {

// Below this the layout has no tile column or row.
const int kMinScreenWidth = 90;
const int kMinScreenHeight = 120;
const int kMaxScreenSide = 8192;
// Without --zoom: 2 on a display of up to 1080 rows on its shorter side, 2
// more for every further 1080 (4 on a 4K display), so that the window keeps
// its share of the display; then down to what fits.
const int kDefaultZoom = 2;
const int kDisplayRowsPerStep = 1080;
const int kChooseZoom = 0;
const int kDefaultInterval = 4;  // seconds, the handheld's slide show
const int kMaxInterval = 3600;

const char kUsage[] =
    "usage: korvane-viewer [options] [PATH]\n"
    "  PATH               a picture or folder to open: a host path inside the root,\n"
    "                     or a device path beginning with a backslash\n"
    "  --root DIR         host folder shown as the device's root (default /)\n"
    "  --screen WxH       screen size in pixels (default 240x320, at least 90x120)\n"
    "  --zoom N           window pixels per screen pixel at start (default 2, more\n"
    "                     on large displays); the window can be resized, F11 toggles\n"
    "                     full screen\n"
    "  --fullscreen       use the whole display as the screen\n"
    "  --headless         no window: run --script FILE against a virtual clock\n"
    "  --script FILE      headless commands, one a line\n"
    "  --registry FILE    the settings file (default ~/.config/korvane-viewer/registry.reg)\n"
    "  --photos           for today's photo collections: thumbnails of large files,\n"
    "                     pictures upright, WebP, HEIC, AVIF and TIFF, folders of up\n"
    "                     to 100000 entries in natural order\n"
    "  --oem-info TEXT    the handheld's model name, at most 49 characters, for its\n"
    "                     button rules (default none)\n"
    "  --slideshow        start the slide show on PATH's picture, or on the first\n"
    "                     picture of the folder opened\n"
    "  --interval SECONDS the slide show's pace, 1 to 3600 (default 4)\n"
    "  --rotate DEGREES   turn the screen clockwise onto the panel: 0, 90, 180 or\n"
    "                     270 (a portrait screen on a landscape panel: 90 or 270)\n"
    "  --help, --version\n";

struct Options {
  const char* root = "/";
  int width = 240, height = 320;
  int zoom = kChooseZoom;
  bool fullscreen = false, headless = false, photos = false, slideshow = false;
  int interval = kDefaultInterval;
  int rotate = 0;
  const char* script = nullptr;
  const char* registry = nullptr;
  const char* path = nullptr;
};

int Usage(const char* problem) {
  fprintf(stderr, "korvane-viewer: %s\n%s", problem, kUsage);
  return 2;
}

bool ParseSize(const char* text, int* w, int* h) {
  char* end;
  long a = strtol(text, &end, 10);
  if (end == text || (*end != 'x' && *end != 'X')) return false;
  const char* second = end + 1;
  long b = strtol(second, &end, 10);
  if (end == second || *end || a < 1 || b < 1 || a > kMaxScreenSide || b > kMaxScreenSide)
    return false;
  *w = (int)a;
  *h = (int)b;
  return true;
}

// 0: go on; otherwise the exit status (help and version give 0 through *done).
int ParseOptions(int argc, char** argv, Options* o, bool* done) {
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    bool hasValue = i + 1 < argc;
    if (strcmp(a, "--help") == 0) {
      fputs(kUsage, stdout);
      *done = true;
      return 0;
    } else if (strcmp(a, "--version") == 0) {
      WCHAR line[64];
      char text[128] = "";
      if (!ProgramVersionLine(line, 64) || wcstombs(text, line, sizeof text - 1) == (size_t)-1)
        return 1;
      printf("%s\n", text);
      *done = true;
      return 0;
    } else if (strcmp(a, "--root") == 0 && hasValue) {
      o->root = argv[++i];
    } else if (strcmp(a, "--screen") == 0 && hasValue) {
      if (!ParseSize(argv[++i], &o->width, &o->height)) return Usage("--screen takes WxH");
    } else if (strcmp(a, "--zoom") == 0 && hasValue) {
      char* end;
      long z = strtol(argv[++i], &end, 10);
      if (*end || z < 1 || z > kMaxWindowZoom) return Usage("--zoom takes 1 to 16");
      o->zoom = (int)z;
    } else if (strcmp(a, "--fullscreen") == 0) {
      o->fullscreen = true;
    } else if (strcmp(a, "--photos") == 0) {
      o->photos = true;
    } else if (strcmp(a, "--slideshow") == 0) {
      o->slideshow = true;
    } else if (strcmp(a, "--interval") == 0 && hasValue) {
      char* end;
      const char* text = argv[++i];
      long seconds = strtol(text, &end, 10);
      if (end == text || *end || seconds < 1 || seconds > kMaxInterval)
        return Usage("--interval takes 1 to 3600 seconds");
      o->interval = (int)seconds;
    } else if (strcmp(a, "--rotate") == 0 && hasValue) {
      char* end;
      const char* text = argv[++i];
      long degrees = strtol(text, &end, 10);
      if (end == text || *end || !PanelTurnValid((int)degrees) || degrees != (int)degrees)
        return Usage("--rotate takes 0, 90, 180 or 270");
      o->rotate = (int)degrees;
    } else if (strcmp(a, "--headless") == 0) {
      o->headless = true;
    } else if (strcmp(a, "--script") == 0 && hasValue) {
      o->script = argv[++i];
    } else if (strcmp(a, "--registry") == 0 && hasValue) {
      o->registry = argv[++i];
    } else if (strcmp(a, "--oem-info") == 0 && hasValue) {
      if (!WideFromHostName(argv[++i], oemInfo, kOemInfoChars))
        return Usage("--oem-info takes at most 49 characters");
    } else if (a[0] == '-' && a[1] == '-') {
      return Usage("unknown option or missing value");
    } else if (o->path) {
      return Usage("one path at most");
    } else {
      o->path = a;
    }
  }
  if (o->width < kMinScreenWidth || o->height < kMinScreenHeight)
    return Usage("the screen must be at least 90x120");
  if (o->script && !o->headless) return Usage("--script goes with --headless");
  return 0;
}

// The window shows the screen whole: the zoom comes down to the largest
// whose window fits the display, and a screen that does not fit even at
// zoom 1 is refused, since such a window cannot be shown and its buffers
// would only cost memory. 0: go on; otherwise the exit status.
int FitZoomToDisplay(const SdlModule* sdl, Options* o) {
  int roomWidth, roomHeight, displayWidth, displayHeight;
  if (!sdl->displayRoom(&roomWidth, &roomHeight, &displayWidth, &displayHeight)) {
    fprintf(stderr, "korvane-viewer: no display (try --headless)\n");
    return 1;
  }
  // The window shows the panel: the screen turned.
  int panelWidth, panelHeight;
  PanelSize(o->rotate, o->width, o->height, &panelWidth, &panelHeight);
  auto fits = [&](int zoom) {
    return (long)panelWidth * zoom <= roomWidth && (long)panelHeight * zoom <= roomHeight;
  };
  int zoom = o->zoom;
  if (zoom == kChooseZoom) {
    const int shorter = displayWidth < displayHeight ? displayWidth : displayHeight;
    const int steps = shorter / kDisplayRowsPerStep;
    zoom = kDefaultZoom * (steps > 1 ? steps : 1);
    if (zoom > kMaxWindowZoom) zoom = kMaxWindowZoom;
  }
  while (zoom > 1 && !fits(zoom)) zoom--;
  if (!fits(zoom)) {
    fprintf(stderr,
            "korvane-viewer: a %dx%d screen does not fit the display (%dx%d); try a smaller "
            "--screen, or --headless\n",
            panelWidth, panelHeight, roomWidth, roomHeight);
    return 1;
  }
  if (o->zoom != kChooseZoom && zoom < o->zoom)
    fprintf(stderr, "korvane-viewer: zoom %d does not fit the display (%dx%d); using zoom %d\n",
            o->zoom, roomWidth, roomHeight, zoom);
  o->zoom = zoom;
  return 0;
}

// The command line the entry point sees. Text that begins with a backslash
// is a device path as written; anything else is a host path inside the
// root. A path that cannot be used sets startPathUnusable.
void MakeCommandLine(const char* path, WCHAR* out) {
  out[0] = 0;
  if (!path || !*path) return;
  bool fits = path[0] == '\\' ? WideFromHostName(path, out, kPathMax)
                              : HostPathToDevice(path, out, kPathMax);
  if (fits && out[0] == 0) wcscpy(out, L"\\");  // the root itself
  if (!fits) {
    startPathUnusable = true;
    wcscpy(out, L"\\");
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  bool done = false;
  int status = ParseOptions(argc, argv, &o, &done);
  if (status || done) return status;
  if (!PlatformSetDeviceRoot(o.root)) {
    fprintf(stderr, "korvane-viewer: the root %s is not a folder\n", o.root);
    return 2;
  }
  PlatformSetRegistryFile(o.registry);
  SetPhotosMode(o.photos);
  SetSlideShowSeconds(o.interval);
  startSlideShow = o.slideshow;
  PlatformSetPanelTurn(o.rotate);
  PlatformSetStateReporter(ReportUiState);
  if (o.headless) {
    int badLine = 0;
    if (o.script && !HeadlessLoadScript(o.script, stderr, &badLine)) return 2;
    PlatformSetScreenSize(o.width, o.height);
    PlatformSetBackend(HeadlessBackend(stdout));
  } else {
    // Only a window loads SDL.
    const SdlModule* sdl = PlatformSdlModule();
    if (!sdl) return 1;
    if (o.fullscreen) {
      int w, h;
      if (!sdl->displaySize(&w, &h)) {
        fprintf(stderr, "korvane-viewer: no display (try --headless)\n");
        return 1;
      }
      // The display is the panel; the screen is the panel turned back.
      PanelSize(o.rotate, w, h, &w, &h);
      o.width = w < kMinScreenWidth ? kMinScreenWidth : w;
      o.height = h < kMinScreenHeight ? kMinScreenHeight : h;
      o.zoom = 1;
    } else if ((status = FitZoomToDisplay(sdl, &o)) != 0) {
      return status;
    }
    PlatformSetScreenSize(o.width, o.height);
    WCHAR wideTitle[100];
    char title[400] = "Viewer";
    if (LoadStringW(nullptr, 1, wideTitle, 100)) wcstombs(title, wideTitle, sizeof title - 1);
    static uint32_t icon[32 * 32];
    bool haveIcon = PlatformIconPixels(MAKEINTRESOURCEW(101), 32, icon) != 0;
    if (!sdl->open(o.zoom, o.fullscreen, title, haveIcon ? icon : nullptr)) {
      fprintf(stderr, "korvane-viewer: no display (try --headless)\n");
      return 1;
    }
    PlatformSetBackend(sdl->backend());
  }
  static WCHAR commandLine[kPathMax];
  MakeCommandLine(o.path, commandLine);
  int code = ViewerMain((HINSTANCE)nullptr, commandLine, SW_SHOW);
  fflush(stdout);
  return code;
}
