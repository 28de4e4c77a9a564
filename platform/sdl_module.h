// The desktop window lives in a module of its own (korvane-viewer-sdl.so),
// loaded only when a window is about to open, so that the tools and the
// headless program never load SDL and the 50 libraries that come with it.
//
// Contract: the module's one entry point, kSdlModuleEntry, takes
// kSdlModuleVersion and returns its table, or null for another version. The
// module calls back into the program's platform (screen, input, cursor),
// which the program exports to it.
#pragma once

#include "platform/backend.h"

// Window pixels per screen pixel, at most. 240 x 320 times 16 is as large as
// a 4K display shows.
const int kMaxWindowZoom = 16;

// Raised whenever the table below changes, so a stale module is refused.
const unsigned kSdlModuleVersion = 2;
#define VIEWER_SDL_MODULE_ENTRY "KorvaneViewerSdlModule"
#define VIEWER_SDL_MODULE_FILE "korvane-viewer-sdl.so"

struct SdlModule {
  // See platform/backend_sdl.h for each.
  int (*displaySize)(int* width, int* height);
  int (*displayRoom)(int* width, int* height, int* displayWidth, int* displayHeight);
  int (*open)(int zoom, bool fullscreen, const char* title, const uint32_t* icon);
  void (*close)();
  const PlatformBackend* (*backend)();
};

typedef const SdlModule* (*SdlModuleEntry)(unsigned version);

// Loads the module once: beside the executable (the build tree), else in the
// installed library folder. Null (with the reason on stderr) when it cannot
// be loaded. Window thread, before the window opens.
const SdlModule* PlatformSdlModule();
