// The SDL2 window backend: shows the screen surface scaled by whole pixels
// and turns mouse, touch and keys into the handheld's input messages.
//
// The screen goes into the window's own surface, scaled here: a 240 x 320
// screen needs no renderer, and SDL's accelerated one brings a GL driver
// that took the idle window from 16 MB resident to 105 MB.
#include "platform/backend_sdl.h"

#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/cursor.h"
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/threads.h"
#include "platform/window.h"

namespace {

// A sleep returns to its clock this often, so a long one cannot overshoot.
const int kSleepSliceMs = 20;
const WPARAM kPlusCode = 0x2B;   // the plus sign's character code
const WPARAM kMinusCode = 0x2D;  // the hyphen-minus
const LPARAM kRepeatCountOne = 1;

// code: WM_KEYDOWN without Alt (0: none). button: a hardware button, only
// passed on while the program has taken the buttons. altCode: with Alt held,
// WM_SYSKEYDOWN with this code for the accelerator table (0: Alt ignored).
struct KeyRule {
  SDL_Keycode key;
  WPARAM code;
  bool button;
  WPARAM altCode;
};

const KeyRule kKeyTable[] = {
    {SDLK_LEFT, VK_LEFT, false, 0},
    {SDLK_UP, VK_UP, false, 0},
    {SDLK_RIGHT, VK_RIGHT, false, 0},
    {SDLK_DOWN, VK_DOWN, false, 0},
    {SDLK_RETURN, VK_RETURN, false, 0},
    {SDLK_KP_ENTER, VK_RETURN, false, 0},
    {SDLK_ESCAPE, VK_ESCAPE, false, 0},
    {SDLK_SPACE, VK_SPACE, false, 0},
    // "=" shares its key with "+" on many layouts.
    {SDLK_PLUS, kPlusCode, false, 0},
    {SDLK_EQUALS, kPlusCode, false, 0},
    {SDLK_KP_PLUS, kPlusCode, false, 0},
    {SDLK_MINUS, kMinusCode, false, 0},
    {SDLK_KP_MINUS, kMinusCode, false, 0},
    {SDLK_F1, 0xC1, true, 0},
    {SDLK_F2, 0xC2, true, 0},
    {SDLK_F3, 0xC3, true, 0},
    {SDLK_F4, 0xC4, true, VK_F4},
    {SDLK_F5, 0xC5, true, 0},
    {SDLK_F6, 0xC6, true, 0},
    {SDLK_SLASH, VK_OEM_2, false, VK_OEM_2},
    {SDLK_KP_DIVIDE, VK_OEM_2, false, VK_OEM_2},
};

enum StylusSource { STYLUS_UP, STYLUS_MOUSE, STYLUS_FINGER };

// The open window; touched only by the window's thread.
struct SdlWindowState {
  SDL_Window* window = nullptr;
  SDL_Cursor* arrowCursor = nullptr;
  SDL_Cursor* waitCursor = nullptr;
  int shownShape = IDC_ARROW;
  int zoom = 1;
  unsigned presentedVersion = 0;
  bool mustPresent = true;  // the window lost its contents, or never had any
  StylusSource stylus = STYLUS_UP;
  SDL_FingerID finger = 0;
  int stylusX = 0;
  int stylusY = 0;
  bool closePending = false;  // closed before the program had a window
};

SdlWindowState sdl;
// The registered wake event's type; 0 while no window is open.
std::atomic<Uint32> wakeEventType{0};
// The thread that opened the window; none while it is closed. Atomic: the
// cursor hook asks from any thread.
std::atomic<std::thread::id> windowThread{std::thread::id()};
// A wake event is queued and not yet read: further wakes add nothing.
std::atomic<bool> wakeQueued{false};

LPARAM PackPoint(int x, int y) {
  return (LPARAM)(DWORD)((DWORD)(x & 0xFFFF) | ((DWORD)(y & 0xFFFF) << 16));
}

void ShowCursorShape() {
  int shape = PlatformCursorShape();
  if (shape == sdl.shownShape) return;
  SDL_Cursor* cursor = shape == IDC_WAIT ? sdl.waitCursor : sdl.arrowCursor;
  if (cursor) SDL_SetCursor(cursor);
  sdl.shownShape = shape;
}

// An 8-bit channel from 5 or 6 bits, the top bits repeated below them, so
// that cutting it back gives the same bits.
inline uint32_t Widen5(uint32_t v) { return v << 3 | v >> 2; }
inline uint32_t Widen6(uint32_t v) { return v << 2 | v >> 4; }

// Each screen channel's value in the window surface's packed format, so a
// pixel is three look-ups.
struct PixelTables {
  uint32_t format = 0;
  uint32_t red[32], green[64], blue[32];
  uint32_t alpha = 0;
};

void MakeTables(const SDL_PixelFormat* f, PixelTables* t) {
  t->format = f->format;
  t->alpha = f->Amask;
  for (uint32_t v = 0; v < 32; v++) {
    t->red[v] = (Widen5(v) >> f->Rloss) << f->Rshift;
    t->blue[v] = (Widen5(v) >> f->Bloss) << f->Bshift;
  }
  for (uint32_t v = 0; v < 64; v++) t->green[v] = (Widen6(v) >> f->Gloss) << f->Gshift;
}

inline uint32_t Pack(const PixelTables& t, uint16_t word) {
  return t.red[word >> 11] | t.green[word >> 5 & 0x3F] | t.blue[word & 0x1F] | t.alpha;
}

// One surface row from one screen row: each surface pixel takes the screen
// pixel it covers, whole blocks at a whole zoom.
template <typename Out>
void ScaleRow(const PixelTables& t, const uint16_t* row, int width, Out* out, int outWidth,
              const std::vector<int>& columns) {
  if (outWidth % width == 0) {
    int zoom = outWidth / width;
    for (int x = 0; x < width; x++) {
      Out p = (Out)Pack(t, row[x]);
      for (int k = 0; k < zoom; k++) *out++ = p;
    }
    return;
  }
  for (int x = 0; x < outWidth; x++) out[x] = (Out)Pack(t, row[columns[(size_t)x]]);
}

// The screen into the window surface. Surfaces of 16 or 32 bits a pixel;
// others go through SDL's own scaled copy.
void ScaleInto(const uint16_t* pixels, int width, int height, int stride, SDL_Surface* target) {
  const SDL_PixelFormat* f = target->format;
  int bytes = f->BytesPerPixel;
  int tw = target->w, th = target->h;
  if (tw <= 0 || th <= 0 || width <= 0 || height <= 0) return;
  if (bytes != 2 && bytes != 4) {
    SDL_Surface* screen = SDL_CreateRGBSurfaceWithFormatFrom(
        (void*)pixels, width, height, 16, stride, SDL_PIXELFORMAT_RGB565);
    if (!screen) return;
    SDL_BlitScaled(screen, nullptr, target, nullptr);
    SDL_FreeSurface(screen);
    return;
  }
  // Kept between paints: the window's format and the column map.
  static PixelTables tables;
  static std::vector<int> columns;
  if (tables.format != f->format || tables.alpha != f->Amask) MakeTables(f, &tables);
  columns.resize((size_t)tw);
  for (int x = 0; x < tw; x++) columns[(size_t)x] = (int)((int64_t)x * width / tw);
  if (SDL_MUSTLOCK(target) && SDL_LockSurface(target) != 0) return;
  const uint8_t* base = (const uint8_t*)pixels;
  int lastRow = -1;
  uint8_t* lastOut = nullptr;
  for (int y = 0; y < th; y++) {
    int sy = (int)((int64_t)y * height / th);
    uint8_t* out = (uint8_t*)target->pixels + (size_t)y * (size_t)target->pitch;
    if (sy == lastRow) {  // the row above showed the same screen row
      memcpy(out, lastOut, (size_t)tw * (size_t)bytes);
      continue;
    }
    const uint16_t* row = (const uint16_t*)(base + (size_t)sy * (size_t)stride);
    if (bytes == 4)
      ScaleRow(tables, row, width, (uint32_t*)out, tw, columns);
    else
      ScaleRow(tables, row, width, (uint16_t*)out, tw, columns);
    lastRow = sy;
    lastOut = out;
  }
  if (SDL_MUSTLOCK(target)) SDL_UnlockSurface(target);
}

void Present() {
  if (!sdl.window) return;
  ShowCursorShape();
  // Read before the copy: drawing that lands during it shows next time.
  unsigned version = PlatformScreenVersion();
  if (!sdl.mustPresent && version == sdl.presentedVersion) return;
  int width, height, stride;
  uint16_t* pixels = PlatformScreenPixels(&width, &height, &stride);
  if (!pixels) return;
  // SDL makes the surface anew after the window's size changed.
  SDL_Surface* target = SDL_GetWindowSurface(sdl.window);
  if (!target) return;
  ScaleInto(pixels, width, height, stride, target);
  if (SDL_UpdateWindowSurface(sdl.window) != 0) return;
  sdl.presentedVersion = version;
  sdl.mustPresent = false;
}

void RequestClose() {
  if (PlatformActiveWindow())
    PlatformRequestClose();
  else
    sdl.closePending = true;
}

void StylusDown(StylusSource source, int x, int y) {
  sdl.stylus = source;
  sdl.stylusX = x;
  sdl.stylusY = y;
  PlatformPostInput(WM_LBUTTONDOWN, 0, PackPoint(x, y));
}

void StylusMove(int x, int y) {
  sdl.stylusX = x;
  sdl.stylusY = y;
  PlatformPostInput(WM_MOUSEMOVE, 0, PackPoint(x, y));
}

void StylusUp(int x, int y) {
  sdl.stylus = STYLUS_UP;
  PlatformPostInput(WM_LBUTTONUP, 0, PackPoint(x, y));
}

void MouseToScreen(int windowX, int windowY, int* x, int* y) {
  SdlWindowToScreen(windowX, windowY, sdl.zoom, x, y);
}

void FingerToScreen(const SDL_TouchFingerEvent& finger, int* x, int* y) {
  SdlTouchToScreen(finger.x, finger.y, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                   x, y);
}

void HandleWindowEvent(const SDL_WindowEvent& event) {
  switch (event.event) {
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      sdl.mustPresent = true;
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      // The release may never come once another window has the pointer.
      if (sdl.stylus != STYLUS_UP) StylusUp(sdl.stylusX, sdl.stylusY);
      break;
  }
}

void HandleEvent(const SDL_Event& event) {
  int x, y;
  switch (event.type) {
    case SDL_QUIT:
      RequestClose();
      return;
    case SDL_WINDOWEVENT:
      HandleWindowEvent(event.window);
      return;
    case SDL_KEYDOWN: {
      UINT message;
      WPARAM code;
      LPARAM lParam;
      bool alt = (event.key.keysym.mod & KMOD_ALT) != 0;
      if (SdlTranslateKey(event.key.keysym.sym, alt, event.key.repeat != 0, PlatformButtonsTaken(),
                          &message, &code, &lParam))
        PlatformPostInput(message, code, lParam);
      return;
    }
    // Touch arrives as finger events; SDL's mouse copies of them are skipped.
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.button != SDL_BUTTON_LEFT || event.button.which == SDL_TOUCH_MOUSEID) return;
      if (sdl.stylus != STYLUS_UP) return;
      MouseToScreen(event.button.x, event.button.y, &x, &y);
      StylusDown(STYLUS_MOUSE, x, y);
      return;
    case SDL_MOUSEMOTION:
      if (sdl.stylus != STYLUS_MOUSE || event.motion.which == SDL_TOUCH_MOUSEID) return;
      MouseToScreen(event.motion.x, event.motion.y, &x, &y);
      StylusMove(x, y);
      return;
    case SDL_MOUSEBUTTONUP:
      if (event.button.button != SDL_BUTTON_LEFT || sdl.stylus != STYLUS_MOUSE) return;
      MouseToScreen(event.button.x, event.button.y, &x, &y);
      StylusUp(x, y);
      return;
    case SDL_FINGERDOWN:
      if (sdl.stylus != STYLUS_UP) return;  // one stylus: the first finger down
      sdl.finger = event.tfinger.fingerId;
      FingerToScreen(event.tfinger, &x, &y);
      StylusDown(STYLUS_FINGER, x, y);
      return;
    case SDL_FINGERMOTION:
      if (sdl.stylus != STYLUS_FINGER || event.tfinger.fingerId != sdl.finger) return;
      FingerToScreen(event.tfinger, &x, &y);
      StylusMove(x, y);
      return;
    case SDL_FINGERUP:
      if (sdl.stylus != STYLUS_FINGER || event.tfinger.fingerId != sdl.finger) return;
      FingerToScreen(event.tfinger, &x, &y);
      StylusUp(x, y);
      return;
  }
  if (event.type == wakeEventType.load()) wakeQueued.store(false);
}

// Handles the events already queued; presents when the window needs it.
void DrainEvents() {
  SDL_Event event;
  while (SDL_PollEvent(&event)) HandleEvent(event);
  if (sdl.mustPresent) Present();
}

// The platform's GetTickCount and Sleep come back here while this backend is
// installed, so both use SDL's own clock and delay.
DWORD SdlTickCount() { return (DWORD)SDL_GetTicks(); }

void SdlSleep(DWORD milliseconds) {
  if (!sdl.window) {
    SDL_Delay(milliseconds);
    return;
  }
  Present();
  DWORD start = GetTickCount();
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) break;
    DWORD left = milliseconds - elapsed;
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, left < (DWORD)kSleepSliceMs ? (int)left : kSleepSliceMs))
      HandleEvent(event);
    DrainEvents();
  }
}

void SdlWait(int timeoutMs) {
  if (!sdl.window) {
    if (timeoutMs > 0) SDL_Delay((Uint32)timeoutMs);
    return;
  }
  ShowCursorShape();
  if (sdl.closePending && PlatformActiveWindow()) {
    sdl.closePending = false;
    PlatformRequestClose();
    return;
  }
  SDL_Event event;
  int got = timeoutMs < 0 ? SDL_WaitEvent(&event) : SDL_WaitEventTimeout(&event, timeoutMs);
  if (got) HandleEvent(event);
  DrainEvents();
  ShowCursorShape();
}

void SdlWake() {
  Uint32 type = wakeEventType.load();
  if (!type || wakeQueued.exchange(true)) return;
  SDL_Event event;
  SDL_zero(event);
  event.type = type;
  if (SDL_PushEvent(&event) != 1) wakeQueued.store(false);
}

void SdlPresent() {
  if (sdl.window) Present();
}

void SdlPoll() {
  if (sdl.window) DrainEvents();
}

const PlatformBackend kSdlBackend = {SdlTickCount, SdlSleep, SdlWait, SdlWake, SdlPresent, SdlPoll};

void SetIcon(const uint32_t* icon) {
  // SDL only reads the pixels; the window keeps its own copy.
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
      (void*)icon, 32, 32, 32, 32 * (int)sizeof(uint32_t), SDL_PIXELFORMAT_ARGB8888);
  if (!surface) return;
  SDL_SetWindowIcon(sdl.window, surface);
  SDL_FreeSurface(surface);
}

// The window's X11 class and Wayland app id: the desktop entry's
// StartupWMClass, so a dock matches the window to the entry. SDL reads these
// when its video starts; a value already set by the user wins.
void UseWindowClass() {
  static const char kWindowClass[] = "korvane-viewer";
  setenv("SDL_VIDEO_X11_WMCLASS", kWindowClass, 0);
  setenv("SDL_VIDEO_WAYLAND_WMCLASS", kWindowClass, 0);
}

// SDL opens an X input method at start, and X's own reads the locale's whole
// compose table (some 50 million instructions, half the window's start).
// The program takes keys, never text, so the table it reads is empty; a
// user's own setting wins.
void SkipComposeTable() { setenv("XCOMPOSEFILE", "/dev/null", 0); }

Uint32 RegisteredWakeType() {
  static Uint32 type = SDL_RegisterEvents(1);
  return type;
}

// SDL's video, started once for the display's size and the window both
// (each start connects to the display and reads its keyboard tables anew),
// and kept until the window closes.
bool videoStarted = false;

bool StartVideo() {
  if (videoStarted) return true;
  // Ctrl+C and kill end the program as they would without a window.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  UseWindowClass();
  SkipComposeTable();
  // The window surface in the display's own memory (X11: shared memory), not
  // in a texture of an accelerated renderer. The user's setting wins.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  videoStarted = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  return videoStarted;
}

}  // namespace

int SdlDisplaySize(int* width, int* height) {
  if (!StartVideo()) return 0;
  SDL_DisplayMode mode;
  int ok = SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0;
  if (ok) {
    if (width) *width = mode.w;
    if (height) *height = mode.h;
  }
  return ok;
}

int SdlDisplayRoom(int* width, int* height) {
  if (!StartVideo()) return 0;
  SDL_Rect room;
  int ok = SDL_GetDisplayUsableBounds(0, &room) == 0 && room.w > 0 && room.h > 0;
  if (ok) {
    if (width) *width = room.w;
    if (height) *height = room.h;
  }
  return ok;
}

int SdlBackendOpen(int zoom, bool fullscreen, const char* title, const uint32_t* icon) {
  if (sdl.window || !StartVideo()) return 0;
  Uint32 wakeType = RegisteredWakeType();
  if (wakeType == (Uint32)-1) return 0;
  if (fullscreen || zoom < 1) zoom = 1;
  if (zoom > kMaxWindowZoom) zoom = kMaxWindowZoom;
  int width = GetSystemMetrics(SM_CXSCREEN) * zoom;
  int height = GetSystemMetrics(SM_CYSCREEN) * zoom;
  Uint32 flags = SDL_WINDOW_SHOWN | (fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  sdl.window = SDL_CreateWindow(title ? title : "", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                width, height, flags);
  if (!sdl.window) return 0;
  if (!SDL_GetWindowSurface(sdl.window)) {
    SdlBackendClose();
    return 0;
  }
  if (icon) SetIcon(icon);
  SDL_StopTextInput();  // keys only; no input method in between
  sdl.arrowCursor = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
  sdl.waitCursor = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_WAIT);
  sdl.shownShape = IDC_ARROW;
  sdl.zoom = zoom;
  sdl.mustPresent = true;
  sdl.stylus = STYLUS_UP;
  sdl.closePending = false;
  windowThread.store(std::this_thread::get_id());
  wakeQueued.store(false);
  wakeEventType.store(wakeType);
  PlatformSetCursorHook(SdlCursorChanged);
  ShowCursorShape();
  return 1;
}

void SdlBackendClose() {
  if (!sdl.window) return;
  wakeEventType.store(0);
  PlatformSetCursorHook(nullptr);
  windowThread.store(std::thread::id());
  SDL_DestroyWindow(sdl.window);
  if (sdl.arrowCursor) SDL_FreeCursor(sdl.arrowCursor);
  if (sdl.waitCursor) SDL_FreeCursor(sdl.waitCursor);
  sdl = SdlWindowState();
  if (videoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  videoStarted = false;
}

const PlatformBackend* SdlBackend() { return &kSdlBackend; }

void SdlCursorChanged() {
  if (windowThread.load() == std::this_thread::get_id()) ShowCursorShape();
}

int SdlTranslateKey(int sdlKey, bool alt, bool repeat, bool buttonsTaken, UINT* message,
                    WPARAM* code, LPARAM* lParam) {
  for (const KeyRule& rule : kKeyTable) {
    if (rule.key != sdlKey) continue;
    LPARAM bits = kRepeatCountOne | (repeat ? KF_REPEAT_BIT : 0);
    if (alt && rule.altCode) {
      *message = WM_SYSKEYDOWN;
      *code = rule.altCode;
      *lParam = bits | KF_ALT_BIT;
      return 1;
    }
    if (rule.button && !buttonsTaken) return 0;
    *message = WM_KEYDOWN;
    *code = rule.code;
    *lParam = bits;
    return 1;
  }
  return 0;
}

int SdlKeyFromName(const char* name) { return name ? (int)SDL_GetKeyFromName(name) : 0; }

void SdlWindowToScreen(int windowX, int windowY, int zoom, int* x, int* y) {
  if (zoom < 1) zoom = 1;
  *x = (windowX < 0 ? 0 : windowX) / zoom;
  *y = (windowY < 0 ? 0 : windowY) / zoom;
}

void SdlTouchToScreen(float touchX, float touchY, int screenWidth, int screenHeight, int* x,
                      int* y) {
  // The window shows the screen whole, so 0..1 spans it; 1.0 is past the last
  // pixel and a NaN counts as 0.
  float fx = touchX > 0 ? (touchX < 1 ? touchX : 1) : 0;
  float fy = touchY > 0 ? (touchY < 1 ? touchY : 1) : 0;
  *x = (int)(fx * (float)screenWidth);
  *y = (int)(fy * (float)screenHeight);
  if (*x >= screenWidth) *x = screenWidth > 0 ? screenWidth - 1 : 0;
  if (*y >= screenHeight) *y = screenHeight > 0 ? screenHeight - 1 : 0;
}

// The module's one entry point (platform/sdl_module.h).
extern "C" __attribute__((visibility("default"))) const SdlModule* KorvaneViewerSdlModule(
    unsigned version) {
  static const SdlModule kModule = {SdlDisplaySize, SdlDisplayRoom, SdlBackendOpen,
                                    SdlBackendClose, SdlBackend};
  return version == kSdlModuleVersion ? &kModule : nullptr;
}
