// The installed backend, the clock it keeps, and the small stand-ins around
// the window: the full-screen request and the button take-over.
#include "platform/backend.h"

#include <time.h>

#include <atomic>

#include "platform/gdi.h"
#include "platform/shell_ui.h"
#include "platform/threads.h"
#include "platform/window.h"

namespace {

std::atomic<const PlatformBackend*> installed{nullptr};
std::atomic<StateReporter> stateReporter{nullptr};
std::atomic<int> fullScreenRequests{0};
std::atomic<bool> buttonsTaken{false};

DWORD RealTickCount() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  // Wraps modulo 2^32 like the handheld's counter.
  return (DWORD)((uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u);
}

void RealSleep(DWORD milliseconds) {
  timespec wait = {(time_t)(milliseconds / 1000), (long)(milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0) {
  }
}

}  // namespace

void PlatformSetBackend(const PlatformBackend* backend) { installed.store(backend); }
const PlatformBackend* PlatformGetBackend() { return installed.load(); }

DWORD GetTickCount() {
  const PlatformBackend* b = installed.load();
  return b && b->tickCount ? b->tickCount() : RealTickCount();
}

void Sleep(DWORD milliseconds) {
  const PlatformBackend* b = installed.load();
  if (b && b->sleep)
    b->sleep(milliseconds);
  else
    RealSleep(milliseconds);
}

void PlatformSetStateReporter(StateReporter reporter) { stateReporter.store(reporter); }
StateReporter PlatformGetStateReporter() { return stateReporter.load(); }

BOOL SHFullScreen(HWND hwnd, DWORD) {
  if (!IsWindow(hwnd)) return FALSE;
  fullScreenRequests++;
  // There is no task bar here: covering the screen is all the request means.
  SetWindowPos(hwnd, HWND_TOP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
               GetSystemMetrics(SM_CYSCREEN), 0);
  return TRUE;
}

int PlatformFullScreenRequests() { return fullScreenRequests.load(); }

int GXOpenInput() {
  buttonsTaken.store(true);
  return 1;
}

int GXCloseInput() {
  buttonsTaken.store(false);
  return 1;
}

bool PlatformButtonsTaken() { return buttonsTaken.load(); }

// Blocks that system libraries keep once a process and never free: not ours
// to fix, so LeakSanitizer is told. fontconfig loses a few while it parses
// its configuration; the desktop window's libraries (SDL's D-Bus and X11
// connections, the GL driver) hold theirs until the process ends.
// GCC names the sanitizer with a macro, clang 14 only through __has_feature.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VIEWER_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(VIEWER_ADDRESS_SANITIZER)
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libdbus-1.so\n"
         "leak:libSDL2\n"
         "leak:libX11.so\n"
         "leak:libxcb\n"
         "leak:libGLX\n"
         "leak:libGL.so\n"
         "leak:libEGL\n"
         "leak:_dri.so\n"
         "leak:libLLVM\n";
}
#endif
